// Methods 2 to 5, reducing (APPNOTE 5.2): follower sets for each byte value, then a run and
// back-reference coding introduced by the byte 144 (DLE).
#pragma once

#include <cstdint>

#include "zip/Decoder.h"

namespace zip {

// Decodes a reduced entry with compression factor 1 to 4 (method number minus 1). Writes exactly
// uncompressedSize bytes and answers Ok (the stream has no end marker of its own); Truncated when
// the bits run out first; BadData for a follower set larger than 32, a follower index past its
// set, or a factor outside 1 to 4. A back-reference that reaches before the first byte of the
// entry reads zeros (APPNOTE 5.2.5). flags is not used by this method.
DecodeStatus Unreduce(ByteSource& in, ByteSink& out, std::uint64_t uncompressedSize, std::uint16_t flags,
                      int factor);

}  // namespace zip
