// The HTTP client over the system's sockets (POSIX natively, Windows Sockets under Wine) against
// the scripted server of tests/servers, started around this program by with-server.sh, which
// hands its ports over in KLU_HTTP_PORTS ("MAIN REFUSED STUCK").
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "http/HttpClient.h"
#include "http/HttpErrors.h"
#include "platform/FileTarget.h"
#include "platform/SocketTransport.h"

namespace {

struct Ports {
    int main = 0;
    int refused = 0;
    int stuck = 0;
};

Ports ServerPorts() {
    Ports p;
    const char* text = std::getenv("KLU_HTTP_PORTS");
    if (text) std::istringstream(text) >> p.main >> p.refused >> p.stuck;
    return p;
}

std::string Base(int port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 + 7);
    return s;
}

struct Result {
    std::string error;
    std::string body;
    std::vector<std::string> events;
};

class HttpSocket : public ::testing::Test {
protected:
    void SetUp() override {
        ports = ServerPorts();
        ASSERT_NE(ports.main, 0) << "KLU_HTTP_PORTS is not set: run through tests/servers/with-server.sh";
    }

    Result Fetch(http::HttpClient& client, const std::string& url) {
        Result r;
        client.OnWorkBegin = [&r](http::WorkMode, std::int64_t n) { r.events.push_back("begin " + std::to_string(n)); };
        client.OnWork = [&r](http::WorkMode, std::int64_t n) { r.events.push_back("work " + std::to_string(n)); };
        client.OnWorkEnd = [&r](http::WorkMode) { r.events.push_back("end"); };
        http::StringTarget target;
        try {
            client.Get(url, target);
        } catch (const http::HttpError& e) {
            r.error = e.what();
        }
        r.body = target.Data();
        return r;
    }

    Result Fetch(const std::string& scene, int readTimeout = 0) {
        http::HttpClient client(platform::MakeSocketTransport());
        client.SetReadTimeout(readTimeout);
        return Fetch(client, Base(ports.main) + scene);
    }

    // The last request head the server recorded for `scene` and the number of its connection.
    std::string LastRequest(const std::string& scene, int* connection = nullptr) {
        http::HttpClient control(platform::MakeSocketTransport());
        const std::string text = control.Get(Base(ports.main) + "_last/" + scene);
        const std::size_t newline = text.find('\n');
        if (newline == std::string::npos) return std::string();
        if (connection) *connection = std::atoi(text.substr(0, newline).c_str());
        return text.substr(newline + 1);
    }

    int RequestCount(const std::string& scene) {
        http::HttpClient control(platform::MakeSocketTransport());
        return std::atoi(control.Get(Base(ports.main) + "_count/" + scene).c_str());
    }

    Ports ports;
};

const std::string kTail = "Accept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; KestrumLiveUpdate)\r\n\r\n";

TEST_F(HttpSocket, ReadsEachBodyModeOverARealConnection) {
    struct Case {
        const char* scene;
        std::string body;
        std::vector<std::string> firstEvents;  // the events up to the first work
        std::string lastWork;
    } cases[] = {
        {"ok", "hello", {"begin 5", "work 5"}, "work 5"},
        {"short600", std::string(), {"begin 1000"}, "work 600"},  // body checked below
        {"chunked", "0123456789abcde", {"begin 10", "work 10"}, "work 5"},
        {"chunk_ext", "abc", {"begin 3", "work 3"}, "work 3"},
        {"nolength", Pattern(3000) + Pattern(70000), {"begin 0"}, "work 73000"},
        {"zero", "", {}, ""},
        {"no_content", "", {}, ""},
        {"continue", "ok", {"begin 2", "work 2"}, "work 2"},
        {"lf_only", "abc", {"begin 3", "work 3"}, "work 3"},
        {"http10", "ok", {"begin 2", "work 2"}, "work 2"},
        {"line_at_limit", "ok", {"begin 2", "work 2"}, "work 2"},
        {"large", Pattern(100000), {"begin 100000"}, "work 100000"},
    };
    for (const Case& c : cases) {
        const Result r = Fetch(c.scene);
        EXPECT_EQ(r.error, "") << c.scene;
        if (std::string(c.scene) == "short600") {
            EXPECT_EQ(r.body.size(), 600u);
        } else {
            EXPECT_EQ(r.body, c.body) << c.scene;
        }
        ASSERT_GE(r.events.size(), c.firstEvents.size()) << c.scene;
        EXPECT_EQ(std::vector<std::string>(r.events.begin(), r.events.begin() + c.firstEvents.size()), c.firstEvents)
            << c.scene;
        if (c.lastWork.empty()) {
            EXPECT_TRUE(r.events.empty()) << c.scene;
        } else {
            ASSERT_GE(r.events.size(), 2u) << c.scene;
            EXPECT_EQ(r.events[r.events.size() - 2], c.lastWork) << c.scene;
            EXPECT_EQ(r.events.back(), "end") << c.scene;
        }
    }
    // Two chunks: two spans.
    const Result chunked = Fetch("chunked");
    EXPECT_EQ(chunked.events, (std::vector<std::string>{"begin 10", "work 10", "end", "begin 5", "work 5", "end"}));
}

TEST_F(HttpSocket, FailuresCarryTheirExactMessages) {
    struct Case {
        const char* scene;
        int readTimeout;
        const char* error;
    } cases[] = {
        {"notfound", 0, "HTTP/1.1 404 Not Found"},
        {"moved", 0, "HTTP/1.1 301 Moved Permanently"},
        {"found", 0, "HTTP/1.1 302 Found"},
        {"not_modified", 0, "HTTP/1.1 304 Not Modified"},
        {"unauthorized", 0, "HTTP/1.1 401 Unauthorized"},
        {"proxy_auth", 0, "HTTP/1.1 407 Proxy Authentication Required"},
        {"server_error", 0, "HTTP/1.0 500  Internal  Error "},
        {"close_at_once", 0, "Connection Closed Gracefully."},
        {"long_header", 0, "Max line length exceeded."},
        {"status_only", 0, "Undefined situation"},
        {"stall_body", 400, "Read Timeout"},
        {"stall_head", 400, "Read Timeout"},
        {"chunk_cut", 0, "Connection Closed Gracefully."},
        {"chunk_cut_mid", 0, "Connection Closed Gracefully."},
        {"chunk_bad", 0, "Invalid chunk size."},
        {"chunk_huge", 0, "Chunk size is too large."},
        {"bad_length", 0, "Invalid Content-Length."},
        {"negative_length", 0, "Invalid Content-Length."},
        {"huge_length", 0, "Content-Length is too large."},
        // A reset is never the end of a body, with or without a length, with or without a wait.
        {"nolength_reset", 0, "Socket Error # 10054\r\nConnection reset by peer."},
        {"nolength_reset", 2000, "Socket Error # 10054\r\nConnection reset by peer."},
        {"nolength_reset_early", 0, "Socket Error # 10054\r\nConnection reset by peer."},
        {"length_reset", 0, "Socket Error # 10054\r\nConnection reset by peer."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Fetch(c.scene, c.readTimeout).error, c.error) << c.scene;
    }
}

TEST_F(HttpSocket, RedirectsAreNeverFollowed) {
    const int before = RequestCount("ok");
    EXPECT_EQ(Fetch("moved").error, "HTTP/1.1 301 Moved Permanently");
    EXPECT_EQ(RequestCount("ok"), before);
}

TEST_F(HttpSocket, AStalledErrorTextEndsAfterTwoSecondsWithTheStatusLine) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch("stall_error_body").error, "HTTP/1.1 500 Busy");
    const auto waited = std::chrono::steady_clock::now() - start;
    // The server holds back for 5 s; the client gives up on the text after 2 s.
    EXPECT_LT(waited, std::chrono::milliseconds(4500));
}

TEST_F(HttpSocket, ConnectFailuresCarryTheirMessages) {
    struct Case {
        std::string url;
        int readTimeout;
        const char* error;
    } cases[] = {
        {Base(ports.refused) + "x", 0, "Socket Error # 10061\r\nConnection refused."},
        {Base(ports.refused) + "x", 500, "Socket Error # 10061\r\nConnection refused."},
        {Base(ports.stuck) + "x", 500, "Connect timed out."},
        {"https://127.0.0.1:" + std::to_string(ports.main) + "/ok", 0, "Secure (https) addresses are not supported."},
        {"ftp://127.0.0.1/ok", 0, ""},
        {"http:///ok", 0, "Socket Error # 11001\r\n"},  // no host: a failed look-up, its number alone
    };
    for (const Case& c : cases) {
        http::HttpClient client(platform::MakeSocketTransport());
        client.SetReadTimeout(c.readTimeout);
        EXPECT_EQ(Fetch(client, c.url).error, c.error) << c.url;
    }
}

TEST_F(HttpSocket, ConnectAndHeadAreBoundedWithoutAReadTimeOut) {
    // No read time-out: only the connect and head bounds end these waits.
    http::HttpClient stuck(platform::MakeSocketTransport());
    stuck.SetConnectTimeout(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(stuck, Base(ports.stuck) + "x").error, "Connect timed out.");
    http::HttpClient silent(platform::MakeSocketTransport());
    silent.SetHeadTimeout(300);
    EXPECT_EQ(Fetch(silent, Base(ports.main) + "stall_head").error, "Read Timeout");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    // The head bound leaves the body alone: a body that arrives later than it is read.
    http::HttpClient slowBody(platform::MakeSocketTransport());
    slowBody.SetHeadTimeout(300);
    const Result slow = Fetch(slowBody, Base(ports.main) + "slow_body");
    EXPECT_EQ(slow.error, "");
    EXPECT_EQ(slow.body, "ok");
}

TEST_F(HttpSocket, SendsTheExactRequestDirectlyAndThroughAProxy) {
    const Result direct = Fetch("ok");
    ASSERT_EQ(direct.error, "");
    EXPECT_EQ(LastRequest("ok"), "GET /ok HTTP/1.1\r\nContent-Type: text/html\r\nHost: 127.0.0.1:" +
                                     std::to_string(ports.main) + "\r\n" + kTail);

    // The scripted server plays the proxy: it gets the absolute form, port 80 written out.
    http::HttpClient client(platform::MakeSocketTransport());
    client.SetProxy("127.0.0.1", ports.main);
    const Result proxied = Fetch(client, "http://pkg.example/short600?v=2");
    EXPECT_EQ(proxied.error, "");
    EXPECT_EQ(proxied.body.size(), 600u);
    EXPECT_EQ(LastRequest("short600"),
              "GET http://pkg.example:80/short600?v=2 HTTP/1.1\r\nContent-Type: text/html\r\nHost: pkg.example\r\n" + kTail);
    const Result port8000 = Fetch(client, "http://pkg.example:8000/ok");
    EXPECT_EQ(LastRequest("ok"),
              "GET http://pkg.example:8000/ok HTTP/1.1\r\nContent-Type: text/html\r\nHost: pkg.example:8000\r\n" + kTail);
}

TEST_F(HttpSocket, KeepsTheConnectionUnlessTheServerSaysClose) {
    struct Case {
        const char* first;
        bool same;
    } cases[] = {{"keepalive", true}, {"ok_close", false}, {"proxy_close", false}, {"nolength", false}};
    for (const Case& c : cases) {
        http::HttpClient client(platform::MakeSocketTransport());
        EXPECT_EQ(Fetch(client, Base(ports.main) + c.first).error, "") << c.first;
        int firstConnection = 0;
        LastRequest(c.first, &firstConnection);
        EXPECT_EQ(Fetch(client, Base(ports.main) + "keepalive").error, "") << c.first;
        int secondConnection = 0;
        LastRequest("keepalive", &secondConnection);
        EXPECT_EQ(firstConnection == secondConnection, c.same) << c.first;
    }
}

TEST_F(HttpSocket, CookiesFromAnAnswerGoBackOnTheNextRequest) {
    http::HttpClient client(platform::MakeSocketTransport());
    EXPECT_EQ(Fetch(client, Base(ports.main) + "set_cookies").error, "");
    EXPECT_EQ(Fetch(client, Base(ports.main) + "cookies/check").error, "");
    const std::string request = LastRequest("cookies/check");
    EXPECT_NE(request.find("\r\nCookie: sid=42; lang=fr\r\n\r\n"), std::string::npos) << request;
}

TEST_F(HttpSocket, WritesIntoAFileAndCutsItToWhatArrived) {
    const std::string path = "http_socket_test.bin";
    struct Case {
        const char* scene;
        std::string content;
    } cases[] = {{"large", Pattern(100000)}, {"short600", std::string()}, {"bytes/70001", Pattern(70001)}};
    for (const Case& c : cases) {
        {
            http::HttpClient client(platform::MakeSocketTransport());
            auto target = platform::CreateFileTarget(path);
            client.Get(Base(ports.main) + c.scene, *target);
        }
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::string content;
        char piece[4096];
        std::size_t n;
        while ((n = std::fread(piece, 1, sizeof piece, f)) > 0) content.append(piece, n);
        std::fclose(f);
        if (std::string(c.scene) == "short600") {
            EXPECT_EQ(content.size(), 600u);
        } else {
            EXPECT_TRUE(content == c.content) << c.scene << " " << content.size();
        }
    }
    std::remove(path.c_str());
}

TEST_F(HttpSocket, ClientsShareTheSocketLayerWhileAnyIsAlive) {
    auto first = std::make_unique<http::HttpClient>(platform::MakeSocketTransport());
    {
        http::HttpClient second(platform::MakeSocketTransport());
        EXPECT_EQ(Fetch(second, Base(ports.main) + "ok").body, "hello");
    }
    // The second client's end must not take the layer from the first.
    EXPECT_EQ(Fetch(*first, Base(ports.main) + "ok").body, "hello");
    first.reset();
    http::HttpClient third(platform::MakeSocketTransport());
    EXPECT_EQ(Fetch(third, Base(ports.main) + "ok").body, "hello");
}

}  // namespace
