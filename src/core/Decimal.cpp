#include "Decimal.h"

DecimalResult ParseDecimal(const char* begin, const char* end, std::uint64_t limit, std::uint64_t& value) {
    if (begin == end) return DecimalResult::NotDecimal;
    std::uint64_t v = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9') return DecimalResult::NotDecimal;
        const auto digit = static_cast<std::uint64_t>(*p - '0');
        // The first digit that would pass the limit decides, whatever follows it.
        if (digit > limit || v > (limit - digit) / 10) return DecimalResult::OutOfRange;
        v = v * 10 + digit;
    }
    value = v;
    return DecimalResult::Ok;
}
