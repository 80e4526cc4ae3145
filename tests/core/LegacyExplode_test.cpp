// Explode on hand-built streams: tree descriptions built field by field, both window sizes, two
// and three trees, long lengths, and malformed trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "support/BitWriter.h"
#include "support/ByteStreams.h"
#include "zip/Explode.h"

using namespace testsupport;

namespace {

constexpr std::uint16_t k8K = 0x0002;
constexpr std::uint16_t kThreeTrees = 0x0004;

// A tree's code per value, built exactly as APPNOTE 5.3.8 describes: stable sort by length,
// codes counted up from the last (longest) entry, then restored to value order. Each code is
// kept left-aligned in 16 bits.
struct Tree {
    std::vector<int> lengths;
    std::vector<std::uint32_t> codes;
};

Tree BuildTree(const std::vector<int>& lengths) {
    Tree t{lengths, std::vector<std::uint32_t>(lengths.size())};
    std::vector<std::size_t> order(lengths.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return lengths[a] < lengths[b]; });
    std::uint32_t code = 0, increment = 0;
    int lastLength = 0;
    for (int i = static_cast<int>(order.size()) - 1; i >= 0; --i) {
        code += increment;
        const int length = lengths[order[static_cast<std::size_t>(i)]];
        if (length != lastLength) {
            lastLength = length;
            increment = 1u << (16 - length);
        }
        t.codes[order[static_cast<std::size_t>(i)]] = code;
    }
    return t;
}

// The description of APPNOTE 5.3.7: byte count - 1, then (count - 1, length - 1) nibble pairs
// for runs of equal lengths (at most 16 a byte).
Bytes Describe(const std::vector<int>& lengths) {
    Bytes runs;
    for (std::size_t i = 0; i < lengths.size();) {
        std::size_t n = 1;
        while (i + n < lengths.size() && lengths[i + n] == lengths[i] && n < 16) ++n;
        runs.push_back(static_cast<std::uint8_t>(((n - 1) << 4) | static_cast<std::size_t>(lengths[i] - 1)));
        i += n;
    }
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(runs.size() - 1));
    for (std::uint8_t r : runs) out.push_back(r);
    return out;
}

std::vector<int> Uniform(std::size_t n, int length) { return std::vector<int>(n, length); }

// 64 values: 0 has length 1, 1 has 6, the rest 7 (a full code space).
std::vector<int> Skewed() {
    std::vector<int> l(64, 7);
    l[0] = 1;
    l[1] = 6;
    return l;
}

class ImplodeWriter {
public:
    ImplodeWriter(std::uint16_t flags, std::vector<int> lit, std::vector<int> len, std::vector<int> dist)
        : flags_(flags), lit_(BuildTree(lit)), len_(BuildTree(len)), dist_(BuildTree(dist)) {
        if (flags & kThreeTrees) Raw(Describe(lit));
        Raw(Describe(len));
        Raw(Describe(dist));
    }
    ImplodeWriter& Raw(const Bytes& bytes) {
        for (std::uint8_t b : bytes) w_.Byte(b);
        return *this;
    }
    ImplodeWriter& Lit(int byte) {
        w_.Bits(1, 1);
        if (flags_ & kThreeTrees) Sym(lit_, byte);
        else w_.Byte(static_cast<std::uint8_t>(byte));
        return *this;
    }
    // A match of `distance` (1-based) and length code `lengthCode` (plus the extra byte when 63).
    ImplodeWriter& Match(std::uint32_t distance, int lengthCode, int extra = -1) {
        const int lowBits = (flags_ & k8K) ? 7 : 6;
        w_.Bits(0, 1).Bits((distance - 1) & ((1u << lowBits) - 1), lowBits);
        Sym(dist_, static_cast<int>((distance - 1) >> lowBits));
        Sym(len_, lengthCode);
        if (extra >= 0) w_.Byte(static_cast<std::uint8_t>(extra));
        return *this;
    }
    Bytes Done() const { return w_.Done(); }

private:
    void Sym(const Tree& t, int value) {
        const int n = t.lengths[static_cast<std::size_t>(value)];
        w_.Code(t.codes[static_cast<std::size_t>(value)] >> (16 - n), n);
    }
    std::uint16_t flags_;
    Tree lit_, len_, dist_;
    BitWriter w_;
};


struct Case {
    const char* what;
    Bytes stream;
    std::uint16_t flags;
    std::uint64_t size;
    zip::DecodeStatus status;
    std::string output;
};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

// The test's own tree builder reproduces the worked example of APPNOTE 5.3.8.
TEST(LegacyExplode, TreeBuilderFollowsTheWorkedExample) {
    const Tree t = BuildTree({3, 3, 3, 3, 3, 2, 4, 4});
    const std::uint32_t expected[] = {0xA000, 0x8000, 0x6000, 0x4000, 0x2000, 0xC000, 0x1000, 0x0000};
    for (std::size_t v = 0; v < 8; ++v) EXPECT_EQ(t.codes[v], expected[v]) << "value " << v;
    EXPECT_EQ(Describe({3, 3, 3, 3, 3, 2, 4, 4}), (Bytes{0x02, 0x42, 0x01, 0x13}));
}

TEST(LegacyExplode, DecodesHandBuiltStreams) {
    using S = zip::DecodeStatus;
    const auto six = Uniform(64, 6);
    const auto lit8 = Uniform(256, 8);
    const Case cases[] = {
        // Two trees: literals are 8 raw bits, minimum match 2, 6 low distance bits.
        {"two trees, 4K", ImplodeWriter(0, {}, six, six).Lit('H').Lit('i').Match(2, 1).Done(), 0, 5, S::Ok, "HiHiH"},
        {"two trees, 8K, far distance", ImplodeWriter(k8K, {}, six, six).Lit('a').Lit('b').Match(2, 0).Done(), k8K, 4,
         S::Ok, "abab"},
        // Three trees: literals through the literal tree, minimum match 3.
        {"three trees, 8K", ImplodeWriter(k8K | kThreeTrees, lit8, six, six).Lit('x').Lit('y').Match(2, 1).Done(),
         k8K | kThreeTrees, 6, S::Ok, "xyxyxy"},
        {"three trees, 4K", ImplodeWriter(kThreeTrees, lit8, six, six).Lit('q').Match(1, 0).Done(), kThreeTrees, 4, S::Ok,
         "qqqq"},
        {"uneven code lengths", ImplodeWriter(0, {}, Skewed(), Skewed()).Lit('m').Match(1, 0).Match(1, 1).Match(1, 63, 0)
         .Done(), 0, 1 + 2 + 3 + 65, S::Ok, std::string(71, 'm')},
        {"length 63 takes an extra byte", ImplodeWriter(0, {}, six, six).Lit('z').Match(1, 63, 200).Done(), 0,
         1 + 63 + 2 + 200, S::Ok, std::string(266, 'z')},
        {"match cut at the stored size", ImplodeWriter(0, {}, six, six).Lit('z').Match(1, 63, 255).Done(), 0, 10, S::Ok,
         std::string(10, 'z')},
        {"stops at the stored size", ImplodeWriter(0, {}, six, six).Lit('a').Lit('b').Lit('c').Done(), 0, 2, S::Ok, "ab"},
        {"reference before the start reads zeros", ImplodeWriter(k8K, {}, six, six).Lit('A').Match(8192, 1).Done(), k8K,
         4, S::Ok, std::string("A\0\0\0", 4)},
        {"empty entry needs no input", Bytes(), 0, 0, S::Ok, ""},
        // Malformed trees, field by field.
        {"length tree over-full (64 codes of 5 bits)", ImplodeWriter(0, {}, Uniform(64, 5), six).Lit('a').Done(), 0, 1,
         S::BadData, ""},
        {"distance tree leaves room (64 codes of 7 bits)", ImplodeWriter(0, {}, six, Uniform(64, 7)).Lit('a').Done(), 0, 1,
         S::BadData, ""},
        {"literal tree over-full", ImplodeWriter(kThreeTrees, Uniform(256, 7), six, six).Lit('a').Done(), kThreeTrees, 1,
         S::BadData, ""},
        {"tree gives too few values", Concat({Describe(Uniform(48, 6)), Describe(six)}), 0, 1, S::BadData, ""},
        {"tree gives too many values", Concat({Describe(Uniform(80, 6)), Describe(six)}), 0, 1, S::BadData, ""},
        {"tree description cut short", Bytes{0x03, 0xF5, 0xF5}, 0, 1, S::Truncated, ""},
        {"no input", Bytes(), 0, 1, S::Truncated, ""},
        {"bits run out mid-stream", ImplodeWriter(0, {}, six, six).Lit('a').Done(), 0, 50, S::Truncated, "a"},
        {"huge stored size", ImplodeWriter(0, {}, six, six).Lit('a').Lit('b').Done(), 0, 1ull << 40, S::Truncated, "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChunkedSource in(c.stream);
        RecordingSink out;
        EXPECT_EQ(zip::Explode(in, out, c.size, c.flags), c.status);
        EXPECT_EQ(out.Text(), c.output);
    }
}

// Every decoder stops with WriteFailed when the sink refuses a block, first or later.
TEST(LegacyExplode, RefusedOutputIsReported) {
    const auto six = Uniform(64, 6);
    ImplodeWriter w(0, {}, six, six);
    w.Lit('r');
    for (int i = 0; i < 200; ++i) w.Match(1, 63, 255);  // 200 * 320 bytes
    const Bytes stream = w.Done();
    for (std::size_t accepted : {0u, 1u}) {
        ChunkedSource in(stream);
        RecordingSink out(accepted);
        EXPECT_EQ(zip::Explode(in, out, 60000, 0), zip::DecodeStatus::WriteFailed);
        EXPECT_EQ(out.bytes.size(), accepted * zip::kBlockSize);
    }
}
