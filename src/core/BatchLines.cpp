#include "BatchLines.h"

void BatchLineSplitter::Feed(const char* begin, const char* end) {
    for (const char* p = begin; p != end; ++p) {
        const char c = *p;
        if (c == '\n' && afterCr_) {
            afterCr_ = false;  // the second half of CR LF
            continue;
        }
        afterCr_ = c == '\r';
        if (c == '\r' || c == '\n') {
            EndLine();
            continue;
        }
        if (tooLong_) continue;
        if (line_.size() == max_) {
            // Past the limit the text is of no use: it is dropped, only the mark stays.
            tooLong_ = true;
            std::string().swap(line_);
            continue;
        }
        line_ += c;
    }
}

void BatchLineSplitter::Finish() {
    if (!line_.empty() || tooLong_) EndLine();
}

void BatchLineSplitter::EndLine() {
    const bool tooLong = tooLong_;
    std::string line;
    line.swap(line_);
    tooLong_ = false;
    onLine_(tooLong ? std::string() : line, tooLong);
}
