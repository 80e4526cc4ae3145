#include "zip/Crc32.h"

#include <array>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define KLU_CRC32_CLMUL 1
#endif

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

std::uint32_t SlicedUpdate(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
    const auto& t = kTables.t;
    while (n >= 8) {
        const std::uint32_t lo = Load32Le(p) ^ reg;
        const std::uint32_t hi = Load32Le(p + 4);
        reg = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    return Crc32Bytewise(reg, p, n);
}

#ifdef KLU_CRC32_CLMUL
// Folding with the processor's carry-less multiply, where it has one. Sixteen message bytes
// loaded little-endian hold, bit i, the coefficient of x^(127-i) of their polynomial A: the low
// half is A's upper 64 coefficients reversed (Ahi), the high half its lower ones (Alo). Moving A
// d bits further on, onto the bytes there, adds A x^d, which modulo the polynomial P is
// Ahi (x^(d+64) mod P) + Alo (x^d mod P): 95 bits at most, in the place of those bytes. The
// multiply of two reversed 64-bit operands yields the reversed product times x, so each constant
// is the reversed remainder of one power less. Once one block of sixteen bytes is left, the CRC
// of the whole so far is that block's own, from a register of zero.

constexpr std::uint64_t kNormalPolynomial = 0x04C11DB7u;  // P less x^32, highest power first

// x^k mod P, highest power first in 32 bits.
constexpr std::uint32_t PowerMod(unsigned k) {
    std::uint32_t r = 1;  // x^0
    for (unsigned i = 0; i < k; ++i) {
        const bool carry = (r & 0x80000000u) != 0;
        r = static_cast<std::uint32_t>(r << 1);
        if (carry) r ^= static_cast<std::uint32_t>(kNormalPolynomial);
    }
    return r;
}

// A polynomial of degree below 32 as a reversed 64-bit operand: x^j at bit 63 - j.
constexpr std::uint64_t Reversed64(std::uint32_t poly) {
    std::uint64_t r = 0;
    for (unsigned j = 0; j < 32; ++j) {
        if (poly & (1u << j)) r |= std::uint64_t{1} << (63 - j);
    }
    return r;
}

// The two constants that move sixteen bytes d bits on: for Ahi in the low lane, Alo in the high.
constexpr std::uint64_t kFold512Hi = Reversed64(PowerMod(512 + 63));
constexpr std::uint64_t kFold512Lo = Reversed64(PowerMod(512 - 1));
constexpr std::uint64_t kFold128Hi = Reversed64(PowerMod(128 + 63));
constexpr std::uint64_t kFold128Lo = Reversed64(PowerMod(128 - 1));

__attribute__((target("sse2,pclmul"))) inline __m128i Fold(__m128i a, __m128i constants, __m128i onto) {
    const __m128i hi = _mm_clmulepi64_si128(a, constants, 0x00);  // Ahi x the low lane's constant
    const __m128i lo = _mm_clmulepi64_si128(a, constants, 0x11);  // Alo x the high lane's constant
    return _mm_xor_si128(_mm_xor_si128(hi, lo), onto);
}

__attribute__((target("sse2,pclmul"))) inline __m128i Load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("sse2,pclmul"))) std::uint32_t ClmulUpdate(std::uint32_t reg, const std::uint8_t* p,
                                                                  std::size_t n) {
    const __m128i by512 = _mm_set_epi64x(static_cast<long long>(kFold512Lo), static_cast<long long>(kFold512Hi));
    const __m128i by128 = _mm_set_epi64x(static_cast<long long>(kFold128Lo), static_cast<long long>(kFold128Hi));
    // The register goes into the first four bytes, as its definition reads them.
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x0 = Fold(x0, by512, Load(p));
        x1 = Fold(x1, by512, Load(p + 16));
        x2 = Fold(x2, by512, Load(p + 32));
        x3 = Fold(x3, by512, Load(p + 48));
        p += 64;
        n -= 64;
    }
    __m128i x = Fold(Fold(Fold(x0, by128, x1), by128, x2), by128, x3);
    while (n >= 16) {
        x = Fold(x, by128, Load(p));
        p += 16;
        n -= 16;
    }
    alignas(16) std::uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
    return SlicedUpdate(SlicedUpdate(0, last, sizeof last), p, n);
}

bool HasClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
}

const bool kHasClmul = HasClmul();
#endif

}  // namespace

std::uint32_t Crc32Bytewise(std::uint32_t reg, const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i) reg = (reg >> 8) ^ kTables.t[0][(reg ^ p[i]) & 0xFFu];
    return reg;
}

void Crc32::Update(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
#ifdef KLU_CRC32_CLMUL
    if (n >= 128 && kHasClmul) {
        reg_ = ClmulUpdate(reg_, p, n);
        return;
    }
#endif
    reg_ = SlicedUpdate(reg_, p, n);
}

std::uint32_t ComputeCrc32(const void* data, std::size_t n) {
    Crc32 crc;
    crc.Update(data, n);
    return crc.Value();
}

}  // namespace zip
