// Deflate (method 8, RFC 1951) and Deflate64 (method 9) decoding, streamed.
//
// Deflate64 differs from Deflate in three places only: a 65536-byte window; length code 285 carries
// 16 extra bits on a base of 3 (lengths 3 to 65538) instead of meaning 258; distance codes 30 and
// 31 are valid, each with 14 extra bits, on bases 32769 and 49153.
//
// The decoder keeps the window and a run of pending output (a few hundred KiB at most), pushes the
// output in blocks of at most kBlockSize bytes and stops with OutputFull as soon as the stream
// would decode to more than the given limit (writing exactly the limit first).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/Decoder.h"

namespace zip {

enum class DeflateVariant { Deflate, Deflate64 };

class Inflater {
public:
    explicit Inflater(DeflateVariant variant);
    // Leaves its buffers to the thread's next stream.
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Decodes one whole stream (up to its final block). May be called once per Inflater.
    DecodeStatus Run(ByteSource& in, ByteSink& out, std::uint64_t limit);

    // Compressed bytes the stream took, up to and including its last partly used byte; bytes the
    // decoder read ahead from the source are not counted. Entries with a data descriptor and no
    // known compressed size find their descriptor there.
    std::uint64_t ConsumedBytes() const;
    // Bytes pushed to the sink.
    std::uint64_t Written() const { return written_; }

    // A decoding table of a canonical prefix code (RFC 1951 3.2.2), two levels deep. Public so
    // that the tests can reach the code-building rules directly.
    struct Table {
        std::vector<std::uint32_t> entries;
        unsigned primaryBits = 0;
        // False when the lengths over-subscribe the code (a longer code would be needed).
        bool Build(const std::uint8_t* lengths, unsigned count, unsigned primaryBits);
    };

private:
    bool FillInput();
    void Refill();
    bool TakeBits(unsigned n, std::uint32_t& value, DecodeStatus& status);
    bool Decode(const Table& table, std::uint32_t& symbol, DecodeStatus& status);
    DecodeStatus StoredBlock();
    DecodeStatus DynamicTables();
    DecodeStatus Codes(const Table& lit, const Table& dist);
    // InflateFast.cpp: whether the fast loop has its margins, and the loop itself (ended: the
    // block's end code was read).
    bool FastRoom() const;
    DecodeStatus FastCodes(const Table& lit, const Table& dist, bool& ended);
    DecodeStatus CopyMatch(std::uint32_t distance, std::uint32_t length);
    DecodeStatus MakeRoom();
    DecodeStatus Flush();

    DeflateVariant variant_;
    ByteSource* in_ = nullptr;
    ByteSink* out_ = nullptr;
    std::uint64_t limit_ = 0;

    // Input: the last read from the source and the bit accumulator (low bits first).
    std::unique_ptr<std::uint8_t[]> inBuf_;
    std::size_t inPos_ = 0;
    std::size_t inEnd_ = 0;
    bool inEof_ = false;
    std::uint64_t totalRead_ = 0;
    std::uint64_t bitBuf_ = 0;
    unsigned bitCount_ = 0;

    // Output: window and pending bytes in one linear buffer. [0, outPos_) holds history and
    // output; [flushed_, outPos_) is not yet written. When outPos_ passes the high-water mark the
    // pending bytes are written and the last windowSize_ bytes slide to the front.
    std::unique_ptr<std::uint8_t[]> window_;
    std::size_t windowSize_;
    std::size_t capacity_;
    std::size_t highWater_;
    std::size_t outPos_ = 0;
    std::size_t flushed_ = 0;
    bool slid_ = false;
    std::uint64_t written_ = 0;

    Table fixedLit_, fixedDist_, lit_, dist_, lengths_;
};

// The DecodeFunction forms of the two methods.
DecodeStatus Inflate(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t flags);
DecodeStatus Inflate64(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t flags);

}  // namespace zip
