#include "zip/Unreduce.h"

#include <array>
#include <cstddef>

#include "zip/LegacyBits.h"

namespace zip {
namespace {

constexpr std::uint32_t kMaxFollowers = 32;
constexpr std::uint8_t kDle = 144;

// The follower sets of APPNOTE 5.2.2: for each byte value, up to 32 bytes that often follow it.
struct FollowerSets {
    std::array<std::array<std::uint8_t, kMaxFollowers>, 256> set{};
    std::array<std::uint8_t, 256> size{};
    std::array<std::uint8_t, 256> indexBits{};
};

// Bits of a follower index: enough for the value size - 1, and at least one.
int IndexBits(std::uint32_t size) {
    int n = 1;
    while ((1u << n) < size) {
        ++n;
    }
    return n;
}

// APPNOTE 5.2.3: S(255) first down to S(0), each a 6-bit count and that many bytes.
DecodeStatus ReadFollowerSets(legacy::BitReader& bits, FollowerSets& sets) {
    for (int j = 255; j >= 0; --j) {
        std::uint32_t n = 0;
        if (!bits.Get(6, n)) {
            return DecodeStatus::Truncated;
        }
        if (n > kMaxFollowers) {
            return DecodeStatus::BadData;
        }
        sets.size[j] = static_cast<std::uint8_t>(n);
        sets.indexBits[j] = static_cast<std::uint8_t>(IndexBits(n));
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint32_t byte = 0;
            if (!bits.Get(8, byte)) {
                return DecodeStatus::Truncated;
            }
            sets.set[j][i] = static_cast<std::uint8_t>(byte);
        }
    }
    return DecodeStatus::Ok;
}

// The byte-level stage of APPNOTE 5.2.4: each byte is either one of the previous byte's
// followers, chosen by index, or spelt out in 8 bits.
class ByteStage {
public:
    ByteStage(legacy::BitReader& bits, const FollowerSets& sets) : bits_(bits), sets_(sets) {}

    DecodeStatus Next(std::uint8_t& byte) {
        const std::uint32_t n = sets_.size[last_];
        std::uint32_t value = 0;
        if (n != 0) {
            std::uint32_t literal = 0;
            if (!bits_.Get(1, literal)) {
                return DecodeStatus::Truncated;
            }
            if (literal == 0) {
                if (!bits_.Get(sets_.indexBits[last_], value)) {
                    return DecodeStatus::Truncated;
                }
                if (value >= n) {
                    return DecodeStatus::BadData;
                }
                last_ = sets_.set[last_][value];
                byte = last_;
                return DecodeStatus::Ok;
            }
        }
        if (!bits_.Get(8, value)) {
            return DecodeStatus::Truncated;
        }
        last_ = static_cast<std::uint8_t>(value);
        byte = last_;
        return DecodeStatus::Ok;
    }

private:
    legacy::BitReader& bits_;
    const FollowerSets& sets_;
    std::uint8_t last_ = 0;
};

}  // namespace

DecodeStatus Unreduce(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t /*flags*/,
                      int factor) {
    if (factor < 1 || factor > 4) {
        return DecodeStatus::BadData;
    }
    if (uncompressedSize == 0) {
        return DecodeStatus::Ok;  // nothing to produce: the follower sets need not be there
    }
    legacy::BitReader bits(in);
    FollowerSets sets;
    const DecodeStatus setsStatus = ReadFollowerSets(bits, sets);
    if (setsStatus != DecodeStatus::Ok) {
        return setsStatus;
    }
    ByteStage stage(bits, sets);
    legacy::OutputWindow window(out, uncompressedSize);

    // APPNOTE 5.2.5: the length field is the low 8 - factor bits of the byte after DLE; all ones
    // there means one more length byte follows. The high factor bits are the distance's high part.
    const std::uint32_t lengthMask = 0xFFu >> factor;
    while (window.Left() != 0) {
        std::uint8_t c = 0;
        DecodeStatus status = stage.Next(c);
        if (status != DecodeStatus::Ok) {
            return legacy::Fail(window, status);
        }
        if (c != kDle) {
            if (!window.Put(c)) {
                return DecodeStatus::WriteFailed;
            }
            continue;
        }
        std::uint8_t v = 0;
        if ((status = stage.Next(v)) != DecodeStatus::Ok) {
            return legacy::Fail(window, status);
        }
        if (v == 0) {  // DLE, 0 stands for the byte 144 itself
            if (!window.Put(kDle)) {
                return DecodeStatus::WriteFailed;
            }
            continue;
        }
        std::size_t length = v & lengthMask;
        std::uint8_t extra = 0;
        if (length == lengthMask) {
            if ((status = stage.Next(extra)) != DecodeStatus::Ok) {
                return legacy::Fail(window, status);
            }
            length += extra;
        }
        std::uint8_t low = 0;
        if ((status = stage.Next(low)) != DecodeStatus::Ok) {
            return legacy::Fail(window, status);
        }
        const std::size_t distance = (static_cast<std::size_t>(v >> (8 - factor)) << 8) + low + 1;
        if (!window.Copy(distance, length + 3)) {
            return DecodeStatus::WriteFailed;
        }
    }
    return window.Finish() ? DecodeStatus::Ok : DecodeStatus::WriteFailed;
}

}  // namespace zip
