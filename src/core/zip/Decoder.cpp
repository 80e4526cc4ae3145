#include "zip/Decoder.h"

#include <vector>

namespace zip {

DecodeStatus Store(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t) {
    std::vector<std::uint8_t> block(kBlockSize);
    std::uint64_t written = 0;
    for (;;) {
        // Ask for one byte more than is still allowed, so that excess input shows.
        const std::uint64_t left = uncompressedSize - written;
        const std::uint64_t wanted = left >= kBlockSize ? kBlockSize : left + 1;
        std::size_t n = in.Read(block.data(), static_cast<std::size_t>(wanted));
        if (n > wanted) n = 0;
        if (n == 0) return written == uncompressedSize ? DecodeStatus::Ok : DecodeStatus::Truncated;
        if (written + n > uncompressedSize) {
            const std::size_t allowed = static_cast<std::size_t>(uncompressedSize - written);
            if (allowed > 0 && !out.Write(block.data(), allowed)) return DecodeStatus::WriteFailed;
            return DecodeStatus::OutputFull;
        }
        if (!out.Write(block.data(), n)) return DecodeStatus::WriteFailed;
        written += n;
    }
}

}  // namespace zip
