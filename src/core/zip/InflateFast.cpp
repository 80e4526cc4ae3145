// The inflater's fast loop: literal/length and distance codes decoded while the input holds a
// margin of unread bytes and the window has room for the longest Deflate match, so that no symbol
// needs a bounds check of its own. The state lives in locals for the loop's length (stores into
// the window could otherwise alias the members and force them back to memory every byte). It
// refuses exactly what the careful loop refuses: an unused code, length codes 286 and 287,
// distance codes beyond the variant's table, a distance before the start of the output.
#include "zip/Inflate.h"
#include "zip/InflateTable.h"

namespace zip {
namespace {

using namespace inflate_table;

// Unread input bytes the loop keeps in hand: each pass refills the accumulator at most twice,
// reading eight bytes each time.
constexpr std::size_t kFastInputMargin = 16;

// Tops the accumulator up to at least 56 bits from at least eight readable bytes.
inline void Top(std::uint64_t& bits, unsigned& count, const std::uint8_t*& in) {
    const unsigned take = (63 - count) >> 3;
    bits |= (Load64Le(in) & ((std::uint64_t{1} << (take * 8)) - 1)) << count;
    in += take;
    count += take * 8;
}

// One prefix code symbol's table entry, following a link to its second-level table.
inline std::uint32_t Lookup(const std::uint32_t* table, unsigned primaryBits, std::uint64_t bits) {
    std::uint32_t e = table[bits & ((1u << primaryBits) - 1)];
    if (e & kLink) e = table[(e >> 16) + (static_cast<std::uint32_t>(bits >> primaryBits) & ((1u << (e & 0xFFu)) - 1))];
    return e;
}

}  // namespace

bool Inflater::FastRoom() const { return inEnd_ - inPos_ >= kFastInputMargin && outPos_ < highWater_; }

DecodeStatus Inflater::FastCodes(const Table& lit, const Table& dist, bool& ended) {
    const bool wide = variant_ == DeflateVariant::Deflate64;
    const std::uint32_t distCodes = wide ? 32 : 30;
    const std::uint32_t* litTable = lit.entries.data();
    const std::uint32_t* distTable = dist.entries.data();
    const unsigned litBits = lit.primaryBits;
    const unsigned distBits = dist.primaryBits;

    std::uint64_t bits = bitBuf_;
    unsigned count = bitCount_;
    const std::uint8_t* in = inBuf_.get() + inPos_;
    const std::uint8_t* const inLast = inBuf_.get() + inEnd_ - kFastInputMargin;
    std::uint8_t* const base = window_.get();
    std::uint8_t* out = base + outPos_;
    std::uint8_t* const outLast = base + highWater_;  // a match of 258 still fits before capacity_
    bool slid = slid_;
    DecodeStatus status = DecodeStatus::Ok;
    ended = false;

    while (in <= inLast && out < outLast) {
        Top(bits, count, in);
        std::uint32_t e = Lookup(litTable, litBits, bits);
        // At least 56 real bits were in hand: an unused entry is a bad code, not a short stream.
        if (e & kUnused) {
            status = DecodeStatus::BadData;
            break;
        }
        bits >>= e & 0xFFu;
        count -= e & 0xFFu;
        std::uint32_t sym = e >> 16;
        if (sym < 256) {
            *out++ = static_cast<std::uint8_t>(sym);
            continue;
        }
        if (sym == 256) {
            ended = true;
            break;
        }
        sym -= 257;
        if (sym >= 29) {  // codes 286 and 287 never occur
            status = DecodeStatus::BadData;
            break;
        }
        std::uint32_t length = kLengthBase[sym];
        unsigned extraBits = kLengthExtra[sym];
        if (sym == 28 && wide) {
            length = 3;
            extraBits = 16;
        }
        length += static_cast<std::uint32_t>(bits) & ((1u << extraBits) - 1);
        bits >>= extraBits;
        count -= extraBits;

        if (count < 29) Top(bits, count, in);  // a distance code and its extra bits need 29 at most
        e = Lookup(distTable, distBits, bits);
        if (e & kUnused) {
            status = DecodeStatus::BadData;
            break;
        }
        bits >>= e & 0xFFu;
        count -= e & 0xFFu;
        const std::uint32_t dsym = e >> 16;
        if (dsym >= distCodes) {
            status = DecodeStatus::BadData;
            break;
        }
        const unsigned distExtra = kDistExtra[dsym];
        const std::uint32_t distance = kDistBase[dsym] + (static_cast<std::uint32_t>(bits) & ((1u << distExtra) - 1));
        bits >>= distExtra;
        count -= distExtra;
        if (!slid && distance > static_cast<std::size_t>(out - base)) {  // before the start of the output
            status = DecodeStatus::BadData;
            break;
        }
        if (length > 258) {
            // A Deflate64 length beyond the room kept here: the careful copy makes room as it goes.
            bitBuf_ = bits;
            bitCount_ = count;
            inPos_ = static_cast<std::size_t>(in - inBuf_.get());
            outPos_ = static_cast<std::size_t>(out - base);
            status = CopyMatch(distance, length);
            if (status != DecodeStatus::Ok) return status;
            bits = bitBuf_;
            count = bitCount_;
            out = base + outPos_;
            slid = slid_;
            continue;
        }
        CopyBack(out, distance, length);
        out += length;
    }
    bitBuf_ = bits;
    bitCount_ = count;
    inPos_ = static_cast<std::size_t>(in - inBuf_.get());
    outPos_ = static_cast<std::size_t>(out - base);
    return status;
}

}  // namespace zip
