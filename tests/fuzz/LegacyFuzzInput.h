// The input layout shared by the legacy decoders' fuzzers, and the checks every run makes.
//   byte 0      parameters: bits 1 and 2 are implode's flags, bits 0-1 + 1 reduce's factor
//   bytes 1-3   the stored uncompressed size, little-endian, at most 1 MiB is asked for
//   the rest    the compressed stream, handed over in pieces whose size byte 0 also varies
// A decoder must never hand over a block larger than kBlockSize, never more bytes than the size,
// and exactly the size when it answers Ok.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "support/ByteStreams.h"
#include "zip/Decoder.h"

namespace legacyfuzz {

struct Input {
    std::uint8_t params = 0;
    std::uint64_t size = 0;
    const std::uint8_t* stream = nullptr;
    std::size_t streamSize = 0;
};

inline bool Split(const std::uint8_t* data, std::size_t size, Input& in) {
    if (size < 4) return false;
    in.params = data[0];
    in.size = (data[1] | (data[2] << 8) | (static_cast<std::uint32_t>(data[3]) << 16)) & 0xFFFFFu;
    in.stream = data + 4;
    in.streamSize = size - 4;
    return true;
}

// The stream in pieces of 1 + (params >> 3) * 37 bytes.
class Source : public testsupport::ChunkedSource {
public:
    explicit Source(const Input& in) : ChunkedSource(in.stream, in.streamSize, 1 + (in.params >> 3) * 37) {}
};

// Counts what it is handed (reading every byte) without keeping it.
class Sink : public testsupport::RecordingSink {
public:
    Sink() : RecordingSink(kAll, false) {}
};

inline void Check(const Input& in, const Sink& out, zip::DecodeStatus status) {
    if (out.largestBlock > zip::kBlockSize) std::abort();
    if (out.total > in.size) std::abort();
    if (status == zip::DecodeStatus::Ok && out.total != in.size) std::abort();
    if (status == zip::DecodeStatus::WriteFailed || status == zip::DecodeStatus::OutputFull) std::abort();
}

}  // namespace legacyfuzz
