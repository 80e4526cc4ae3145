// One line of a response head or of chunked framing, gathered from byte ranges as they arrive
// (RFC 9112 section 2.2: a line ends in LF, a CR before it is dropped). Pure: no connection.
#pragma once

#include <cstddef>
#include <string>

namespace http {

// The longest line: at most this many bytes before the LF, a trailing CR included.
constexpr std::size_t kMaxLine = 16384;

class LineReader {
public:
    enum class Result {
        NeedMore,  // every byte of the range was taken; the line goes on
        Line,      // the line is complete: Take() gives it
        TooLong,   // more than kMaxLine bytes before the LF
    };

    // Takes bytes of [begin, end) up to and including the first LF; `used` counts them.
    Result Feed(const char* begin, const char* end, std::size_t& used);

    // Whether some of a line has been taken: at a close, such a part counts as the last line.
    bool Started() const { return !line_.empty(); }

    // The line (after Line, or the started part at a close) without a trailing CR; the reader
    // starts a new line.
    std::string Take();

private:
    std::string line_;
};

// Feeds [begin, end) to `reader` line by line, handing each complete line to `take`, until
// `take` answers anything but `more` or the range is used up; `used` counts the bytes taken.
template <typename Result, typename Take>
Result FeedLines(LineReader& reader, const char* begin, const char* end, std::size_t& used, Result more,
                 Result tooLong, Take take) {
    used = 0;
    while (begin + used < end) {
        std::size_t taken = 0;
        const LineReader::Result line = reader.Feed(begin + used, end, taken);
        used += taken;
        if (line == LineReader::Result::TooLong) return tooLong;
        if (line == LineReader::Result::NeedMore) break;
        const Result result = take(reader.Take());
        if (result != more) return result;
    }
    return more;
}

}  // namespace http
