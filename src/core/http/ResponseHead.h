// The head of an answer (RFC 9112 sections 4 and 5): the status line and the header block,
// with the interim answers before the final one skipped. A pure push parser: the caller feeds
// byte ranges as they arrive and says when the connection closed.
#pragma once

#include <cstddef>
#include <string>

#include "http/LineReader.h"
#include "http/Response.h"

namespace http {

constexpr std::size_t kMaxHeaderLines = 100;    // per header block
constexpr std::size_t kMaxHeaderBlock = 65536;  // bytes per header block, each line with its CR LF
constexpr int kMaxInterimAnswers = 32;          // 1xx answers (but 101) before the final one

class HeadParser {
public:
    enum class Result {
        NeedMore,        // the head goes on
        Done,            // the final answer's head is complete
        NoAnswer,        // the connection closed where a status line was expected
        LineTooLong,     // a status or header line over kMaxLine
        TooManyLines,    // a header block of more than kMaxHeaderLines lines
        BlockTooLarge,   // a header block of more than kMaxHeaderBlock bytes
        TooManyInterim,  // more than kMaxInterimAnswers interim answers
    };

    // Takes bytes of [begin, end) up to the end of the final head at most; `used` counts them,
    // so that what follows (the body) stays with the caller.
    Result Feed(const char* begin, const char* end, std::size_t& used);

    // The connection closed after everything fed: a started line is the last line, and a close
    // within a header block ends the block.
    Result Close();

    // The final answer, once Done.
    int Status() const { return status_; }
    const std::string& StatusLine() const { return statusLine_; }
    const Headers& Fields() const { return headers_; }

private:
    Result TakeLine(const std::string& line);
    Result EndBlock();

    LineReader line_;
    bool inBlock_ = false;  // the status line of the current answer has been read
    int interim_ = 0;
    std::size_t blockBytes_ = 0;
    int status_ = 0;
    std::string statusLine_;
    Headers headers_;
};

}  // namespace http
