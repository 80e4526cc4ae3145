// A reader of the central directory of small, well-formed archives, for tests that want an
// archive's entries without the extractor under test: the end record (APPNOTE 4.3.16), then each
// central record (4.3.12), which also holds the right sizes of entries written with a data
// descriptor, and the compressed bytes behind each local header (4.3.7).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/Bytes.h"

namespace testsupport {

struct CentralEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::size_t record = 0;  // offset of the central record
    std::size_t local = 0;   // offset of the local header
    Bytes data;              // the compressed bytes; empty when they lie past the end
};

// Little-endian fields; 0 past the end.
inline std::uint32_t Le16(const Bytes& b, std::size_t at) {
    return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0;
}
inline std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? Le16(b, at) | (Le16(b, at + 2) << 16) : 0;
}

// The entries in directory order; the walk stops at the first record that is not one.
inline std::vector<CentralEntry> ReadCentralDirectory(const Bytes& zip) {
    std::vector<CentralEntry> entries;
    if (zip.size() < 22) return entries;
    std::size_t eocd = zip.size() - 22;
    while (eocd > 0 && Le32(zip, eocd) != 0x06054b50u) --eocd;
    if (Le32(zip, eocd) != 0x06054b50u) return entries;
    const std::uint32_t count = Le16(zip, eocd + 10);
    std::size_t at = Le32(zip, eocd + 16);
    for (std::uint32_t i = 0; i < count && Le32(zip, at) == 0x02014b50u; ++i) {
        CentralEntry e;
        e.record = at;
        e.flags = static_cast<std::uint16_t>(Le16(zip, at + 8));
        e.method = static_cast<std::uint16_t>(Le16(zip, at + 10));
        e.crc = Le32(zip, at + 16);
        e.compressedSize = Le32(zip, at + 20);
        e.uncompressedSize = Le32(zip, at + 24);
        const std::size_t nameLen = Le16(zip, at + 28);
        const std::size_t extraLen = Le16(zip, at + 30);
        const std::size_t commentLen = Le16(zip, at + 32);
        e.local = Le32(zip, at + 42);
        if (at + 46 + nameLen > zip.size()) break;
        e.name.assign(zip.begin() + static_cast<long>(at + 46), zip.begin() + static_cast<long>(at + 46 + nameLen));
        // In 64 bits, so that no offset or size wraps on a 32-bit build.
        const std::uint64_t data = std::uint64_t{e.local} + 30 + Le16(zip, e.local + 26) + Le16(zip, e.local + 28);
        if (data + e.compressedSize <= zip.size()) {
            e.data.assign(zip.begin() + static_cast<long>(data),
                          zip.begin() + static_cast<long>(data + e.compressedSize));
        }
        entries.push_back(e);
        at += 46 + nameLen + extraLen + commentLen;
    }
    return entries;
}

inline std::vector<CentralEntry> ReadCentralDirectory(const std::string& zip) {
    return ReadCentralDirectory(Bytes(zip.begin(), zip.end()));
}

}  // namespace testsupport
