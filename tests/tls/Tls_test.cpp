// The HTTP client over TLS (OpenSSL natively, Schannel under Wine) against real servers on
// 127.0.0.1, started around this program by tests/servers/with-tls.sh: nginx with the test
// authority's certificates, misbehaving TLS servers, tinyproxy.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "http/HttpClient.h"
#include "http/HttpErrors.h"
#include "platform/SocketTransport.h"
#include "platform/Tls.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

int Port(const char* name) {
    const char* text = std::getenv(name);
    return text ? std::atoi(text) : 0;
}

// A file the servers wrote, by its host path (drive Z under Wine).
std::string ReadServerFile(const std::string& name) {
    const char* work = std::getenv("KLU_TLS_WORK");
    std::string path = std::string(work ? work : "") + "/" + name;
#ifdef _WIN32
    path = "Z:" + path;
#endif
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Wine's Schannel has no ApplyControlToken, so a program under Wine cannot send close_notify.
bool CanSendCloseNotify() {
#ifdef _WIN32
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
#else
    return true;
#endif
}

std::string Https(const std::string& host, int port, const std::string& path) {
    return "https://" + host + ":" + std::to_string(port) + path;
}

// The socket transport handing the server's bytes over one at a time: every record arrives
// split at every byte.
class OneByteTransport : public http::Transport {
public:
    OneByteTransport() : inner_(platform::MakeSocketTransport()) {}
    void Connect(const std::string& host, int port, int timeoutMs) override { inner_->Connect(host, port, timeoutMs); }
    void Disconnect() override { inner_->Disconnect(); }
    bool Connected() const override { return inner_->Connected(); }
    void Send(const char* data, std::size_t size) override { inner_->Send(data, size); }
    std::size_t Receive(char* buffer, std::size_t, int timeoutMs) override {
        ++reads;
        return inner_->Receive(buffer, 1, timeoutMs);
    }
    int reads = 0;

private:
    std::unique_ptr<http::Transport> inner_;
};

struct Result {
    std::string error;
    std::string body;
    std::string events;
    int status = 0;  // of a ProtocolError
};

class Tls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Port("KLU_TLS_GOOD"), 0) << "run through tests/servers/with-tls.sh"; }

    static Result Fetch(http::HttpClient& client, const std::string& url) {
        Result r;
        client.OnWorkBegin = [&r](http::WorkMode, std::int64_t n) { r.events += "begin " + std::to_string(n) + ";"; };
        client.OnWorkEnd = [&r](http::WorkMode) { r.events += "end;"; };
        http::StringTarget target;
        try {
            client.Get(url, target);
        } catch (const http::ProtocolError& e) {
            r.error = e.what();
            r.status = e.Status();
        } catch (const http::HttpError& e) {
            r.error = e.what();
        }
        r.body = target.Take();
        return r;
    }
    static Result Fetch(const std::string& url, int readTimeout = 5000) {
        http::HttpClient client(platform::MakeSocketTransport(), platform::MakeTlsEngine);
        client.SetReadTimeout(readTimeout);
        return Fetch(client, url);
    }
    static bool StartsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }
};

TEST_F(Tls, TrustedServerAnswersByNameAndByAddressOnOneKeptConnection) {
    http::HttpClient client(platform::MakeSocketTransport(), platform::MakeTlsEngine);
    client.SetReadTimeout(5000);
    // The certificate names a revocation list nobody serves: an unreachable source fails nothing.
    const Result first = Fetch(client, Https("localhost", Port("KLU_TLS_GOOD"), "/small.txt"));
    EXPECT_EQ(first.error, "");
    EXPECT_EQ(first.body, "hello over tls\n");
    EXPECT_EQ(first.events, "begin 15;end;");
    EXPECT_TRUE(client.Connected());
    const Result missing = Fetch(client, Https("localhost", Port("KLU_TLS_GOOD"), "/missing.txt"));
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.error, "HTTP/1.1 404 Not Found");
    const Result byAddress = Fetch(client, Https("127.0.0.1", Port("KLU_TLS_GOOD"), "/small.txt"));
    EXPECT_EQ(byAddress.error, "");
    EXPECT_EQ(byAddress.body, "hello over tls\n");
}

TEST_F(Tls, EachBadCertificateFailsWithItsText) {
    const struct {
        const char* port;
        const char* text;
    } cases[] = {
        {"KLU_TLS_UNTRUSTED", http::kTlsUntrusted},
        {"KLU_TLS_EXPIRED", http::kTlsExpired},
        {"KLU_TLS_WRONGNAME", http::kTlsNameMismatch},
    };
    for (const auto& c : cases) {
        const Result r = Fetch(Https("localhost", Port(c.port), "/small.txt"));
        EXPECT_TRUE(StartsWith(r.error, c.text)) << c.port << ": " << r.error;
        EXPECT_EQ(r.body, "") << c.port;
    }
}

TEST_F(Tls, ServersThatCannotAgreeATlsSessionFailTheHandshake) {
    // TLS 1.0 and 1.1 only; plain HTTP where TLS is expected.
    for (const char* port : {"KLU_TLS_OLD", "KLU_TLS_PLAIN"}) {
        const Result r = Fetch(Https("localhost", Port(port), "/small.txt"));
        EXPECT_TRUE(StartsWith(r.error, http::kTlsHandshakeFailed)) << port << ": " << r.error;
    }
}

TEST_F(Tls, StalledHandshakeEndsAfterTheReadTimeout) {
    const auto start = std::chrono::steady_clock::now();
    const Result r = Fetch(Https("localhost", Port("KLU_TLS_STALL"), "/small.txt"), 500);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.error, http::kReadTimeout);
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST_F(Tls, EndWithoutCloseNotifyIsAnErrorAndACleanEndIsNot) {
    const int port = Port("KLU_TLS_FAULT");
    const Result cut = Fetch(Https("localhost", port, "/cut"));
    EXPECT_EQ(cut.error, http::kTlsClosedEarly);
    EXPECT_EQ(cut.body.size(), 600u);
    const Result noLength = Fetch(Https("localhost", port, "/nolength"));
    EXPECT_EQ(noLength.error, http::kTlsClosedEarly);
    const Result clean = Fetch(Https("localhost", port, "/clean"));
    EXPECT_EQ(clean.error, "");
    EXPECT_EQ(clean.body.size(), 500u);
    // The client answered the server's close_notify with its own.
    // The server notes it once its own close has been answered; give its thread a moment.
    if (CanSendCloseNotify()) {
        bool answered = false;
        for (int i = 0; i < 40 && !answered; ++i) {
            answered = ReadServerFile("fault.log").find("clean: close_notify answered") != std::string::npos;
            if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(answered);
    }
}

TEST_F(Tls, RecordsSplitAtEveryByteGiveTheSameBody) {
    auto transport = std::make_unique<OneByteTransport>();
    OneByteTransport* bytes = transport.get();
    http::HttpClient client(std::move(transport), platform::MakeTlsEngine);
    client.SetReadTimeout(5000);
    const Result r = Fetch(client, Https("localhost", Port("KLU_TLS_GOOD"), "/small.txt"));
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.body, "hello over tls\n");
    EXPECT_GT(bytes->reads, 1000);  // the handshake and the answer, byte by byte
    const Result clean = Fetch(client, Https("localhost", Port("KLU_TLS_FAULT"), "/clean"));
    EXPECT_EQ(clean.error, "");
    EXPECT_EQ(clean.body.size(), 500u);
}

TEST_F(Tls, HttpsThroughTheProxyTunnelsAndARefusedTunnelIsTheProxysError) {
    http::HttpClient client(platform::MakeSocketTransport(), platform::MakeTlsEngine);
    client.SetReadTimeout(5000);
    client.SetProxy("127.0.0.1", Port("KLU_TLS_PROXY"));
    const Result r = Fetch(client, Https("localhost", Port("KLU_TLS_GOOD"), "/small.txt?via=tunnel"));
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.body, "hello over tls\n");
    const std::string authority = "localhost:" + std::to_string(Port("KLU_TLS_GOOD"));
    EXPECT_NE(ReadServerFile("tinyproxy.log").find("CONNECT " + authority + " HTTP/1.1"), std::string::npos);
    EXPECT_NE(ReadServerFile("nginx-access.log").find("\"GET /small.txt?via=tunnel HTTP/1.1\" 200"), std::string::npos);

    // The proxy lets tunnels through to one port only.
    const Result refused = Fetch(client, Https("localhost", Port("KLU_TLS_UNTRUSTED"), "/small.txt"));
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.error, "HTTP/1.1 403 Access violation");
}

}  // namespace
