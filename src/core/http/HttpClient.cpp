#include "http/HttpClient.h"

#include <algorithm>
#include <chrono>

#include "http/HttpErrors.h"
#include "http/ResponseHead.h"
#include "http/Tunnel.h"

namespace http {

namespace {

// The shorter of two limits in milliseconds, 0 standing for none.
int Shorter(int a, int b) {
    if (a == 0) return b;
    if (b == 0) return a;
    return std::min(a, b);
}

}  // namespace

HttpClient::HttpClient(std::unique_ptr<Transport> transport, TlsEngineFactory tls)
    : socket_(std::move(transport)),
      tls_(tls ? std::make_unique<TlsTransport>(*socket_, std::move(tls)) : nullptr),
      transport_(socket_.get()),
      buffer_(kSocketRead) {}

HttpClient::~HttpClient() { Disconnect(); }

void HttpClient::Disconnect() {
    transport_->Disconnect();
    head_ = tail_ = 0;
    peerClosed_ = false;
    connectedHost_.clear();
    connectedPort_ = 0;
}

void HttpClient::Connect(const Url& url, const std::string& host, int port) {
    Disconnect();
    secure_ = url.protocol == "https";
    tunnel_ = secure_ && !proxyServer_.empty() ? Authority(url) : std::string();
    transport_ = secure_ && tunnel_.empty() ? static_cast<Transport*>(tls_.get()) : socket_.get();
    try {
        transport_->Connect(host, port, Shorter(readTimeout_, connectTimeout_));
        if (!tunnel_.empty()) {
            // The proxy's answer to CONNECT is read like any head; only 2xx opens the tunnel.
            const std::string connect = BuildConnectRequest(url);
            socket_->Send(connect.data(), connect.size());
            if (!ReadHead()) throw HttpError(kClosedGracefully);
            if (status_ < 200 || status_ > 299) throw ProtocolError(status_, statusLine_, std::string());
            head_ = tail_ = 0;
            transport_ = tls_.get();
            tls_->Secure(url.host, readTimeout_);
        }
    } catch (...) {
        Disconnect();
        throw;
    }
    connectedHost_ = host;
    connectedPort_ = port;
}

std::string HttpClient::Get(const std::string& url) {
    StringTarget target;
    Get(url, target);
    return target.Take();
}

void HttpClient::Get(const std::string& address, Target& target, const GetExtras& extras) {
    const Url url = SplitUrl(address);
    const bool secure = url.protocol == "https";
    if (secure && !tls_) throw HttpError(kHttpsUnsupported);
    const bool viaProxy = !proxyServer_.empty();
    const std::string host = viaProxy ? proxyServer_ : url.host;
    const int port = viaProxy ? proxyPort_ : url.port;
    const std::string tunnel = secure && viaProxy ? Authority(url) : std::string();
    if (viaProxy && (port < 1 || port > 65535)) throw HttpError("Invalid proxy port number");

    // A connection serves one protocol, host and port (and, tunnelled, one origin).
    if (transport_->Connected() && (host != connectedHost_ || port != connectedPort_ || secure != secure_ ||
                                    tunnel != tunnel_)) {
        Disconnect();
    }
    try {
        std::string request;
        while (true) {
            const bool reused = transport_->Connected();
            if (!reused) Connect(url, host, port);
            // Through a tunnel the request is the origin's own.
            if (request.empty()) request = BuildRequest(url, viaProxy && !secure, cookies_.HeaderFor(url), extras.fields);
            if (Exchange(request, reused)) break;
            // A kept connection that the server had already closed or reset: nothing of this
            // answer has been taken, so the GET is sent again once, on a fresh connection.
            if (!reused) throw HttpError(kClosedGracefully);
            Disconnect();
        }
        ReadAnswer(url, target, extras);
    } catch (...) {
        Disconnect();
        throw;
    }
}

bool HttpClient::Exchange(const std::string& request, bool reused) {
    const std::uint64_t before = received_;
    try {
        transport_->Send(request.data(), request.size());
        return ReadHead();
    } catch (const SocketError&) {
        // A kept connection reset before the answer's first byte counts as closed.
        if (!reused || received_ != before) throw;
        return false;
    }
}

void HttpClient::ReadAnswer(const Url& url, Target& target, const GetExtras& extras) {
    for (const auto& field : headers_) {
        const std::string name = ToLower(field.first);
        if (name == "set-cookie") cookies_.Store(field.second, false, url);
        if (name == "set-cookie2") cookies_.Store(field.second, true, url);
    }

    const bool redirect = FindHeader(headers_, "Location") != nullptr ||
                          (status_ >= 300 && status_ < 400 && status_ != 304);
    if (redirect || status_ < 200 || status_ > 299) {
        // 1xx and 304 answers carry no body (RFC 9112 6.3).
        const bool hasBody = status_ >= 200 && status_ != 204 && status_ != 304;
        std::string body = hasBody ? ReadErrorBody() : std::string();
        throw ProtocolError(status_, statusLine_, std::move(body));
    }
    // A 206 answers a range request: to any other its body is a part of the file, never the
    // file.
    if (status_ == 206 && !extras.rangeAsked) throw ProtocolError(status_, statusLine_, ReadErrorBody());
    if (extras.onHead) extras.onHead(status_, statusLine_, headers_);
    if (status_ != 204) ReadBodyInto(target);

    // After a 204 the connection goes: a body its server sent anyway is never read as the next
    // answer.
    if (status_ == 204 || peerClosed_ || !transport_->Connected() || SaysClose(headers_)) Disconnect();
}

std::size_t HttpClient::Fill(std::size_t limit, int timeoutMs) {
    if (head_ == tail_) head_ = tail_ = 0;
    const std::size_t room = std::min(limit, buffer_.size() - tail_);
    if (peerClosed_ || room == 0) return 0;
    const std::size_t got = transport_->Receive(buffer_.data() + tail_, room, timeoutMs);
    if (got == 0) peerClosed_ = true;
    tail_ += got;
    received_ += got;
    return got;
}

bool HttpClient::ReadHead() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(headTimeout_);
    HeadParser parser;
    while (true) {
        HeadParser::Result result;
        // The head as a whole has headTimeout_ to arrive; each read waits at most what is left.
        int wait = readTimeout_;
        if (headTimeout_ > 0 && head_ == tail_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) throw HttpError(kReadTimeout);
            wait = Shorter(readTimeout_, static_cast<int>(left));
        }
        if (head_ == tail_ && Fill(buffer_.size(), wait) == 0) {
            result = parser.Close();
        } else {
            std::size_t used = 0;
            result = parser.Feed(buffer_.data() + head_, buffer_.data() + tail_, used);
            head_ += used;
        }
        switch (result) {
        case HeadParser::Result::NeedMore:
            continue;
        case HeadParser::Result::Done:
            status_ = parser.Status();
            statusLine_ = parser.StatusLine();
            headers_ = parser.Fields();
            return true;
        case HeadParser::Result::NoAnswer:
            return false;
        case HeadParser::Result::LineTooLong:
            throw HttpError(kMaxLineExceeded);
        case HeadParser::Result::TooManyLines:
            throw HttpError("Too many header lines.");
        case HeadParser::Result::BlockTooLarge:
            throw HttpError("Header block too large.");
        case HeadParser::Result::TooManyInterim:
            throw HttpError("Too many interim answers.");
        }
    }
}

}  // namespace http
