// Every entry listed in the shared test archives' MANIFEST.tsv, extracted by ZipExtractor: name,
// size and CRC-32 as listed. Methods without a decoder in this build must fail as unsupported,
// leaving an empty file; they turn into full checks as soon as their decoder is built in.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "support/Manifest.h"
#include "zip/ZipExtractor.h"
#include "zip/ZipMethods.h"
#include "zip/ZipNames.h"

namespace {

const std::string kVectors = testsupport::VectorsDir();
const std::string kFolder = "C:\\V";

// The method number of a MANIFEST method name ("implode(8K,3trees)", "deflate+dd", "reduce3").
int MethodNumber(const std::string& name) {
    if (name.rfind("stored", 0) == 0) return 0;
    if (name.rfind("shrink", 0) == 0) return 1;
    if (name.rfind("reduce", 0) == 0) return 1 + (name[6] - '0');
    if (name.rfind("implode", 0) == 0) return 6;
    if (name.rfind("deflate64", 0) == 0) return 9;
    if (name.rfind("deflate", 0) == 0) return 8;
    return -1;
}

// The manifest's rows by archive, in their order.
std::map<std::string, std::vector<testsupport::ManifestRow>> ListedByArchive() {
    std::map<std::string, std::vector<testsupport::ManifestRow>> archives;
    for (const testsupport::ManifestRow& row : testsupport::ReadManifest(kVectors)) archives[row.archive].push_back(row);
    return archives;
}

TEST(ZipVectors, EveryListedEntryExtractsWithItsSizeAndCrc) {
    const auto archives = ListedByArchive();
    ASSERT_GE(archives.size(), 10u) << "MANIFEST.tsv not found under " << kVectors;
    int checked = 0, unsupported = 0;
    for (const auto& archive : archives) {
        zip::ZipExtractor extractor;
        auto* output = new ziptest::MemoryOutput;
        extractor.SetOutput(std::unique_ptr<zip::OutputFolder>(output));
        extractor.SetExtractFolder(kFolder);
        std::vector<std::pair<std::string, zip::EntryResult>> ends;
        extractor.onEndOfFile = [&](const std::string& path, zip::EntryResult r) { ends.emplace_back(path, r); };
        extractor.SetArchiveFile(kVectors + "/" + archive.first);
        extractor.Extract();
        ASSERT_EQ(ends.size(), archive.second.size()) << archive.first;
        for (std::size_t i = 0; i < ends.size(); ++i) {
            const testsupport::ManifestRow& listed = archive.second[i];
            std::string name = zip::Utf8ToAnsi(listed.entry);
            std::replace(name.begin(), name.end(), '/', '\\');
            const std::string where = archive.first + ": " + listed.entry;
            EXPECT_EQ(ends[i].first, kFolder + "\\" + name) << where;
            const std::string& data = output->files[ends[i].first].data;
            const int method = MethodNumber(listed.method);
            ASSERT_GE(method, 0) << where << " " << listed.method;
            if (!zip::MethodSupported(static_cast<std::uint16_t>(method))) {
                EXPECT_EQ(ends[i].second, zip::EntryResult::UnsupportedMethod) << where;
                EXPECT_EQ(data, "") << where;
                ++unsupported;
                continue;
            }
            EXPECT_EQ(ends[i].second, zip::EntryResult::Ok) << where;
            EXPECT_EQ(data.size(), listed.size) << where;
            EXPECT_EQ(ziptest::Crc(data), listed.crc) << where;
            ++checked;
        }
    }
    std::printf("vectors: %d entries decoded and matched, %d awaiting their decoder\n", checked, unsupported);
}

}  // namespace
