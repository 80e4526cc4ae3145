// Which decoder handles which compression method (APPNOTE 4.4.5).
#pragma once

#include <cstdint>

#include "zip/Decoder.h"

namespace zip {

// The decoder of a method, or null when the method is not decoded here.
DecodeFunction DecoderFor(std::uint16_t method);

inline bool MethodSupported(std::uint16_t method) { return DecoderFor(method) != nullptr; }

}  // namespace zip
