#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "XmlReader.h"

using namespace xmlreader;
using std::string;

namespace {
// A std::string from a literal that may hold NUL bytes.
template <std::size_t N>
string Bytes(const char (&s)[N]) { return string(s, N - 1); }
}  // namespace

TEST(XmlReader, PrepareText_AnyLineEndReadsAsCrLf) {
    // Every input spells the same two lines.
    const string same[] = {
        "a\r\nb\r\n", "a\nb\n", "a\rb\r",   // CR LF, LF only, CR only
        "a\r\nb", "a\nb", "a\rb",           // no break after the last line
        "a\nb\r", "a\rb\r\n",               // mixed
        Bytes("a\r\nb\0\r\nc\r\n"),         // a NUL ends the text
        Bytes("a\nb\0"),
    };
    for (const string& raw : same) EXPECT_EQ(PrepareText(raw), "a\r\nb\r\n") << testing::PrintToString(raw);

    struct Case {
        string raw, prepared;
    } cases[] = {
        {"", ""},
        {Bytes("\0a\r\n"), ""},                 // NUL first: nothing is read
        {"\r\n", "\r\n"},                       // one empty line
        {"a\n\rb", "a\r\n\r\nb\r\n"},           // LF then CR is two breaks
        {"a\r\r\nb", "a\r\n\r\nb\r\n"},         // a lone CR, then CR LF
        {"\t <X>\r\n\r\n  \r\n", "\t <X>\r\n\r\n  \r\n"},  // indentation and blank lines stay
        {"\xe9t\xe9", "\xe9t\xe9\r\n"},         // bytes above 127 are kept as they are
    };
    for (const Case& c : cases) EXPECT_EQ(PrepareText(c.raw), c.prepared) << testing::PrintToString(c.raw);
}

TEST(XmlReader, CopyClamped_ClampsStartLengthAndEnd) {
    struct Case {
        long long start, length;
        string result;
    } cases[] = {
        {1, 3, "abc"}, {0, 3, "abc"}, {-5, 2, "ab"},   // a start below 1 counts as 1, length unchanged
        {2, -1, ""}, {2, 0, ""},                       // a negative length counts as 0
        {5, 10, "ef"}, {6, 1, "f"}, {7, 1, ""}, {100, 5, ""},  // past the end stops at the end
    };
    for (const Case& c : cases) EXPECT_EQ(CopyClamped("abcdef", c.start, c.length), c.result) << c.start << "," << c.length;
}

TEST(XmlReader, GetSection_FindsStartByPrefixAndEndByFullTag) {
    struct Case {
        const char* text;
        const char* section;  // GetSection("ENGLISH", text)
    } cases[] = {
        {"x<ENGLISH>in</ENGLISH>y", "<ENGLISH>in</ENGLISH>"},
        {"<ENGLISH lang=\"en\">in</ENGLISH>", "<ENGLISH lang=\"en\">in</ENGLISH>"},   // attributes
        {"<ENGLISHX>in</ENGLISH>", "<ENGLISHX>in</ENGLISH>"},   // a longer tag name starts it too
        {"<ENGLISH>a</ENGLISH><ENGLISH>b</ENGLISH>", "<ENGLISH>a</ENGLISH>"},  // first of each
        {"<ENGLISH>abc", ""},                                   // no end tag: empty
        {"nothing here", ""},                                   // neither tag
        {"", ""},
        {"abc</ENGLISH>def", "abc</ENGLISH>d"},                 // end tag only: one byte past it
        {"abc</ENGLISH>", "abc</ENGLISH>"},                     // ... clamped at the end
        {"</ENGLISH><ENGLISH>", ""},                            // end before start
        {"<english>a</english>", ""},                           // names are case-sensitive
        {"<ENGLISH>a</ENGLISH >", ""},                          // the end tag is matched whole
    };
    for (const Case& c : cases) EXPECT_EQ(GetSection("ENGLISH", c.text), c.section) << c.text;
}

TEST(XmlReader, GetSection_LanguageOutsideTheOuterSectionIsNotFound) {
    const string text = PrepareText(
        "<LANGUAGE>\n<FRENCH>\n<S_Kill Value=\"Arr\xeat\" />\n</FRENCH>\n</LANGUAGE>\n"
        "<ENGLISH>\n<S_Kill Value=\"Stop\" />\n</ENGLISH>\n");
    const string outer = GetSection("LANGUAGE", text);
    EXPECT_EQ(GetKeyValue("S_Kill", GetSection("FRENCH", outer)), "Arr\xeat");
    EXPECT_EQ(GetSection("ENGLISH", outer), "");
    EXPECT_NE(GetSection("ENGLISH", text), "");  // it is there, only outside LANGUAGE
}

TEST(XmlReader, GetKeyValue_TakesTheFirstQuotedTextAfterKeyAndBlank) {
    // Every section gives "Uninstall" for S_BUninstall.
    const char* same[] = {
        "<S_BUninstall = \"Uninstall\" />",
        "<S_BUninstall Value = \"Uninstall\" />",
        "<S_BUninstall Value=\"Uninstall\" />",
        "<S_BUninstall Value=\"Uninstall\"/>",
        "<S_BUninstall Value=\"Uninstall\" / >",
        "<S_BUninstall value= \"Uninstall\">",
        "<S_BUninstall \"Uninstall\"",
        "\t\t<S_BUninstall   anything at all = \"Uninstall\" />\r\n",
        "<S_BUninstallPluv Value=\"Yes\" />\r\n<S_BUninstall Value=\"Uninstall\" />\r\n",
    };
    for (const char* s : same) EXPECT_EQ(GetKeyValue("S_BUninstall", s), "Uninstall") << s;
}

TEST(XmlReader, GetKeyValue_Cases) {
    struct Case {
        const char* key;
        const char* section;
        const char* value;
    } cases[] = {
        // A longer key is not the key: the blank is part of the search.
        {"S_Download", "<S_DownloadError Value=\"E1\" />\r\n<S_Download Value=\"Downloading\" />\r\n"
                       "<S_DownloadError Value=\"E2\" />\r\n", "Downloading"},
        {"S_Kill", "<S_KillError Value=\"x\" />\r\n", ""},
        {"S_UninstallLabelTop", "<S_UninstallLabelTopPluv Value=\"P\" />\r\n<S_UninstallLabelTop Value=\"T\" />", "T"},
        // Repeated keys join with CR LF; trailing empty values add nothing.
        {"S_CopyError", "<S_CopyError Value=\"A\" />\r\n<S_CopyError Value=\"B\" />\r\n<S_CopyError Value=\"\" />\r\n", "A\r\nB"},
        {"K", "<K Value=\"A\" /><K Value=\"B\" /><K Value=\"C\" />", "A\r\nB\r\nC"},
        {"K", "<K Value=\"A\" /><K Value=\"\" /><K Value=\"B\" />", "A\r\n\r\nB"},   // an empty line inside
        {"K", "<K Value=\"\" /><K Value=\"B\" />", "\r\nB"},
        {"K", "<K Value=\"\" /><K Value=\"\" />", ""},
        {"K", "<K Value=\"A\" /><K Value=\"\" /><K Value=\"\" />", "A"},
        // A key must be followed by a blank.
        {"S_Kill", "<S_Kill\tValue=\"x\" />", ""},
        {"S_Kill", "<S_Kill=\"x\" />", ""},
        {"S_Kill", "<S_Kill/>\"x\"", ""},
        {"S_Kill", "<S_Kill\r\nValue=\"x\" />", ""},
        // Single quotes are not quotes: the next double-quoted text is taken, even another key's.
        {"S_Kill", "<S_Kill Value='Stop' />\r\n<S_Copy Value=\"Copy\" />\r\n", "Copy"},
        // No double quote after the key, or an unclosed one: that occurrence and the rest are absent.
        {"S_Kill", "<S_Kill Value=Stop />\r\n", ""},
        {"K", "<K Value=\"A\" />\r\n<K Value=\"B />\r\n", "A"},
        // ... but an unquoted value takes the next quoted text, here that of the third line.
        {"K", "<K Value=\"A\" />\r\n<K Value=B />\r\n<K Value=\"C\" />", "A\r\nC"},
        {"K", "<K Value=\"A\" />\r\n<K Value=none />\r\n", "A"},
        // A plain search: inside values and comments too.
        {"S_Kill", "<S_X Value=\"see S_Kill here\" /><S_Kill Value=\"k\" />", " /><S_Kill Value="},
        {"S_Kill", "<!-- S_Kill \"old\" -->\r\n", "old"},
        // The value is taken as it is: entities, markup characters and line breaks.
        {"K", "<K Value=\"a &amp; b <c> = d/e\" />", "a &amp; b <c> = d/e"},
        {"K", "<K Value=\"one\r\ntwo\" />", "one\r\ntwo"},
        {"K", "<K Value=\"\xc9t\xe9\" />", "\xc9t\xe9"},
        // The next search starts at the closing quote.
        {"K", "<K Value=\"x\"K \"y\"", "x\r\ny"},
        {"K", "", ""},
        {"", "<K Value=\"x\" />", "x"},   // an empty key is a lone blank
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetKeyValue(c.key, c.section), c.value) << c.key << " in " << testing::PrintToString(string(c.section));
    }
}

TEST(XmlReader, GetKeyValue_ManyRepeatsJoinInOrder) {
    string section, expected;
    for (int i = 0; i < 2000; ++i) {
        section += "<K Value=\"" + std::to_string(i) + "\" />\r\n";
        expected += (i ? "\r\n" : "") + std::to_string(i);
    }
    EXPECT_EQ(GetKeyValue("K", section), expected);
}
