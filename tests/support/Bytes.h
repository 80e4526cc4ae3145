// Byte buffers for the tests: the type, a whole file read into one, and a CRC-32 of the tests' own
// (bit by bit from the polynomial, so that it checks the extractor's table-driven one rather than
// sharing its faults).
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// The file's bytes; empty when it cannot be read.
inline Bytes ReadWholeFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// CRC-32 as APPNOTE 4.4.7 defines it (reflected polynomial 0xEDB88320, initial and final xor).
inline std::uint32_t ReferenceCrc32(const Bytes& data) {
    static std::uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace testsupport
