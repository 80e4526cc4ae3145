#include "XmlReader.h"

#include <algorithm>
#include <vector>

#include "TextLines.h"

namespace xmlreader {

const char* const LineBreak = "\r\n";

std::string PrepareText(const char* begin, const char* end) {
    // A NUL ends the text.
    const char* stop = std::find(begin, end, '\0');
    std::string out;
    out.reserve(static_cast<std::size_t>(stop - begin) + 2);
    // Every line ends in CR LF, the last one too.
    text_lines::ForEachLine(begin, stop, [&out](const char* line, const char* lineEnd) {
        out.append(line, lineEnd);
        out += LineBreak;
    });
    return out;
}

std::string PrepareText(const std::string& raw) {
    return PrepareText(raw.data(), raw.data() + raw.size());
}

std::string CopyClamped(const std::string& s, long long start, long long length) {
    if (start < 1) start = 1;
    if (length <= 0) return std::string();
    const long long size = static_cast<long long>(s.size());
    if (start > size) return std::string();
    const long long available = size - start + 1;
    return s.substr(static_cast<std::size_t>(start - 1),
                    static_cast<std::size_t>(std::min(length, available)));
}

namespace {

// 1-based position of the first occurrence of `what` in `text`, 0 when absent.
long long Pos(const std::string& what, const std::string& text) {
    const std::size_t at = text.find(what);
    return at == std::string::npos ? 0 : static_cast<long long>(at) + 1;
}

}  // namespace

std::string GetSection(const std::string& name, const std::string& text) {
    const std::string endTag = "</" + name + ">";
    const long long start = Pos("<" + name, text);
    const long long endPos = Pos(endTag, text);
    const long long end = endPos != 0 ? endPos + static_cast<long long>(endTag.size()) : 0;
    return CopyClamped(text, start, end - start);
}

std::string GetKeyValue(const std::string& key, const std::string& section) noexcept {
    try {
        const std::string needle = key + ' ';
        std::vector<std::pair<std::size_t, std::size_t>> values;  // offset and length of each value
        std::size_t from = 0;
        for (;;) {
            const std::size_t at = section.find(needle, from);
            if (at == std::string::npos) break;
            const std::size_t open = section.find('"', at + needle.size());
            if (open == std::string::npos) break;  // no value: this and later occurrences count as absent
            const std::size_t close = section.find('"', open + 1);
            if (close == std::string::npos) break;  // unclosed value: likewise
            values.emplace_back(open + 1, close - open - 1);
            from = close;  // the next search starts at the closing quote
        }
        // Trailing empty values add nothing; every other value is one line of the result.
        while (!values.empty() && values.back().second == 0) values.pop_back();
        std::string result;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i != 0) result += LineBreak;
            result.append(section, values[i].first, values[i].second);
        }
        return result;
    } catch (...) {
        return std::string();
    }
}

}  // namespace xmlreader
