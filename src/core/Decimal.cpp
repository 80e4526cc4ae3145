#include "Decimal.h"

DecimalResult ParseDecimal(const char* begin, const char* end, std::uint64_t limit, std::uint64_t& value) {
    if (begin == end) return DecimalResult::NotDecimal;
    std::uint64_t v = 0;
    bool over = false;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9') return DecimalResult::NotDecimal;  // also after the limit was passed
        const auto digit = static_cast<std::uint64_t>(*p - '0');
        if (over || digit > limit || v > (limit - digit) / 10) {
            over = true;
            continue;
        }
        v = v * 10 + digit;
    }
    if (over) return DecimalResult::OutOfRange;
    value = v;
    return DecimalResult::Ok;
}
