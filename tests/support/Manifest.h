// The shared test archives (KLU_VECTORS_DIR, set by the build) and their MANIFEST.tsv: one row a
// listed entry, tab-separated: archive, entry name (UTF-8), method ("stored", "shrink",
// "reduce1".."reduce4", "implode(8K,3trees)", "deflate+dd"...), uncompressed size, compressed
// size, CRC-32 in hex, then where the archive comes from. Lines starting with '#' are comments.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

inline std::string VectorsDir() { return KLU_VECTORS_DIR; }

struct ManifestRow {
    std::string archive;
    std::string entry;
    std::string method;
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
};

// The rows in their order; a line with fewer than six fields is passed over. Empty when the
// manifest cannot be read (the callers assert on the count).
inline std::vector<ManifestRow> ReadManifest(const std::string& folder = VectorsDir()) {
    std::vector<ManifestRow> rows;
    std::ifstream in(folder + "/MANIFEST.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t')) f.push_back(field);
        if (f.size() < 6) continue;
        rows.push_back({f[0], f[1], f[2], std::stoull(f[3]), std::stoull(f[4]),
                        static_cast<std::uint32_t>(std::stoul(f[5], nullptr, 16))});
    }
    return rows;
}

}  // namespace testsupport
