// The contract every ZIP method decoder keeps (stored, shrink, reduce, implode, deflate, deflate64).
//
// A decoder pulls the entry's compressed bytes from a ByteSource and pushes what it decodes to a
// ByteSink in blocks of at most kBlockSize bytes. Neither side holds an entry whole: a decoder keeps
// only its window and tables. Decoders never throw; they return a DecodeStatus.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip {

constexpr std::size_t kBlockSize = 32768;

enum class DecodeStatus {
    Ok,           // the stream ended where the format says it ends, all output written
    BadData,      // the bits do not form a valid stream (bad code, tree, distance...)
    Truncated,    // the compressed bytes ran out before the stream ended
    OutputFull,   // the stream decodes to more than the entry's stored size: stopped there
    WriteFailed,  // the sink refused a block (disk full, cannot write)
};

// Compressed input. Read returns how many bytes it placed in buf (at most n); 0 means no more
// input (the entry's compressed size is used up, or the archive ended).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::size_t Read(std::uint8_t* buf, std::size_t n) = 0;
};

// Decoded output. Write returns false when the block could not be taken; the decoder then stops
// with WriteFailed.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const std::uint8_t* data, std::size_t n) = 0;
};

// Every decoder has this shape. uncompressedSize is the entry's stored size: the decoder writes at
// most that many bytes and answers OutputFull when the stream holds more. Methods whose stream
// has no end marker of its own (shrink, reduce, implode) stop after exactly that many bytes.
// flags is the entry's general-purpose bit flag (implode reads its window and tree count there).
using DecodeFunction = DecodeStatus (*)(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize,
                                        std::uint16_t flags);

// Method 0, stored: the compressed bytes are the data. More input than uncompressedSize is
// OutputFull (after writing exactly that much); less is Truncated.
DecodeStatus Store(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t flags);

}  // namespace zip
