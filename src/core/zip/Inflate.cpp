#include "zip/Inflate.h"

#include <algorithm>
#include <cstring>

#include "zip/InflateTable.h"

namespace zip {
namespace {

using namespace inflate_table;

// RFC 1951 3.2.7: the order in which code-length code lengths are stored.
constexpr std::uint8_t kLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr std::size_t kInputSize = 65536;
// Output produced between two slides of the window; larger means fewer window moves.
constexpr std::size_t kRunSize = 262144;
// Room a match copy may write past its end (it copies eight bytes a step).
constexpr std::size_t kCopySlack = 16;

// The buffers of the last stream this thread decoded, kept for its next one. Entry after entry
// the allocator would otherwise give the memory back to the system and ask for it again: under
// Wine each time a change of the address space that every core has to take in.
struct SpareBuffers {
    std::unique_ptr<std::uint8_t[]> input;
    std::unique_ptr<std::uint8_t[]> window;
    std::size_t windowBytes = 0;
};
thread_local SpareBuffers spare;

}  // namespace

Inflater::~Inflater() {
    if (inBuf_) spare.input = std::move(inBuf_);
    if (window_ && capacity_ + kCopySlack >= spare.windowBytes) {
        spare.window = std::move(window_);
        spare.windowBytes = capacity_ + kCopySlack;
    }
}

Inflater::Inflater(DeflateVariant variant)
    : variant_(variant),
      windowSize_(variant == DeflateVariant::Deflate64 ? 65536 : 32768),
      capacity_(windowSize_ + kRunSize),
      highWater_(capacity_ - 258) {
    std::uint8_t fixed[288];
    // RFC 1951 3.2.6: the fixed literal/length and distance codes.
    std::fill(fixed, fixed + 144, 8);
    std::fill(fixed + 144, fixed + 256, 9);
    std::fill(fixed + 256, fixed + 280, 7);
    std::fill(fixed + 280, fixed + 288, 8);
    fixedLit_.Build(fixed, 288, kLitPrimaryBits);
    std::fill(fixed, fixed + 32, 5);
    fixedDist_.Build(fixed, 32, kDistPrimaryBits);
}

bool Inflater::FillInput() {
    if (inEof_) return false;
    inPos_ = 0;
    inEnd_ = in_->Read(inBuf_.get(), kInputSize);
    if (inEnd_ > kInputSize) inEnd_ = 0;  // a source that claims more than asked is not trusted
    totalRead_ += inEnd_;
    if (inEnd_ == 0) inEof_ = true;
    return inEnd_ != 0;
}

// Tops the accumulator up to at least 56 bits while input lasts.
void Inflater::Refill() {
    if (inEnd_ - inPos_ >= 8) {
        std::uint64_t v = Load64Le(inBuf_.get() + inPos_);
        const unsigned take = (63 - bitCount_) >> 3;
        v &= (std::uint64_t{1} << (take * 8)) - 1;
        bitBuf_ |= v << bitCount_;
        inPos_ += take;
        bitCount_ += take * 8;
        return;
    }
    while (bitCount_ <= 56) {
        if (inPos_ == inEnd_ && !FillInput()) return;
        bitBuf_ |= static_cast<std::uint64_t>(inBuf_[inPos_++]) << bitCount_;
        bitCount_ += 8;
    }
}

bool Inflater::TakeBits(unsigned n, std::uint32_t& value, DecodeStatus& status) {
    if (bitCount_ < n) {
        Refill();
        if (bitCount_ < n) {
            status = DecodeStatus::Truncated;
            return false;
        }
    }
    value = static_cast<std::uint32_t>(bitBuf_ & ((std::uint64_t{1} << n) - 1));
    bitBuf_ >>= n;
    bitCount_ -= n;
    return true;
}

bool Inflater::Decode(const Table& table, std::uint32_t& symbol, DecodeStatus& status) {
    if (bitCount_ < kMaxCodeLength) Refill();
    std::uint32_t e = table.entries[bitBuf_ & ((1u << table.primaryBits) - 1)];
    if (e & kLink) {
        const std::uint32_t index = static_cast<std::uint32_t>(bitBuf_ >> table.primaryBits) & ((1u << (e & 0xFFu)) - 1);
        e = table.entries[(e >> 16) + index];
    }
    const unsigned len = e & 0xFFu;
    if ((e & kUnused) || len > bitCount_) {
        // Past the end of the input the missing bits read as zeros: that is a short stream, not a bad one.
        status = (inEof_ && bitCount_ < kMaxCodeLength) ? DecodeStatus::Truncated : DecodeStatus::BadData;
        return false;
    }
    bitBuf_ >>= len;
    bitCount_ -= len;
    symbol = e >> 16;
    return true;
}

DecodeStatus Inflater::Flush() {
    while (flushed_ < outPos_) {
        std::size_t n = std::min<std::size_t>(kBlockSize, outPos_ - flushed_);
        if (written_ + n > limit_) {
            // The stream holds more than the entry may: write up to the limit and stop.
            const std::size_t allowed = static_cast<std::size_t>(limit_ - written_);
            if (allowed > 0 && !out_->Write(window_.get() + flushed_, allowed)) return DecodeStatus::WriteFailed;
            written_ += allowed;
            flushed_ += allowed;
            return DecodeStatus::OutputFull;
        }
        if (!out_->Write(window_.get() + flushed_, n)) return DecodeStatus::WriteFailed;
        written_ += n;
        flushed_ += n;
    }
    return DecodeStatus::Ok;
}

DecodeStatus Inflater::MakeRoom() {
    const DecodeStatus st = Flush();
    if (st != DecodeStatus::Ok) return st;
    if (outPos_ > windowSize_) {
        std::memmove(window_.get(), window_.get() + outPos_ - windowSize_, windowSize_);
        outPos_ = windowSize_;
        flushed_ = windowSize_;
        slid_ = true;
    }
    return DecodeStatus::Ok;
}

DecodeStatus Inflater::CopyMatch(std::uint32_t distance, std::uint32_t length) {
    if (!slid_ && distance > outPos_) return DecodeStatus::BadData;  // before the start of the output
    while (length > 0) {
        if (outPos_ >= highWater_) {
            const DecodeStatus st = MakeRoom();
            if (st != DecodeStatus::Ok) return st;
        }
        const std::size_t n = std::min<std::size_t>(length, capacity_ - outPos_);
        std::uint8_t* dst = window_.get() + outPos_;
        CopyBack(dst, distance, n);
        outPos_ += n;
        length -= static_cast<std::uint32_t>(n);
    }
    return DecodeStatus::Ok;
}

DecodeStatus Inflater::StoredBlock() {
    // RFC 1951 3.2.4: skip to a byte boundary, then LEN and its complement NLEN.
    bitBuf_ >>= bitCount_ & 7u;
    bitCount_ -= bitCount_ & 7u;
    std::uint32_t len = 0, nlen = 0;
    DecodeStatus st = DecodeStatus::Ok;
    if (!TakeBits(16, len, st) || !TakeBits(16, nlen, st)) return st;
    if ((len ^ 0xFFFFu) != nlen) return DecodeStatus::BadData;
    while (len > 0) {
        if (outPos_ >= highWater_) {
            st = MakeRoom();
            if (st != DecodeStatus::Ok) return st;
        }
        std::size_t room = std::min<std::size_t>(len, capacity_ - outPos_);
        std::size_t n = 0;
        if (bitCount_ >= 8) {
            // Whole bytes still in the accumulator come first.
            while (n < room && bitCount_ >= 8) {
                window_[outPos_ + n++] = static_cast<std::uint8_t>(bitBuf_);
                bitBuf_ >>= 8;
                bitCount_ -= 8;
            }
        } else {
            if (inPos_ == inEnd_ && !FillInput()) return DecodeStatus::Truncated;
            n = std::min(room, inEnd_ - inPos_);
            std::memcpy(window_.get() + outPos_, inBuf_.get() + inPos_, n);
            inPos_ += n;
        }
        outPos_ += n;
        len -= static_cast<std::uint32_t>(n);
    }
    return DecodeStatus::Ok;
}

DecodeStatus Inflater::DynamicTables() {
    // RFC 1951 3.2.7: HLIT, HDIST, HCLEN, the code-length code, then both codes' lengths.
    DecodeStatus st = DecodeStatus::Ok;
    std::uint32_t hlit = 0, hdist = 0, hclen = 0;
    if (!TakeBits(5, hlit, st) || !TakeBits(5, hdist, st) || !TakeBits(4, hclen, st)) return st;
    hlit += 257;
    hdist += 1;
    hclen += 4;
    const std::uint32_t maxDist = variant_ == DeflateVariant::Deflate64 ? 32 : 30;
    if (hlit > 286 || hdist > maxDist) return DecodeStatus::BadData;

    std::uint8_t codeLengths[19] = {};
    for (std::uint32_t i = 0; i < hclen; ++i) {
        std::uint32_t v = 0;
        if (!TakeBits(3, v, st)) return st;
        codeLengths[kLengthOrder[i]] = static_cast<std::uint8_t>(v);
    }
    if (!lengths_.Build(codeLengths, 19, kLengthsPrimaryBits)) return DecodeStatus::BadData;

    std::uint8_t lengths[286 + 32] = {};
    const std::uint32_t total = hlit + hdist;
    std::uint32_t i = 0;
    while (i < total) {
        std::uint32_t sym = 0;
        if (!Decode(lengths_, sym, st)) return st;
        if (sym < 16) {
            lengths[i++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        std::uint32_t repeat = 0, extra = 0;
        std::uint8_t value = 0;
        if (sym == 16) {
            if (i == 0) return DecodeStatus::BadData;  // nothing to repeat
            if (!TakeBits(2, extra, st)) return st;
            value = lengths[i - 1];
            repeat = 3 + extra;
        } else if (sym == 17) {
            if (!TakeBits(3, extra, st)) return st;
            repeat = 3 + extra;
        } else {
            if (!TakeBits(7, extra, st)) return st;
            repeat = 11 + extra;
        }
        if (i + repeat > total) return DecodeStatus::BadData;
        std::memset(lengths + i, value, repeat);
        i += repeat;
    }
    if (lengths[256] == 0) return DecodeStatus::BadData;  // no end-of-block code
    if (!lit_.Build(lengths, hlit, kLitPrimaryBits)) return DecodeStatus::BadData;
    if (!dist_.Build(lengths + hlit, hdist, kDistPrimaryBits)) return DecodeStatus::BadData;
    return DecodeStatus::Ok;
}

DecodeStatus Inflater::Codes(const Table& lit, const Table& dist) {
    const bool wide = variant_ == DeflateVariant::Deflate64;
    const std::uint32_t distCodes = wide ? 32 : 30;
    DecodeStatus st = DecodeStatus::Ok;
    for (;;) {
        if (FastRoom()) {
            bool ended = false;
            st = FastCodes(lit, dist, ended);
            if (st != DecodeStatus::Ok || ended) return st;
        }
        // Near the end of the input or of the window's room: one symbol at a time, each checked.
        if (outPos_ >= highWater_) {
            st = MakeRoom();
            if (st != DecodeStatus::Ok) return st;
        }
        if (bitCount_ < 32) Refill();
        std::uint32_t sym = 0;
        if (!Decode(lit, sym, st)) return st;
        if (sym < 256) {
            window_[outPos_++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        if (sym == 256) return DecodeStatus::Ok;
        sym -= 257;
        if (sym >= 29) return DecodeStatus::BadData;  // codes 286 and 287 never occur
        std::uint32_t length = kLengthBase[sym];
        unsigned extraBits = kLengthExtra[sym];
        if (sym == 28 && wide) {
            length = 3;
            extraBits = 16;
        }
        std::uint32_t extra = 0;
        if (extraBits && !TakeBits(extraBits, extra, st)) return st;
        length += extra;

        if (bitCount_ < 29) Refill();
        std::uint32_t dsym = 0;
        if (!Decode(dist, dsym, st)) return st;
        if (dsym >= distCodes) return DecodeStatus::BadData;
        extra = 0;
        if (kDistExtra[dsym] && !TakeBits(kDistExtra[dsym], extra, st)) return st;
        st = CopyMatch(kDistBase[dsym] + extra, length);
        if (st != DecodeStatus::Ok) return st;
    }
}

DecodeStatus Inflater::Run(ByteSource& in, ByteSink& out, std::uint64_t limit) {
    in_ = &in;
    out_ = &out;
    limit_ = limit;
    // Neither buffer is read before it is written, new or left by the last stream.
    inBuf_ = spare.input ? std::move(spare.input) : std::unique_ptr<std::uint8_t[]>(new std::uint8_t[kInputSize]);
    if (spare.window && spare.windowBytes >= capacity_ + kCopySlack) {
        window_ = std::move(spare.window);
        spare.windowBytes = 0;
    } else {
        window_.reset(new std::uint8_t[capacity_ + kCopySlack]);
    }
    DecodeStatus st = DecodeStatus::Ok;
    for (;;) {
        std::uint32_t final = 0, type = 0;
        if (!TakeBits(1, final, st) || !TakeBits(2, type, st)) return st;
        switch (type) {
            case 0: st = StoredBlock(); break;
            case 1: st = Codes(fixedLit_, fixedDist_); break;
            case 2:
                st = DynamicTables();
                if (st == DecodeStatus::Ok) st = Codes(lit_, dist_);
                break;
            default: return DecodeStatus::BadData;  // block type 3 is reserved
        }
        if (st != DecodeStatus::Ok) {
            // Output decoded before the fault still reaches the file, within the limit.
            const DecodeStatus flushed = Flush();
            return flushed == DecodeStatus::Ok ? st : flushed;
        }
        if (final) return Flush();
    }
}

std::uint64_t Inflater::ConsumedBytes() const {
    return totalRead_ - (inEnd_ - inPos_) - bitCount_ / 8;
}

DecodeStatus Inflate(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t) {
    Inflater inflater(DeflateVariant::Deflate);
    return inflater.Run(in, out, uncompressedSize);
}

DecodeStatus Inflate64(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t) {
    Inflater inflater(DeflateVariant::Deflate64);
    return inflater.Run(in, out, uncompressedSize);
}

}  // namespace zip
