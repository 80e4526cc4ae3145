#include "http/ChunkDecoder.h"

#include <algorithm>

#include "http/Response.h"
#include "http/ResponseHead.h"

namespace http {

ChunkDecoder::Result ChunkDecoder::Feed(const char* begin, const char* end, std::size_t& used) {
    used = 0;
    if (state_ == State::Done) return Result::Done;
    if (state_ == State::Data) {
        used = static_cast<std::size_t>(std::min<std::int64_t>(left_, end - begin));
        left_ -= static_cast<std::int64_t>(used);
        if (left_ == 0) state_ = State::DataEnd;
        return used > 0 ? Result::Data : Result::NeedMore;
    }
    return FeedLines(line_, begin, end, used, Result::NeedMore, Result::LineTooLong,
                     [this](const std::string& line) { return TakeLine(line); });
}

ChunkDecoder::Result ChunkDecoder::Close() {
    if (state_ == State::Done) return Result::Done;
    if (state_ == State::Data) return Result::Cut;
    if (line_.Started()) {
        const Result result = TakeLine(line_.Take());
        if (result != Result::NeedMore) return result;
    }
    // A close within the trailer section loses nothing of the body.
    return state_ == State::Trailer ? Result::Done : Result::Cut;
}

ChunkDecoder::Result ChunkDecoder::TakeLine(const std::string& line) {
    switch (state_) {
    case State::SizeLine: {
        std::int64_t size = 0;
        const LengthStatus status = http::ChunkSize(line, size);
        if (status == LengthStatus::TooLarge) return Result::SizeTooLarge;
        if (status != LengthStatus::Valid) return Result::BadSize;
        // A body that never ends would count past what the progress bar holds.
        if (size > kMaxCount - total_) return Result::BodyTooLarge;
        total_ += size;
        size_ = size;
        if (size == 0) {
            state_ = State::Trailer;
            return Result::NeedMore;
        }
        left_ = size;
        state_ = State::Data;
        return Result::ChunkBegins;
    }
    case State::DataEnd:
        // CR LF after the data, and nothing else: more bytes mean the size lied.
        if (!line.empty()) return Result::DataMismatch;
        state_ = State::SizeLine;
        return Result::NeedMore;
    case State::Trailer:
        if (line.empty()) {
            state_ = State::Done;
            return Result::Done;
        }
        // An endless trailer section would grow without bound, as a header block would.
        if (trailerLines_ == kMaxHeaderLines) return Result::TooManyTrailerLines;
        ++trailerLines_;
        trailerBytes_ += line.size() + 2;
        if (trailerBytes_ > kMaxHeaderBlock) return Result::TrailersTooLarge;
        return Result::NeedMore;
    case State::Data:
    case State::Done:
        break;
    }
    return Result::NeedMore;
}

}  // namespace http
