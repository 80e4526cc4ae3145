// The lines of a configuration batch file, found as its bytes arrive, so that memory stays bounded
// whatever the file holds.
//
// A line ends at CR LF, LF or CR (a CR LF split between two pieces counts once); a final line
// break adds no empty line. A line longer than the longest one that may be run is handed on
// without its text, marked too long.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

class BatchLineSplitter {
public:
    // The handler gets each line in file order; a line marked too long comes with an empty text.
    using LineHandler = std::function<void(const std::string& line, bool tooLong)>;

    BatchLineSplitter(std::size_t maxLength, LineHandler onLine) : max_(maxLength), onLine_(std::move(onLine)) {}

    // The next piece of the file.
    void Feed(const char* begin, const char* end);
    // The end of the file: hands on a last line that has no line break after it.
    void Finish();

private:
    void EndLine();

    std::size_t max_;
    LineHandler onLine_;
    std::string line_;
    bool tooLong_ = false;
    bool afterCr_ = false;  // the previous byte was a CR: an LF now ends nothing
};

// The longest command line that Windows accepts has 32767 characters.
constexpr std::size_t kLongestBatchLine = 32767;
