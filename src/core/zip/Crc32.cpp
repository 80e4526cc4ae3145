#include "zip/Crc32.h"

#include <array>
#include <cstring>

namespace zip {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

struct Tables {
    // t[0] is the classic byte table; t[k][b] is the register change of byte b followed by k zero bytes.
    std::uint32_t t[8][256];
};

constexpr Tables MakeTables() {
    Tables tables{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t r = b;
        for (int bit = 0; bit < 8; ++bit) r = (r & 1u) ? (r >> 1) ^ kPolynomial : r >> 1;
        tables.t[0][b] = r;
    }
    for (std::uint32_t b = 0; b < 256; ++b) {
        for (int k = 1; k < 8; ++k) {
            const std::uint32_t prev = tables.t[k - 1][b];
            tables.t[k][b] = (prev >> 8) ^ tables.t[0][prev & 0xFFu];
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

inline std::uint32_t Load32Le(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::uint32_t Crc32Bytewise(std::uint32_t reg, const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i) reg = (reg >> 8) ^ kTables.t[0][(reg ^ p[i]) & 0xFFu];
    return reg;
}

void Crc32::Update(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t reg = reg_;
    const auto& t = kTables.t;
    while (n >= 8) {
        const std::uint32_t lo = Load32Le(p) ^ reg;
        const std::uint32_t hi = Load32Le(p + 4);
        reg = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    reg_ = Crc32Bytewise(reg, p, n);
}

std::uint32_t ComputeCrc32(const void* data, std::size_t n) {
    Crc32 crc;
    crc.Update(data, n);
    return crc.Value();
}

}  // namespace zip
