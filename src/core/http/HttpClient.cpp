#include "http/HttpClient.h"

#include <algorithm>

#include "http/HttpErrors.h"
#include "http/ResponseHead.h"

namespace http {

HttpClient::HttpClient(std::unique_ptr<Transport> transport)
    : transport_(std::move(transport)), buffer_(kReceiveBuffer) {}

HttpClient::~HttpClient() { Disconnect(); }

void HttpClient::Disconnect() {
    transport_->Disconnect();
    head_ = tail_ = 0;
    peerClosed_ = false;
    connectedHost_.clear();
    connectedPort_ = 0;
}

void HttpClient::Connect(const std::string& host, int port) {
    Disconnect();
    transport_->Connect(host, port, readTimeout_);
    connectedHost_ = host;
    connectedPort_ = port;
}

std::string HttpClient::Get(const std::string& url) {
    StringTarget target;
    Get(url, target);
    return target.Take();
}

void HttpClient::Get(const std::string& address, Target& target) {
    const Url url = SplitUrl(address);
    if (url.protocol == "https") throw HttpError(kHttpsUnsupported);
    const bool viaProxy = !proxyServer_.empty();
    const std::string host = viaProxy ? proxyServer_ : url.host;
    const int port = viaProxy ? proxyPort_ : url.port;

    if (transport_->Connected() && (host != connectedHost_ || port != connectedPort_)) Disconnect();
    try {
        std::string request;
        while (true) {
            const bool reused = transport_->Connected();
            if (!reused) Connect(host, port);
            if (request.empty()) request = BuildRequest(url, viaProxy, cookies_.HeaderFor(url));
            if (Exchange(request, reused)) break;
            // A kept connection that the server had already closed or reset: nothing of this
            // answer has been taken, so the GET is sent again once, on a fresh connection.
            if (!reused) throw HttpError(kClosedGracefully);
            Disconnect();
        }
        ReadAnswer(url, target);
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

void HttpClient::ReadAnswer(const Url& url, Target& target) {
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
    if (status_ != 204) ReadBodyInto(target);

    if (peerClosed_ || !transport_->Connected() || SaysClose(headers_)) Disconnect();
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
    HeadParser parser;
    while (true) {
        HeadParser::Result result;
        if (head_ == tail_ && Fill(buffer_.size(), readTimeout_) == 0) {
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
