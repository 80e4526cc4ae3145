// ZipExtractor into the real file system (POSIX natively, Win32 under Wine): folders made as files
// need them, stored dates as local time, the read-only attribute, replacing a read-only file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "zip/ArchiveInput.h"
#include "zip/ZipExtractor.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Entry;

class ZipFileOutput : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(KLU_BINARY_DIR) / ("zip-output-test-" + std::to_string(std::time(nullptr) % 100000));
        Clean();
        fs::create_directories(root_);
    }
    void TearDown() override { Clean(); }
    void Clean() {
        std::error_code ec;
        if (!fs::exists(root_, ec)) return;
        for (const auto& e : fs::recursive_directory_iterator(root_, ec)) {
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(root_, ec);
    }
    std::string Folder() const {
#ifdef _WIN32
        return "Z:" + root_.string();  // the host's root as Wine maps it
#else
        return root_.string();
#endif
    }
    int Extract(const std::string& archive, std::vector<zip::EntryResult>* results = nullptr) {
        zip::ZipExtractor x;
        x.SetOutput(zip::MakeFileSystemOutput());
        x.SetExtractFolder(Folder());
        x.onEndOfFile = [&](const std::string&, zip::EntryResult r) {
            if (results) results->push_back(r);
        };
        zip::MemoryArchive input(archive.data(), archive.size());
        return x.Extract(input);
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path root_;
};

TEST_F(ZipFileOutput, WritesFilesFoldersDatesAndReadOnly) {
    Entry readme = Entry::Stored("docs/readme.txt", "read me");
    readme.dosDate = (44 << 9) | (7 << 5) | 21;   // 2024-07-21
    readme.dosTime = (15 << 11) | (4 << 5) | 5;   // 15:04:10
    Entry locked = Entry::Stored("deep/er/ro.txt", "read only");
    locked.externalAttributes = 0x01;
    std::vector<zip::EntryResult> results;
    ASSERT_EQ(Extract(ziptest::BuildArchive({readme, locked}), &results), 2);

    EXPECT_EQ(Read(root_ / "docs" / "readme.txt"), "read me");
    EXPECT_EQ(Read(root_ / "deep" / "er" / "ro.txt"), "read only");

    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 6;
    t.tm_mday = 21;
    t.tm_hour = 15;
    t.tm_min = 4;
    t.tm_sec = 10;
    t.tm_isdst = -1;
    struct stat st;
    ASSERT_EQ(stat((root_ / "docs" / "readme.txt").string().c_str(), &st), 0);
    EXPECT_EQ(static_cast<long long>(st.st_mtime), static_cast<long long>(std::mktime(&t)));
    ASSERT_EQ(stat((root_ / "deep" / "er" / "ro.txt").string().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u) << "read-only attribute applied";
    ASSERT_EQ(stat((root_ / "docs" / "readme.txt").string().c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0200, 0u);

    // A second run replaces the read-only file.
    Entry again = Entry::Stored("deep/er/ro.txt", "second run");
    results.clear();
    EXPECT_EQ(Extract(ziptest::BuildArchive({again}), &results), 1);
    EXPECT_EQ(Read(root_ / "deep" / "er" / "ro.txt"), "second run");
}

TEST_F(ZipFileOutput, AFileWhereAFolderIsNeededCannotBeCreatedAndTheRestGoesOn) {
    std::vector<zip::EntryResult> results;
    Extract(ziptest::BuildArchive({Entry::Stored("x", "a file"), Entry::Stored("x/y.txt", "under a file"),
                                   Entry::Stored("z.txt", "zed")}),
            &results);
    EXPECT_EQ(results, (std::vector<zip::EntryResult>{zip::EntryResult::Ok, zip::EntryResult::CannotCreate,
                                                      zip::EntryResult::Ok}));
    EXPECT_EQ(Read(root_ / "z.txt"), "zed");
}

TEST_F(ZipFileOutput, RefusedNamesLeaveNothingOutsideTheFolder) {
    fs::create_directories(root_ / "inside");
    const std::string outside = "zip-escape-" + std::to_string(std::time(nullptr) % 100000) + ".txt";
    zip::ZipExtractor x;
    x.SetOutput(zip::MakeFileSystemOutput());
    x.SetExtractFolder(Folder() + "/inside");
    std::vector<zip::EntryResult> results;
    x.onEndOfFile = [&](const std::string&, zip::EntryResult r) { results.push_back(r); };
    const std::string archive = ziptest::BuildArchive({Entry::Stored("../" + outside, "escaped"),
                                                       Entry::Stored("a/../../" + outside, "escaped")});
    zip::MemoryArchive input(archive.data(), archive.size());
    x.Extract(input);
    EXPECT_EQ(results, (std::vector<zip::EntryResult>{zip::EntryResult::UnsafeName, zip::EntryResult::UnsafeName}));
    EXPECT_FALSE(fs::exists(root_ / outside));
    EXPECT_TRUE(fs::is_empty(root_ / "inside"));
}

// The archive read from its file: any stretch at any offset, reads that go back and forth between
// two places (a directory and the headers it leads to), one larger than the reader's windows; a
// second reader of the same file; none once the file has changed its size.
TEST_F(ZipFileOutput, TheArchiveFileReadsBackEveryStretchAndOpensAgain) {
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    const fs::path path = root_ / "archive.bin";
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::unique_ptr<zip::ArchiveInput> archive = zip::OpenArchiveFile(Folder() + "/archive.bin");
    ASSERT_TRUE(archive);
    ASSERT_EQ(archive->Size(), bytes.size());
    std::uint32_t state = 12345;
    auto next = [&state](std::uint32_t below) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % below;
    };
    std::vector<char> got(100000);
    std::uint64_t walk = 0;
    for (int i = 0; i < 3000; ++i) {
        // In turn near the end and onwards from the start, sometimes one read of 70000 bytes.
        walk = (walk + 1 + next(2000)) % 200000;
        const std::uint64_t offset = (i % 2 == 0 ? 250000 + next(50000) : walk);
        const std::size_t n = i % 97 == 0 ? 70000 : 1 + next(300);
        const std::size_t expected = std::min<std::size_t>(n, bytes.size() - offset);
        ASSERT_EQ(archive->ReadAt(offset, got.data(), n), expected) << offset << " " << n;
        ASSERT_EQ(std::string(got.data(), expected), bytes.substr(offset, expected)) << offset << " " << n;
    }
    EXPECT_EQ(archive->ReadAt(bytes.size(), got.data(), 10), 0u);

    std::unique_ptr<zip::ArchiveInput> again = archive->Reopen();
    ASSERT_TRUE(again);
    ASSERT_EQ(again->ReadAt(123456, got.data(), 1000), 1000u);
    EXPECT_EQ(std::string(got.data(), 1000), bytes.substr(123456, 1000));
    std::ofstream(path, std::ios::binary | std::ios::app).write("more", 4);
    EXPECT_FALSE(archive->Reopen());
}

// From the archive's file, with the next entries decoded on a second thread through a second
// reader of it: the same files as decoded in turn.
TEST_F(ZipFileOutput, DecodingAheadFromTheFileWritesTheSameFiles) {
    std::vector<Entry> entries;
    for (int i = 0; i < 40; ++i) {
        std::string data(static_cast<std::size_t>(i * 3001 % 70000), '\0');
        for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<char>('a' + (k * 7 + i) % 26);
        entries.push_back(Entry::Stored("d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt", data));
    }
    const std::string bytes = ziptest::BuildArchive(entries);
    std::ofstream(root_ / "p.zip", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    zip::ZipExtractor x;
    x.SetOutput(zip::MakeFileSystemOutput());
    x.SetArchiveFile(Folder() + "/p.zip");
    x.SetExtractFolder(Folder() + "/out");
    x.decodeAhead = 200000;
    EXPECT_EQ(x.Extract(), 40);
    for (const Entry& e : entries) EXPECT_EQ(Read(root_ / "out" / e.name), e.data) << e.name;
}

}  // namespace
