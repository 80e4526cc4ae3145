#include <gtest/gtest.h>

#include "CommandLine.h"
#include "UClasses.h"

using V = std::vector<std::string>;

TEST(CommandLine, SplitsAsTheRunTimeDoes) {
    struct Case {
        const char* line;
        V params;
    } cases[] = {
        {"prog.exe", {"prog.exe"}},
        {"\"C:\\Program Files\\x.exe\" /HIDE", {"C:\\Program Files\\x.exe", "/HIDE"}},
        {"p  a\tb\x01" "c\x1f" "d", {"p", "a", "b", "c", "d"}},   // bytes 1 to 32 all separate
        {"p \"/HIDE\"", {"p", "/HIDE"}},                          // quotes are dropped
        {"p \"\" x \"\"", {"p", "x"}},                            // an empty pair alone gives nothing
        {"p a\"b c\"d", {"p", "ab cd"}},                          // a quoted stretch inside a parameter
        {"p \"open", {"p", "open"}},                              // an unclosed quote runs to the end
        {"p \xe9t\xe9", {"p", "\xe9t\xe9"}},                      // bytes above 127 are text
        {"", {}},
        {"   ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.params) << c.line;
    EXPECT_EQ(SplitCommandLine(std::string("p a\0b", 5)), (V{"p", "a"}));
}

TEST(LiveUpdate, SwitchesMatchWholeParametersInAnyLetterCase) {
    TLiveUpdate lu("prog.exe /kill 12,34 /Hide");
    EXPECT_TRUE(lu.IsSwitch("/KILL"));
    EXPECT_TRUE(lu.IsSwitch("/HIDE"));
    EXPECT_EQ(lu.GetSwitchValue("/KILL"), "12,34");
    EXPECT_EQ(lu.GetSwitchValue("/HIDE"), "");   // the last parameter has no value after it
    EXPECT_FALSE(lu.IsSwitch("prog.exe"));        // the program path is not a parameter
    EXPECT_EQ(lu.ParamCount(), 3);

    EXPECT_EQ(TLiveUpdate("p /HIDE /KILL").GetSwitchValue("/KILL"), "");
    EXPECT_FALSE(TLiveUpdate("p /KILL=12").IsSwitch("/KILL"));
    EXPECT_EQ(TLiveUpdate("p /KILL=12").GetSwitchValue("/KILL"), "");
    EXPECT_FALSE(TLiveUpdate("p /HIDE:yes HIDE").IsSwitch("/HIDE"));

    TLiveUpdate chained("p /KILL /HIDE");
    EXPECT_EQ(chained.GetSwitchValue("/KILL"), "/HIDE");
    EXPECT_TRUE(chained.IsSwitch("/HIDE"));

    EXPECT_TRUE(TLiveUpdate("p \"/HIDE\"").IsSwitch("/hide"));
    // Only the last occurrence lacks a value: the first pair found wins.
    EXPECT_EQ(TLiveUpdate("p /URL a /URL").GetSwitchValue("/url"), "a");
    EXPECT_EQ(TLiveUpdate("p /URL /Mixed").GetSwitchValue("/URL"), "/Mixed");
    EXPECT_FALSE(TLiveUpdate().IsSwitch("/HIDE"));
    EXPECT_EQ(TLiveUpdate().GetSwitchValue("/HIDE"), "");
}

TEST(LiveUpdate, UrlFileNameIsWhatFollowsTheLastSlash) {
    EXPECT_EQ(TLiveUpdate::GetUrlFileName(DefaultDownloadUrl), "pluvionfull.zip");
    EXPECT_EQ(TLiveUpdate::GetUrlFileName("http://h/a/b.zip?x=1/y"), "y");
    EXPECT_EQ(TLiveUpdate::GetUrlFileName("http://h/a/b.zip?v=2"), "b.zip?v=2");
    EXPECT_EQ(TLiveUpdate::GetUrlFileName("nofile"), "");
    EXPECT_EQ(TLiveUpdate::GetUrlFileName("http://h/dir/"), "");
    EXPECT_EQ(TLiveUpdate::GetUrlFileName(""), "");
}

TEST(LiveUpdate, ApplicationKeysKeepOnlyTheFiveLongRootNames) {
    struct Entry {
        std::string path;
        std::uintptr_t root;
        bool operator==(const Entry& o) const { return path == o.path && root == o.root; }
    };
    auto keys = [](const std::string& text) {
        TLiveUpdate lu;
        lu.ApplicationKeys.Add("stale", 1);
        lu.SetApplicationKeys(text);
        std::vector<Entry> out;
        for (int i = 0; i < lu.ApplicationKeys.Count(); ++i)
            out.push_back({lu.ApplicationKeys[i], lu.ApplicationKeys.Object(i)});
        return out;
    };
    using E = std::vector<Entry>;
    EXPECT_EQ(keys(ApplicationKey), (E{{"Software\\Kestrum\\Pluvion", rootkey::CurrentUser}}));
    EXPECT_EQ(keys(std::string("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\") +
                   ApplicationName + "," + ApplicationKey),
              (E{{"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Pluvion", rootkey::CurrentUser},
                 {"Software\\Kestrum\\Pluvion", rootkey::CurrentUser}}));
    EXPECT_EQ(keys("hkey_local_machine\\SoftWare\\X"), (E{{"SoftWare\\X", rootkey::LocalMachine}}));
    EXPECT_EQ(keys("HKCU\\Software\\A,HKEY_USERS\\.DEFAULT\\B"), (E{{".DEFAULT\\B", rootkey::Users}}));
    EXPECT_EQ(keys("HKEY_CLASSES_ROOT\\"), (E{{"", rootkey::ClassesRoot}}));
    EXPECT_EQ(keys("HKEY_CURRENT_CONFIG\\a\\b,,HKEY_CURRENT_USER,"),
              (E{{"a\\b", rootkey::CurrentConfig}}));
    EXPECT_EQ(keys(" HKEY_CURRENT_USER\\x,HKEY_CURRENT_USER \\y"), E{});
    EXPECT_EQ(keys(""), E{});
}

TEST(LiveUpdate, StartsEmpty) {
    TLiveUpdate lu("p");
    EXPECT_FALSE(lu.UninstallFlag);
    EXPECT_EQ(lu.LanguageTable, nullptr);
    EXPECT_EQ(lu.ApplicationKeys.Count() + lu.ProcessList.Count() + lu.ExtractedFiles.Count(), 0);
    EXPECT_EQ(lu.ProcessList.Separator(), ",");
    EXPECT_TRUE(lu.DownloadUrl.empty() && lu.InstallFolder.empty() && lu.TempFolder.empty());
}
