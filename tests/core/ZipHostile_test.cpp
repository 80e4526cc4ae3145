// The hostile package table through the extractor alone: each row's verdict, and nothing
// written outside the extract folder, past the path limit or for a refused entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "zip/Crc32.h"
#include "zip/ZipDirectory.h"

#include "../hostile/HostileArchives.h"

namespace {

const std::string kFolder = "C:\\Temp\\W";

bool LeavesAFile(zip::EntryResult r) {
    return r == zip::EntryResult::Ok || r == zip::EntryResult::BadCrc || r == zip::EntryResult::CorruptData ||
           r == zip::EntryResult::UnsupportedMethod;
}

TEST(ZipHostile, EveryRowGetsItsVerdictAndWritesOnlyInsideTheFolder) {
    const std::vector<hostile::ArchiveCase> cases = hostile::ArchiveCases();
    ASSERT_GT(cases.size(), 60u);
    for (const hostile::ArchiveCase& c : cases) {
        SCOPED_TRACE(c.label);
        zip::ZipExtractor extractor;
        auto* output = new ziptest::MemoryOutput;
        extractor.SetOutput(std::unique_ptr<zip::OutputFolder>(output));
        extractor.SetExtractFolder(kFolder);
        std::vector<zip::EntryResult> results;
        std::vector<std::string> begun;
        extractor.onFileBegin = [&](const std::string& path, int, bool&) { begun.push_back(path); };
        extractor.onEndOfFile = [&](const std::string&, zip::EntryResult r) { results.push_back(r); };
        zip::MemoryArchive input(c.archive.data(), c.archive.size());
        extractor.Extract(input);

        EXPECT_EQ(results, c.results);
        EXPECT_EQ(extractor.Refusal(), c.refusal);
        const auto kept = static_cast<std::size_t>(std::count_if(results.begin(), results.end(), LeavesAFile));
        EXPECT_EQ(output->files.size(), kept);
        for (const auto& file : output->files) {
            const std::string& path = file.first;
            EXPECT_EQ(path.compare(0, kFolder.size() + 1, kFolder + "\\"), 0) << path;
            EXPECT_EQ(path.find("\\..\\"), std::string::npos) << path;
            EXPECT_EQ(path.find(':', 2), std::string::npos) << path;
            EXPECT_LE(path.size(), zip::ZipExtractor::kMaxPath) << path;
            EXPECT_NE(std::find(begun.begin(), begun.end(), path), begun.end()) << path;
        }
        // The installer fails a package with any failed entry or an unsound archive.
        const bool failed = !c.refusal.empty() || std::any_of(results.begin(), results.end(), [](zip::EntryResult r) {
            return r != zip::EntryResult::Ok && r != zip::EntryResult::Skipped;
        });
        EXPECT_EQ(failed, c.installFails);
    }
}

TEST(ZipHostile, HarmlessNamesAreWrittenWhereWindowsReadsThem) {
    for (const hostile::HarmlessName& harmless : hostile::HarmlessNames()) {
        SCOPED_TRACE(harmless.name);
        zip::ZipExtractor extractor;
        auto* output = new ziptest::MemoryOutput;
        extractor.SetOutput(std::unique_ptr<zip::OutputFolder>(output));
        extractor.SetExtractFolder(kFolder);
        const std::string archive = ziptest::BuildArchive(
            {ziptest::Entry::Stored(harmless.name, "x"), ziptest::Entry::Stored("good.txt", "g")});
        zip::MemoryArchive input(archive.data(), archive.size());
        EXPECT_EQ(extractor.Extract(input), 2);
        std::vector<std::string> written;
        for (const auto& file : output->files) written.push_back(file.first);
        std::vector<std::string> expected = {kFolder + "\\" + harmless.path, kFolder + "\\good.txt"};
        std::sort(expected.begin(), expected.end());  // the output keeps its files sorted by path
        EXPECT_EQ(written, expected);
    }
}

// Every central record is extracted with a matching CRC, skipped as a folder (the installer's
// wildcard list selects every file), or reported as failed; an archive refused whole reports
// its refusal and extracts nothing. Nothing is left out in silence.
TEST(ZipHostile, EveryCentralRecordIsExtractedSkippedOrReported) {
    for (const hostile::ArchiveCase& c : hostile::ArchiveCases()) {
        SCOPED_TRACE(c.label);
        zip::ZipExtractor extractor;
        auto* output = new ziptest::MemoryOutput;
        extractor.SetOutput(std::unique_ptr<zip::OutputFolder>(output));
        extractor.SetExtractFolder(kFolder);
        std::vector<std::pair<std::string, zip::EntryResult>> ends;
        extractor.onEndOfFile = [&](const std::string& path, zip::EntryResult r) { ends.emplace_back(path, r); };
        zip::MemoryArchive input(c.archive.data(), c.archive.size());
        extractor.Extract(input);

        zip::ZipDirectory directory;
        const zip::DirectoryVerdict verdict = directory.Read(input);
        if (verdict == zip::DirectoryVerdict::Unusable) continue;  // walked: no directory to hold it to
        if (verdict != zip::DirectoryVerdict::Usable) {
            EXPECT_FALSE(extractor.Refusal().empty());
            EXPECT_TRUE(ends.empty());
            continue;
        }
        // Folders may be reported too (a folder name that leaves the folder is refused).
        std::size_t files = 0;
        std::multiset<std::uint32_t> crcs;
        for (const zip::Member& m : directory.Members()) {
            std::string name = m.entry.rawName;
            std::replace(name.begin(), name.end(), '/', '\\');
            if (!zip::ZipExtractor::IsFolderEntry(m.entry, name)) ++files;
            crcs.insert(m.entry.crc);
        }
        EXPECT_GE(ends.size(), files);
        EXPECT_LE(ends.size(), directory.Members().size());
        for (const auto& end : ends) {
            if (end.second != zip::EntryResult::Ok) continue;
            const std::string& data = output->files[end.first].data;
            EXPECT_GE(crcs.count(zip::ComputeCrc32(data.data(), data.size())), 1u) << end.first;
        }
    }
}

}  // namespace
