// Every entry listed in the shared test archives' MANIFEST.tsv, extracted by ZipExtractor: name,
// size and CRC-32 as listed. Methods without a decoder in this build must fail as unsupported,
// leaving an empty file; they turn into full checks as soon as their decoder is built in.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "zip/ZipExtractor.h"
#include "zip/ZipMethods.h"
#include "zip/ZipNames.h"

namespace {

const std::string kVectors = std::string(KLU_SOURCE_DIR) + "/../shared/vectors";
const std::string kFolder = "C:\\V";

struct Listed {
    std::string entry, method;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};

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

std::map<std::string, std::vector<Listed>> ReadManifest() {
    std::map<std::string, std::vector<Listed>> archives;
    std::ifstream in(kVectors + "/MANIFEST.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t')) f.push_back(field);
        if (f.size() < 6) continue;
        archives[f[0]].push_back({f[1], f[2], std::stoull(f[3]), static_cast<std::uint32_t>(std::stoul(f[5], nullptr, 16))});
    }
    return archives;
}

TEST(ZipVectors, EveryListedEntryExtractsWithItsSizeAndCrc) {
    const auto archives = ReadManifest();
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
            const Listed& listed = archive.second[i];
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
