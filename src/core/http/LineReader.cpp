#include "http/LineReader.h"

#include <cstring>

namespace http {

LineReader::Result LineReader::Feed(const char* begin, const char* end, std::size_t& used) {
    const std::size_t available = static_cast<std::size_t>(end - begin);
    if (available == 0) {
        used = 0;
        return Result::NeedMore;
    }
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', available));
    const std::size_t take = lf ? static_cast<std::size_t>(lf - begin) : available;
    if (line_.size() + take > kMaxLine) {
        used = 0;
        return Result::TooLong;
    }
    line_.append(begin, take);
    if (!lf) {
        used = available;
        return Result::NeedMore;
    }
    used = take + 1;
    return Result::Line;
}

std::string LineReader::Take() {
    std::string line;
    line.swap(line_);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace http
