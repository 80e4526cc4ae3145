// CRC-32 of the ZIP format (APPNOTE 4.4.7; the ISO 3309 polynomial 0xEDB88320 in reflected form).
//
// The running register starts with all bits set; Value() is its complement, the number stored in
// the archive. Update runs eight bytes a step over eight tables (slicing-by-8), so checking the
// data costs little next to decoding and writing it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip {

class Crc32 {
public:
    void Update(const void* data, std::size_t n);
    std::uint32_t Register() const { return reg_; }
    std::uint32_t Value() const { return ~reg_; }

private:
    std::uint32_t reg_ = 0xFFFFFFFFu;
};

// The CRC-32 of one buffer.
std::uint32_t ComputeCrc32(const void* data, std::size_t n);

// The one-table form, a byte at a time: kept for checking the sliced form against it.
std::uint32_t Crc32Bytewise(std::uint32_t reg, const void* data, std::size_t n);

}  // namespace zip
