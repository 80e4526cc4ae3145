#include "zip/ZipNames.h"

#include <cstring>
#include <vector>

namespace zip {
namespace {

// Code page 437, bytes 0x80-0xFF: the Unicode character each stands for.
constexpr std::uint16_t kCp437Unicode[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Code page 437, bytes 0x80-0xFF, in code page 1252: the same character where 1252 has it,
// else a look-alike that is valid in a file name.
constexpr std::uint8_t kCp437ToAnsi[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 'P',  0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, '-',  0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    '_',  '_',  '_',  0xA6, '+',  '+',  '+',  '+',  '+',  '+',  0xA6, '+',  '+',  '+',  '+',  '+',
    '+',  '+',  '+',  '+',  '-',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '=',  '+',  '+',
    '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '_',  '_',  '_',  '_',  '_',
    'a',  0xDF, 'G',  'p',  'S',  's',  0xB5, 't',  'F',  'T',  'O',  'd',  '8',  'f',  'e',  'n',
    '=',  0xB1, '=',  '=',  '(',  ')',  0xF7, '~',  0xB0, 0xB7, 0xB7, 'v',  'n',  0xB2, '_',  0xA0,
};

// Code page 1252, bytes 0x80-0x9F: their Unicode characters (0 where 1252 defines none).
constexpr std::uint16_t kAnsiHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char UnicodeToAnsi(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (unsigned i = 0; i < 32; ++i) {
        if (kAnsiHigh[i] != 0 && kAnsiHigh[i] == cp) return static_cast<char>(0x80 + i);
    }
    for (unsigned i = 0; i < 128; ++i) {
        if (kCp437Unicode[i] == cp) return static_cast<char>(kCp437ToAnsi[i]);
    }
    return '_';
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Match(const char* n, const char* p) {
    // Iterative wildcard match with one backtrack point for the latest "*".
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*n) {
        if (*p == '*') {
            star = p++;
            resume = n;
        } else if (*p == '?' || (*p && Lower(*p) == Lower(*n))) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == '\0';
}

bool IsDeviceName(const std::string& part) {
    // The base name before the first dot, trailing spaces removed, decides.
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = Lower(c);
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
    for (const char* d : kDevices) {
        if (base == d) return true;
    }
    if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) return false;
    // COM1 to COM9 and LPT1 to LPT9, and the superscript one, two and three of the ANSI code page
    // (0xB9, 0xB2, 0xB3), which Windows reserves the same way.
    const auto digit = static_cast<unsigned char>(base[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool SafePart(const std::string& part) {
    if (part.find_first_not_of(". ") == std::string::npos) return false;  // "..", "...", ". ."
    // Windows drops a trailing dot or blank, so "a." would write "a".
    if (part.back() == '.' || part.back() == ' ') return false;
    for (unsigned char c : part) {
        if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) return false;
    }
    return !IsDeviceName(part);
}

}  // namespace

std::string OemToAnsi(const std::string& oem) {
    std::string out = oem;
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) c = static_cast<char>(kCp437ToAnsi[b - 0x80]);
    }
    return out;
}

std::string Utf8ToAnsi(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        unsigned extra = 0;
        std::uint32_t cp = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1Fu;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0Fu;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07u;
        } else {
            out += '_';
            ++i;
            continue;
        }
        std::size_t k = 1;
        for (; k <= extra; ++k) {
            if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) break;
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        }
        if (k <= extra) {
            out += '_';
            i += k;
            continue;
        }
        // Over-long forms could hide a "/" or "." from the checks: refuse them.
        static const std::uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        out += cp < kMinimum[extra] ? '_' : UnicodeToAnsi(cp);
        i += extra + 1;
    }
    return out;
}

std::string AnsiToUtf8(const std::string& ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else if (b < 0xA0) {
            AppendUtf8(out, kAnsiHigh[b - 0x80] ? kAnsiHigh[b - 0x80] : 0xFFFDu);
        } else {
            AppendUtf8(out, b);
        }
    }
    return out;
}

bool MatchesFileSpec(const std::string& name, const std::string& pattern) {
    const std::string subject = name.find('.') == std::string::npos ? name + "." : name;
    return Match(subject.c_str(), pattern.c_str());
}

std::string StripDriveAndRoot(const std::string& name) {
    const bool drive = name.size() >= 2 && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
                       name[1] == ':';
    if (drive && name.size() >= 3 && name[2] == '\\') return name.substr(3);
    if (drive) return name.substr(2);
    if (!name.empty() && name[0] == '\\') return name.substr(1);
    return name;
}

bool SafeRelativePath(const std::string& path, std::string& cleaned) {
    cleaned.clear();
    if (path.empty() || path[0] == '\\') return false;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        // Repeated separators and "." parts mean nothing, as Windows reads them.
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) return false;  // it would leave the extract folder
            parts.pop_back();
            continue;
        }
        // Every named part is checked, also one that a later ".." takes back.
        if (!SafePart(part)) return false;
        parts.push_back(part);
    }
    for (const std::string& part : parts) cleaned += (cleaned.empty() ? "" : "\\") + part;
    return !cleaned.empty();
}

std::string JoinPath(const std::string& left, const std::string& right) {
    if (left.empty()) return right;
    if (right.empty()) return left;
    const bool leftSep = left.back() == '\\';
    const bool rightSep = right.front() == '\\';
    if (leftSep && rightSep) return left + right.substr(1);
    if (leftSep || rightSep) return left + right;
    return left + "\\" + right;
}

}  // namespace zip
