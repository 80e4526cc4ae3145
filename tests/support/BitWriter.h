// Writes bit streams as deflate (RFC 1951 3.1.1) and the legacy ZIP methods read them: bytes fill
// from their low bit; a value goes least significant bit first, a code (Huffman, Shannon-Fano)
// most significant bit first. For hand-made streams in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/Bytes.h"

namespace testsupport {

class BitWriter {
public:
    BitWriter& Bits(std::uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1u);
        return *this;
    }
    BitWriter& Code(std::uint32_t code, unsigned n) {
        for (unsigned i = n; i-- > 0;) Bit((code >> i) & 1u);
        return *this;
    }
    BitWriter& Byte(std::uint8_t b) { return Bits(b, 8); }
    // Zero bits up to the next byte boundary.
    BitWriter& AlignToByte() {
        while (count_ % 8 != 0) Bit(0);
        return *this;
    }
    // The stream so far; a last partial byte is padded with zero bits.
    Bytes Done() const { return bytes_; }
    // The same as text, after AlignToByte.
    std::string Finish() {
        AlignToByte();
        return std::string(bytes_.begin(), bytes_.end());
    }

private:
    void Bit(std::uint32_t b) {
        if (count_ % 8 == 0) bytes_.push_back(0);
        if (b) bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (1u << (count_ % 8)));
        ++count_;
    }
    Bytes bytes_;
    std::size_t count_ = 0;
};

}  // namespace testsupport
