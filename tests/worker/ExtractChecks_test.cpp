// The decompression step's checks of what reaches the disk: two entries that name one file (a
// long name and its 8.3 alias) and a package larger than the room on either volume it passes.
#include "HostileFixture.h"
#include "hostile/HostileArchives.h"

namespace {

using hostilerun::HostileTest;
using hostilerun::Row;

// The 8.3 alias that this system gives the long name (Wine mangles it, as PLUV~PTR.DLL).
std::string ShortAliasOf(const std::string& folder, const std::string& longName) {
    const std::string path = folder + "\\" + longName;
    std::ofstream(path) << "probe";
    const std::string shortPath = platform::ShortPathName(path);
    platform::RemoveFile(path);
    return shortPath.substr(shortPath.find_last_of('\\') + 1);
}

hostile::Entry File(const std::string& name, const std::string& data) {
    hostile::Entry entry;
    entry.name = name;
    entry.data = data;
    return entry;
}

}  // namespace

TEST_F(HostileTest, ALongNameAndItsShortAliasFailTheDecompression) {
    const std::string alias = ShortAliasOf(scratch, "Pluvion_ptr.dll");
    ASSERT_NE(alias, "Pluvion_ptr.dll");
    ASSERT_NE(alias.find('~'), std::string::npos) << alias;
    const std::vector<Row> rows = {
        {"long name, then its alias", "pkg",
         hostile::BuildArchive({File("Pluvion_ptr.dll", "long one"), File(alias, "short one")}), language.S_ZipEmpty, ""},
        {"alias, then the long name", "pkg",
         hostile::BuildArchive({File(alias, "short one"), File("Pluvion_ptr.dll", "long one")}), language.S_ZipEmpty, ""},
        {"in a folder", "pkg",
         hostile::BuildArchive({File("sub/Pluvion_ptr.dll", "long one"), File("a.txt", "a"), File("sub/" + alias, "short")}),
         language.S_ZipEmpty, ""},
    };
    RunRows(rows);
}

// nobatch.zip declares 25 + 7 + 1300 + 16384 bytes.
TEST_F(WorkerTest, TooLittleRoomOnEitherVolumeFailsBeforeAnythingIsUnpacked) {
    const std::uint64_t declared = 25 + 7 + 1300 + 16384;
    ASSERT_TRUE(platform::ForceDirectories(installFolder));
    struct Case {
        const char* what;
        std::uint64_t tempFree, installFree;
        bool installs;
    };
    const Case cases[] = {
        {"the install folder's volume is short by one byte", 1ull << 40, declared - 1, false},
        {"the temporary folder's volume is short", 100, 1ull << 40, false},
        {"exactly enough on both", declared, declared, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, ServerUrl("pkg", "nobatch.zip"));
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        worker.DiscoverProxy = [](std::string&, int&) { return false; };
        std::vector<std::string> asked;
        worker.FreeSpace = [&](const std::string& folder, std::uint64_t& bytes) {
            asked.push_back(folder);
            bytes = folder == installFolder ? c.installFree : c.tempFree;
            return true;
        };
        RunToEnd(worker);
        ASSERT_EQ(view.finishes.size(), 1u);
        ASSERT_EQ(asked.size(), c.tempFree < declared ? 1u : 2u);
        EXPECT_EQ(asked[0], settings.TempFolder);
        if (c.installs) {
            EXPECT_EQ(view.finishes[0].kind, 2) << view.finishes[0].message;
            continue;
        }
        const std::string short_ = c.tempFree < declared ? settings.TempFolder : installFolder;
        const std::uint64_t free = c.tempFree < declared ? c.tempFree : c.installFree;
        EXPECT_EQ(view.finishes[0].message, language.S_ZipEmpty + "\r\nNot enough free disk space: the update needs " +
                                                std::to_string(declared) + " bytes, " + short_ + " has " +
                                                std::to_string(free) + " bytes free.");
        EXPECT_EQ(settings.ExtractedFiles.Count(), 0);
        EXPECT_FALSE(platform::FileExists(installFolder + "\\Pluvion.exe"));
        EXPECT_FALSE(platform::DirectoryExists(settings.TempFolder + "\\" + settings.WorkFolderName));
        EXPECT_FALSE(platform::FileExists(settings.TempFolder + "\\nobatch.zip"));
    }
    // The real question answers for both folders.
    std::uint64_t bytes = 0;
    EXPECT_TRUE(platform::FreeDiskSpace(installFolder, bytes));
    EXPECT_GT(bytes, 0u);
    EXPECT_TRUE(platform::FreeDiskSpace(platform::TempDirectory(), bytes));
}
