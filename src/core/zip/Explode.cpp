#include "zip/Explode.h"

#include <array>
#include <cstddef>

#include "zip/LegacyBits.h"

namespace zip {
namespace {

constexpr int kMaxCodeBits = 16;
constexpr std::uint16_t kFlagBigWindow = 0x0002;  // 8 KiB window, 7 low distance bits
constexpr std::uint16_t kFlagLiteralTree = 0x0004;  // three trees, minimum match 3

// A Shannon-Fano tree of APPNOTE 5.3.8. The codes it builds give the longest lengths the lowest
// values, in stored order; with a full code space that is exactly the bitwise complement of
// the canonical code that gives the shortest lengths the lowest values (RFC 1951 3.2.2). So the
// tree is held in canonical form, counts per length and symbols by length, and each bit read
// is inverted before it is matched. The first bit read is the code's most significant one.
template <std::size_t N>
class ShannonFanoTree {
public:
    // APPNOTE 5.3.7: a byte giving the description's length - 1, then bytes of (count - 1,
    // length - 1) nibbles that assign lengths to the values in order.
    DecodeStatus Read(legacy::BitReader& bits) {
        std::uint32_t descriptionBytes = 0;
        if (!bits.Get(8, descriptionBytes)) {
            return DecodeStatus::Truncated;
        }
        std::array<std::uint8_t, N> lengths{};
        std::size_t filled = 0;
        for (std::uint32_t i = 0; i <= descriptionBytes; ++i) {
            std::uint32_t byte = 0;
            if (!bits.Get(8, byte)) {
                return DecodeStatus::Truncated;
            }
            const std::size_t count = (byte >> 4) + 1;
            const std::uint8_t length = static_cast<std::uint8_t>((byte & 0x0F) + 1);
            if (count > N - filled) {
                return DecodeStatus::BadData;  // more lengths than the tree has values
            }
            for (std::size_t k = 0; k < count; ++k) {
                lengths[filled++] = length;
            }
        }
        if (filled != N) {
            return DecodeStatus::BadData;  // values left without a length
        }
        return Build(lengths);
    }

    // Decodes one value; Truncated when the bits run out, BadData for an unused bit sequence
    // (impossible with a full tree, kept as a guard).
    DecodeStatus Decode(legacy::BitReader& bits, std::uint32_t& value) const {
        int code = 0;    // the bits so far, inverted, most significant first
        int first = 0;   // the first canonical code of the current length
        int index = 0;   // where the current length's symbols start
        for (int length = 1; length <= kMaxCodeBits; ++length) {
            std::uint32_t bit = 0;
            if (!bits.Get(1, bit)) {
                return DecodeStatus::Truncated;
            }
            code |= static_cast<int>(bit ^ 1u);
            const int count = count_[length];
            if (code - first < count) {
                const std::size_t at = static_cast<std::size_t>(index + code - first);
                if (at >= N) {
                    return DecodeStatus::BadData;  // cannot happen with a built tree; kept as a guard
                }
                value = symbol_[at];
                return DecodeStatus::Ok;
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return DecodeStatus::BadData;
    }

private:
    DecodeStatus Build(const std::array<std::uint8_t, N>& lengths) {
        count_.fill(0);
        for (std::uint8_t length : lengths) {
            ++count_[length];
        }
        // The code space must be exactly full: an over-full tree has codes that collide, and a
        // tree that leaves room is not what the APPNOTE construction yields for a valid stream.
        long room = 1;
        for (int length = 1; length <= kMaxCodeBits; ++length) {
            room = (room << 1) - count_[length];
            if (room < 0) {
                return DecodeStatus::BadData;
            }
        }
        if (room != 0) {
            return DecodeStatus::BadData;
        }
        std::array<int, kMaxCodeBits + 2> offset{};
        for (int length = 1; length <= kMaxCodeBits; ++length) {
            offset[length + 1] = offset[length] + count_[length];
        }
        for (std::size_t v = 0; v < N; ++v) {
            symbol_[static_cast<std::size_t>(offset[lengths[v]]++)] = static_cast<std::uint16_t>(v);
        }
        return DecodeStatus::Ok;
    }

    std::array<int, kMaxCodeBits + 1> count_{};
    std::array<std::uint16_t, N> symbol_{};
};

}  // namespace

DecodeStatus Explode(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t flags) {
    const bool literalTree = (flags & kFlagLiteralTree) != 0;
    const int lowDistanceBits = (flags & kFlagBigWindow) != 0 ? 7 : 6;
    const std::size_t minMatch = literalTree ? 3 : 2;

    if (uncompressedSize == 0) {
        return DecodeStatus::Ok;  // nothing to produce: the trees need not be there
    }
    legacy::BitReader bits(in);
    ShannonFanoTree<256> literals;
    ShannonFanoTree<64> lengths;
    ShannonFanoTree<64> distances;
    DecodeStatus status = DecodeStatus::Ok;
    // APPNOTE 5.3.3: literal tree (when present), then length tree, then distance tree.
    if (literalTree && (status = literals.Read(bits)) != DecodeStatus::Ok) {
        return status;
    }
    if ((status = lengths.Read(bits)) != DecodeStatus::Ok) {
        return status;
    }
    if ((status = distances.Read(bits)) != DecodeStatus::Ok) {
        return status;
    }

    legacy::OutputWindow window(out, uncompressedSize);
    while (window.Left() != 0) {
        std::uint32_t isLiteral = 0;
        if (!bits.Get(1, isLiteral)) {
            return legacy::Fail(window, DecodeStatus::Truncated);
        }
        if (isLiteral != 0) {
            std::uint32_t byte = 0;
            if (literalTree) {
                if ((status = literals.Decode(bits, byte)) != DecodeStatus::Ok) {
                    return legacy::Fail(window, status);
                }
            } else if (!bits.Get(8, byte)) {
                return legacy::Fail(window, DecodeStatus::Truncated);
            }
            if (!window.Put(static_cast<std::uint8_t>(byte))) {
                return DecodeStatus::WriteFailed;
            }
            continue;
        }
        // APPNOTE 5.3.9: low distance bits, the distance tree's high six bits, then the length.
        std::uint32_t low = 0;
        if (!bits.Get(lowDistanceBits, low)) {
            return legacy::Fail(window, DecodeStatus::Truncated);
        }
        std::uint32_t high = 0;
        if ((status = distances.Decode(bits, high)) != DecodeStatus::Ok) {
            return legacy::Fail(window, status);
        }
        std::uint32_t lengthCode = 0;
        if ((status = lengths.Decode(bits, lengthCode)) != DecodeStatus::Ok) {
            return legacy::Fail(window, status);
        }
        std::size_t length = lengthCode + minMatch;
        if (lengthCode == 63) {
            std::uint32_t extra = 0;
            if (!bits.Get(8, extra)) {
                return legacy::Fail(window, DecodeStatus::Truncated);
            }
            length += extra;
        }
        const std::size_t distance = ((static_cast<std::size_t>(high) << lowDistanceBits) | low) + 1;
        if (!window.Copy(distance, length)) {
            return DecodeStatus::WriteFailed;
        }
    }
    return window.Finish() ? DecodeStatus::Ok : DecodeStatus::WriteFailed;
}

}  // namespace zip
