// In-memory streams for the decoders' tests and fuzzers: a source that hands its bytes out in
// pieces of a chosen size (so that every refill path of a decoder is reached), and a sink that
// records what it was handed and can refuse a block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/Bytes.h"
#include "zip/Decoder.h"

namespace testsupport {

class ChunkedSource : public zip::ByteSource {
public:
    static constexpr std::size_t kWhole = static_cast<std::size_t>(-1);

    // At most `piece` bytes a read. The source keeps its own copy of the bytes.
    explicit ChunkedSource(const Bytes& data, std::size_t piece = kWhole) : data_(data), piece_(piece) {}
    explicit ChunkedSource(const std::string& data, std::size_t piece = kWhole)
        : data_(data.begin(), data.end()), piece_(piece) {}
    ChunkedSource(const std::uint8_t* data, std::size_t size, std::size_t piece = kWhole)
        : data_(data, data + size), piece_(piece) {}

    // Uneven pieces: the read at offset p takes at most 1 + p % cycle bytes.
    static ChunkedSource Uneven(const std::uint8_t* data, std::size_t size, std::size_t cycle) {
        ChunkedSource source(data, size);
        source.cycle_ = cycle;
        return source;
    }

    std::size_t Read(std::uint8_t* buf, std::size_t n) override {
        std::size_t take = data_.size() - pos_;
        if (take > n) take = n;
        if (take > piece_) take = piece_;
        if (cycle_ != 0 && take > 1 + pos_ % cycle_) take = 1 + pos_ % cycle_;
        for (std::size_t i = 0; i < take; ++i) buf[i] = data_[pos_ + i];
        pos_ += take;
        return take;
    }

private:
    Bytes data_;
    std::size_t piece_;
    std::size_t cycle_ = 0;
    std::size_t pos_ = 0;
};

// Accepts the first `accept` blocks and refuses every later one (nothing of a refused block is
// recorded). It reads every byte it accepts, so that a sanitizer sees a block that is not all
// readable; with keep false it only counts them.
class RecordingSink : public zip::ByteSink {
public:
    static constexpr std::size_t kAll = static_cast<std::size_t>(-1);

    explicit RecordingSink(std::size_t accept = kAll, bool keep = true) : accept_(accept), keep_(keep) {}

    bool Write(const std::uint8_t* data, std::size_t n) override {
        if (blocks == accept_) return false;
        ++blocks;
        if (n > largestBlock) largestBlock = n;
        if (n < smallestBlock) smallestBlock = n;
        total += n;
        for (std::size_t i = 0; i < n; ++i) checksum += data[i];
        if (keep_) bytes.insert(bytes.end(), data, data + n);
        return true;
    }

    std::string Text() const { return std::string(bytes.begin(), bytes.end()); }

    Bytes bytes;                          // what was accepted, when kept
    std::uint64_t total = 0;              // bytes accepted
    std::size_t blocks = 0;               // blocks accepted
    std::size_t largestBlock = 0;
    std::size_t smallestBlock = kAll;     // kAll until a block arrives
    std::uint32_t checksum = 0;           // the sum of the bytes accepted

private:
    std::size_t accept_;
    bool keep_;
};

}  // namespace testsupport
