// The decoding tables' entry layout, the code tables of RFC 1951 and the byte moves, shared by the
// table builder, the careful decoder and its fast loop (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zip {
namespace inflate_table {

// Table entry layout: bits 0-7 the code length to consume (for a link: the index bits of its
// second-level table), bit 8 a link to a second-level table, bit 9 an unused code, bits 16-31 the
// symbol (for a link: the second-level table's offset).
inline constexpr std::uint32_t kLink = 0x100u;
inline constexpr std::uint32_t kUnused = 0x200u;
inline constexpr unsigned kMaxCodeLength = 15;

inline constexpr unsigned kLitPrimaryBits = 10;
inline constexpr unsigned kDistPrimaryBits = 8;
inline constexpr unsigned kLengthsPrimaryBits = 7;

// RFC 1951 3.2.5: base lengths and extra bits of length codes 257..285.
inline constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Base distances and extra bits of distance codes 0..31 (30 and 31 are Deflate64 only).
inline constexpr std::uint32_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                                49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                                2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
inline constexpr std::uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                                7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// Eight bytes as a little-endian number.
inline std::uint64_t Load64Le(const std::uint8_t* p) {
    std::uint64_t v = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(&v, p, 8);
#else
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
#endif
    return v;
}

// A match: n bytes from distance bytes back. From a distance of eight on, eight bytes a step;
// the source stays at least eight bytes behind, so each step reads bytes already final. The last
// step may write up to seven bytes past n: the window keeps a slack for them.
inline void CopyBack(std::uint8_t* dst, std::size_t distance, std::size_t n) {
    const std::uint8_t* src = dst - distance;
    if (distance >= 8) {
        for (std::size_t i = 0; i < n; i += 8) std::memcpy(dst + i, src + i, 8);
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
    }
}

}  // namespace inflate_table
}  // namespace zip
