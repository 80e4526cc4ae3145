// The tolerant reader of the language files.
//
// The language files look like XML but are not well formed: attribute names are missing or
// irregular, keys repeat, nothing is escaped. The reader is therefore two plain text searches over
// a prepared text, not an XML parser. Every function here is pure and works on 8-bit bytes as they
// are; no character set conversion takes place (the files are ISO-8859-1 and shown as ANSI text).
//
// Positions in the comments below are 1-based, as the format is described.
#pragma once

#include <cstddef>
#include <string>

namespace xmlreader {

// The line break of a prepared text.
extern const char* const LineBreak;  // "\r\n"

// Prepares the raw bytes of a language file: a NUL byte ends the text; the rest is split into
// lines at every CR LF, lone CR or lone LF (LF followed by CR is two breaks) and joined again with
// every line followed by CR LF. So a non-empty result always ends in CR LF, blank lines and
// indentation stay, and a final line break does not add an empty line.
std::string PrepareText(const char* begin, const char* end);
std::string PrepareText(const std::string& raw);

// A substring with clamping: a start below 1 counts as 1, a negative length as 0, and a length that
// runs past the end stops at the end. start is 1-based.
std::string CopyClamped(const std::string& s, long long start, long long length);

// Cuts the section named `name` out of `text`: from the first "<" + name (no ">" needed, so a tag
// whose name merely begins with `name` or that carries attributes also starts it) through the
// first "</" + name + ">". With S the position of the start and P that of the end tag (0 when
// absent) and E = P + length of the end tag (0 when P is 0), the result is CopyClamped(text, S,
// E - S): empty when the end tag is missing or comes first; the text's start through one byte past
// the end tag when only the end tag is there. Names compare byte for byte. Never fails.
std::string GetSection(const std::string& name, const std::string& text);

// The value of `key` in a section text. An occurrence is `key` followed by one blank, found by a
// plain substring search (inside values and longer names too); its value is the text between the
// next two double quotes after it. The search for the next occurrence resumes at the closing quote.
// The values of all occurrences are joined with CR LF, except that trailing empty values add
// nothing ("A", "", "B", "" gives A CR LF CR LF B). An occurrence with no opening or no closing
// quote ends the search; the occurrences before it make the result. An absent key gives "".
// Never throws: any failure inside gives "".
std::string GetKeyValue(const std::string& key, const std::string& section) noexcept;

}  // namespace xmlreader
