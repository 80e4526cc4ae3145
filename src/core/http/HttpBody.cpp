// The client's body reader: the answer's framing (a length, chunks, or until the close) read
// from the connection's buffer into a sink.
#include <algorithm>

#include "http/BodySink.h"
#include "http/ChunkDecoder.h"
#include "http/HttpClient.h"
#include "http/HttpErrors.h"

namespace http {

namespace {

// The download's target: each span raises its work events, and a span with a length extends
// the target once to it and cuts it back to what arrived.
class TargetSink : public BodySink {
public:
    TargetSink(Target& target, const HttpClient& client) : target_(target), client_(client) {}

    void Begin(std::int64_t announced, bool extend) override {
        if (client_.OnWorkBegin) client_.OnWorkBegin(WorkMode::Read, announced);
        start_ = target_.Position();
        received_ = 0;
        extend_ = extend;
        inSpan_ = true;
        if (extend_) target_.SetSize(start_ + announced);
    }
    bool Piece(const char* data, std::size_t size) override {
        target_.Write(data, size);
        received_ += static_cast<std::int64_t>(size);
        if (client_.OnWork) client_.OnWork(WorkMode::Read, received_);
        return true;
    }
    void End() override {
        inSpan_ = false;
        if (client_.OnWorkEnd) client_.OnWorkEnd(WorkMode::Read);
        if (extend_) target_.SetSize(start_ + received_);
    }
    void Abort() override {
        // A failed request leaves the target with what was written, not with the extension.
        if (inSpan_ && extend_) target_.SetSize(start_ + received_);
        inSpan_ = false;
    }

private:
    Target& target_;
    const HttpClient& client_;
    std::int64_t start_ = 0;
    std::int64_t received_ = 0;
    bool extend_ = false;
    bool inSpan_ = false;
};

// An error answer's text, kept up to a limit; the reading stops there.
class TextSink : public BodySink {
public:
    explicit TextSink(std::size_t limit) : limit_(limit) {}
    void Begin(std::int64_t, bool) override {}
    bool Piece(const char* data, std::size_t size) override {
        const std::size_t room = limit_ - text.size();
        text.append(data, std::min(size, room));
        return size < room;
    }
    void End() override {}
    void Abort() override {}

    std::string text;

private:
    std::size_t limit_;
};

[[noreturn]] void Fail(LengthStatus status, const char* invalid, const char* tooLarge) {
    throw HttpError(status == LengthStatus::TooLarge ? tooLarge : invalid);
}

}  // namespace

void HttpClient::ReadBodyInto(Target& target) {
    TargetSink sink(target, *this);
    try {
        ReadBody(sink, readTimeout_);
    } catch (...) {
        sink.Abort();
        throw;
    }
}

std::string HttpClient::ReadErrorBody() {
    TextSink sink(kErrorBodyLimit);
    try {
        if (!ReadBody(sink, kErrorBodyTimeoutMs)) Disconnect();  // the rest of the text stays unread
    } catch (const HttpError&) {
        Disconnect();  // the status line is the error that counts
    }
    return sink.text;
}

bool HttpClient::ReadBody(BodySink& sink, int timeoutMs) {
    // A chunked body carries its own framing; a Content-Length beside it is ignored, as HTTP/1.1
    // says, so that the two cannot be played against each other.
    if (IsChunked(headers_)) {
        if (peerClosed_ && head_ == tail_) throw HttpError(kUndefinedSituation);
        return ReadChunked(sink, timeoutMs);
    }
    std::int64_t length = 0;
    const LengthStatus lengthStatus = ContentLength(headers_, length);
    if (lengthStatus == LengthStatus::Invalid || lengthStatus == LengthStatus::TooLarge) {
        Fail(lengthStatus, "Invalid Content-Length.", "Content-Length is too large.");
    }
    if (lengthStatus == LengthStatus::Valid && length == 0) return true;

    // The body is due, but the server has already gone.
    if (peerClosed_ && head_ == tail_) throw HttpError(kUndefinedSituation);

    if (lengthStatus == LengthStatus::Valid) return ReadSpan(sink, length, timeoutMs);
    return ReadUntilClose(sink, timeoutMs);
}

bool HttpClient::ReadChunked(BodySink& sink, int timeoutMs) {
    ChunkDecoder decoder;
    while (true) {
        // Within chunk data no more than the chunk holds is read, as for a length.
        const std::size_t limit =
            decoder.InData() ? static_cast<std::size_t>(std::min<std::int64_t>(decoder.ChunkLeft(), buffer_.size()))
                             : buffer_.size();
        const bool closed = head_ == tail_ && Fill(limit, timeoutMs) == 0;
        const char* at = buffer_.data() + head_;
        // Chunk data goes to the sink a piece of at most kReceiveBuffer bytes at a time.
        const char* end = decoder.InData() ? at + std::min(tail_ - head_, kReceiveBuffer) : buffer_.data() + tail_;
        std::size_t used = 0;
        const ChunkDecoder::Result result = closed ? decoder.Close() : decoder.Feed(at, end, used);
        head_ += used;
        switch (result) {
        case ChunkDecoder::Result::NeedMore:
            break;
        case ChunkDecoder::Result::ChunkBegins:
            sink.Begin(decoder.ChunkSize(), true);
            break;
        case ChunkDecoder::Result::Data:
            if (!sink.Piece(at, used)) return false;
            if (!decoder.InData()) sink.End();
            break;
        case ChunkDecoder::Result::Done:
            return true;
        case ChunkDecoder::Result::Cut:
            throw HttpError(kClosedGracefully);
        case ChunkDecoder::Result::BadSize:
            throw HttpError("Invalid chunk size.");
        case ChunkDecoder::Result::SizeTooLarge:
            throw HttpError("Chunk size is too large.");
        case ChunkDecoder::Result::DataMismatch:
            throw HttpError("Chunk data does not match its size.");
        case ChunkDecoder::Result::LineTooLong:
            throw HttpError(kMaxLineExceeded);
        case ChunkDecoder::Result::BodyTooLarge:
            throw HttpError("Response body is too large.");
        case ChunkDecoder::Result::TooManyTrailerLines:
            throw HttpError("Too many header lines.");
        case ChunkDecoder::Result::TrailersTooLarge:
            throw HttpError("Header block too large.");
        }
    }
}

bool HttpClient::ReadSpan(BodySink& sink, std::int64_t length, int timeoutMs) {
    sink.Begin(length, true);
    std::int64_t received = 0;
    while (received < length) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length - received, buffer_.size()));
        // A close before the length is not an error here: the caller compares the counts.
        if (head_ == tail_ && Fill(want, timeoutMs) == 0) break;
        const std::size_t piece = std::min({want, tail_ - head_, kReceiveBuffer});
        const char* at = buffer_.data() + head_;
        head_ += piece;
        received += static_cast<std::int64_t>(piece);
        if (!sink.Piece(at, piece)) return false;
    }
    sink.End();
    return true;
}

bool HttpClient::ReadUntilClose(BodySink& sink, int timeoutMs) {
    sink.Begin(0, false);
    std::int64_t received = 0;
    while (head_ != tail_ || Fill(buffer_.size(), timeoutMs) > 0) {
        const std::size_t piece = std::min(tail_ - head_, kReceiveBuffer);
        if (received + static_cast<std::int64_t>(piece) > kMaxCount) throw HttpError("Response body is too large.");
        const char* at = buffer_.data() + head_;
        head_ += piece;
        received += static_cast<std::int64_t>(piece);
        if (!sink.Piece(at, piece)) return false;
    }
    sink.End();
    return true;
}

}  // namespace http
