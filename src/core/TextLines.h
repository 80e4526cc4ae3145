// One line splitter for the text files the program reads line by line (the configuration batch,
// the language resource).
#pragma once

namespace text_lines {

// Calls take(lineBegin, lineEnd) for each line of [begin, end), the line break left out. A line
// ends at CR LF, at a lone LF or at a lone CR; a final line break adds no empty line, and a last
// line without a break is still a line.
template <typename Take>
void ForEachLine(const char* begin, const char* end, Take take) {
    const char* start = begin;
    for (const char* p = begin; p != end; ++p) {
        if (*p != '\r' && *p != '\n') continue;
        take(start, p);
        if (*p == '\r' && p + 1 != end && p[1] == '\n') ++p;
        start = p + 1;
    }
    if (start != end) take(start, end);
}

}  // namespace text_lines
