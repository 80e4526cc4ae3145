// Method 1, shrinking (APPNOTE 5.1): LZW with codes of 9 to 13 bits whose width the compressor
// raises explicitly (code 256, then 1) and whose table it prunes of leaves (code 256, then 2).
#pragma once

#include <cstdint>

#include "zip/Decoder.h"

namespace zip {

// Decodes a shrunk entry, keeping only the 8192-code table. Writes exactly uncompressedSize
// bytes and answers Ok (the stream has no end marker of its own); Truncated when the codes run
// out first; BadData for a control code other than 1 or 2, a width past 13 bits, or a code that
// is not in the table. flags is not used by this method.
DecodeStatus Unshrink(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t flags);

}  // namespace zip
