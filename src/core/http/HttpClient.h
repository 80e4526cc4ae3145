// The installer's HTTP/1.1 client: one GET at a time over a Transport, directly or through one
// HTTP proxy, with the body written into a Target in pieces of at most 32768 bytes.
//
// Contract (what the worker relies on):
// - The request: "GET target HTTP/1.1", then Content-Type, Host, Accept, User-Agent and, when
//   stored cookies match, Cookie (see BuildRequest). Through a proxy the target is the absolute
//   form with the port written out.
// - Interim answers (1xx but 101) are skipped, 32 at most; a header block holds at most 100
//   lines and 64 KiB. 2xx reads the body (204 has none). A "Location" field or a 3xx other
//   than 304 is not followed; it, 304, 401, 407 and every other status raise ProtocolError with
//   the status line exactly as received, after the answer's text has been read (each read then
//   waits at most 2000 ms). A 206 is taken only for a request that asked for a range
//   (GetExtras); otherwise it is a protocol error too.
// - Body modes: a Content-Length N > 0 extends the target to position + N, reads until N bytes
//   or a close (a close is not an error: the caller compares the work count with N), then cuts
//   the target back; chunked reads one work span per chunk, and a close before the last chunk
//   fails with "Connection Closed Gracefully."; without Content-Length it reads until the server
//   closes; a Content-Length of 0 reads nothing. Chunked framing wins over a Content-Length
//   given beside it. A Content-Length, chunk size or body above
//   2147483647 bytes, or one that is not a number, fails.
// - Events: work begin (count announced for the span, 0 when none), work (running count within
//   the span), work end; only while a 2xx body is read, on the calling thread.
// - The connection stays open after a request unless the server closed it or said "close" in
//   "Connection" or "Proxy-Connection"; a change of host or port reconnects; any failure
//   disconnects, and the next request connects anew. A kept connection that turns out closed or
//   reset before any of the answer arrived is replaced once and the GET sent again.
// - "https" (with a TLS factory): the connection is TlsTransport over the socket transport.
//   Through a proxy, "CONNECT host:port" first; a 2xx answer opens the tunnel, any other raises
//   ProtocolError with the proxy's status line; the GET then goes in origin form through TLS.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "http/Cookies.h"
#include "http/Response.h"
#include "http/Target.h"
#include "http/TlsTransport.h"
#include "http/Transport.h"
#include "http/Url.h"

namespace http {

enum class WorkMode { Read, Write };

class BodySink;

// What a resumed download adds to one GET.
struct GetExtras {
    std::string fields;        // whole header lines ("Range: bytes=N-" CR LF...), sent last
    bool rangeAsked = false;   // a 206 may answer this request
    // Called with a 2xx answer's status and fields before its body is read; it may raise to
    // refuse the answer (the body is then left unread and the connection closed).
    std::function<void(int status, const std::string& statusLine, const Headers& fields)> onHead;
};

class HttpClient {
public:
    static constexpr std::size_t kReceiveBuffer = 32768;  // the most a body piece (and work step) holds
    // The most one read from the connection takes: fewer, larger reads cost fewer round trips to
    // the system; the body still reaches the target in pieces of kReceiveBuffer at most.
    static constexpr std::size_t kSocketRead = 262144;
    static constexpr int kErrorBodyTimeoutMs = 2000;
    static constexpr std::size_t kErrorBodyLimit = 65536;  // most of an error answer's text kept

    // `tls` makes the TLS engines for "https" addresses; without it they fail with
    // "Secure (https) addresses are not supported.".
    explicit HttpClient(std::unique_ptr<Transport> transport, TlsEngineFactory tls = nullptr);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // One GET with the body written into `target` at its current position.
    void Get(const std::string& url, Target& target) { Get(url, target, GetExtras()); }
    void Get(const std::string& url, Target& target, const GetExtras& extras);
    // The same with the body returned as bytes.
    std::string Get(const std::string& url);

    // An empty server means no proxy.
    void SetProxy(const std::string& server, int port) {
        proxyServer_ = server;
        proxyPort_ = port;
    }
    const std::string& ProxyServer() const { return proxyServer_; }

    // Milliseconds each read (and the connect) may wait; 0 waits without limit.
    void SetReadTimeout(int ms) { readTimeout_ = ms < 0 ? 0 : ms; }
    // Bounds beside the read time-out (0: none, the default): how long the connect may take,
    // and how long the whole head of an answer may take to arrive. The shorter bound counts.
    void SetConnectTimeout(int ms) { connectTimeout_ = ms < 0 ? 0 : ms; }
    void SetHeadTimeout(int ms) { headTimeout_ = ms < 0 ? 0 : ms; }
    int ReadTimeout() const { return readTimeout_; }

    void Disconnect();
    bool Connected() const { return transport_->Connected(); }

    // The last answer's status line.
    const std::string& StatusLine() const { return statusLine_; }

    std::function<void(WorkMode, std::int64_t)> OnWorkBegin;
    std::function<void(WorkMode, std::int64_t)> OnWork;
    std::function<void(WorkMode)> OnWorkEnd;

private:
    // Connects to `host`:`port` for `url`: plain, TLS, or TLS through a proxy's CONNECT tunnel.
    void Connect(const Url& url, const std::string& host, int port);
    bool Exchange(const std::string& request, bool reused);
    void ReadAnswer(const Url& url, Target& target, const GetExtras& extras);
    bool ReadHead();
    std::size_t Fill(std::size_t limit, int timeoutMs);
    void ReadBodyInto(Target& target);  // with the work events
    // The body in its framing, piece by piece into `sink`; false when the sink stopped it.
    bool ReadBody(BodySink& sink, int timeoutMs);
    bool ReadChunked(BodySink& sink, int timeoutMs);
    bool ReadSpan(BodySink& sink, std::int64_t length, int timeoutMs);
    bool ReadUntilClose(BodySink& sink, int timeoutMs);
    std::string ReadErrorBody();

    std::unique_ptr<Transport> socket_;
    std::unique_ptr<TlsTransport> tls_;  // over socket_, for "https"
    Transport* transport_;               // socket_ or tls_: what the request goes through
    bool secure_ = false;                // the connection is TLS
    std::string tunnel_;                 // the origin a proxy's tunnel leads to, "host:port"
    std::string proxyServer_;
    int proxyPort_ = 0;
    int readTimeout_ = 0;
    int connectTimeout_ = 0;
    int headTimeout_ = 0;
    CookieJar cookies_;

    std::string connectedHost_;
    int connectedPort_ = 0;
    bool peerClosed_ = false;  // a read returned the orderly close
    std::uint64_t received_ = 0;  // bytes taken from connections so far

    std::vector<char> buffer_;
    std::size_t head_ = 0;  // first unread byte in buffer_
    std::size_t tail_ = 0;  // one past the last

    int status_ = 0;
    std::string statusLine_;
    Headers headers_;
};

}  // namespace http
