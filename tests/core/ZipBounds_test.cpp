// What an entry may write: never more than the size its central record, local header or data
// descriptor states, nor more than its method's largest ratio allows for its compressed bytes;
// and what the directory reader may keep.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "ZipExtraction.h"
#include "support/Manifest.h"
#include "zip/Inflate.h"
#include "zip/ZipDirectory.h"
#include "zip/ZipMethods.h"

#include "../hostile/HostileArchives.h"

namespace {

using ziptest::BuildArchive;
using ziptest::Entry;
using ziptest::Extraction;
using ziptest::kFolder;
using zip::EntryResult;

class CountingSink : public zip::ByteSink {
public:
    bool Write(const std::uint8_t*, std::size_t n) override {
        written += n;
        return true;
    }
    std::uint64_t written = 0;
};

class StringSource : public zip::ByteSource {
public:
    explicit StringSource(const std::string& s) : s_(s) {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override {
        const std::size_t k = std::min(n, s_.size() - pos_);
        std::copy(s_.begin() + static_cast<std::ptrdiff_t>(pos_), s_.begin() + static_cast<std::ptrdiff_t>(pos_ + k), buf);
        pos_ += k;
        return k;
    }

private:
    const std::string& s_;
    std::size_t pos_ = 0;
};

// The deflate bounds are the real largest ratios: a stream built at that ratio decodes whole
// under its bound and comes within 1% of it.
TEST(ZipBounds, TheDeflateBoundsAreTheLargestRatios) {
    struct Case {
        zip::DeflateVariant variant;
        std::uint16_t method;
        std::size_t matches;
        std::uint64_t length;
    };
    for (const Case& c : {Case{zip::DeflateVariant::Deflate, 8, 100000, 258},
                          Case{zip::DeflateVariant::Deflate64, 9, 1000, 65538}}) {
        SCOPED_TRACE(c.method);
        const std::string stream = ziptest::LargestRatioZeros(c.matches, c.method == 9);
        StringSource in(stream);
        CountingSink out;
        zip::Inflater inflater(c.variant);
        ASSERT_EQ(inflater.Run(in, out, std::numeric_limits<std::uint64_t>::max()), zip::DecodeStatus::Ok);
        ASSERT_EQ(out.written, 1 + c.matches * c.length);
        const std::uint64_t bound = zip::MaxDecodedSize(c.method, stream.size());
        EXPECT_LE(out.written, bound);
        EXPECT_GE(out.written, bound / 100 * 99);
    }
    EXPECT_EQ(zip::MaxDecodedSize(0, 1234), 1234u);  // stored: the bytes themselves
    EXPECT_EQ(zip::MaxDecodedSize(99, 1), std::numeric_limits<std::uint64_t>::max());  // not decoded
    EXPECT_EQ(zip::MaxDecodedSize(9, std::numeric_limits<std::uint64_t>::max() / 2),
              std::numeric_limits<std::uint64_t>::max());  // saturates
}

// Every entry of the shared archives, made by real writers with every method, lies within its
// method's bound.
TEST(ZipBounds, EveryRealEntryLiesWithinItsMethodsBound) {
    const std::vector<testsupport::ManifestRow> rows = testsupport::ReadManifest();
    ASSERT_GE(rows.size(), 150u) << "manifest not found: " << testsupport::VectorsDir();
    for (const testsupport::ManifestRow& row : rows) {
        const std::string m = row.method.substr(0, row.method.find_first_of("+("));
        std::uint16_t method = 0;
        if (m == "shrink") method = 1;
        else if (m.rfind("reduce", 0) == 0) method = static_cast<std::uint16_t>(1 + (m[6] - '0'));
        else if (m == "implode") method = 6;
        else if (m == "deflate") method = 8;
        else if (m == "deflate64") method = 9;
        else ASSERT_EQ(m, "stored");
        EXPECT_LE(row.size, zip::MaxDecodedSize(method, row.compressedSize)) << row.archive << " " << row.entry;
    }
}

// Zeros that run on for about 40 MiB (Deflate64, 2.3 KiB) or 25 MiB (Deflate, 160 KiB): the file
// keeps exactly the size the central record declares, or, walked, the size the data descriptor
// states, and the entry fails as corrupt; the next entry is extracted.
TEST(ZipBounds, ZerosPastTheStatedSizeStopThere) {
    const std::string zeros64 = ziptest::ZeroRun(640, true);
    const std::string zeros = ziptest::ZeroRun(100000, false);
    for (bool walked : {false, true}) {
        for (std::uint16_t method : {8, 9}) {
            SCOPED_TRACE(std::to_string(method) + (walked ? " walked" : " directory"));
            const std::uint32_t stated = walked ? 10 : 4096;
            Entry e = Entry::Deflated("zeros.bin", std::string(stated, '\0'), method == 9 ? zeros64 : zeros, method);
            e.descriptor = walked;
            const std::string archive = BuildArchive({e, Entry::Stored("good.txt", "g")});
            Extraction run;
            run.On(walked ? hostile::WalkedOnly(archive) : archive);
            EXPECT_EQ(run.extractor.UsedCentralDirectory(), !walked);
            EXPECT_EQ(run.Results(), (std::vector<EntryResult>{EntryResult::CorruptData, EntryResult::Ok}));
            const std::string& written = run.output->files[kFolder + "\\zeros.bin"].data;
            EXPECT_EQ(written.size(), stated);
            EXPECT_EQ(written.find_first_not_of('\0'), std::string::npos);
            EXPECT_EQ(run.output->files[kFolder + "\\good.txt"].data, "g");
            EXPECT_EQ(run.extractor.Refusal(), "");
        }
    }
}

// A walked entry whose deflate stream never ends and has no descriptor: it keeps what it
// decodes, never more than its method's ratio times the bytes from its data to the archive's
// end, fails as corrupt, and the walk stops there.
TEST(ZipBounds, AnEntryOfUnknownSizeWritesNoMoreThanItsRatio) {
    for (std::uint16_t method : {8, 9}) {
        SCOPED_TRACE(method);
        std::string stream = ziptest::LargestRatioZeros(method == 9 ? 300 : 30000, method == 9);
        stream[0] = static_cast<char>(stream[0] & ~1);  // not the final block: the stream runs on into what follows
        Entry e = Entry::Deflated("zeros.bin", "", stream, method);
        e.descriptor = true;
        const std::string archive = hostile::WalkedOnly(BuildArchive({e, Entry::Stored("good.txt", "g")}));
        Extraction run;
        run.On(archive);
        EXPECT_FALSE(run.extractor.UsedCentralDirectory());
        EXPECT_EQ(run.Results(), std::vector<EntryResult>{EntryResult::CorruptData});
        const std::uint64_t dataOffset = zip::kLocalHeaderSize + 9;  // after the header and the name
        const std::uint64_t written = run.output->files[kFolder + "\\zeros.bin"].data.size();
        EXPECT_LE(written, zip::MaxDecodedSize(method, archive.size() - dataOffset));
        EXPECT_GE(written, zip::MaxDecodedSize(method, stream.size()) / 100 * 95);  // the stream did decode
        EXPECT_EQ(run.extractor.Refusal(), "archive ends early");
    }
}

// count central records of no name, all pointing at the one local header, after it.
std::string EmptyRecords(std::size_t count) {
    std::string a = BuildArchive({Entry::Stored("a.txt", "a")}, false);
    const auto directoryOffset = static_cast<std::uint32_t>(a.size());
    std::string record;
    ziptest::Put32(record, zip::kCentralHeaderSig);
    record.append(zip::kCentralHeaderSize - 4, '\0');  // every field zero: no name, local header at 0
    a.reserve(a.size() + count * record.size() + zip::kEndOfDirectorySize);
    for (std::size_t i = 0; i < count; ++i) a += record;
    ziptest::Put32(a, zip::kEndOfDirectorySig);
    ziptest::Put16(a, 0);                                                        // this disk
    ziptest::Put16(a, 0);                                                        // directory's disk
    ziptest::Put16(a, 0xFFFF);                                                   // entries here
    ziptest::Put16(a, 0xFFFF);                                                   // entries in all
    ziptest::Put32(a, static_cast<std::uint32_t>(count * zip::kCentralHeaderSize));  // directory size
    ziptest::Put32(a, directoryOffset);                                          // directory offset
    ziptest::Put16(a, 0);                                                        // comment length
    return a;
}

// The directory reader keeps at most 262144 members: one more record refuses the archive whole
// before anything is written; at the limit the records are read (and here refused for sharing
// one local header).
TEST(ZipBounds, ADirectoryOverTheEntryLimitIsRefusedWhole) {
    ASSERT_EQ(zip::DirectoryLimits::kMaxEntries, 262144u);
    for (std::size_t count : {zip::DirectoryLimits::kMaxEntries + 1, zip::DirectoryLimits::kMaxEntries}) {
        SCOPED_TRACE(count);
        const std::string archive = EmptyRecords(count);
        Extraction run;
        run.On(archive);
        EXPECT_TRUE(run.extractor.ReadAsZip());
        EXPECT_EQ(run.extractor.Refusal(),
                  count > zip::DirectoryLimits::kMaxEntries ? "too many entries" : "overlapping entries");
        EXPECT_TRUE(run.events.empty());
        EXPECT_TRUE(run.output->created.empty());
        zip::ZipDirectory directory;
        zip::MemoryArchive input(archive.data(), archive.size());
        directory.Read(input);
        EXPECT_EQ(directory.Members().size(), count > zip::DirectoryLimits::kMaxEntries ? 0u : count);
    }
}

// Lowered limits, on both sides of each: entries, and the names' bytes in all; a walk of the
// local headers stops at the entry limit.
TEST(ZipBounds, LoweredLimitsRefuseJustPastThem) {
    const std::string archive =
        BuildArchive({Entry::Stored("abcde.txt", "1"), Entry::Stored("b.txt", "2"), Entry::Stored("c.txt", "3")});
    struct Case {
        std::size_t entries;
        std::uint64_t nameBytes;
        bool walked;
        std::string refusal;
        int extracted;
    };
    for (const Case& c : {Case{2, 100, false, "too many entries", 0}, Case{3, 100, false, "", 3},
                          Case{3, 18, false, "names too long", 0}, Case{3, 19, false, "", 3},
                          Case{2, 100, true, "too many entries", 2}, Case{3, 100, true, "", 3}}) {
        SCOPED_TRACE(std::to_string(c.entries) + " " + std::to_string(c.nameBytes) + (c.walked ? " walked" : ""));
        Extraction run;
        run.extractor.limits.entries = c.entries;
        run.extractor.limits.nameBytes = c.nameBytes;
        run.On(c.walked ? hostile::WalkedOnly(archive) : archive);
        EXPECT_EQ(run.extractor.UsedCentralDirectory(), !c.walked);
        EXPECT_EQ(run.extractor.Refusal(), c.refusal);
        EXPECT_EQ(run.extracted, c.extracted);
        EXPECT_EQ(run.output->created.size(), static_cast<std::size_t>(c.extracted));
    }
}

}  // namespace
