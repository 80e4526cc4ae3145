// Unshrink on hand-built code sequences: widening, pruning, the code that refers to itself, and
// every way a sequence can be wrong.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/BitWriter.h"
#include "support/ByteStreams.h"
#include "zip/Unshrink.h"

using namespace testsupport;

namespace {

// A code and the width it is written with.
using Codes = std::vector<std::pair<std::uint32_t, int>>;

Codes Nine(std::initializer_list<std::uint32_t> codes) {
    Codes out;
    for (std::uint32_t c : codes) out.push_back({c, 9});
    return out;
}

Bytes Pack(const Codes& codes) {
    BitWriter w;
    for (const auto& c : codes) w.Bits(c.first, c.second);
    return w.Done();
}


struct Case {
    const char* what;
    Codes codes;
    std::uint64_t size;
    zip::DecodeStatus status;
    std::string output;  // what reaches the sink, also on failure
};

}  // namespace

TEST(LegacyUnshrink, DecodesHandBuiltSequences) {
    using S = zip::DecodeStatus;
    const Case cases[] = {
        {"literals", Nine({'A', 'B', 'C'}), 3, S::Ok, "ABC"},
        {"first added code", Nine({'A', 'B', 257}), 4, S::Ok, "ABAB"},
        {"code that is being added (previous + its first byte)", Nine({'A', 257}), 3, S::Ok, "AAA"},
        {"stops at the stored size", Nine({'A', 'B', 'C'}), 2, S::Ok, "AB"},
        {"stops inside a string", Nine({'A', 'B', 257}), 3, S::Ok, "ABA"},
        {"256,1 widens the next codes", {{'A', 9}, {256, 9}, {1, 9}, {'B', 10}, {257, 10}}, 4, S::Ok, "ABAB"},
        {"widening up to 13 bits", {{256, 9}, {1, 9}, {256, 10}, {1, 10}, {256, 11}, {1, 11}, {256, 12}, {1, 12}, {'Z', 13}},
         1, S::Ok, "Z"},
        {"prune frees leaves, reused lowest first", Nine({'A', 'B', 256, 2, 'C', 257}), 5, S::Ok, "ABCBC"},
        {"prune keeps prefixes", Nine({'A', 'B', 257, 'C', 256, 2, 257}), 7, S::Ok, "ABABCAB"},
        {"empty entry", {}, 0, S::Ok, ""},
        // Failures keep what was decoded before them.
        {"widening past 13 bits",
         {{256, 9}, {1, 9}, {256, 10}, {1, 10}, {256, 11}, {1, 11}, {256, 12}, {1, 12}, {256, 13}, {1, 13}, {'Z', 13}},
         1, S::BadData, ""},
        {"unknown control code", Nine({'A', 256, 3, 'B'}), 2, S::BadData, "A"},
        {"control code 0", Nine({'A', 256, 0, 'B'}), 2, S::BadData, "A"},
        {"code beyond the table", Nine({'A', 'B', 300}), 5, S::BadData, "AB"},
        {"dynamic code first", Nine({257}), 3, S::BadData, ""},
        {"pruned code", Nine({'A', 'B', 'C', 256, 2, 258}), 5, S::BadData, "ABC"},
        {"pruned previous code added as its own prefix", Nine({'A', 'B', 257, 256, 2, 257}), 9, S::BadData, "ABAB"},
        {"codes run out", Nine({'A'}), 5, S::Truncated, "A"},
        {"control without its operation", {{'A', 9}, {256, 9}}, 2, S::Truncated, "A"},
        {"no input at all", {}, 1, S::Truncated, ""},
        {"huge stored size", Nine({'A', 'B'}), 1ull << 40, S::Truncated, "AB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes data = Pack(c.codes);
        ChunkedSource in(data);
        RecordingSink out;
        EXPECT_EQ(zip::Unshrink(in, out, c.size, 0), c.status);
        EXPECT_EQ(out.Text(), c.output);
    }
}

// The table fills up (8192 codes) and keeps decoding without adding; a prune then frees room.
TEST(LegacyUnshrink, FullTableAddsNothingUntilPruned) {
    Codes codes = {{256, 9}, {1, 9}, {256, 10}, {1, 10}, {256, 11}, {1, 11}, {256, 12}, {1, 12}};
    std::string expected;
    // Literals alone fill codes 257..8191 with two-byte strings: 7935 additions need 7936 literals.
    for (int i = 0; i < 7936; ++i) {
        const std::uint32_t c = static_cast<std::uint32_t>('a' + i % 26);
        codes.push_back({c, 13});
        expected += static_cast<char>(c);
    }
    // Code 8191 holds the last pair; the table is now full, so another literal adds nothing and
    // 8191 still means that pair.
    codes.push_back({'!', 13});
    expected += '!';
    codes.push_back({8191, 13});
    expected += expected.substr(7934, 2);
    // Prune: every pair is a leaf, so 257 is free again and is the next code added: the string
    // before 'x' (the pruned pair, whose bytes are still known) plus 'x'; then 258 = "xy".
    const std::string pair = expected.substr(7934, 2);
    codes.push_back({256, 13});
    codes.push_back({2, 13});
    codes.push_back({'x', 13});
    codes.push_back({'y', 13});
    codes.push_back({258, 13});
    codes.push_back({257, 13});
    expected += "xy" "xy" + pair + "x";
    const Bytes data = Pack(codes);
    ChunkedSource in(data);
    RecordingSink out;
    ASSERT_EQ(zip::Unshrink(in, out, expected.size(), 0), zip::DecodeStatus::Ok);
    ASSERT_EQ(out.bytes.size(), expected.size());
    EXPECT_TRUE(out.Text() == expected) << "tail: " << out.Text().substr(expected.size() - 12);
}

// A sink that refuses output stops the decoder with WriteFailed.
TEST(LegacyUnshrink, RefusedOutputIsReported) {
    Codes codes;
    for (int i = 0; i < 40000; ++i) codes.push_back({'q', 9});
    const Bytes data = Pack(codes);
    for (std::size_t accepted : {0u, 1u}) {
        ChunkedSource in(data);
        RecordingSink out(accepted);
        EXPECT_EQ(zip::Unshrink(in, out, 40000, 0), zip::DecodeStatus::WriteFailed);
        EXPECT_EQ(out.bytes.size(), accepted * zip::kBlockSize);
    }
}
