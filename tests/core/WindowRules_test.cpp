#include "InstallLayout.h"
#include "WindowRules.h"

#include <gtest/gtest.h>

namespace {

struct TextCase {
    const char* input;
    const char* expected;
};

TEST(WindowRules, ProposedInstallFolderTakesTheDriveOfTheWindowsFolder) {
    const TextCase cases[] = {
        {"C:\\windows", "C:\\Program Files\\Veltrona\\Pluvion"},
        {"D:\\WINNT", "D:\\Program Files\\Veltrona\\Pluvion"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(window_rules::ProposedInstallFolder(c.input, "Program Files\\Veltrona\\Pluvion"), c.expected)
            << c.input;
}

TEST(WindowRules, TrailingBackslashesAreRemovedWithoutReadingBeforeTheText) {
    const TextCase cases[] = {
        {"C:\\Apps\\Sky\\\\", "C:\\Apps\\Sky"},
        {"C:\\Apps\\Sky", "C:\\Apps\\Sky"},
        {"C:\\", "C:"},
        {"\\\\\\", ""},
        {"\\", ""},
        {"", ""},
        {"\\\\server\\share\\", "\\\\server\\share"},
    };
    for (const auto& c : cases) EXPECT_EQ(window_rules::WithoutTrailingBackslashes(c.input), c.expected) << c.input;
}

TEST(WindowRules, RemoveRootKeyDropsTheRootOnlyWhenTheTextNamesOne) {
    const TextCase cases[] = {
        {"HKEY_CURRENT_USER\\Software\\Kestrum\\Pluvion", "Software\\Kestrum\\Pluvion"},
        {"Software\\Kestrum\\Pluvion", "Software\\Kestrum\\Pluvion"},
        {"hkey_current_user\\Software", "hkey_current_user\\Software"},  // the test is case-sensitive
        {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"},
        {"Software\\HKEY_X\\Pluvion", "HKEY_X\\Pluvion"},  // "HKEY_" anywhere, cut at the first backslash
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(layout::RemoveRootKey(c.input), c.expected) << c.input;
}

TEST(WindowRules, BrowserProgramIsTakenFromTheCommandTemplate) {
    const TextCase cases[] = {
        {"\"C:\\Program Files\\Browser\\browser.exe\" -nohome", "C:\\Program Files\\Browser\\browser.exe"},
        {"C:\\Browser\\browser.exe -url", "C:\\Browser\\browser.exe"},
        {"  \t C:\\Browser\\browser.exe\r\n", "C:\\Browser\\browser.exe"},
        {"C:\\Program Files\\Browser\\browser.exe -url %1", "C:\\Program Files\\Browser\\browser.exe"},
        {"browser.exe %1", "browser.exe"},
        {"C:browser.exe -x", "C:browser.exe"},
        {"\"C:\\unclosed\\browser.exe", "C:\\unclosed\\browser.exe"},
        {"\"\"", ""},
        {"   ", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(window_rules::BrowserProgram(c.input), c.expected) << c.input;
}

TEST(WindowRules, BrandHomePageFollowsTheLanguage) {
    EXPECT_EQ(window_rules::BrandHomePage("FRENCH"), "http://www.brisaune.example/");
    EXPECT_EQ(window_rules::BrandHomePage("ENGLISH"), "http://www.veltrona.example/");
    EXPECT_EQ(window_rules::BrandHomePage("french"), "http://www.veltrona.example/");
}

}  // namespace

TEST(WindowRules, AnInstallShowsEnglishWhateverTheLanguageSwitchSays) {
    EXPECT_EQ(window_rules::RunLanguageName("PORTUGUESE", false, "english"), "ENGLISH");
    EXPECT_EQ(window_rules::RunLanguageName("french", false, "english"), "ENGLISH");
    EXPECT_EQ(window_rules::RunLanguageName("", false, "english"), "ENGLISH");
    // The uninstall takes the switch, upper-cased, and the default without it.
    EXPECT_EQ(window_rules::RunLanguageName("portuguese", true, "english"), "PORTUGUESE");
    EXPECT_EQ(window_rules::RunLanguageName("FRENCH", true, "english"), "FRENCH");
    EXPECT_EQ(window_rules::RunLanguageName("", true, "english"), "ENGLISH");
}
