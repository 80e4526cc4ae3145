#include <gtest/gtest.h>

#include "http/HttpErrors.h"
#include "http/Url.h"

namespace {

TEST(HttpUrl, SplitsAddressesIntoTheirParts) {
    struct Case {
        const char* address;
        const char* protocol;
        const char* host;
        int port;
        const char* path;
        const char* document;
        const char* query;
    } cases[] = {
        {"http://host/dir/file.zip", "http", "host", 80, "/dir/", "file.zip", ""},
        {"http://host:8000/a/b/c.zip?x=1&y=2", "http", "host", 8000, "/a/b/", "c.zip", "?x=1&y=2"},
        {"host/file", "http", "host", 80, "/", "file", ""},                 // no protocol: http
        {"HTTP://Host.Example", "http", "Host.Example", 80, "/", "", ""},  // no path: "/"
        {"http://host?q", "http", "host", 80, "/", "", "?q"},
        {"http://host/dir/", "http", "host", 80, "/dir/", "", ""},
        {"https://secure/x", "https", "secure", 443, "/", "x", ""},
        {"https://secure:8443/x", "https", "secure", 8443, "/", "x", ""},
        {"http://user:pw@host:81/x", "http", "host", 81, "/", "x", ""},     // user information dropped
        {"http://host/x#part", "http", "host", 80, "/", "x", ""},          // fragment dropped
        {"http://[::1]:8080/x", "http", "::1", 8080, "/", "x", ""},
        {"http://host:/x", "http", "host", 80, "/", "x", ""},              // empty port: the default
        {"http:///x", "http", "", 80, "/", "x", ""},
        {"http://host/a?b/c", "http", "host", 80, "/", "a", "?b/c"},       // a "/" in the query stays there
        {"host/a://b", "http", "host", 80, "/a://", "b", ""},               // "://" after the first "/" is no protocol
    };
    for (const Case& c : cases) {
        const http::Url url = http::SplitUrl(c.address);
        EXPECT_EQ(url.protocol, c.protocol) << c.address;
        EXPECT_EQ(url.host, c.host) << c.address;
        EXPECT_EQ(url.port, c.port) << c.address;
        EXPECT_EQ(url.path, c.path) << c.address;
        EXPECT_EQ(url.document, c.document) << c.address;
        EXPECT_EQ(url.query, c.query) << c.address;
    }
}

TEST(HttpUrl, RejectsUnknownProtocolsAndBadPorts) {
    struct Case {
        const char* address;
        const char* message;
    } cases[] = {
        {"ftp://host/file", ""},  // another protocol: an empty message
        {"gopher://host", ""},
        {"file:///c:/x", ""},
        {"http://host:abc/x", "Invalid port number"},
        {"http://host:0/x", "Invalid port number"},
        {"http://host:65536/x", "Invalid port number"},
        {"http://host:-1/x", "Invalid port number"},
        {"http://[::1/x", "Invalid host name"},
        {"http://host name/x.zip", "Invalid character in address"},
        {"http://host/pluvion full.zip", "Invalid character in address"},
        {"http://host/x.zip\r\nX-Injected: 1", "Invalid character in address"},
        {"http://host\n/x.zip", "Invalid character in address"},
        {"http://host/x\tzip", "Invalid character in address"},
        {"http://host/x.zip?\x7f", "Invalid character in address"},
    };
    const std::string withNul("http://host/x\0.zip", 18);
    EXPECT_THROW(http::SplitUrl(withNul), http::HttpError);
    for (const Case& c : cases) {
        try {
            http::SplitUrl(c.address);
            ADD_FAILURE() << c.address << " was accepted";
        } catch (const http::HttpError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.address;
        }
    }
}

TEST(HttpUrl, BuildsTheRequestInOnePieceWithItsFieldsInOrder) {
    const std::string tail =
        "Accept: text/html, */*\r\n"
        "User-Agent: Mozilla/3.0 (compatible; KestrumLiveUpdate)\r\n";
    struct Case {
        const char* address;
        bool viaProxy;
        const char* cookies;
        std::string expected;
    } cases[] = {
        {"http://pkg.example/pluvion/pluvionfull.zip", false, "",
         "GET /pluvion/pluvionfull.zip HTTP/1.1\r\nContent-Type: text/html\r\nHost: pkg.example\r\n" + tail + "\r\n"},
        {"http://pkg.example:8000/a?b=1", false, "",
         "GET /a?b=1 HTTP/1.1\r\nContent-Type: text/html\r\nHost: pkg.example:8000\r\n" + tail + "\r\n"},
        // Through a proxy: the absolute form with port 80 written out; Host names the host alone.
        {"http://pkg.example/pluvion/pluvionfull.zip", true, "",
         "GET http://pkg.example:80/pluvion/pluvionfull.zip HTTP/1.1\r\nContent-Type: text/html\r\n"
         "Host: pkg.example\r\n" + tail + "\r\n"},
        {"http://pkg.example:8080", true, "",
         "GET http://pkg.example:8080/ HTTP/1.1\r\nContent-Type: text/html\r\nHost: pkg.example:8080\r\n" + tail + "\r\n"},
        {"http://h/x", false, "a=1; b=2",
         "GET /x HTTP/1.1\r\nContent-Type: text/html\r\nHost: h\r\n" + tail + "Cookie: a=1; b=2\r\n\r\n"},
        {"http://[::1]:81/x", true, "",
         "GET http://[::1]:81/x HTTP/1.1\r\nContent-Type: text/html\r\nHost: [::1]:81\r\n" + tail + "\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(http::BuildRequest(http::SplitUrl(c.address), c.viaProxy, c.cookies), c.expected) << c.address;
    }
}

TEST(HttpUrl, AbsoluteFormWithoutHostIsAnError) {
    const http::Url url = http::SplitUrl("http:///x");
    EXPECT_NO_THROW(http::BuildRequest(url, false, ""));
    try {
        http::BuildRequest(url, true, "");
        ADD_FAILURE() << "built an absolute form without host";
    } catch (const http::HttpError& e) {
        EXPECT_STREQ(e.what(), "Host field is empty");
    }
}

TEST(HttpUrl, SocketErrorMessagesCarryNumberAndDescription) {
    struct Case {
        int code;
        const char* message;
    } cases[] = {
        {10061, "Socket Error # 10061\r\nConnection refused."},
        {10060, "Socket Error # 10060\r\nConnection timed out."},
        {10054, "Socket Error # 10054\r\nConnection reset by peer."},
        {10004, "Socket Error # 10004\r\nInterrupted system call."},
        {10035, "Socket Error # 10035\r\nOperation would block. "},
        {10066, "Socket Error # 10066\r\nDirectory not empty"},
        {10047, "Socket Error # 10047\r\nAddress family not supported by protocol family."},
        {11001, "Socket Error # 11001\r\n"},  // a failed look-up: the number alone
        {10005, "Socket Error # 10005\r\n"},  // a gap in the table
        {10067, "Socket Error # 10067\r\n"},
        {10003, "Socket Error # 10003\r\n"},
    };
    for (const Case& c : cases) {
        http::SocketError error(c.code);
        EXPECT_EQ(std::string(error.what()), c.message) << c.code;
        EXPECT_EQ(error.Code(), c.code);
    }
}

}  // namespace
