// "https" through the client with the TLS engine replaced by one that passes bytes through as
// they are, so that the bytes on the connection are the HTTP the client speaks inside TLS: the
// CONNECT to the proxy, the request in origin form, the Host field without the default port, the
// proxy's refusal, and the end of an answer without close_notify.
#include <gtest/gtest.h>

#include "core/HttpFake.h"
#include "http/HttpClient.h"
#include "http/Tunnel.h"

namespace {

using httptest::Log;
using httptest::Script;

class PlainEngine : public http::TlsEngine {
public:
    Result Handshake(char*, std::size_t, std::size_t& consumed, std::string&) override {
        consumed = 0;
        return Result::Done;
    }
    Result Decrypt(char* in, std::size_t size, std::size_t& consumed, std::string& plain, std::string&) override {
        plain.append(in, size);
        consumed = size;
        return Result::NeedMore;
    }
    void Encrypt(const char* data, std::size_t size, std::string& out) override { out.append(data, size); }
    void Close(std::string&) override {}
};

struct Outcome {
    std::string error;
    std::string body;
};

Outcome Get(const std::string& url, std::deque<Script> scripts, Log& log, const std::string& proxy = "") {
    http::HttpClient client(std::make_unique<httptest::FakeTransport>(std::move(scripts), log),
                            [](const std::string&) { return std::make_unique<PlainEngine>(); });
    if (!proxy.empty()) client.SetProxy(proxy, 3128);
    Outcome r;
    try {
        r.body = client.Get(url);
    } catch (const http::HttpError& e) {
        r.error = e.what();
    }
    return r;
}

const char* const kRequestTail =
    "Accept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; KestrumLiveUpdate)\r\n\r\n";
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

TEST(HttpTunnel, ConnectsThroughTheProxyThenSendsTheOriginForm) {
    Log log;
    const Outcome r = Get("https://pkg.example/f.zip?x=1",
                      {Script{{"HTTP/1.1 200 Connection established\r\n\r\n", kOk}, true}}, log, "proxy");
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.body, "ok");
    ASSERT_EQ(log.connects.size(), 1u);
    EXPECT_EQ(log.connects[0], "proxy:3128/0");
    EXPECT_EQ(log.sent[0], std::string("CONNECT pkg.example:443 HTTP/1.1\r\nHost: pkg.example:443\r\n\r\n") +
                               "GET /f.zip?x=1 HTTP/1.1\r\nContent-Type: text/html\r\nHost: pkg.example\r\n" +
                               kRequestTail);
}

TEST(HttpTunnel, AProxyThatRefusesTheTunnelIsItsProtocolError) {
    Log log;
    const Outcome r = Get("https://pkg.example:8443/f.zip",
                      {Script{{"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n"}, true}},
                      log, "proxy");
    EXPECT_EQ(r.error, "HTTP/1.1 407 Proxy Authentication Required");
    EXPECT_EQ(log.sent[0], "CONNECT pkg.example:8443 HTTP/1.1\r\nHost: pkg.example:8443\r\n\r\n");  // no GET
    EXPECT_EQ(log.disconnects, 1);
}

TEST(HttpTunnel, DirectHttpsNamesThePortOnlyWhenItIsNot443) {
    const struct {
        const char* url;
        const char* connect;
        const char* host;
    } cases[] = {
        {"https://pkg.example/f.zip", "pkg.example:443/0", "Host: pkg.example\r\n"},
        {"https://pkg.example:8443/f.zip", "pkg.example:8443/0", "Host: pkg.example:8443\r\n"},
        {"http://pkg.example:443/f.zip", "pkg.example:443/0", "Host: pkg.example:443\r\n"},
    };
    for (const auto& c : cases) {
        Log log;
        const Outcome r = Get(c.url, {Script{{kOk}, true}}, log);
        EXPECT_EQ(r.error, "") << c.url;
        EXPECT_EQ(log.connects.at(0), c.connect) << c.url;
        EXPECT_NE(log.sent.at(0).find(c.host), std::string::npos) << c.url << ": " << log.sent.at(0);
    }
    http::Url v6 = http::SplitUrl("https://[::1]:8443/x");
    EXPECT_EQ(http::BuildConnectRequest(v6), "CONNECT [::1]:8443 HTTP/1.1\r\nHost: [::1]:8443\r\n\r\n");
}

TEST(HttpTunnel, AnAnswerWithoutLengthMustEndWithCloseNotify) {
    Log log;
    // The server closes the connection without close_notify: the body may be cut.
    const Outcome r = Get("https://pkg.example/f.zip", {Script{{"HTTP/1.1 200 OK\r\n\r\n", "partial"}}}, log);
    EXPECT_EQ(r.error, http::kTlsClosedEarly);
    // A kept connection dropped before anything of the answer came is replaced, as for http.
    Log again;
    http::HttpClient client(
        std::make_unique<httptest::FakeTransport>(std::deque<Script>{Script{{kOk}}, Script{{kOk}}}, again),
        [](const std::string&) { return std::make_unique<PlainEngine>(); });
    EXPECT_EQ(client.Get("https://pkg.example/a"), "ok");
    EXPECT_EQ(client.Get("https://pkg.example/b"), "ok");
    EXPECT_EQ(again.connects.size(), 2u);
}

TEST(HttpTunnel, WithoutATlsFactoryHttpsIsRefused) {
    Log log;
    http::HttpClient client(std::make_unique<httptest::FakeTransport>(std::deque<Script>{}, log));
    EXPECT_THROW(
        {
            try {
                client.Get("https://pkg.example/f.zip");
            } catch (const http::HttpError& e) {
                EXPECT_STREQ(e.what(), http::kHttpsUnsupported);
                throw;
            }
        },
        http::HttpError);
    EXPECT_TRUE(log.connects.empty());
}

}  // namespace
