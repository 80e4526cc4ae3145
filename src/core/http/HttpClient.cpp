#include "http/HttpClient.h"

#include <algorithm>
#include <cstring>

#include "http/HttpErrors.h"

namespace http {

namespace {

// Most of an error answer's text the client keeps; the rest is not read.
constexpr std::size_t kErrorBodyLimit = 65536;

// Raised by the error-body target when its limit is reached: the reading stops there.
struct ErrorBodyFull {};

class ErrorBodyTarget : public Target {
public:
    std::int64_t Position() override { return static_cast<std::int64_t>(text.size()); }
    void Write(const char* data, std::size_t size) override {
        const std::size_t room = kErrorBodyLimit - text.size();
        text.append(data, std::min(size, room));
        if (size >= room) throw ErrorBodyFull();
    }
    void SetSize(std::int64_t size) override {
        if (size >= 0 && static_cast<std::uint64_t>(size) < text.size()) text.resize(static_cast<std::size_t>(size));
    }
    std::string text;
};

[[noreturn]] void Fail(LengthStatus status, const char* invalid, const char* tooLarge) {
    throw HttpError(status == LengthStatus::TooLarge ? tooLarge : invalid);
}

}  // namespace

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

std::string HttpClient::Get(const std::string& url) {
    StringTarget target;
    Get(url, target);
    return target.Take();
}

void HttpClient::Get(const std::string& address, Target& target) {
    const Url url = SplitUrl(address);
    if (url.protocol == "https") throw HttpError(kHttpsUnsupported);
    const bool viaProxy = !proxyServer_.empty();
    const std::string& host = viaProxy ? proxyServer_ : url.host;
    const int port = viaProxy ? proxyPort_ : url.port;

    if (transport_->Connected() && (host != connectedHost_ || port != connectedPort_)) Disconnect();
    const bool reused = transport_->Connected();
    if (!reused) {
        Disconnect();
        transport_->Connect(host, port, readTimeout_);
        connectedHost_ = host;
        connectedPort_ = port;
    }
    try {
        Request(url, target, reused);
    } catch (...) {
        Disconnect();
        throw;
    }
}

void HttpClient::Request(const Url& url, Target& target, bool reused) {
    const bool viaProxy = !proxyServer_.empty();
    const std::string request = BuildRequest(url, viaProxy, cookies_.HeaderFor(url));
    bool answered = false;
    const std::uint64_t before = received_;
    try {
        transport_->Send(request.data(), request.size());
        answered = ReadHead();
    } catch (const SocketError&) {
        // A kept connection reset before the answer's first byte is handled below.
        if (!reused || received_ != before) throw;
    }
    if (!answered) {
        // A kept connection that the server had already closed or reset: nothing of this answer
        // has been taken, so the GET is sent again once, on a fresh connection.
        if (!reused) throw HttpError(kClosedGracefully);
        const std::string host = connectedHost_;
        const int port = connectedPort_;
        Disconnect();
        transport_->Connect(host, port, readTimeout_);
        connectedHost_ = host;
        connectedPort_ = port;
        transport_->Send(request.data(), request.size());
        if (!ReadHead()) throw HttpError(kClosedGracefully);
    }

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
    if (status_ != 204) ReadBody(target, true, readTimeout_);

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

bool HttpClient::ReadLine(std::string& line, int timeoutMs) {
    line.clear();
    bool any = false;
    while (true) {
        const char* start = buffer_.data() + head_;
        const char* end = buffer_.data() + tail_;
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', end - start));
        const std::size_t take = lf ? static_cast<std::size_t>(lf - start) : static_cast<std::size_t>(end - start);
        // The line without its LF may hold at most kMaxLine bytes (its CR included).
        if (line.size() + take > kMaxLine) throw HttpError(kMaxLineExceeded);
        line.append(start, take);
        any = any || take > 0 || lf;
        if (lf) {
            head_ += take + 1;
            break;
        }
        head_ = tail_;
        if (Fill(buffer_.size(), timeoutMs) == 0) {
            if (!any) return false;
            break;  // the last line before the close
        }
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool HttpClient::ReadHead() {
    // Interim answers (100 Continue, 103 Early Hints...) are skipped; only so many of them, so that
    // a server cannot keep the client from its final answer for ever.
    for (int interim = 0;; ++interim) {
        if (interim > kMaxInterimAnswers) throw HttpError("Too many interim answers.");
        std::string line;
        if (!ReadLine(line, readTimeout_)) return false;
        statusLine_ = line;
        status_ = StatusCode(statusLine_);
        headers_.clear();
        std::size_t blockBytes = 0;
        // A close while the header block is read ends the block.
        while (ReadLine(line, readTimeout_) && !line.empty()) {
            // An endless header block would grow without bound.
            if (headers_.size() == kMaxHeaderLines) throw HttpError("Too many header lines.");
            blockBytes += line.size() + 2;
            if (blockBytes > kMaxHeaderBlock) throw HttpError("Header block too large.");
            AddHeaderLine(headers_, line);
        }
        if (status_ < 100 || status_ > 199 || status_ == 101) return true;
    }
}

void HttpClient::ReadBody(Target& target, bool events, int timeoutMs) {
    // A chunked body carries its own framing; a Content-Length beside it is ignored, as HTTP/1.1
    // says, so that the two cannot be played against each other.
    if (IsChunked(headers_)) {
        if (peerClosed_ && head_ == tail_) throw HttpError(kUndefinedSituation);
        ReadChunked(target, events, timeoutMs);
        return;
    }
    std::int64_t length = 0;
    const LengthStatus lengthStatus = ContentLength(headers_, length);
    if (lengthStatus == LengthStatus::Invalid || lengthStatus == LengthStatus::TooLarge) {
        Fail(lengthStatus, "Invalid Content-Length.", "Content-Length is too large.");
    }
    if (lengthStatus == LengthStatus::Valid && length == 0) return;

    // The body is due, but the server has already gone.
    if (peerClosed_ && head_ == tail_) throw HttpError(kUndefinedSituation);

    if (lengthStatus == LengthStatus::Valid) {
        ReadSpan(target, length, events, false, timeoutMs);
        return;
    }
    ReadUntilClose(target, events, timeoutMs);
}

void HttpClient::ReadChunked(Target& target, bool events, int timeoutMs) {
    std::string line;
    while (true) {
        if (!ReadLine(line, timeoutMs)) throw HttpError(kClosedGracefully);
        std::int64_t size = 0;
        const LengthStatus sizeStatus = ChunkSize(line, size);
        if (sizeStatus != LengthStatus::Valid) Fail(sizeStatus, "Invalid chunk size.", "Chunk size is too large.");
        if (size == 0) break;
        ReadSpan(target, size, events, true, timeoutMs);
        // CR LF after the data, and nothing else: more bytes mean the size lied.
        if (!ReadLine(line, timeoutMs)) throw HttpError(kClosedGracefully);
        if (!line.empty()) throw HttpError("Chunk data does not match its size.");
    }
    // The trailer section ends with an empty line; a close there loses nothing.
    while (ReadLine(line, timeoutMs) && !line.empty()) {
    }
}

void HttpClient::ReadSpan(Target& target, std::int64_t length, bool events, bool closeIsError,
                          int timeoutMs) {
    if (events && OnWorkBegin) OnWorkBegin(WorkMode::Read, length);
    const std::int64_t start = target.Position();
    target.SetSize(start + length);
    std::int64_t received = 0;
    try {
        while (received < length) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::int64_t>(length - received, kReceiveBuffer));
            if (head_ == tail_ && Fill(want, timeoutMs) == 0) {
                if (closeIsError) throw HttpError(kClosedGracefully);
                break;
            }
            const std::size_t piece = std::min(want, tail_ - head_);
            target.Write(buffer_.data() + head_, piece);
            head_ += piece;
            received += static_cast<std::int64_t>(piece);
            if (events && OnWork) OnWork(WorkMode::Read, received);
        }
    } catch (...) {
        // A failed request leaves the target with what was written, not with the extension.
        target.SetSize(start + received);
        throw;
    }
    if (events && OnWorkEnd) OnWorkEnd(WorkMode::Read);
    target.SetSize(start + received);
}

void HttpClient::ReadUntilClose(Target& target, bool events, int timeoutMs) {
    if (events && OnWorkBegin) OnWorkBegin(WorkMode::Read, 0);
    std::int64_t received = 0;
    while (head_ != tail_ || Fill(kReceiveBuffer, timeoutMs) > 0) {
        const std::size_t piece = tail_ - head_;
        if (received + static_cast<std::int64_t>(piece) > kMaxCount) throw HttpError("Response body is too large.");
        target.Write(buffer_.data() + head_, piece);
        head_ = tail_;
        received += static_cast<std::int64_t>(piece);
        if (events && OnWork) OnWork(WorkMode::Read, received);
    }
    if (events && OnWorkEnd) OnWorkEnd(WorkMode::Read);
}

std::string HttpClient::ReadErrorBody() {
    ErrorBodyTarget text;
    try {
        ReadBody(text, false, kErrorBodyTimeoutMs);
    } catch (const ErrorBodyFull&) {
        Disconnect();  // the rest of the text stays unread
    } catch (const HttpError&) {
        Disconnect();  // the status line is the error that counts
    }
    return text.text;
}

}  // namespace http
