// Unreduce on hand-built streams: follower sets, the DLE coding of each factor, references
// before the start, and malformed sets and indexes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/BitWriter.h"
#include "support/ByteStreams.h"
#include "zip/Unreduce.h"

using namespace testsupport;

namespace {

// Writes a reduced stream: the follower sets (S(255) first), then bytes, each spelt out or
// chosen from the previous byte's set.
class ReduceWriter {
public:
    explicit ReduceWriter(std::map<int, std::string> sets = {}) : sets_(std::move(sets)) {
        for (int j = 255; j >= 0; --j) {
            const std::string& s = sets_[j];
            w_.Bits(static_cast<std::uint32_t>(s.size()), 6);  // N(j)
            for (char c : s) w_.Byte(static_cast<std::uint8_t>(c));
        }
    }
    // A byte spelt out: flag 1 (only when the previous byte has followers), then 8 bits.
    ReduceWriter& Lit(int byte) {
        if (!sets_[last_].empty()) w_.Bits(1, 1);
        w_.Byte(static_cast<std::uint8_t>(byte));
        last_ = byte & 0xFF;
        return *this;
    }
    // Follower number `index` of the previous byte: flag 0, then the index in B(N) bits.
    ReduceWriter& Follower(std::uint32_t index, int bits) {
        w_.Bits(0, 1).Bits(index, bits);
        const std::string& s = sets_[last_];
        last_ = index < s.size() ? static_cast<std::uint8_t>(s[index]) : 0;
        return *this;
    }
    Bytes Done() const { return w_.Done(); }

private:
    std::map<int, std::string> sets_;
    BitWriter w_;
    int last_ = 0;
};


struct Case {
    const char* what;
    Bytes stream;
    int factor;
    std::uint64_t size;
    zip::DecodeStatus status;
    std::string output;
};

constexpr int kDle = 144;

}  // namespace

TEST(LegacyUnreduce, DecodesHandBuiltStreams) {
    using S = zip::DecodeStatus;
    const std::string zeros5(5, '\0');
    Bytes tooLargeSet;
    {
        BitWriter w;
        w.Bits(33, 6);  // N(255) = 33, one more than a set holds
        for (int i = 0; i < 33; ++i) w.Byte('a');
        tooLargeSet = w.Done();
    }
    const Case cases[] = {
        {"bytes spelt out", ReduceWriter().Lit('A').Lit('B').Done(), 1, 2, S::Ok, "AB"},
        {"DLE 0 is the byte 144", ReduceWriter().Lit('A').Lit(kDle).Lit(0).Done(), 1, 2, S::Ok, "A\x90"},
        // Factor 1: length in the low 7 bits (+3), distance = high bit * 256 + next byte + 1.
        {"factor 1 copy", ReduceWriter().Lit('A').Lit(kDle).Lit(0x01).Lit(0).Done(), 1, 5, S::Ok, "AAAAA"},
        {"copy cut at the stored size", ReduceWriter().Lit('A').Lit(kDle).Lit(0x01).Lit(0).Done(), 1, 3, S::Ok, "AAA"},
        {"factor 2 long length: 63 then an extra byte",
         ReduceWriter().Lit('Z').Lit(kDle).Lit(0x3F).Lit(10).Lit(0).Done(), 2, 77, S::Ok, std::string(77, 'Z')},
        {"factor 3 distance two back", ReduceWriter().Lit('x').Lit('y').Lit(kDle).Lit(0x01).Lit(1).Done(), 3, 6, S::Ok,
         "xyxyxy"},
        // Factor 4: the high 4 bits of 0x12 give 1 * 256, so the distance is 257: before the
        // start of the entry, which reads as zeros.
        {"reference before the start reads zeros", ReduceWriter().Lit('A').Lit(kDle).Lit(0x12).Lit(0).Done(), 4, 6, S::Ok,
         "A" + zeros5},
        {"followers chosen by index", ReduceWriter({{0, "q"}, {'q', "ui"}}).Follower(0, 1).Follower(0, 1).Lit('t').Done(),
         1, 3, S::Ok, "qut"},
        {"index bits grow with the set", ReduceWriter({{0, "abcde"}}).Follower(4, 3).Done(), 1, 1, S::Ok, "e"},
        {"empty entry needs no input", Bytes(), 1, 0, S::Ok, ""},
        {"index past the set", ReduceWriter({{0, "abc"}}).Follower(3, 2).Done(), 1, 1, S::BadData, ""},
        {"index past the set after good bytes", ReduceWriter({{'k', "abc"}}).Lit('k').Follower(3, 2).Done(), 1, 2,
         S::BadData, "k"},
        {"set larger than 32", tooLargeSet, 1, 1, S::BadData, ""},
        {"factor 0", ReduceWriter().Lit('A').Done(), 0, 1, S::BadData, ""},
        {"factor 5", ReduceWriter().Lit('A').Done(), 5, 1, S::BadData, ""},
        {"sets cut short", Bytes(100, 0), 1, 1, S::Truncated, ""},
        {"DLE at the end", ReduceWriter().Lit('A').Lit(kDle).Done(), 1, 9, S::Truncated, "A"},
        {"huge stored size", ReduceWriter().Lit('A').Done(), 1, 1ull << 40, S::Truncated, "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChunkedSource in(c.stream);
        RecordingSink out;
        EXPECT_EQ(zip::Unreduce(in, out, c.size, 0, c.factor), c.status);
        EXPECT_EQ(out.Text(), c.output);
    }
}

// Long copies across the ring's wrap keep their history: a 4 KiB-back copy repeated past 32 KiB.
TEST(LegacyUnreduce, CopiesStayRightAcrossBlocks) {
    ReduceWriter w;
    std::string expected;
    for (int i = 0; i < 4096; ++i) {
        const int b = (i * 7 + i / 13) % 143;  // avoid DLE among the literals
        w.Lit(b);
        expected += static_cast<char>(b);
    }
    // Factor 4: 0xFF = distance high 15, length 15 + extra; with low byte 255 the distance is 4096.
    while (expected.size() < 70000) {
        w.Lit(kDle).Lit(0xFF).Lit(255).Lit(255);
        for (int i = 0; i < 15 + 255 + 3; ++i) expected += expected[expected.size() - 4096];
    }
    const Bytes stream = w.Done();
    ChunkedSource in(stream);
    RecordingSink out;
    ASSERT_EQ(zip::Unreduce(in, out, expected.size(), 0, 4), zip::DecodeStatus::Ok);
    EXPECT_LE(out.largestBlock, zip::kBlockSize);
    EXPECT_TRUE(out.Text() == expected);
}
