// libFuzzer target: one Deflate or Deflate64 stream. The first byte picks the variant and the
// next two the output limit in KiB; the decoder must never write past the limit nor in blocks
// larger than kBlockSize.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "support/ByteStreams.h"
#include "zip/Inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const bool wide = data[0] & 1;
    const std::uint64_t limit = (static_cast<std::uint64_t>(data[1]) | (static_cast<std::uint64_t>(data[2]) << 8)) * 1024;
    // Small, uneven reads reach the refill paths.
    testsupport::ChunkedSource in = testsupport::ChunkedSource::Uneven(data + 3, size - 3, 97);
    testsupport::RecordingSink out(testsupport::RecordingSink::kAll, false);
    zip::Inflater inflater(wide ? zip::DeflateVariant::Deflate64 : zip::DeflateVariant::Deflate);
    const zip::DecodeStatus status = inflater.Run(in, out, limit);
    if (out.blocks != 0 && (out.smallestBlock == 0 || out.largestBlock > zip::kBlockSize)) std::abort();
    if (out.total > limit || out.total != inflater.Written()) std::abort();
    if (status == zip::DecodeStatus::Ok && inflater.ConsumedBytes() > size - 3) std::abort();
    return 0;
}
