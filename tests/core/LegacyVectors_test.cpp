// Every shrunk, reduced and imploded entry of the shared test archives decodes to its stored
// size and CRC-32.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/ByteStreams.h"
#include "support/CentralDirectory.h"
#include "support/Manifest.h"
#include "zip/Explode.h"
#include "zip/Unreduce.h"
#include "zip/Unshrink.h"

using namespace testsupport;

namespace {

bool IsLegacy(const std::string& method) {
    return method == "shrink" || method.rfind("reduce", 0) == 0 || method.rfind("implode", 0) == 0;
}

std::vector<ManifestRow> LegacyRows() {
    std::vector<ManifestRow> rows;
    for (const ManifestRow& row : ReadManifest()) {
        if (IsLegacy(row.method)) rows.push_back(row);
    }
    return rows;
}

// The method number and flags the manifest's method name implies.
int ExpectedMethod(const std::string& method) {
    if (method == "shrink") return 1;
    if (method.rfind("reduce", 0) == 0) return 1 + (method[6] - '0');
    return 6;
}

zip::DecodeStatus DecodeEntry(const CentralEntry& e, zip::ByteSource& in, zip::ByteSink& out) {
    switch (e.method) {
    case 1: return zip::Unshrink(in, out, e.uncompressedSize, e.flags);
    case 2: case 3: case 4: case 5: return zip::Unreduce(in, out, e.uncompressedSize, e.flags, e.method - 1);
    case 6: return zip::Explode(in, out, e.uncompressedSize, e.flags);
    default: return zip::DecodeStatus::BadData;
    }
}

}  // namespace

TEST(LegacyVectors, EveryLegacyEntryMatchesItsCrcAndSize) {
    const std::vector<ManifestRow> rows = LegacyRows();
    ASSERT_GE(rows.size(), 150u) << "manifest not found or shortened: " << VectorsDir();
    std::map<std::string, std::vector<CentralEntry>> archives;
    std::map<int, int> decodedByMethod;
    for (const ManifestRow& row : rows) {
        SCOPED_TRACE(row.archive + " " + row.entry + " " + row.method);
        if (!archives.count(row.archive)) archives[row.archive] = ReadCentralDirectory(ReadWholeFile(VectorsDir() + "/" + row.archive));
        // Matched by CRC and sizes: the manifest spells names in UTF-8, the archives in OEM.
        const CentralEntry* entry = nullptr;
        for (const CentralEntry& e : archives[row.archive]) {
            if (e.crc == row.crc && e.uncompressedSize == row.size && e.compressedSize == row.compressedSize) entry = &e;
        }
        ASSERT_NE(entry, nullptr);
        ASSERT_EQ(entry->method, ExpectedMethod(row.method));
        if (entry->method == 6) {
            EXPECT_EQ((entry->flags & 2) != 0, row.method.find("8K") != std::string::npos);
            EXPECT_EQ((entry->flags & 4) != 0, row.method.find("3trees") != std::string::npos);
        }
        ASSERT_EQ(entry->data.size(), row.compressedSize);
        ChunkedSource in(entry->data);
        RecordingSink out;
        EXPECT_EQ(DecodeEntry(*entry, in, out), zip::DecodeStatus::Ok);
        EXPECT_EQ(out.bytes.size(), row.size);
        EXPECT_EQ(ReferenceCrc32(out.bytes), row.crc);
        EXPECT_LE(out.largestBlock, zip::kBlockSize);
        ++decodedByMethod[entry->method];
    }
    // Each legacy method number is exercised.
    for (int method = 1; method <= 6; ++method) EXPECT_GT(decodedByMethod[method], 0) << "method " << method;
}

// Pulling the input a byte at a time changes nothing: the bit reader refills across any split.
TEST(LegacyVectors, ByteAtATimeInputGivesTheSameOutput) {
    const struct { const char* archive; int method; } cases[] = {
        {"zip2-shrink.zip", 1}, {"sharpcompress-reduce2.zip", 3}, {"zip2-reduce4.zip", 5},
        {"sharpcompress-implode.zip", 6}, {"cc-imploding-4Kdict-2trees.zip", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        const std::vector<CentralEntry> entries = ReadCentralDirectory(ReadWholeFile(VectorsDir() + "/" + c.archive));
        int seen = 0;
        for (const CentralEntry& e : entries) {
            if (e.method != c.method) continue;
            ++seen;
            ChunkedSource whole(e.data), trickle(e.data, 1);
            RecordingSink a, b;
            ASSERT_EQ(DecodeEntry(e, whole, a), zip::DecodeStatus::Ok);
            ASSERT_EQ(DecodeEntry(e, trickle, b), zip::DecodeStatus::Ok);
            EXPECT_EQ(a.bytes, b.bytes);
        }
        EXPECT_GT(seen, 0);
    }
}

// Every cut of a valid stream is reported as truncated, never decoded as complete, and what was
// decoded before the cut reaches the sink unchanged.
TEST(LegacyVectors, EveryTruncationIsReportedAndKeepsTheGoodPrefix) {
    const char* archives[] = {"zip2-shrink.zip", "zip2-reduce4.zip", "zip2-implode.zip",
                              "cc-imploding-4Kdict-2trees.zip", "sharpcompress-reduce1.zip"};
    int cuts = 0;
    for (const char* archive : archives) {
        for (const CentralEntry& e : ReadCentralDirectory(ReadWholeFile(VectorsDir() + "/" + archive))) {
            if (e.method < 1 || e.method > 6 || e.data.size() > 25000) continue;
            SCOPED_TRACE(std::string(archive) + " " + e.name);
            ChunkedSource whole(e.data);
            RecordingSink full;
            ASSERT_EQ(DecodeEntry(e, whole, full), zip::DecodeStatus::Ok);
            // Long entries: every cut near both ends, and a stride through the middle.
            for (std::size_t cut = 0; cut < e.data.size(); ++cut) {
                if (cut > 600 && cut + 600 < e.data.size() && cut % 97 != 0) continue;
                const Bytes part(e.data.begin(), e.data.begin() + static_cast<long>(cut));
                ChunkedSource in(part);
                RecordingSink out;
                ASSERT_EQ(DecodeEntry(e, in, out), zip::DecodeStatus::Truncated) << "cut at " << cut;
                ASSERT_LT(out.bytes.size(), full.bytes.size());
                ASSERT_TRUE(std::equal(out.bytes.begin(), out.bytes.end(), full.bytes.begin())) << "cut at " << cut;
                ++cuts;
            }
        }
    }
    EXPECT_GT(cuts, 3000);
}

// Damaged entries (bytes flipped throughout, including inside the tables at the start) decode to
// some status, never past their stored size, and Ok only with exactly that size.
TEST(LegacyVectors, DamagedEntriesStayWithinTheirSize) {
    const char* archives[] = {"zip2-shrink.zip", "cc-SHRUNK.ZIP", "zip2-reduce4.zip", "sharpcompress-reduce1.zip",
                              "zip2-implode.zip", "cc-imploding-4Kdict-2trees.zip"};
    const std::uint8_t flips[] = {0xFF, 0x01, 0x80, 0x5A};
    std::map<zip::DecodeStatus, int> seen;
    for (const char* archive : archives) {
        for (const CentralEntry& e : ReadCentralDirectory(ReadWholeFile(VectorsDir() + "/" + archive))) {
            if (e.method < 1 || e.method > 6 || e.data.empty()) continue;
            SCOPED_TRACE(std::string(archive) + " " + e.name);
            const std::size_t step = e.data.size() > 2000 ? e.data.size() / 500 : 1;
            for (std::size_t at = 0; at < e.data.size(); at += step) {
                Bytes damaged = e.data;
                damaged[at] ^= flips[at % 4];
                ChunkedSource in(damaged);
                RecordingSink out;
                const zip::DecodeStatus status = DecodeEntry(e, in, out);
                ASSERT_LE(out.bytes.size(), e.uncompressedSize) << "flip at " << at;
                if (status == zip::DecodeStatus::Ok) {
                    ASSERT_EQ(out.bytes.size(), e.uncompressedSize) << "flip at " << at;
                }
                ++seen[status];
            }
        }
    }
    // Damage in the tables and codes is noticed by the decoders themselves, not only by the CRC.
    EXPECT_GT(seen[zip::DecodeStatus::BadData] + seen[zip::DecodeStatus::Truncated], 0);
    EXPECT_EQ(seen[zip::DecodeStatus::WriteFailed] + seen[zip::DecodeStatus::OutputFull], 0);
}
