#include "core/HttpClientBench.h"

namespace {

using namespace clienttest;

TEST(HttpClient, ReadsEachBodyModeWithItsEvents) {
    const std::string body600 = Bytes(600);
    struct Case {
        const char* name;
        Pieces pieces;
        std::string body;
        Events events;
    } cases[] = {
        {"length", {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", "hello"}, "hello", {"begin 5", "work 5", "end"}},
        {"length in the head's piece", {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"}, "hello",
         {"begin 5", "work 5", "end"}},
        // 600 of 1000 bytes, then a close: no error, the caller sees 600 against 1000.
        {"short", {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", body600}, body600,
         {"begin 1000", "work 600", "end"}},
        {"chunks of 10 and 5",
         {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "a\r\n0123456789\r\n", "5\r\nabcde\r\n0\r\n\r\n"},
         "0123456789abcde", {"begin 10", "work 10", "end", "begin 5", "work 5", "end"}},
        {"chunk extension and trailer",
         {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\n0\r\nX-Sum: 1\r\n\r\n"}, "abc",
         {"begin 3", "work 3", "end"}},
        {"until close", {"HTTP/1.0 200 OK\r\n\r\n", "abc", "defg"}, "abcdefg", {"begin 0", "work 3", "work 7", "end"}},
        {"zero length", {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}, "", {}},
        {"no content", {"HTTP/1.1 204 No Content\r\n\r\n"}, "", {}},
        {"continue skipped",
         {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nX: 1\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"},
         "ok", {"begin 2", "work 2", "end"}},
        {"LF line ends", {"HTTP/1.1 200 OK\nContent-Length: 3\n\nabc"}, "abc", {"begin 3", "work 3", "end"}},
        {"other 2xx", {"HTTP/1.1 202 Accepted\r\nContent-Length: 1\r\n\r\nx"}, "x", {"begin 1", "work 1", "end"}},
    };
    for (const Case& c : cases) {
        const Result r = GetOnce(c.pieces);
        EXPECT_EQ(r.error, "") << c.name;
        EXPECT_EQ(r.target.bytes, c.body) << c.name;
        EXPECT_EQ(r.target.Size(), static_cast<std::int64_t>(c.body.size())) << c.name;
        EXPECT_EQ(r.events, c.events) << c.name;
    }
}

TEST(HttpClient, FailuresCarryTheirExactMessages) {
    const std::string longLine(16385, 'a');
    std::string trailers101;
    for (int i = 0; i < 101; ++i) trailers101 += "T: 1\r\n";
    struct Case {
        const char* name;
        Pieces pieces;
        const char* error;
        int status;
    } cases[] = {
        {"close before the status line", {}, "Connection Closed Gracefully.", 0},
        {"not found", {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here."}, "HTTP/1.1 404 Not Found", 404},
        {"moved", {"HTTP/1.1 301 Moved Permanently\r\nLocation: http://x/\r\nContent-Length: 0\r\n\r\n"},
         "HTTP/1.1 301 Moved Permanently", 301},
        {"found without length", {"HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\nbody"}, "HTTP/1.1 302 Found", 302},
        {"3xx without Location", {"HTTP/1.1 307 Temporary\r\nContent-Length: 0\r\n\r\n"}, "HTTP/1.1 307 Temporary", 307},
        {"2xx with Location", {"HTTP/1.1 201 Created\r\nLocation: /n\r\nContent-Length: 0\r\n\r\n"}, "HTTP/1.1 201 Created", 201},
        {"not modified", {"HTTP/1.1 304 Not Modified\r\n\r\n"}, "HTTP/1.1 304 Not Modified", 304},
        {"unauthorized", {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n"}, "HTTP/1.1 401 Unauthorized", 401},
        {"proxy auth", {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n"},
         "HTTP/1.1 407 Proxy Authentication Required", 407},
        {"status line kept as received", {"HTTP/1.0 500  Internal  Error \r\n\r\n"}, "HTTP/1.0 500  Internal  Error ", 500},
        // An interim answer is skipped; the close that follows leaves no final answer.
        {"interim then close", {"HTTP/1.1 102 Processing\r\n\r\n"}, "Connection Closed Gracefully.", 0},
        {"no number", {"HTTP/1.1 OK\r\n\r\n"}, "HTTP/1.1 OK", -1},
        {"long status line", {"HTTP/1.1 200 " + longLine + "\r\n\r\n"}, "Max line length exceeded.", 0},
        {"long header", {"HTTP/1.1 200 OK\r\nX: " + longLine + "\r\nContent-Length: 0\r\n\r\n"}, "Max line length exceeded.", 0},
        {"long line without end", {"HTTP/1.1 200 OK\r\nX: " + longLine}, "Max line length exceeded.", 0},
        {"closed within the head", {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"}, "Undefined situation", 0},
        {"read time-out", {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", httptest::kTimeout}, "Read Timeout", 0},
        {"reset", {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", httptest::kReset},
         "Socket Error # 10054\r\nConnection reset by peer.", 0},
        {"chunked cut before the last chunk", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\n0123456789\r\n"},
         "Connection Closed Gracefully.", 0},
        {"chunked cut within a chunk", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\n0123"},
         "Connection Closed Gracefully.", 0},
        {"chunked cut after the data", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\n0123456789"},
         "Connection Closed Gracefully.", 0},
        {"chunk size no number", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n"},
         "Invalid chunk size.", 0},
        {"chunk size too large", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\nabc"},
         "Chunk size is too large.", 0},
        {"chunk longer than its size", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcdef\r\n0\r\n\r\n"},
         "Chunk data does not match its size.", 0},
        {"length no number", {"HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nabc"}, "Invalid Content-Length.", 0},
        {"length negative", {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc"}, "Invalid Content-Length.", 0},
        {"length too large", {"HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\nabc"}, "Content-Length is too large.", 0},
        {"lengths disagree", {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabc"},
         "Invalid Content-Length.", 0},
        // Answers that carry what they must not: a part nobody asked for, another protocol.
        {"part not asked for", {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-4/10\r\nContent-Length: 5\r\n\r\nPK\x03\x04x"},
         "HTTP/1.1 206 Partial Content", 206},
        {"switching protocols", {"HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\nPK\x03\x04package"},
         "HTTP/1.1 101 Switching Protocols", 101},
        {"endless trailers", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n" + trailers101},
         "Too many header lines.", 0},
    };
    for (const Case& c : cases) {
        const Result r = GetOnce(c.pieces);
        EXPECT_EQ(r.error, c.error) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

TEST(HttpClient, LinesMayHold16384BytesBeforeTheirLineFeed) {
    // The count takes every byte before the LF, a trailing CR included.
    struct Case {
        std::size_t headerBytes;  // bytes of the header line before its LF
        bool ends;                // CR LF (true) or LF alone
        const char* error;
    } cases[] = {
        {16384, true, ""},
        {16385, true, "Max line length exceeded."},
        {16384, false, ""},
        {16385, false, "Max line length exceeded."},
    };
    for (const Case& c : cases) {
        const std::size_t fill = c.headerBytes - 3 - (c.ends ? 1 : 0);  // "X: " and the CR
        const std::string line = "X: " + std::string(fill, 'a') + (c.ends ? "\r\n" : "\n");
        const Result r = GetOnce({"HTTP/1.1 200 OK\r\n" + line + "Content-Length: 2\r\n\r\nok"});
        EXPECT_EQ(r.error, c.error) << c.headerBytes << " " << c.ends;
    }
}

TEST(HttpClient, HeaderBlocksAndInterimAnswersAreBounded) {
    std::string fields;
    for (int i = 0; i < 99; ++i) fields += "X: 1\r\n";
    std::string wide;  // five lines of 15,000 bytes: 75 KB, each line within the line limit
    for (int i = 0; i < 5; ++i) wide += "W: " + std::string(15000, 'w') + "\r\n";
    std::string interims;
    for (int i = 0; i < 32; ++i) interims += "HTTP/1.1 100 Continue\r\n\r\n";
    struct Case {
        std::string head;
        const char* error;
        const char* body;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n" + fields + "Content-Length: 2\r\n\r\nok", "", "ok"},
        {"HTTP/1.1 200 OK\r\n" + fields + "X: 1\r\nContent-Length: 2\r\n\r\nok", "Too many header lines.", ""},
        {"HTTP/1.1 200 OK\r\n" + wide + "Content-Length: 2\r\n\r\nok", "Header block too large.", ""},
        // An early hint before the final answer is skipped like 100 Continue.
        {"HTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", "", "ok"},
        {interims + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", "", "ok"},
        {interims + "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
         "Too many interim answers.", ""},
    };
    for (const Case& c : cases) {
        const Result r = GetOnce({c.head});
        EXPECT_EQ(r.error, c.error) << c.head.substr(0, 60);
        EXPECT_EQ(r.target.bytes, c.body) << c.head.substr(0, 60);
    }
}

TEST(HttpClient, AddressesThatCannotBeRequestedFailBeforeConnecting) {
    struct Case {
        const char* url;
        const char* proxy;
        const char* error;
    } cases[] = {
        {"https://pkg.example/f.zip", "", "Secure (https) addresses are not supported."},
        {"https://pkg.example/f.zip", "proxy", "Secure (https) addresses are not supported."},
        {"ftp://pkg.example/f.zip", "", ""},
        {"http:///f.zip", "proxy", "Host field is empty"},
        {"http://pkg.example:99999/", "", "Invalid port number"},
    };
    for (int port : {0, -2, 70000}) {
        Bench bench({Script{{"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}}});
        bench.client.SetProxy("proxy", port);
        EXPECT_EQ(bench.Get("http://pkg.example/f.zip").error, "Invalid proxy port number") << port;
        EXPECT_TRUE(bench.log.connects.empty()) << port;
    }
    for (const Case& c : cases) {
        Bench bench({Script{{"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}}});
        bench.client.SetProxy(c.proxy, 3128);
        const Result r = bench.Get(c.url);
        EXPECT_EQ(r.error, c.error) << c.url;
        EXPECT_TRUE(bench.log.sent.empty() || bench.log.sent[0].empty()) << c.url;
    }
}

TEST(HttpClient, ErrorAnswersAreReadAsTextWithoutEventsAndWithShortReads) {
    Bench bench({Script{{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n", "not here."}}});
    bench.client.SetReadTimeout(0);
    const Result r = bench.Get("http://pkg.example/f.zip");
    EXPECT_EQ(r.error, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(r.errorBody, "not here.");
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(r.target.bytes, "");
    ASSERT_FALSE(bench.log.readTimeouts.empty());
    EXPECT_EQ(bench.log.readTimeouts.front(), 0);  // the head waits as set
    EXPECT_EQ(bench.log.readTimeouts.back(), 2000);  // the text at most 2000 ms a read
    EXPECT_EQ(bench.log.connects.size(), 1u);  // the Location of a redirect is never requested

    // A stalled error text still gives the status line.
    Bench stalled({Script{{"HTTP/1.1 500 Busy\r\nContent-Length: 100\r\n\r\npartial", httptest::kTimeout}}});
    const Result s = stalled.Get("http://pkg.example/f.zip");
    EXPECT_EQ(s.error, "HTTP/1.1 500 Busy");
    EXPECT_EQ(s.errorBody, "partial");
}

TEST(HttpClient, EveryWayOfSplittingTheStreamGivesTheSameResult) {
    struct Case {
        const char* name;
        std::string stream;
        std::string body;
        std::string error;
        std::int64_t lastWork;  // the last work count, -1 for none
    } cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello", "", 5},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\n0123456789\r\n5\r\nabcde\r\n0\r\n\r\n",
         "0123456789abcde", "", 5},
        {"continue", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", "ok", "", 2},
        {"until close", "HTTP/1.0 200 OK\r\n\r\nabcdef", "abcdef", "", 6},
        {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nabc", "", "HTTP/1.1 404 Not Found", -1},
        {"chunk cut", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n", "abc",
         "Connection Closed Gracefully.", 3},
        // Both framings: the chunks count, the length beside them does not.
        {"chunked beats length",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", "abc", "", 3},
        {"chunked beats a bad length",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: -1\r\n\r\n3\r\nabc\r\n0\r\n\r\n", "abc", "", 3},
    };
    for (const Case& c : cases) {
        // Two pieces cut at every place, and one byte a piece.
        std::vector<Pieces> splits;
        for (std::size_t cut = 0; cut <= c.stream.size(); ++cut) {
            splits.push_back({c.stream.substr(0, cut), c.stream.substr(cut)});
        }
        Pieces bytes;
        for (char ch : c.stream) bytes.push_back(std::string(1, ch));
        splits.push_back(bytes);
        for (std::size_t i = 0; i < splits.size(); ++i) {
            const Result r = GetOnce(splits[i]);
            EXPECT_EQ(r.error, c.error) << c.name << " split " << i;
            EXPECT_EQ(r.target.bytes, c.body) << c.name << " split " << i;
            std::int64_t lastWork = -1;
            for (const std::string& e : r.events) {
                if (e.compare(0, 5, "work ") == 0) lastWork = std::stoll(e.substr(5));
            }
            EXPECT_EQ(lastWork, c.lastWork) << c.name << " split " << i;
        }
    }
}

}  // namespace
