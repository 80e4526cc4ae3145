// One reader of decimal numbers for the parsers of process ids, addresses, answers, proxy settings
// and scheduled deletions. Each caller keeps its own rule for signs, blanks and range.
#pragma once

#include <cstdint>

enum class DecimalResult {
    Ok,
    NotDecimal,  // empty, or a byte that is not a digit
    OutOfRange,  // digits only, but above the limit
};

// [begin, end) as a decimal number: ASCII digits only (no sign, no blank), at least one, and at
// most limit. A byte that is no digit makes the text NotDecimal even past the limit ("99999x" is
// no number, not a large one). value is written only for Ok.
DecimalResult ParseDecimal(const char* begin, const char* end, std::uint64_t limit, std::uint64_t& value);
