// Method 6, imploding (APPNOTE 5.3): a 4 KiB or 8 KiB sliding window whose literals, lengths and
// distances are coded with two or three Shannon-Fano trees stored at the start of the data.
#pragma once

#include <cstdint>

#include "zip/Decoder.h"

namespace zip {

// Decodes an imploded entry. flags bit 1 selects the 8 KiB window (else 4 KiB), bit 2 the
// literal tree (three trees, minimum match 3; else two trees, minimum match 2). Writes exactly
// uncompressedSize bytes and answers Ok (the stream has no end marker of its own); Truncated when
// the bits run out first; BadData for a tree description that does not give exactly 256 or 64
// lengths, a tree whose codes over-fill or do not fill the code space, or a bit sequence that is
// no code. A back-reference that reaches before the first byte of the entry reads zeros
// (APPNOTE 5.3.9).
DecodeStatus Explode(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t flags);

}  // namespace zip
