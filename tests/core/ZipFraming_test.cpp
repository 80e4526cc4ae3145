// ZipExtractor over damaged framing: the walk of local headers, a damaged directory, data before
// the archive, inputs that are no archive, every truncation and every corrupted byte.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ZipExtraction.h"

namespace {

using ziptest::BuildArchive;
using ziptest::Entry;
using ziptest::Event;
using ziptest::Extraction;
using ziptest::FixedLiterals;
using ziptest::Pattern;
using ziptest::kFolder;
using zip::EntryResult;

TEST(ZipExtractor, WithoutAUsableDirectoryTheLocalHeadersAreWalked) {
    const std::string text = "descriptor entry text";
    Entry described = Entry::Deflated("dd.txt", text, FixedLiterals(text));
    described.descriptor = true;
    Entry described64 = Entry::Deflated("dd64.txt", text, FixedLiterals(text), 9);
    described64.descriptor = true;
    // A stored entry with a descriptor: found by its signature and matching size, even with a
    // false signature inside the data.
    Entry storedDescribed = Entry::Stored("sd.txt", std::string("PK\x07\x08", 4) + "12345678901234567890 stored");
    storedDescribed.descriptor = true;
    const std::vector<Entry> entries = {Entry::Stored("a.txt", "alpha"), described, described64, storedDescribed,
                                        Entry::Stored("sub/b.txt", "beta")};
    for (bool withDirectory : {true, false}) {
        Extraction run;
        run.On(withDirectory ? BuildArchive(entries) : ziptest::WithBrokenDirectory(BuildArchive(entries)));
        EXPECT_EQ(run.extractor.UsedCentralDirectory(), withDirectory);
        EXPECT_EQ(run.extracted, 5) << withDirectory;
        EXPECT_EQ(run.output->files[kFolder + "\\sd.txt"].data, storedDescribed.data);
        EXPECT_EQ(run.output->files[kFolder + "\\dd.txt"].data, text);
        EXPECT_EQ(run.output->files[kFolder + "\\dd64.txt"].data, text);
        EXPECT_EQ(run.output->files[kFolder + "\\sub\\b.txt"].data, "beta");
        EXPECT_EQ(run.progress.back().second, 100);
    }
}

TEST(ZipExtractor, AnArchiveWithoutItsEndRecordIsCutAndYieldsNothing) {
    const std::string good = BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("b.txt", "beta")});
    std::string badComment = good;
    badComment[good.size() - 2] = 1;  // a comment length that runs past the end of the file
    const std::string cuts[] = {BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("b.txt", "beta")}, false),
                                good.substr(0, good.size() - 1), good.substr(0, good.size() - 30), badComment,
                                good.substr(0, good.size() - 22)};
    for (const std::string& archive : cuts) {
        Extraction run;
        run.On(archive);
        EXPECT_TRUE(run.extractor.ReadAsZip());
        EXPECT_EQ(run.extractor.Refusal(), "archive ends early");
        EXPECT_TRUE(run.events.empty());
        EXPECT_TRUE(run.output->files.empty());
    }
}

TEST(ZipExtractor, OnlyTheLastEndRecordCounts) {
    // An earlier archive's end record inside an entry's data is never taken for the archive's
    // own when the last one is damaged.
    const std::string inner = BuildArchive({Entry::Stored("inner.txt", "hidden")});
    std::string outer = BuildArchive({Entry::Stored("inner.zip", inner), Entry::Stored("b.txt", "beta")});
    outer[outer.size() - 2] = 1;  // its comment runs past the end
    Extraction run;
    run.On(outer);
    EXPECT_EQ(run.extractor.Refusal(), "archive ends early");
    EXPECT_TRUE(run.events.empty());
}

TEST(ZipExtractor, ADamagedDirectoryFallsBackToTheWalk) {
    std::string archive = BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("b.txt", "beta")});
    const std::size_t directory = archive.find("PK\x01\x02");
    archive[directory + 2] = 'X';  // the first central signature broken
    Extraction run;
    run.On(archive);
    EXPECT_FALSE(run.extractor.UsedCentralDirectory());
    EXPECT_EQ(run.extracted, 2);
}

TEST(ZipExtractor, DataBeforeTheArchiveShiftsTheOffsets) {
    Extraction run;
    run.On("MZ self-extractor stub" + BuildArchive({Entry::Stored("a.txt", "alpha")}));
    EXPECT_TRUE(run.extractor.UsedCentralDirectory());
    EXPECT_EQ(run.output->files[kFolder + "\\a.txt"].data, "alpha");
}

TEST(ZipExtractor, NotAnArchiveGivesNothing) {
    const std::string inputs[] = {"", "PK", "hello, this is no zip file at all, just text", std::string(100, '\0')};
    for (const std::string& input : inputs) {
        Extraction run;
        run.On(input);
        EXPECT_FALSE(run.extractor.ReadAsZip());
        EXPECT_TRUE(run.events.empty());
        EXPECT_EQ(run.extracted, 0);
    }
    zip::ZipExtractor missing;
    missing.SetArchiveFile(std::string(KLU_BINARY_DIR) + "/no-such-archive.zip");
    EXPECT_EQ(missing.Extract(), 0);
    EXPECT_FALSE(missing.ReadAsZip());
}

TEST(ZipExtractor, EveryTruncationNeverWritesWrongDataAsGood) {
    const std::string text = Pattern(3000);
    Entry described = Entry::Deflated("dd.txt", text.substr(0, 500), FixedLiterals(text.substr(0, 500)));
    described.descriptor = true;
    const std::vector<Entry> entries = {Entry::Stored("a.txt", text), described,
                                        Entry::Deflated("sub/c.txt", "gamma", FixedLiterals("gamma"))};
    const std::string archive = BuildArchive(entries);
    std::map<std::string, std::string> truth = {{kFolder + "\\a.txt", text},
                                                {kFolder + "\\dd.txt", text.substr(0, 500)},
                                                {kFolder + "\\sub\\c.txt", "gamma"}};
    for (std::size_t n = 0; n < archive.size(); ++n) {
        Extraction run;
        run.On(archive.substr(0, n));
        for (const Event& e : run.events) {
            ASSERT_EQ(e.path.compare(0, kFolder.size() + 1, kFolder + "\\"), 0) << n;
            if (e.kind == "end" && e.result == EntryResult::Ok) {
                EXPECT_EQ(run.output->files[e.path].data, truth[e.path]) << n;
            }
        }
        for (const auto& f : run.output->files) {
            ASSERT_TRUE(truth.count(f.first)) << f.first;
            EXPECT_EQ(f.second.data, truth[f.first].substr(0, f.second.data.size())) << n;
        }
    }
}

TEST(ZipExtractor, EveryCorruptedByteIsHandled) {
    // One byte at a time replaced: whatever the extractor makes of it, it stays in the folder
    // and never claims a file is good when its bytes differ.
    const std::string text = Pattern(700);
    const std::string archive = BuildArchive({Entry::Deflated("a.txt", text, FixedLiterals(text)),
                                              Entry::Stored("b/c.txt", "gamma")});
    for (std::size_t i = 0; i < archive.size(); ++i) {
        for (unsigned char value : {0x00, 0xFF, 0x2E}) {
            std::string bad = archive;
            bad[i] = static_cast<char>(value);
            Extraction run;
            run.On(bad);
            for (const Event& e : run.events) {
                ASSERT_EQ(e.path.compare(0, kFolder.size() + 1, kFolder + "\\"), 0) << i;
                EXPECT_EQ(e.path.find("\\..\\"), std::string::npos) << i;
            }
        }
    }
}

}  // namespace
