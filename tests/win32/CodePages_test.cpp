// Entry names go through the system's own code pages under Wine: OEM to wide to ANSI, whatever
// pair the process runs with. ctest runs this program once more with other code pages
// (KLU_EXPECT_CODE_PAGES names the pair that run must have).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Platform.h"
#include "zip/OutputFolder.h"
#include "zip/ZipExtractor.h"
#include "core/ZipTestSupport.h"

namespace {

// OEM bytes: small e acute, then 0x9B, 0x9D, 0xD5 and 0xE1, whose characters differ between the
// OEM pages (437: cent, yen, a box corner, sharp s; 850: o and O with stroke, dotless i, sharp s;
// 866: Cyrillic letters and the box corner).
const std::string kOemName = "\x82t\x82 \x9B\x9D\xD5\xE1.txt";

struct Pair {
    UINT oem, ansi;
    const char* ansiName;  // what the system's pages make of kOemName ("_" where ANSI lacks it)
};
const Pair kPairs[] = {
    {437, 1252, "\xE9t\xE9 \xA2\xA5_\xDF.txt"},
    {850, 1252, "\xE9t\xE9 \xF8\xD8_\xDF.txt"},
    {866, 1251, "\xC2t\xC2 \xDB\xDD_\xF1.txt"},
};

}  // namespace

TEST(CodePages, OemNamesBecomeAnsiThroughTheSystemsOwnCodePages) {
    const UINT oem = GetOEMCP(), ansi = GetACP();
    const std::string pair = std::to_string(oem) + "/" + std::to_string(ansi);
    if (const char* wanted = std::getenv("KLU_EXPECT_CODE_PAGES")) {
        ASSERT_EQ(pair, wanted) << "the run did not get the code pages it was started for";
    }
    const Pair* known = nullptr;
    for (const Pair& p : kPairs)
        if (p.oem == oem && p.ansi == ansi) known = &p;
    if (known == nullptr) GTEST_SKIP() << "no expectation for the code pages " << pair;

    EXPECT_EQ(platform::OemToAnsiText(kOemName), known->ansiName);
    EXPECT_EQ(platform::OemToAnsiText("plain/a.txt"), "plain/a.txt");
    EXPECT_EQ(platform::OemToAnsiText(""), "");

    // The extractor names its output file so, through the file system's output.
    const std::string folder = platform::TempDirectory() + "klu-codepages-" + platform::NewGuidText();
    ASSERT_TRUE(platform::CreateDir(folder));
    const std::string archive =
        ziptest::BuildArchive({ziptest::Entry::Stored(kOemName, "x"), ziptest::Entry::Stored("sub/\x82.txt", "y")});
    zip::ZipExtractor extractor;
    extractor.SetOutput(zip::MakeFileSystemOutput());
    extractor.SetExtractFolder(folder);
    std::vector<std::string> begun;
    extractor.onFileBegin = [&](const std::string& path, int, bool&) { begun.push_back(path); };
    zip::MemoryArchive input(archive.data(), archive.size());
    extractor.Extract(input);
    ASSERT_EQ(begun.size(), 2u);
    EXPECT_EQ(begun[0], folder + "\\" + known->ansiName);
    // The runs with other code pages take them from a locale the host may not have, and Wine then
    // cannot name such files on the host's file system: only the run in its own locale writes.
    if (std::getenv("KLU_EXPECT_CODE_PAGES") == nullptr) {
        EXPECT_TRUE(platform::FileExists(folder + "\\" + known->ansiName));
    }
    EXPECT_EQ(begun[1], folder + "\\sub\\" + platform::OemToAnsiText("\x82") + ".txt");
    platform::RemoveFolderTree(folder);
}
