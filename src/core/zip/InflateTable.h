// The decoding tables' entry layout, shared by the table builder and the decoder (internal).
#pragma once

#include <cstdint>

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

}  // namespace inflate_table
}  // namespace zip
