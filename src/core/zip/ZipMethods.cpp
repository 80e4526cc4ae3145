#include "zip/ZipMethods.h"

#include <limits>

#include "zip/Explode.h"
#include "zip/Inflate.h"
#include "zip/Unreduce.h"
#include "zip/Unshrink.h"

namespace zip {

DecodeFunction DecoderFor(std::uint16_t method) {
    switch (method) {
        case 0: return Store;
        case 1: return Unshrink;
        // Reduced with compression factors 1 to 4.
        case 2: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 1); };
        case 3: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 2); };
        case 4: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 3); };
        case 5: return [](ByteSource& in, ByteSink& out, std::uint64_t size, std::uint16_t flags) { return Unreduce(in, out, size, flags, 4); };
        case 6: return Explode;
        case 8: return Inflate;
        case 9: return Inflate64;
        default: return nullptr;
    }
}

namespace {

// The largest number of bytes one compressed byte can stand for, per method. Each is the longest
// output of one step of the format divided by the fewest bits that step can take, times 8.
std::uint64_t LargestRatio(std::uint16_t method) {
    switch (method) {
        // Stored: the bytes themselves.
        case 0: return 1;
        // Shrink (APPNOTE 5.1): every code is at least 9 bits and spells one string of the LZW
        // table; a string is a chain of table entries, so at most 8192 bytes (the 13-bit table).
        // 8192 bytes per 9 bits: 7281.8 per byte.
        case 1: return 7282;
        // Reduce (APPNOTE 5.2): every byte of the intermediate stream costs at least 2 bits (a
        // follower flag and a 1-bit index). The longest copy is DLE, a length byte whose length
        // bits are all ones, the extra length byte and the distance byte: 4 bytes, 8 bits, for
        // 127 + 255 + 3 = 385 bytes (factor 1; larger factors leave fewer length bits). 385 bytes
        // per 8 bits: 385 per byte.
        case 2:
        case 3:
        case 4:
        case 5: return 385;
        // Implode (APPNOTE 5.3): the longest copy is length code 63 with its extra byte, 63 + 255
        // + 3 = 321 bytes (minimum match 3 with the literal tree; 320 without), taking at least
        // a flag bit, 6 low distance bits, a 1-bit distance code, a 1-bit length code and 8
        // extra bits: 17 bits. 321 bytes per 17 bits: 151.1 per byte.
        case 6: return 152;
        // Deflate (RFC 1951): length code 285 means 258 bytes with no extra bits; with a 1-bit
        // code for it and a 1-bit distance code, 258 bytes take 2 bits: 1032 per byte.
        case 8: return 1032;
        // Deflate64: code 285 carries 16 extra bits for lengths up to 65538, so 1 + 16 + 1 = 18
        // bits make 65538 bytes: 29128 per byte.
        case 9: return 29128;
        default: return 0;
    }
}

}  // namespace

std::uint64_t MaxDecodedSize(std::uint16_t method, std::uint64_t compressed) {
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t ratio = LargestRatio(method);
    if (ratio == 0 || compressed > kMost / ratio) return kMost;
    return compressed * ratio;
}

}  // namespace zip
