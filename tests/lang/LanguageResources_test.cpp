// The language table loaded from the program's own resources (RCDATA on Win32, the embedded files
// natively), compared with the expected texts and the table of which keys each section defines
// (tests/lang/expected_texts.tsv and presence_matrix.tsv).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "UFileXML.h"
#include "XmlReader.h"
#include "platform/Platform.h"

using std::string;

namespace {

const string SourceDir = KLU_SOURCE_DIR;

string ReadFile(const string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The expected texts are kept as UTF-8; the resources are ISO-8859-1, so every character below
// U+0100 becomes its one byte. Anything else cannot be in the resources and fails the test.
string Latin1(const string& utf8) {
    string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            ADD_FAILURE() << "not an ISO-8859-1 character in " << utf8;
        }
    }
    return out;
}

std::vector<std::vector<string>> ReadTsv(const string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::vector<string>> rows;
    string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<string> cells;
        std::size_t from = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', from);
            cells.push_back(line.substr(from, tab == string::npos ? string::npos : tab - from));
            if (tab == string::npos) break;
            from = tab + 1;
        }
        rows.push_back(cells);
    }
    return rows;
}

// (resource, section, key) -> expected bytes; the resource BUILTIN holds the built-in texts.
using Expected = std::map<std::tuple<string, string, string>, string>;

Expected ReadExpected() {
    Expected expected;
    for (const auto& row : ReadTsv(SourceDir + "/tests/lang/expected_texts.tsv")) {
        if (row.size() != 4) {
            ADD_FAILURE() << "bad row in expected_texts.tsv";
            continue;
        }
        string text = row[3];
        for (std::size_t at; (at = text.find("\\r\\n")) != string::npos;) text.replace(at, 4, "\r\n");
        expected[{row[0], row[1], row[2]}] = Latin1(text);
    }
    return expected;
}

const char* ResourceName(const string& shortName) { return shortName == "QVI" ? "QVI_XMLFile" : "LU_XMLFile"; }

string LoadedSection(const string& resource, const string& language) {
    string bytes;
    EXPECT_TRUE(platform::LoadProgramResource(resource, bytes));
    return xmlreader::GetSection(language, xmlreader::GetSection("LANGUAGE", xmlreader::PrepareText(bytes)));
}

}  // namespace

TEST(LanguageResources, ProgramCarriesBothFilesByteForByte) {
    struct Case {
        const char* name;   // as asked for: letter case does not matter
        const char* file;   // nullptr: no such resource
    } cases[] = {
        {"QVI_XMLFILE", "QVI_XMLFILE.xml"}, {"QVI_XMLFile", "QVI_XMLFILE.xml"}, {"qvi_xmlfile", "QVI_XMLFILE.xml"},
        {"LU_XMLFILE", "LU_XMLFILE.xml"}, {"Lu_XmlFile", "LU_XMLFILE.xml"},
        {"QVI_XMLFIL", nullptr}, {"QVI_XMLFILE.xml", nullptr}, {"", nullptr}, {"NO_SUCH_RESOURCE", nullptr},
    };
    for (const Case& c : cases) {
        string bytes = "leftover";
        const bool found = platform::LoadProgramResource(c.name, bytes);
        EXPECT_EQ(found, c.file != nullptr) << c.name;
        if (!c.file) {
            EXPECT_EQ(bytes, "") << c.name;
            continue;
        }
        const string onDisk = ReadFile(SourceDir + "/resources/" + c.file);
        ASSERT_GT(onDisk.size(), 1000u) << c.file;
        EXPECT_TRUE(bytes == onDisk) << c.name << ": " << bytes.size() << " bytes, the file has " << onDisk.size();
    }
}

TEST(LanguageResources, EverySectionHoldsTheExpectedTexts) {
    const Expected expected = ReadExpected();
    ASSERT_EQ(expected.size(), 148u);   // 41 built-in, 32 + 32 of QVI English and French, 43 of LU English
    int compared = 0;
    for (const auto& [where, text] : expected) {
        const auto& [resource, language, key] = where;
        if (resource == "BUILTIN") continue;
        TFileXML t;
        t.SetLanguage(language);
        t.LoadLanguage(ResourceName(resource), platform::LoadProgramResource);
        ASSERT_EQ(t.LanguageName, language) << resource;
        const string* got = t.Find(key);
        ASSERT_NE(got, nullptr) << key;
        EXPECT_EQ(*got, text) << resource << " " << language << " " << key;
        ++compared;
    }
    EXPECT_EQ(compared, 107);
    // Keys a listed section does not name are absent from it.
    for (const char* res : {"QVI", "LU"}) {
        for (const char* language : {"ENGLISH", "FRENCH"}) {
            if (string(res) == "LU" && string(language) == "FRENCH") continue;   // its wording is ours
            TFileXML t;
            t.SetLanguage(language);
            t.LoadLanguage(ResourceName(res), platform::LoadProgramResource);
            for (const TFileXML::Key& k : TFileXML::Keys()) {
                if (expected.count({res, language, k.name})) continue;
                EXPECT_EQ(t.*k.field, "") << res << " " << language << " " << k.name;
            }
        }
    }
}

TEST(LanguageResources, PresenceOfEveryKeyInAllSixSections) {
    const auto rows = ReadTsv(SourceDir + "/tests/lang/presence_matrix.tsv");
    ASSERT_EQ(rows.size(), 50u);   // the header and the 49 keys
    const std::vector<string>& header = rows[0];
    ASSERT_EQ(header.size(), 7u);
    for (std::size_t col = 1; col < header.size(); ++col) {
        const string resource = header[col].substr(0, header[col].find(':'));
        const string language = header[col].substr(header[col].find(':') + 1);
        const string section = LoadedSection(ResourceName(resource), language);
        ASSERT_FALSE(section.empty()) << header[col];
        EXPECT_NE(section.find("S_LabelTop "), string::npos) << header[col];
        TFileXML t;
        t.SetLanguage(language);
        t.LoadLanguage(ResourceName(resource), platform::LoadProgramResource);
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const string& key = rows[r][0];
            const string& state = rows[r][col];
            ASSERT_EQ(key, TFileXML::Keys()[r - 1].name);   // the file lists the keys in table order
            const bool present = section.find(key + " ") != string::npos;
            EXPECT_EQ(present, state != "-") << header[col] << " " << key;
            EXPECT_EQ(!t.Find(key)->empty(), state == "T") << header[col] << " " << key;
        }
    }
    // In the installer's Portuguese the desktop shortcut key stands twice, both times empty.
    const string po = LoadedSection("QVI_XMLFILE", "PORTUGUESE");
    const string twice = "<S_LabelCreateDesktopIcon ";
    const std::size_t first = po.find(twice);
    ASSERT_NE(first, string::npos);
    const std::size_t second = po.find(twice, first + 1);
    ASSERT_NE(second, string::npos);
    EXPECT_EQ(po.find(twice, second + 1), string::npos);
    EXPECT_EQ(xmlreader::GetKeyValue("S_LabelCreateDesktopIcon", po), "");
}

TEST(LanguageResources, BuiltInTextsWhenTheResourceIsMissing) {
    const Expected expected = ReadExpected();
    for (const char* selected : {"ENGLISH", "FRENCH"}) {
        TFileXML t;
        t.SetLanguage(selected);
        t.LoadLanguage("NO_SUCH_RESOURCE", platform::LoadProgramResource);
        EXPECT_EQ(t.LanguageName, "ENGLISH");
        int builtins = 0;
        for (const TFileXML::Key& k : TFileXML::Keys()) {
            const auto it = expected.find({"BUILTIN", "-", k.name});
            if (it != expected.end()) ++builtins;
            EXPECT_EQ(t.*k.field, it == expected.end() ? string() : it->second) << k.name;
        }
        EXPECT_EQ(builtins, 41);
    }
}

TEST(LanguageResources, StartUpSelectionsOfTheInstallerTexts) {
    struct Case {
        const char* selected;
        const char* usedName;
        const char* caption;
    } cases[] = {
        {"", "ENGLISH", "Pluvion installer"},
        {"ENGLISH", "ENGLISH", "Pluvion installer"},
        {"FRENCH", "FRENCH", "Installation de Orvalis"},
        {"french", "ENGLISH", "Pluvion installer"},
        {"GERMAN", "ENGLISH", "Pluvion installer"},
        {"PORTUGUESE", "PORTUGUESE", "Instalador do Pluvion"},
    };
    for (const Case& c : cases) {
        TFileXML t;
        t.SetLanguage(c.selected);
        t.LoadLanguage("QVI_XMLFile", platform::LoadProgramResource);
        EXPECT_EQ(t.LanguageName, c.usedName) << c.selected;
        EXPECT_EQ(t.S_FormCaption, c.caption) << c.selected;
    }
    TFileXML english;
    english.SetLanguage("ENGLISH");
    english.LoadLanguage("QVI_XMLFile", platform::LoadProgramResource);
    EXPECT_EQ(english.S_KillError,
              "Unable to terminate the application that need to be installed.\r\n"
              "Please terminate this application manually and restart this setup.\r\n"
              "If it doesn't work, download the full package from the web site.");
}
