// The shared readers of decimal numbers and of text lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Decimal.h"
#include "TextLines.h"

namespace {

DecimalResult Parse(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
    return ParseDecimal(text.data(), text.data() + text.size(), limit, value);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    text_lines::ForEachLine(text.data(), text.data() + text.size(),
                            [&lines](const char* b, const char* e) { lines.emplace_back(b, e); });
    return lines;
}

}  // namespace

TEST(Decimal, DigitsOnlyWithinTheCallersLimit) {
    struct Case {
        const char* text;
        std::uint64_t limit;
        DecimalResult result;
        std::uint64_t value;
    };
    const Case cases[] = {
        {"0", 10, DecimalResult::Ok, 0},
        {"007", 10, DecimalResult::Ok, 7},
        {"10", 10, DecimalResult::Ok, 10},
        {"11", 10, DecimalResult::OutOfRange, 0},
        {"65535", 65535, DecimalResult::Ok, 65535},
        {"65536", 65535, DecimalResult::OutOfRange, 0},
        {"18446744073709551615", UINT64_MAX, DecimalResult::Ok, UINT64_MAX},
        {"18446744073709551616", UINT64_MAX, DecimalResult::OutOfRange, 0},
        {"99999999999999999999x", UINT64_MAX, DecimalResult::NotDecimal, 0},  // no number, not a large one
        {"", 10, DecimalResult::NotDecimal, 0},
        {"+1", 10, DecimalResult::NotDecimal, 0},
        {"-1", 10, DecimalResult::NotDecimal, 0},
        {" 1", 10, DecimalResult::NotDecimal, 0},
        {"1 ", 10, DecimalResult::NotDecimal, 0},
        {"1x", 10, DecimalResult::NotDecimal, 0},
        {"0x1", 10, DecimalResult::NotDecimal, 0},
        {"5", 0, DecimalResult::OutOfRange, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t value = 12345;
        EXPECT_EQ(Parse(c.text, c.limit, value), c.result) << c.text;
        EXPECT_EQ(value, c.result == DecimalResult::Ok ? c.value : 12345u) << c.text;
    }
}

TEST(TextLines, EveryKindOfBreakEndsALineAndAFinalBreakAddsNone) {
    EXPECT_EQ(Lines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(Lines("a\r\n"), std::vector<std::string>{"a"});
    EXPECT_EQ(Lines("a\n\r"), (std::vector<std::string>{"a", ""}));  // LF then a lone CR
    EXPECT_EQ(Lines("\r\n\r\n"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(Lines("x\r\r\ny"), (std::vector<std::string>{"x", "", "y"}));
    EXPECT_TRUE(Lines("").empty());
}
