#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "UFileXML.h"

using std::string;

namespace {

// All 49 texts in table order.
std::vector<string> Texts(const TFileXML& t) {
    std::vector<string> out;
    for (const TFileXML::Key& k : TFileXML::Keys()) out.push_back(t.*k.field);
    return out;
}

// A loader that serves one resource by its exact name and records the names asked for.
struct FakeResources {
    string name, bytes;
    std::vector<string> asked;
    TFileXML::ResourceLoader Loader() {
        return [this](const string& n, string& out) {
            asked.push_back(n);
            if (n != name) return false;
            out = bytes;
            return true;
        };
    }
};

// A small language file with two sections.
const char* const TwoSections =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
    "<LANGUAGE>\r\n"
    "\t<ENGLISH>\r\n"
    "\t\t<S_LabelTop Value=\"Top\" />\r\n"
    "\t\t<S_Download Value=\"Downloading\" />\r\n"
    "\t\t<S_KillError Value=\"Line one\" />\r\n"
    "\t\t<S_KillError = \"Line two\" />\r\n"
    "\t\t<S_CodeLanguage Value = \"EN\" />\r\n"
    "\t</ENGLISH>\r\n"
    "\t<FRENCH>\r\n"
    "\t\t<S_Download Value=\"T\xe9l\xe9\x63hargement\" />\r\n"
    "\t\t<S_CodeLanguage Value=\"FR\"/>\r\n"
    "\t\t<S_BRetry Value=\"\" />\r\n"
    "\t</FRENCH>\r\n"
    "</LANGUAGE>\r\n";

}  // namespace

TEST(FileXML, KeyTableHasTheFortyNineKeysInOrder) {
    const auto& keys = TFileXML::Keys();
    std::set<string> names;
    std::set<const void*> fields;
    int builtins = 0;
    TFileXML t;
    for (const TFileXML::Key& k : keys) {
        names.insert(k.name);
        fields.insert(&(t.*k.field));
        EXPECT_EQ(t.Find(k.name), &(t.*k.field)) << k.name;
        if (k.builtin != nullptr) ++builtins;
    }
    EXPECT_EQ(names.size(), 49u);
    EXPECT_EQ(fields.size(), 49u);
    EXPECT_EQ(builtins, 41);
    EXPECT_STREQ(keys[0].name, "S_Download");
    EXPECT_STREQ(keys[12].name, "S_EmailSubject");
    EXPECT_STREQ(keys[26].name, "S_LabelCreateDesktopIcon");
    EXPECT_STREQ(keys[45].name, "S_CodeLanguage");
    EXPECT_STREQ(keys[48].name, "S_BRetry");
    EXPECT_EQ(t.Find("S_LabelTop"), nullptr);   // in the files, but not a key of the table
    EXPECT_EQ(t.Find("s_download"), nullptr);
}

TEST(FileXML, StartsEmptyAndSetLanguageStoresTheNameUnchanged) {
    TFileXML t;
    EXPECT_EQ(t.LanguageName, "");
    for (const string& s : Texts(t)) EXPECT_EQ(s, "");
    struct Case {
        const char* given;
        const char* stored;
    } cases[] = {{"", "ENGLISH"}, {"FRENCH", "FRENCH"}, {"french", "french"}, {" ENGLISH", " ENGLISH"}};
    for (const Case& c : cases) {
        t.SetLanguage(c.given);
        EXPECT_EQ(t.LanguageName, c.stored) << c.given;
    }
}

TEST(FileXML, LoadDefaultsFillsOnlyTheBuiltInTexts) {
    TFileXML t;
    for (const TFileXML::Key& k : TFileXML::Keys()) t.*k.field = "previous";
    t.LanguageName = "FRENCH";
    t.LoadDefaults();
    EXPECT_EQ(t.LanguageName, "FRENCH");
    for (const TFileXML::Key& k : TFileXML::Keys()) {
        EXPECT_EQ(t.*k.field, k.builtin ? k.builtin : "previous") << k.name;
    }
    EXPECT_EQ(t.S_KillError,
              "Unable to terminate the application that need to be updated. Please \r\n"
              "terminate this application manually and restart this setup. If it doesn't \r\n"
              "work, download the full package from the web site.");
    EXPECT_EQ(t.S_FormCaption, "Veltrona Live Update");
    EXPECT_EQ(t.S_CodeLanguage, "EN");
}

TEST(FileXML, LoadLanguagePicksTheSectionWithItsFallbacks) {
    struct Case {
        const char* selected;
        const char* usedName;     // LanguageName after loading
        const char* download;     // S_Download after loading
        const char* code;         // S_CodeLanguage after loading
    } cases[] = {
        {"FRENCH", "FRENCH", "T\xe9l\xe9\x63hargement", "FR"},
        {"ENGLISH", "ENGLISH", "Downloading", "EN"},
        {"", "ENGLISH", "Downloading", "EN"},          // SetLanguage("") selects ENGLISH
        {"GERMAN", "ENGLISH", "Downloading", "EN"},    // absent: English
        {"french", "ENGLISH", "Downloading", "EN"},    // case-sensitive: absent
        {"FREN", "ENGLISH", "Downloading", "EN"},      // the start tag matches by prefix, the end tag whole
    };
    for (const Case& c : cases) {
        FakeResources res{"QVI_XMLFile", TwoSections, {}};
        TFileXML t;
        t.S_EmailSubject = "stale";
        t.SetLanguage(c.selected);
        t.LoadLanguage("QVI_XMLFile", res.Loader());
        EXPECT_EQ(res.asked, std::vector<string>{"QVI_XMLFile"});
        EXPECT_EQ(t.LanguageName, c.usedName) << c.selected;
        EXPECT_EQ(t.S_Download, c.download) << c.selected;
        EXPECT_EQ(t.S_CodeLanguage, c.code) << c.selected;
        // Keys absent from the section read as empty, not as the built-in texts.
        EXPECT_EQ(t.S_Unzip, "") << c.selected;
        EXPECT_EQ(t.S_EmailSubject, "") << c.selected;
        EXPECT_EQ(t.S_BRetry, "") << c.selected;
    }
    TFileXML english;
    english.SetLanguage("ENGLISH");
    english.LoadLanguageFromBytes(TwoSections);
    EXPECT_EQ(english.S_KillError, "Line one\r\nLine two");
}

TEST(FileXML, LoadLanguageFallsBackToTheBuiltInTexts) {
    const string noEnglish = "<LANGUAGE><FRENCH><S_Download Value=\"x\" /></FRENCH></LANGUAGE>";
    const string englishOutside = "<ENGLISH><S_Download Value=\"x\" /></ENGLISH><LANGUAGE></LANGUAGE>";
    const string englishUnclosed = "<LANGUAGE><ENGLISH><S_Download Value=\"x\" /></LANGUAGE>";
    const string cut = string(TwoSections).insert(40, 1, '\0');   // a NUL inside the declaration
    const string cutLate = string(TwoSections).insert(string(TwoSections).find("</ENGLISH>"), 1, '\0');
    TFileXML defaults;
    defaults.LoadDefaults();

    struct Case {
        const char* what;
        const char* selected;
        string bytes;
        bool present;   // the loader finds the resource
    } cases[] = {
        {"missing resource", "ENGLISH", "", false},
        {"missing resource, French selected", "FRENCH", "", false},
        {"empty resource", "ENGLISH", "", true},
        {"not a language file", "ENGLISH", "\x89PNG\r\n\x1a\n", true},
        {"no ENGLISH, GERMAN selected", "GERMAN", noEnglish, true},
        {"ENGLISH outside LANGUAGE", "ENGLISH", englishOutside, true},
        {"ENGLISH without end tag", "ENGLISH", englishUnclosed, true},
        {"NUL before the sections", "FRENCH", cut, true},
        {"NUL inside ENGLISH", "ENGLISH", cutLate, true},
    };
    for (const Case& c : cases) {
        FakeResources res{c.present ? "R" : "other", c.bytes, {}};
        TFileXML t;
        t.SetLanguage(c.selected);
        t.LoadLanguage("R", res.Loader());
        EXPECT_EQ(t.LanguageName, "ENGLISH") << c.what;
        EXPECT_EQ(Texts(t), Texts(defaults)) << c.what;
        EXPECT_EQ(t.S_EmailSubject, "") << c.what;   // no built-in text: stays empty
    }
}

TEST(FileXML, LoadLanguageNeverThrows) {
    struct Case {
        const char* what;
        TFileXML::ResourceLoader loader;
    } cases[] = {
        {"no loader", nullptr},
        {"loader throws", [](const string&, string&) -> bool { throw std::runtime_error("unreadable"); }},
        {"loader throws bad_alloc", [](const string&, string&) -> bool { throw std::bad_alloc(); }},
    };
    TFileXML defaults;
    defaults.LoadDefaults();
    for (const Case& c : cases) {
        TFileXML t;
        t.SetLanguage("FRENCH");
        EXPECT_NO_THROW(t.LoadLanguage("QVI_XMLFile", c.loader)) << c.what;
        EXPECT_EQ(t.LanguageName, "ENGLISH") << c.what;
        EXPECT_EQ(Texts(t), Texts(defaults)) << c.what;
    }
}

TEST(FileXML, LineEndsAndSyntaxVariantsLoadTheSameTable) {
    string lf, cr;
    for (char ch : string(TwoSections)) {
        if (ch == '\r') continue;
        lf += ch;
        cr += ch == '\n' ? '\r' : ch;
    }
    string trailingGarbage = string(TwoSections) + '\0' + "<LANGUAGE><FRENCH></FRENCH></LANGUAGE>";
    for (const char* lang : {"ENGLISH", "FRENCH"}) {
        TFileXML reference;
        reference.SetLanguage(lang);
        reference.LoadLanguageFromBytes(TwoSections);
        for (const string& variant : {lf, cr, trailingGarbage}) {
            TFileXML t;
            t.SetLanguage(lang);
            t.LoadLanguageFromBytes(variant);
            EXPECT_EQ(t.LanguageName, lang);
            EXPECT_EQ(Texts(t), Texts(reference)) << lang << " " << testing::PrintToString(variant.substr(0, 60));
        }
    }
}

TEST(FileXML, ReadKeysSetsEveryKeyAlsoWhenAbsent) {
    TFileXML t;
    t.LoadDefaults();
    t.ReadKeys("<X><S_BRetry Value=\"Again\" /><S_CBRestart Value=\"\" /></X>");
    for (const TFileXML::Key& k : TFileXML::Keys()) {
        EXPECT_EQ(t.*k.field, string(k.name) == "S_BRetry" ? "Again" : "") << k.name;
    }
}
