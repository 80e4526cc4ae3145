#include "http/ResponseHead.h"

namespace http {

HeadParser::Result HeadParser::Feed(const char* begin, const char* end, std::size_t& used) {
    return FeedLines(line_, begin, end, used, Result::NeedMore, Result::LineTooLong,
                     [this](const std::string& line) { return TakeLine(line); });
}

HeadParser::Result HeadParser::Close() {
    if (line_.Started()) {
        const Result result = TakeLine(line_.Take());
        if (result != Result::NeedMore) return result;
    }
    if (inBlock_) {
        const Result result = EndBlock();
        if (result != Result::NeedMore) return result;
    }
    return Result::NoAnswer;
}

HeadParser::Result HeadParser::TakeLine(const std::string& line) {
    if (!inBlock_) {
        statusLine_ = line;
        status_ = StatusCode(statusLine_);
        headers_.clear();
        blockBytes_ = 0;
        inBlock_ = true;
        return Result::NeedMore;
    }
    if (line.empty()) return EndBlock();
    // An endless header block would grow without bound.
    if (headers_.size() == kMaxHeaderLines) return Result::TooManyLines;
    blockBytes_ += line.size() + 2;
    if (blockBytes_ > kMaxHeaderBlock) return Result::BlockTooLarge;
    AddHeaderLine(headers_, line);
    return Result::NeedMore;
}

HeadParser::Result HeadParser::EndBlock() {
    inBlock_ = false;
    if (status_ < 100 || status_ > 199 || status_ == 101) return Result::Done;
    // Interim answers (100 Continue, 103 Early Hints...) are skipped; only so many of them, so
    // that a server cannot keep the client from its final answer for ever.
    if (++interim_ > kMaxInterimAnswers) return Result::TooManyInterim;
    return Result::NeedMore;
}

}  // namespace http
