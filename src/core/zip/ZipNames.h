// Entry names: code page conversion, the file specification, and the output path with its
// safety rules.
#pragma once

#include <cstdint>
#include <string>

namespace zip {

// OEM code page 437 to the ANSI code page 1252. Characters 1252 lacks take a look-alike
// (box drawing becomes "+", "-" or a broken bar; Greek letters their Latin look-alike).
std::string OemToAnsi(const std::string& oem);
// UTF-8 (names flagged with bit 11) to ANSI 1252; code points 1252 lacks become the look-alike
// used for the OEM form, else "_". Malformed sequences become "_".
std::string Utf8ToAnsi(const std::string& utf8);
// ANSI 1252 to UTF-8, for file systems that name files in UTF-8. Bytes 1252 leaves undefined
// become U+FFFD.
std::string AnsiToUtf8(const std::string& ansi);

// Wildcard match of one name against one pattern: "*" any run, "?" one character, letters
// compared without case. A name without a dot is matched as if it ended in ".", so that "*.*"
// selects it.
bool MatchesFileSpec(const std::string& name, const std::string& pattern);

// Removes a leading drive with its colon and backslash (3 characters), or a drive and colon
// (2), or else one leading backslash.
std::string StripDriveAndRoot(const std::string& name);

// Checks a relative entry path (backslashes); when safe, cleaned receives it as Windows reads it:
// repeated separators and "." parts dropped, and each ".." taking back the part before it.
// Refused (false): a path that still begins with a backslash (a UNC or rooted form), a ".." with
// nothing left to take back (it leaves the extract folder), any named part made only of dots and
// spaces or ending in one, a colon anywhere (a second drive, a stream name), control characters or
// any of < > " | ? *, and device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, COM and LPT with the
// superscript digits 1-3, CONIN$, CONOUT$, with or without an extension), also in a part that a
// later ".." takes back. An empty result is refused too.
bool SafeRelativePath(const std::string& path, std::string& cleaned);

// Joins two path parts with exactly one backslash between them.
std::string JoinPath(const std::string& left, const std::string& right);

}  // namespace zip
