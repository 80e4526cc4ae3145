// Entry names: code pages, the wildcard selection, drive removal and the safety rules; CRC-32.
#include <gtest/gtest.h>

#include <string>

#include "zip/Crc32.h"
#include "zip/ZipNames.h"

namespace {

TEST(ZipCrc32, KnownValuesAndSlicedAgreesWithBytewiseAtEveryLengthAndAlignment) {
    EXPECT_EQ(zip::ComputeCrc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(zip::ComputeCrc32("", 0), 0u);
    EXPECT_EQ(zip::ComputeCrc32("The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
    std::string data;
    // Long enough for the carry-less multiply's folds of 64 and 16 bytes, where the processor has it.
    for (int i = 0; i < 1200; ++i) data += static_cast<char>((i * 131 + 7) & 0xFF);
    for (std::size_t offset = 0; offset < 9; ++offset) {
        for (std::size_t n = 0; n + offset <= data.size(); n += 13) {
            zip::Crc32 sliced;
            // Fed in two pieces, so that the eight-byte steps start at odd places.
            sliced.Update(data.data() + offset, n / 3);
            sliced.Update(data.data() + offset + n / 3, n - n / 3);
            EXPECT_EQ(sliced.Register(), zip::Crc32Bytewise(0xFFFFFFFFu, data.data() + offset, n)) << offset << " " << n;
        }
    }
}

TEST(ZipNames, OemNamesBecomeAnsi) {
    struct Case {
        std::string oem, ansi;
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt"},
        {"caf\x82.txt", "caf\xE9.txt"},           // e acute
        {"\x8E\x99\x9A", "\xC4\xD6\xDC"},          // A, O, U with diaeresis
        {"\xE2\xA5\xE1\xE2.txt", "G\xD1\xDF" "G.txt"},  // Greek Gamma has no 1252 form: "G"
        {"\x9F", "\x83"},                           // f with hook sits at 0x83 in 1252
        {"\xB3\xC4\xC5", "\xA6-+"},                 // box drawing: broken bar, dash, plus
        {"\xFF", "\xA0"},                           // no-break space
    };
    for (const Case& c : cases) EXPECT_EQ(zip::OemToAnsi(c.oem), c.ansi) << c.oem;
}

TEST(ZipNames, Utf8NamesBecomeAnsiAndBack) {
    struct Case {
        std::string utf8, ansi;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9", "caf\xE9"},
        {"\xE2\x82\xAC", "\x80"},                  // euro sign
        {"\xCE\x93\xC3\x91\xC3\x9F\xCE\x93.txt", "G\xD1\xDF" "G.txt"},  // same look-alike as the OEM form
        {"\xE4\xB8\xAD", "_"},                     // no 1252 form, no look-alike
        {"\xC0\xAF", "_"},                         // over-long "/" is refused
        {"a\xC3", "a_"},                           // cut sequence
        {"\xFF", "_"},
    };
    for (const Case& c : cases) EXPECT_EQ(zip::Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
    EXPECT_EQ(zip::AnsiToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(zip::AnsiToUtf8("\x81"), "\xEF\xBF\xBD");
}

TEST(ZipNames, FileSpecificationMatching) {
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    };
    const Case cases[] = {
        {"a.txt", "*.*", true},    {"README", "*.*", true},  // no dot: matched as "README."
        {"a.b.c", "*.*", true},    {".hidden", "*.*", true}, {"a.txt", "*.TXT", true},
        {"a.txt", "*.dll", false}, {"README", "*", true},    {"README", "READ??", false},
        {"README", "READ??.", true}, {"abc", "a*c.", true},  {"abd", "a*c.", false},
        {"x.dll", "?.dll", true},  {"xy.dll", "?.dll", false},
    };
    for (const Case& c : cases) EXPECT_EQ(zip::MatchesFileSpec(c.name, c.pattern), c.matches) << c.name << " " << c.pattern;
}

TEST(ZipNames, DriveAndRootRemoval) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"C:\\a.txt", "a.txt"}, {"c:a.txt", "a.txt"},  {"\\a.txt", "a.txt"}, {"\\\\srv\\x", "\\srv\\x"},
        {"a\\b.txt", "a\\b.txt"}, {"1:\\a", "1:\\a"},   {"C:", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(zip::StripDriveAndRoot(c.in), c.out) << c.in;
}

TEST(ZipNames, SafePathsAreCleanedAndEscapesRefused) {
    struct Case {
        const char* path;
        bool safe;
        const char* cleaned;
    };
    const Case cases[] = {
        {"a.txt", true, "a.txt"},
        {"docs\\readme.txt", true, "docs\\readme.txt"},
        // "." parts and repeated separators go, and a ".." that stays inside takes back its part.
        {".\\a\\.\\b.txt", true, "a\\b.txt"},
        {"a\\\\b.txt", true, "a\\b.txt"},
        {".\\Pluvion.exe", true, "Pluvion.exe"},
        {"data\\x\\..\\a.txt", true, "data\\a.txt"},
        {"a\\b\\..\\..\\c.txt", true, "c.txt"},
        {"a\\", true, "a"},
        {".\\..\\x", false, ""},
        {"a\\..\\.\\..\\x", false, ""},
        {"con\\..\\x", false, ""},  // a device part, even one taken back
        {"a.\\..\\x", false, ""},
        {"a..b.txt", true, "a..b.txt"},
        {"console.txt", true, "console.txt"},
        {"com10.txt", true, "com10.txt"},
        {"..\\evil.txt", false, ""},
        {"a\\..\\..\\evil.txt", false, ""},
        {"a\\..", false, ""},
        {"...\\x", false, ""},
        {". .\\x", false, ""},
        {"a.\\x", false, ""},   // Windows drops a trailing dot or blank
        {"x\\a ", false, ""},
        {"\\srv\\share\\x", false, ""},  // what is left of a UNC name
        {"D:\\x", false, ""},            // a second drive
        {"a\\C:x", false, ""},
        {"file.txt:stream", false, ""},
        {"CON", false, ""},
        {"sub\\nul.txt", false, ""},
        {"Lpt1", false, ""},
        {"com3 .log", false, ""},
        {"conout$", false, ""},
        // The superscript one, two and three of the ANSI code page make device names too.
        {"COM\xB9", false, ""},
        {"com\xB2.txt", false, ""},
        {"sub\\Com\xB3 .log", false, ""},
        {"LPT\xB9.dat", false, ""},
        {"lpt\xB2", false, ""},
        {"LPT\xB3.txt", false, ""},
        {"COM\xB9\xB9.txt", true, "COM\xB9\xB9.txt"},
        {"COM\xBC.txt", true, "COM\xBC.txt"},  // one quarter is no digit
        {"CON\xB2.txt", true, "CON\xB2.txt"},
        {"a\x01.txt", false, ""},
        {"what?.txt", false, ""},
        {"a|b", false, ""},
        {"a*b", false, ""},
        {"<a>", false, ""},
        {"\"q\"", false, ""},
        {"", false, ""},
        {".", false, ""},
    };
    for (const Case& c : cases) {
        std::string cleaned;
        EXPECT_EQ(zip::SafeRelativePath(c.path, cleaned), c.safe) << c.path;
        if (c.safe) {
            EXPECT_EQ(cleaned, c.cleaned) << c.path;
        }
    }
}

TEST(ZipNames, JoinPutsOneBackslashBetweenParts) {
    EXPECT_EQ(zip::JoinPath("C:\\w", "a.txt"), "C:\\w\\a.txt");
    EXPECT_EQ(zip::JoinPath("C:\\w\\", "a.txt"), "C:\\w\\a.txt");
    EXPECT_EQ(zip::JoinPath("C:\\w\\", "\\a.txt"), "C:\\w\\a.txt");
    EXPECT_EQ(zip::JoinPath("", "a.txt"), "a.txt");
}

}  // namespace
