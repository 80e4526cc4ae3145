// Shared plumbing of the legacy method decoders (shrink, reduce, implode): a bit reader that
// takes bits least significant first, as all three formats store them, and an output window
// that hands decoded bytes to the sink in blocks and keeps the recent past for back-references.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zip/Decoder.h"

namespace zip {
namespace legacy {

// Reads bits from a ByteSource, least significant bit of each byte first. Bytes are pulled in
// chunks; at most 24 bits are asked for at once.
class BitReader {
public:
    explicit BitReader(ByteSource& in) : in_(in), chunk_(kChunk) {}

    // Makes sure n bits (n <= 24) are buffered; false when the input ends first.
    bool Need(int n) {
        while (count_ < n) {
            if (pos_ == end_ && !Refill()) {
                return false;
            }
            bits_ |= static_cast<std::uint32_t>(chunk_[pos_++]) << count_;
            count_ += 8;
        }
        return true;
    }

    // The low n buffered bits; Need(n) must have succeeded.
    std::uint32_t Peek(int n) const { return bits_ & ((1u << n) - 1u); }

    void Drop(int n) {
        bits_ >>= n;
        count_ -= n;
    }

    // Reads n bits (n <= 24) into value; false when the input ends first.
    bool Get(int n, std::uint32_t& value) {
        if (!Need(n)) {
            return false;
        }
        value = Peek(n);
        Drop(n);
        return true;
    }

private:
    static constexpr std::size_t kChunk = 4096;

    bool Refill() {
        pos_ = 0;
        end_ = in_.Read(chunk_.data(), chunk_.size());
        if (end_ > chunk_.size()) {
            end_ = 0;  // a source that claims more than it was given is treated as ended
        }
        return end_ != 0;
    }

    ByteSource& in_;
    std::vector<std::uint8_t> chunk_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::uint32_t bits_ = 0;
    int count_ = 0;
};

// Collects decoded bytes in a ring of kBlockSize bytes, hands each full ring to the sink and
// the rest at Finish. The ring doubles as the sliding window: back-references reach at most
// 8 KiB, well inside it. The ring starts zeroed, so a reference that reaches before the first
// byte of the entry reads zeros, as APPNOTE 5.2.5 and 5.3.9 prescribe for reduce and implode.
class OutputWindow {
public:
    OutputWindow(ByteSink& out, std::uint64_t size) : out_(out), ring_(kBlockSize, 0), left_(size) {}

    // Bytes still to be produced before the entry is complete.
    std::uint64_t Left() const { return left_; }

    // Appends one byte; Left() must be non-zero. False when the sink refused a block.
    bool Put(std::uint8_t byte) {
        ring_[pos_++] = byte;
        --left_;
        return pos_ < kBlockSize || Flush();
    }

    // Copies length bytes starting distance bytes back (1 <= distance < kBlockSize), stopping
    // early when the entry is complete. False when the sink refused a block.
    bool Copy(std::size_t distance, std::size_t length) {
        std::size_t from = (pos_ - distance) & kMask;
        while (length-- != 0 && left_ != 0) {
            if (!Put(ring_[from])) {
                return false;
            }
            from = (from + 1) & kMask;
        }
        return true;
    }

    // Hands over what is left in the ring. False when the sink refused it.
    bool Finish() { return pos_ == 0 || Flush(); }

private:
    static_assert((kBlockSize & (kBlockSize - 1)) == 0, "the ring index is masked");
    static constexpr std::size_t kMask = kBlockSize - 1;

    // Hands the ring's filled part to the sink. After a full ring the bytes stay as history;
    // a partial ring is flushed only at the end.
    bool Flush() {
        const std::size_t n = pos_;
        pos_ = 0;
        return out_.Write(ring_.data(), n);
    }

    ByteSink& out_;
    std::vector<std::uint8_t> ring_;
    std::size_t pos_ = 0;
    std::uint64_t left_;
};

// Ends a failed decode: what was decoded so far still reaches the sink, so the output keeps
// every good byte; the failure's own status is returned.
inline DecodeStatus Fail(OutputWindow& window, DecodeStatus status) {
    window.Finish();
    return status;
}

}  // namespace legacy
}  // namespace zip
