// Building the two-level decoding table of a canonical prefix code (RFC 1951 3.2.2).
#include <algorithm>

#include "zip/Inflate.h"
#include "zip/InflateTable.h"

namespace zip {
namespace {

using namespace inflate_table;

std::uint32_t ReverseBits(std::uint32_t code, unsigned length) {
    std::uint32_t r = 0;
    for (unsigned i = 0; i < length; ++i) {
        r = (r << 1) | (code & 1u);
        code >>= 1;
    }
    return r;
}

}  // namespace

bool Inflater::Table::Build(const std::uint8_t* lengths, unsigned count, unsigned primary) {
    primaryBits = primary;
    unsigned perLength[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < count; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    // Over-subscribed lengths cannot form a prefix code. Incomplete codes are accepted: their
    // unused entries stay marked and decoding one is bad data.
    int left = 1;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        left = left * 2 - static_cast<int>(perLength[len]);
        if (left < 0) return false;
    }
    std::uint32_t next[kMaxCodeLength + 2] = {};
    std::uint32_t code = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        code = (code + perLength[len - 1]) << 1;
        next[len] = code;
    }

    const std::uint32_t primarySize = 1u << primary;
    const std::uint32_t primaryMask = primarySize - 1;
    std::uint32_t reversed[288];
    std::uint8_t subBits[1u << kLitPrimaryBits] = {};
    for (unsigned s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        reversed[s] = ReverseBits(next[len]++, len);
        if (len > primary) {
            const std::uint32_t prefix = reversed[s] & primaryMask;
            subBits[prefix] = static_cast<std::uint8_t>(std::max<unsigned>(subBits[prefix], len - primary));
        }
    }
    entries.assign(primarySize, kUnused);
    for (std::uint32_t prefix = 0; prefix < primarySize; ++prefix) {
        if (subBits[prefix] == 0) continue;
        const std::uint32_t offset = static_cast<std::uint32_t>(entries.size());
        entries[prefix] = (offset << 16) | kLink | subBits[prefix];
        entries.resize(entries.size() + (std::size_t{1} << subBits[prefix]), kUnused);
    }
    for (unsigned s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        const std::uint32_t entry = (static_cast<std::uint32_t>(s) << 16) | len;
        if (len <= primary) {
            for (std::uint32_t i = reversed[s]; i < primarySize; i += 1u << len) entries[i] = entry;
            continue;
        }
        const std::uint32_t link = entries[reversed[s] & primaryMask];
        const std::uint32_t base = link >> 16;
        const std::uint32_t size = 1u << (link & 0xFFu);
        for (std::uint32_t i = reversed[s] >> primary; i < size; i += 1u << (len - primary)) entries[base + i] = entry;
    }
    return true;
}

}  // namespace zip
