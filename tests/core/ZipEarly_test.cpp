// The early pass over a package that grows as it downloads (ZipExtractor::ExtractGrowing over a
// GrowingArchive fed in pieces by another thread) and its confirmation against the directory.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ZipExtraction.h"
#include "zip/GrowingArchive.h"
#include "zip/ZipExtractor.h"

namespace {

using ziptest::BuildArchive;
using ziptest::Entry;
using ziptest::Event;
using ziptest::Extraction;
using ziptest::FixedLiterals;
using ziptest::MemoryOutput;
using ziptest::Pattern;
using ziptest::kFolder;
using zip::EntryResult;

// Both extractors of a run write into one folder, as the worker's two do into the work folder.
class SharedOutput : public zip::OutputFolder {
public:
    explicit SharedOutput(MemoryOutput& folder) : folder_(folder) {}
    bool CreateFolderPath(const std::string& path) override { return folder_.CreateFolderPath(path); }
    bool FileExists(const std::string& path) override { return folder_.FileExists(path); }
    std::unique_ptr<zip::OutputFile> CreateOutputFile(const std::string& path) override {
        return folder_.CreateOutputFile(path);
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return folder_.SetAttributes(path, attributes);
    }

private:
    MemoryOutput& folder_;
};

// The package as the file holds it in the end; the walk sees it grow piece by piece, or see the
// download abandon it after `abandonAt` bytes.
struct EarlyRun {
    MemoryOutput folder;
    zip::EarlyWalk walk;

    EarlyRun(const std::string& package, std::size_t piece, std::size_t abandonAt = std::string::npos,
             bool applyAttributes = true) {
        zip::GrowingArchive growing(
            std::unique_ptr<zip::ArchiveInput>(new zip::MemoryArchive(package.data(), package.size())),
            package.size());
        zip::ZipExtractor early;
        early.SetOutput(std::unique_ptr<zip::OutputFolder>(new SharedOutput(folder)));
        early.SetExtractFolder(kFolder);
        early.restoreAttributes = applyAttributes;
        std::thread follower([&] { walk = early.ExtractGrowing(growing, 1u << 30); });
        for (std::size_t written = 0; written < package.size();) {
            if (written >= abandonAt) break;
            written = std::min(package.size(), written + piece);
            growing.Written(written);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (abandonAt == std::string::npos) {
            growing.Ended();
        } else {
            growing.Abandon();
        }
        follower.join();
    }

    // The confirmation over the whole package, its events recorded in run.
    bool Confirm(const std::string& package, Extraction& run) {
        run.extractor.SetOutput(std::unique_ptr<zip::OutputFolder>(new SharedOutput(folder)));
        zip::MemoryArchive whole(package.data(), package.size());
        bool confirmed = false;
        run.extracted = run.extractor.ExtractConfirmed(whole, walk, confirmed);
        return confirmed;
    }
};

std::string Package() {
    const std::string text = Pattern(70000);
    Entry readOnly = Entry::Stored("ro.ini", "keep=1");
    readOnly.externalAttributes = 0x01;
    Entry folderEntry = Entry::Stored("docs/", "");
    return BuildArchive({Entry::Stored("a.txt", text), folderEntry,
                         Entry::Deflated("docs/readme.txt", "deflated words", FixedLiterals("deflated words")),
                         readOnly, Entry::Stored("empty.dat", "")});
}

TEST(ZipEarly, WalkOverAGrowingPackageWritesWhatExtractWritesAndIsConfirmedWithTheSameEvents) {
    const std::string package = Package();
    Extraction normal;
    normal.On(package);
    // The attributes a file ends with: those set, or a new file's (the archive bit).
    const auto effective = [](const MemoryOutput::File& f) { return f.attributesSet ? f.attributes : 0x20u; };
    for (const bool apply : {true, false})
    for (std::size_t piece : {std::size_t{1} << 20, std::size_t{4096}, std::size_t{61}}) {
        SCOPED_TRACE(std::to_string(piece) + (apply ? " bytes a piece, the walk leaving files normal" : " bytes a piece"));
        EarlyRun early(package, piece, std::string::npos, apply);
        ASSERT_TRUE(early.walk.sound);
        EXPECT_TRUE(early.folder.files.count(kFolder + "\\a.txt"));  // written before the confirmation
        Extraction run(new MemoryOutput);
        ASSERT_TRUE(early.Confirm(package, run));
        EXPECT_EQ(run.extracted, normal.extracted);
        EXPECT_EQ(run.Begun(), normal.Begun());
        EXPECT_EQ(run.Results(), normal.Results());
        ASSERT_FALSE(run.progress.empty());
        EXPECT_EQ(run.progress.back().second, 100);
        ASSERT_EQ(early.folder.files.size(), normal.output->files.size());
        for (const auto& file : normal.output->files) {
            SCOPED_TRACE(file.first);
            const MemoryOutput::File& mine = early.folder.files[file.first];
            EXPECT_EQ(mine.data, file.second.data);
            EXPECT_EQ(mine.dosDate, file.second.dosDate);
            EXPECT_EQ(mine.dosTime, file.second.dosTime);
            EXPECT_EQ(effective(mine), effective(file.second));
        }
    }
}

// A package whose bytes are patched after it was built: a field of its first central record.
std::string PatchCentral(std::string package, std::size_t field, char value) {
    const auto* end = reinterpret_cast<const std::uint8_t*>(package.data()) + package.size() - zip::kEndOfDirectorySize;
    package[zip::Get32(end + zip::end_record::kDirectoryOffset) + field] = value;
    return package;
}

// Two entries listed; a third written after them that the directory does not list.
std::string WithUnlistedEntry() {
    const std::vector<Entry> listed = {Entry::Stored("a.txt", "alpha"), Entry::Stored("b.txt", "beta")};
    std::vector<Entry> all = listed;
    all.push_back(Entry::Stored("hidden.exe", "not in the directory"));
    const std::string locals = BuildArchive(all, false);
    const std::string whole = BuildArchive(listed);
    const std::size_t listedLocals = BuildArchive(listed, false).size();
    std::string tail = whole.substr(listedLocals);
    const std::size_t at = tail.size() - zip::kEndOfDirectorySize + zip::end_record::kDirectoryOffset;
    const auto offset = static_cast<std::uint32_t>(locals.size());
    for (int i = 0; i < 4; ++i) tail[at + i] = static_cast<char>((offset >> (8 * i)) & 0xFF);
    return locals + tail;
}

TEST(ZipEarly, DisagreementsAreRefusedWithoutAnEventAndTheUsualExtractionDecides) {
    const std::string plain = BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("b.txt", "beta")});
    Entry streamed = Entry::Stored("s.txt", "streamed");
    streamed.descriptor = true;
    struct Case {
        const char* what;
        std::string package;
        std::size_t abandonAt;
    };
    const std::vector<Case> cases = {
        {"a local entry the directory does not list", WithUnlistedEntry(), std::string::npos},
        {"a CRC-32 that differs in the directory", PatchCentral(plain, 16, 0x55), std::string::npos},
        {"a name that differs in the directory", PatchCentral(plain, 46, 'z'), std::string::npos},
        {"a time that differs in the directory", PatchCentral(plain, 12, 0x11), std::string::npos},
        {"a file cut back during the download", plain, 40},
        {"a follower abandoned before any byte", plain, 0},
        {"a streamed entry", BuildArchive({streamed}), std::string::npos},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EarlyRun early(c.package, 16, c.abandonAt);
        Extraction run(new MemoryOutput);
        const std::map<std::string, MemoryOutput::File> before = early.folder.files;
        EXPECT_FALSE(early.Confirm(c.package, run));
        EXPECT_TRUE(run.events.empty());
        EXPECT_TRUE(run.progress.empty());
        EXPECT_EQ(run.extracted, 0);
        // Nothing touched: the worker wipes the folder and extracts as usual.
        ASSERT_EQ(early.folder.files.size(), before.size());
        for (const auto& file : before) EXPECT_EQ(early.folder.files[file.first].attributesSet, file.second.attributesSet);
    }
}

TEST(ZipEarly, AnAbandonedFollowerWaitingForBytesStops) {
    const std::string package = Package();
    zip::GrowingArchive growing(
        std::unique_ptr<zip::ArchiveInput>(new zip::MemoryArchive(package.data(), package.size())), package.size());
    growing.Written(100);  // the download stalls in the first entry's data
    MemoryOutput folder;
    zip::ZipExtractor early;
    early.SetOutput(std::unique_ptr<zip::OutputFolder>(new SharedOutput(folder)));
    early.SetExtractFolder(kFolder);
    zip::EarlyWalk walk;
    walk.sound = true;
    std::thread follower([&] { walk = early.ExtractGrowing(growing, 1u << 30); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    growing.Abandon();
    follower.join();  // a follower that missed the abandonment would hang here
    EXPECT_FALSE(walk.sound);
    std::uint8_t byte = 0;
    EXPECT_EQ(growing.ReadAt(0, &byte, 1), 0u);
}

TEST(ZipEarly, LocalHeadersDeclaringMoreThanTheCapEndTheWalkUnsound) {
    const std::string package = Package();
    zip::GrowingArchive growing(
        std::unique_ptr<zip::ArchiveInput>(new zip::MemoryArchive(package.data(), package.size())), package.size());
    growing.Written(package.size());
    growing.Ended();
    MemoryOutput folder;
    zip::ZipExtractor early;
    early.SetOutput(std::unique_ptr<zip::OutputFolder>(new SharedOutput(folder)));
    early.SetExtractFolder(kFolder);
    const zip::EarlyWalk walk = early.ExtractGrowing(growing, 1000);  // a.txt alone declares 70000
    EXPECT_FALSE(walk.sound);
    EXPECT_TRUE(folder.files.empty());
}

}  // namespace
