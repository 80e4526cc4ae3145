// The chunked transfer coding (RFC 9112 section 7.1): size lines, chunk data, the CR LF after
// each chunk, the last chunk and the trailer section. A pure push decoder with explicit states:
// the caller feeds byte ranges as they arrive and says when the connection closed; the data
// bytes stay in the caller's range, the decoder only says where they are. The whole body is
// bounded like a Content-Length (kMaxCount), the trailer section like a header block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "http/LineReader.h"

namespace http {

class ChunkDecoder {
public:
    enum class Result {
        NeedMore,      // every byte of the range was framing; more is due
        ChunkBegins,   // a size line announced ChunkSize() bytes (above 0)
        Data,          // the first `used` bytes of the range are chunk data
        Done,          // the last chunk and the trailer section have been read
        Cut,           // the connection closed before the last chunk
        BadSize,       // a size line that is not hexadecimal
        SizeTooLarge,  // a chunk size above kMaxCount
        DataMismatch,  // the chunk data is not followed by its CR LF: the size lied
        LineTooLong,   // a size or trailer line over kMaxLine
        BodyTooLarge,  // the chunks together announce more than kMaxCount bytes
        TooManyTrailerLines,  // a trailer section over kMaxHeaderLines lines
        TrailersTooLarge,     // a trailer section over kMaxHeaderBlock bytes
    };

    // Takes bytes of [begin, end) up to the next event; `used` counts them. In chunk data it
    // returns Data for as many bytes as the chunk still holds and the range gives.
    Result Feed(const char* begin, const char* end, std::size_t& used);

    // The connection closed after everything fed. A started line counts as the last line, so
    // a close can still announce a chunk (which then ends Cut) or end the body.
    Result Close();

    // The size the last size line announced, and how many of its data bytes are still due.
    std::int64_t ChunkSize() const { return size_; }
    std::int64_t ChunkLeft() const { return state_ == State::Data ? left_ : 0; }
    bool InData() const { return state_ == State::Data; }

private:
    enum class State { SizeLine, Data, DataEnd, Trailer, Done };

    Result TakeLine(const std::string& line);

    State state_ = State::SizeLine;
    LineReader line_;
    std::int64_t size_ = 0;
    std::int64_t left_ = 0;
    std::int64_t total_ = 0;           // bytes the chunks announced so far
    std::size_t trailerLines_ = 0;
    std::size_t trailerBytes_ = 0;
};

}  // namespace http
