#include <cstdio>

#include "core/HttpClientBench.h"

namespace {

using namespace clienttest;

TEST(HttpClient, ExtendsTheTargetOnceAndCutsItBackToWhatArrived) {
    struct Case {
        const char* name;
        Pieces pieces;
        std::vector<std::int64_t> sizes;
        std::string bytes;
        std::string error;
    } cases[] = {
        {"whole", {"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nwxyz"}, {7, 7}, "abcwxyz", ""},
        {"short", {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nwx"}, {1003, 5}, "abcwx", ""},
        {"stalled", {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nwx", httptest::kTimeout}, {13, 5}, "abcwx", "Read Timeout"},
        {"chunks", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nwx\r\n1\r\ny\r\n0\r\n\r\n"}, {5, 5, 6, 6},
         "abcwxy", ""},
    };
    for (const Case& c : cases) {
        Bench bench({Script{c.pieces}});
        RecordingTarget target;
        target.Write("abc", 3);  // the body goes at the target's current position
        std::string error;
        try {
            bench.client.Get("http://pkg.example/f.zip", target);
        } catch (const http::HttpError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(target.sizes, c.sizes) << c.name;
        EXPECT_EQ(target.bytes, c.bytes) << c.name;
    }
}

// The connection is read in large pieces (few reads), the body reaches the target in pieces of
// at most 32768 bytes, whatever its framing.
TEST(HttpClient, PiecesNeverExceedTheReceiveBufferAndReadsAreFew) {
    const std::string body = Bytes(300000);
    char size[16];
    std::snprintf(size, sizeof size, "%zx", body.size());
    struct Case {
        const char* name;
        std::string answer;
    } cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 300000\r\n\r\n" + body},
        {"one chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(size) + "\r\n" + body +
                          "\r\n0\r\n\r\n"},
        {"until the close", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body},
    };
    for (const Case& c : cases) {
        Bench bench({Script{{c.answer}}});
        const Result r = bench.Get("http://pkg.example/f.zip");
        EXPECT_EQ(r.error, "") << c.name;
        EXPECT_EQ(r.target.bytes, body) << c.name;
        ASSERT_GE(r.events.size(), 3u) << c.name;
        std::int64_t previous = 0;
        for (std::size_t i = 1; i + 1 < r.events.size(); ++i) {
            const std::int64_t count = std::stoll(r.events[i].substr(5));
            EXPECT_GT(count, previous) << c.name;
            EXPECT_LE(count - previous, 32768) << c.name;
            previous = count;
        }
        EXPECT_EQ(previous, 300000) << c.name;
        // 300000 bytes in reads of 32768 would take ten reads at least.
        EXPECT_LE(bench.log.readTimeouts.size(), 4u) << c.name;
    }
}

TEST(HttpClient, KeepsTheConnectionOnlyWhenTheRulesAllow) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    struct Case {
        const char* name;
        std::string first;            // the first answer
        std::string secondUrl;
        std::vector<std::string> connects;
    } cases[] = {
        {"kept", ok, "http://pkg.example/b", {"pkg.example:80/0"}},
        {"HTTP/1.0 answer kept", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", "http://pkg.example/b",
         {"pkg.example:80/0"}},
        {"close", "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok", "http://pkg.example/b",
         {"pkg.example:80/0", "pkg.example:80/0"}},
        {"proxy close", "HTTP/1.1 200 OK\r\nProxy-Connection:  CLOSE \r\nContent-Length: 2\r\n\r\nok",
         "http://pkg.example/b", {"pkg.example:80/0", "pkg.example:80/0"}},
        {"other host", ok, "http://other.example/b", {"pkg.example:80/0", "other.example:80/0"}},
        {"other port", ok, "http://pkg.example:81/b", {"pkg.example:80/0", "pkg.example:81/0"}},
        {"read until close", "HTTP/1.0 200 OK\r\n\r\nok", "http://pkg.example/b", {"pkg.example:80/0", "pkg.example:80/0"}},
        {"error answer", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", "http://pkg.example/b",
         {"pkg.example:80/0", "pkg.example:80/0"}},
        // A body after a 204 is never read as the next answer.
        {"no content with a body", "HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n\r\nHTTP/1.1 ", "http://pkg.example/b",
         {"pkg.example:80/0", "pkg.example:80/0"}},
    };
    for (const Case& c : cases) {
        Bench bench({Script{{c.first, ok}, true}, Script{{ok}}});
        bench.Get("http://pkg.example/a");
        const Result second = bench.Get(c.secondUrl);
        EXPECT_EQ(second.error, "") << c.name;
        EXPECT_EQ(second.target.bytes, "ok") << c.name;
        EXPECT_EQ(bench.log.connects, c.connects) << c.name;
    }
}

TEST(HttpClient, AKeptConnectionTheServerClosedIsOpenedAgainOnce) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    Bench bench({Script{{ok}}, Script{{ok}}});
    EXPECT_EQ(bench.Get("http://pkg.example/a").error, "");
    const Result second = bench.Get("http://pkg.example/b");
    EXPECT_EQ(second.error, "");
    ASSERT_EQ(bench.log.sent.size(), 2u);
    EXPECT_NE(bench.log.sent[0].find("GET /b "), std::string::npos);  // sent on the old one
    EXPECT_EQ(bench.log.sent[1].compare(0, 7, "GET /b "), 0);         // and again on a new one

    // A reset in place of the answer on a kept connection: the same.
    Bench reset({Script{{ok, httptest::kReset}}, Script{{ok}}});
    EXPECT_EQ(reset.Get("http://pkg.example/a").error, "");
    EXPECT_EQ(reset.Get("http://pkg.example/b").error, "");
    EXPECT_EQ(reset.log.connects.size(), 2u);

    // A reset after part of the answer arrived is the answer's failure: no second try.
    Bench partial({Script{{ok, "HTTP/1.1 2", httptest::kReset}}, Script{{ok}}});
    EXPECT_EQ(partial.Get("http://pkg.example/a").error, "");
    EXPECT_EQ(partial.Get("http://pkg.example/b").error, "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(partial.log.connects.size(), 1u);

    // A fresh connection closed or reset at once is not tried again.
    Bench freshReset({Script{{httptest::kReset}}, Script{{ok}}});
    EXPECT_EQ(freshReset.Get("http://pkg.example/a").error, "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(freshReset.log.connects.size(), 1u);
    Bench fresh({Script{{}}, Script{{ok}}});
    EXPECT_EQ(fresh.Get("http://pkg.example/a").error, "Connection Closed Gracefully.");
    EXPECT_EQ(fresh.log.connects.size(), 1u);
}

TEST(HttpClient, ProxyAndTimeOutChooseWhereAndHowLongToConnect) {
    Bench bench({Script{{"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}}});
    bench.client.SetProxy("127.0.0.1", 3128);
    bench.client.SetReadTimeout(1000);
    EXPECT_EQ(bench.Get("http://pkg.example/pluvion/pluvionfull.zip").error, "");
    EXPECT_EQ(bench.log.connects, std::vector<std::string>{"127.0.0.1:3128/1000"});
    EXPECT_EQ(bench.log.sent.at(0),
              "GET http://pkg.example:80/pluvion/pluvionfull.zip HTTP/1.1\r\nContent-Type: text/html\r\n"
              "Host: pkg.example\r\n" + kRequestTail);
    for (int t : bench.log.readTimeouts) EXPECT_EQ(t, 1000);
}

TEST(HttpClient, ConnectAndHeadBoundsTakeTheShorterLimit) {
    struct Case {
        int read, connect, head;
        const char* connectLog;
        int bodyWait;  // the limit of the body's reads
    } cases[] = {
        {0, 30000, 30000, "pkg.example:80/30000", 0},
        {1000, 30000, 30000, "pkg.example:80/1000", 1000},
        {0, 0, 0, "pkg.example:80/0", 0},
        {5000, 300, 0, "pkg.example:80/300", 5000},
    };
    for (const Case& c : cases) {
        Bench bench({Script{{"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n", "abc"}}});
        bench.client.SetReadTimeout(c.read);
        bench.client.SetConnectTimeout(c.connect);
        bench.client.SetHeadTimeout(c.head);
        EXPECT_EQ(bench.Get("http://pkg.example/f.zip").error, "");
        EXPECT_EQ(bench.log.connects, std::vector<std::string>{c.connectLog});
        ASSERT_EQ(bench.log.readTimeouts.size(), 2u);
        // The head's read waits what is left of the head bound, never more than a read may.
        const int headWait = bench.log.readTimeouts[0];
        const int limit = c.head == 0 ? c.read : (c.read == 0 ? c.head : std::min(c.read, c.head));
        EXPECT_LE(headWait, limit);
        EXPECT_GT(headWait + 100, limit);
        EXPECT_EQ(bench.log.readTimeouts[1], c.bodyWait);
    }
}

TEST(HttpClient, CookiesComeBackOnLaterRequests) {
    Bench bench({Script{{"HTTP/1.1 200 OK\r\nSet-Cookie: sid=42; Path=/\r\nSET-COOKIE2: lang=fr; Path=/dl\r\n"
                         "Content-Length: 0\r\n\r\n",
                         "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
                        true}});
    bench.Get("http://pkg.example/dl/a");
    bench.Get("http://pkg.example/dl/b");
    bench.Get("http://pkg.example/c");
    const std::string& sent = bench.log.sent.at(0);
    EXPECT_EQ(sent.find("Cookie"), sent.find("Cookie: sid=42; lang=fr\r\n"));  // none on the first request
    EXPECT_NE(sent.find("GET /dl/b HTTP/1.1\r\nContent-Type: text/html\r\nHost: pkg.example\r\n" +
                        std::string("Accept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; KestrumLiveUpdate)\r\n") +
                        "Cookie: sid=42; lang=fr\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(sent.find("GET /c HTTP/1.1\r\nContent-Type: text/html\r\nHost: pkg.example\r\n" +
                        std::string("Accept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; KestrumLiveUpdate)\r\n") +
                        "Cookie: sid=42\r\n\r\n"),
              std::string::npos);
}

TEST(HttpClient, GetWithoutTargetReturnsTheBody) {
    Log log;
    http::HttpClient client(std::make_unique<FakeTransport>(
        std::deque<Script>{Script{{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"}},
                           Script{{"HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\nxy"}}},
        log));
    EXPECT_EQ(client.Get("http://h/report?ok=true"), "abc");
    EXPECT_EQ(log.sent.at(0).compare(0, 30, "GET /report?ok=true HTTP/1.1\r\n"), 0);
    // A false length cannot make the memory body allocate what it announces.
    client.Disconnect();
    EXPECT_EQ(client.Get("http://h/x"), "xy");
}

}  // namespace
