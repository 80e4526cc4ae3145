// Which decoder handles which compression method (APPNOTE 4.4.5), and how far each can expand.
#pragma once

#include <cstdint>

#include "zip/Decoder.h"

namespace zip {

// The decoder of a method, or null when the method is not decoded here.
DecodeFunction DecoderFor(std::uint16_t method);

inline bool MethodSupported(std::uint16_t method) { return DecoderFor(method) != nullptr; }

// The most bytes that compressed bytes of a method's stream can decode to: the method's largest
// ratio, worked out from its format (see ZipMethods.cpp), times compressed. No valid stream goes
// past it, so an entry never writes more, whatever size it declares, or when it declares none
// before its data. Saturates at the largest 64-bit value; that value for methods not decoded.
std::uint64_t MaxDecodedSize(std::uint16_t method, std::uint64_t compressed);

}  // namespace zip
