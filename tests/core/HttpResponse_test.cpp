#include <gtest/gtest.h>

#include "http/Cookies.h"
#include "http/Response.h"

namespace {

using http::LengthStatus;

TEST(HttpResponse, ReadsStatusCodeAndVersionFromTheStatusLine) {
    struct Case {
        const char* line;
        int code;
        const char* version;
    } cases[] = {
        {"HTTP/1.1 200 OK", 200, "1.1"},
        {"HTTP/1.0 404 Not Found", 404, "1.0"},
        {"HTTP/1.1 301", 301, "1.1"},
        {"HTTP/1.1  500  Internal", 500, "1.1"},  // runs of blanks separate one field
        {"HTTP/1.1 abc OK", -1, "1.1"},
        {"HTTP/1.1 20x OK", -1, "1.1"},
        {"HTTP/1.1", -1, "1.1"},
        {"", -1, ""},
        {"garbage", -1, ""},
        {"HTTP/2 200 OK", 200, ""},
        {"HTTP/1.1 9999999999 Huge", -1, "1.1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(http::StatusCode(c.line), c.code) << c.line;
        EXPECT_EQ(http::ResponseVersion(c.line), c.version) << c.line;
    }
}

TEST(HttpResponse, HeaderLinesAreSplitAtTheFirstColonAndFoundWithoutCase) {
    http::Headers headers;
    http::AddHeaderLine(headers, "Content-Length:  42 ");
    http::AddHeaderLine(headers, "X-Time: 12:30:00");
    http::AddHeaderLine(headers, "no colon here");
    ASSERT_EQ(headers.size(), 3u);
    ASSERT_NE(http::FindHeader(headers, "content-LENGTH"), nullptr);
    EXPECT_EQ(*http::FindHeader(headers, "content-LENGTH"), "42");
    EXPECT_EQ(*http::FindHeader(headers, "x-time"), "12:30:00");
    EXPECT_EQ(http::FindHeader(headers, "Location"), nullptr);
}

TEST(HttpResponse, ContentLengthIsANumberTheClientCanCount) {
    struct Case {
        std::vector<const char*> lines;
        LengthStatus status;
        std::int64_t length;
    } cases[] = {
        {{}, LengthStatus::Absent, 0},
        {{"Content-Length: 1000"}, LengthStatus::Valid, 1000},
        {{"content-length: 0"}, LengthStatus::Valid, 0},
        {{"Content-Length: 2147483647"}, LengthStatus::Valid, 2147483647},
        {{"Content-Length: 2147483648"}, LengthStatus::TooLarge, 0},
        {{"Content-Length: 99999999999999999999999"}, LengthStatus::TooLarge, 0},
        {{"Content-Length: -5"}, LengthStatus::Invalid, 0},
        {{"Content-Length: +5"}, LengthStatus::Invalid, 0},
        {{"Content-Length: abc"}, LengthStatus::Invalid, 0},
        {{"Content-Length: 12abc"}, LengthStatus::Invalid, 0},
        {{"Content-Length: 99999999999x"}, LengthStatus::Invalid, 0},
        {{"Content-Length:"}, LengthStatus::Invalid, 0},
        {{"Content-Length: 5", "Content-Length: 5"}, LengthStatus::Valid, 5},
        {{"Content-Length: 5", "Content-Length: 6"}, LengthStatus::Invalid, 0},
    };
    for (const Case& c : cases) {
        http::Headers headers;
        for (const char* line : c.lines) http::AddHeaderLine(headers, line);
        std::int64_t length = 0;
        const LengthStatus status = http::ContentLength(headers, length);
        EXPECT_EQ(status, c.status) << (c.lines.empty() ? "(none)" : c.lines.back());
        if (status == LengthStatus::Valid) {
            EXPECT_EQ(length, c.length);
        }
    }
}

TEST(HttpResponse, ChunkSizesAreHexadecimalCutAtBlanksAndExtensions) {
    struct Case {
        const char* line;
        LengthStatus status;
        std::int64_t size;
    } cases[] = {
        {"a", LengthStatus::Valid, 10},
        {"A", LengthStatus::Valid, 10},
        {"0", LengthStatus::Valid, 0},
        {"1f4 ", LengthStatus::Valid, 500},
        {"10 ignored", LengthStatus::Valid, 16},
        {"10;name=value", LengthStatus::Valid, 16},
        {"10\tx", LengthStatus::Valid, 16},
        {"7fffffff", LengthStatus::Valid, 2147483647},
        {"80000000", LengthStatus::TooLarge, 0},
        {"ffffffffffffffffffff", LengthStatus::TooLarge, 0},
        {"", LengthStatus::Invalid, 0},
        {"zz", LengthStatus::Invalid, 0},
        {"-1", LengthStatus::Invalid, 0},
        {" 5", LengthStatus::Invalid, 0},
        {"5x", LengthStatus::Invalid, 0},
    };
    for (const Case& c : cases) {
        std::int64_t size = -1;
        const LengthStatus status = http::ChunkSize(c.line, size);
        EXPECT_EQ(status, c.status) << "'" << c.line << "'";
        if (status == LengthStatus::Valid) {
            EXPECT_EQ(size, c.size) << c.line;
        }
    }
}

TEST(HttpResponse, CloseIsReadFromConnectionOrProxyConnection) {
    struct Case {
        const char* line;
        bool close;
    } cases[] = {
        {"Connection: close", true},   {"Connection:  CLOSE  ", true}, {"Proxy-Connection: Close", true},
        {"Connection: keep-alive", false}, {"Connection: closed", false}, {"X-Connection: close", false},
    };
    for (const Case& c : cases) {
        http::Headers headers;
        http::AddHeaderLine(headers, c.line);
        EXPECT_EQ(http::SaysClose(headers), c.close) << c.line;
    }
    http::Headers chunked;
    http::AddHeaderLine(chunked, "Transfer-Encoding: gzip, Chunked");
    EXPECT_TRUE(http::IsChunked(chunked));
    EXPECT_FALSE(http::IsChunked(http::Headers{}));
}

TEST(HttpCookies, CookiesGoBackToMatchingAddressesOnly) {
    http::CookieJar jar;
    const http::Url from = http::SplitUrl("http://www.pkg.example/dir/page");
    jar.Store("sid=42; Path=/", false, from);
    jar.Store("lang=fr; path=/dir", false, from);
    jar.Store("wide=1; Domain=.pkg.example; Path=/", false, from);
    jar.Store("here=1", false, from);                              // default path /dir
    jar.Store("sec=1; Secure", false, from);                       // never over plain http
    jar.Store("foreign=1; Domain=other.example", false, from);     // not the server's domain: ignored
    jar.Store("v2a=1; Version=1, v2b=\"x,y\"; Path=/", true, from);  // Set-cookie2: two cookies
    jar.Store("novalue", false, from);
    struct Case {
        const char* address;
        const char* header;
    } cases[] = {
        {"http://www.pkg.example/dir/x", "sid=42; lang=fr; wide=1; here=1; v2a=1; v2b=\"x,y\""},
        {"http://www.pkg.example/other", "sid=42; wide=1; v2b=\"x,y\""},
        {"http://www.pkg.example/directory", "sid=42; wide=1; v2b=\"x,y\""},  // /dir does not match /directory
        {"http://cdn.pkg.example/dir/x", "wide=1"},
        {"http://pkg.example/", "wide=1"},
        {"http://other.example/", ""},
        {"http://WWW.PKG.EXAMPLE/", "sid=42; wide=1; v2b=\"x,y\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(jar.HeaderFor(http::SplitUrl(c.address)), c.header) << c.address;
    }
    // The same name, domain and path replaces; Max-Age=0 removes.
    jar.Store("sid=43; Path=/", false, from);
    jar.Store("v2b=gone; Path=/; Max-Age=0", false, from);
    EXPECT_EQ(jar.HeaderFor(http::SplitUrl("http://www.pkg.example/other")), "wide=1; sid=43");
}

}  // namespace
