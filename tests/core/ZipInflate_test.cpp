// Inflate and Deflate64: streams made by zlib and by hand, every truncation, and bad streams built
// field by field.
#include <gtest/gtest.h>

#include <string>

#include "InflateBadCodes.h"
#include "ZipTestSupport.h"
#include "support/ByteStreams.h"
#include "zip/Inflate.h"

namespace {

using ziptest::BitWriter;
using zip::DecodeStatus;

using testsupport::ChunkedSource;
using testsupport::RecordingSink;

struct Result {
    DecodeStatus status;
    std::string out;
    std::uint64_t consumed;
};

Result Decode(const std::string& stream, bool wide = false, std::uint64_t limit = ~std::uint64_t{0},
           std::size_t chunk = 1 << 20) {
    ChunkedSource in(stream, chunk);
    RecordingSink out;
    zip::Inflater inflater(wide ? zip::DeflateVariant::Deflate64 : zip::DeflateVariant::Deflate);
    const DecodeStatus st = inflater.Run(in, out, limit);
    EXPECT_LE(out.largestBlock, zip::kBlockSize);
    return {st, out.Text(), inflater.ConsumedBytes()};
}

// The text zlib compressed (level 9, raw deflate, one dynamic block) into kDynamicStream.
std::string DynamicText() {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "Line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog " +
                std::to_string(i * i % 97) + " times.\n";
    }
    return text;
}

const std::string kDynamicStream = ziptest::FromHex(
    "a59a479250310c44f79ce29f80b21c14380397200c30a421cc904e4fc14ecdaae9f52f95edefb62cf5f3d3db8f37d778"
    "72ddbfb9b93e3fdcbe78773dff72f7fde3f5eaeec7f5f6e1c3a7afd7ddb79b2f7f3fbf7ff6ebe7f5f2eef535aefbdb0f"
    "375f1f3f7afa27d8b8606bc1930bde2d7871c1d58237396d6fd1878b9ea7453b17bdfad841feb3beeee4a2bdfff2e2a2"
    "b3efb691425b3d9a54daec5337566bd1c349b5c5ece1a4de209ad4db82ff4e0ace61745271d5d56ea4e4166c3ba9b9e8"
    "e969929ab3bef6498aeef4c94f5274d58ffa2445b7bbe42729ba82e44caa6ec3da49d5154c9e54dd817d2755973d9a14"
    "9d77c92f5274b3e79a458a2efbe41729ba03d72a29bad94fcc224597fd7e5aa4e8bc6b76b1772b6c1c293a83d159d1f5"
    "e3be58d5f5f04daa6e77d96c5275abeffb265567303aa93a583a9be97aaadaa4e8b2ab6693a20b284549d1058c4e8a2e"
    "60ed25859f214dfe98f4ebce9436ee2c4936672b9a3d473a30c7a5e37a424a1627a554754a4a943ea434ed265d123ea5"
    "2bca977441fa96ae673f5271e02e95261e5261e42995655e4a4d18432a48c3a47238a6548cc7925a81d8522312476a83"
    "c2a5262c426a0123a506344a6a7f7348cd779ad4fae7948c875c8aeb915bb25cf248864fba643765285e57a664b46569"
    "2edf902cc632c9dfac2999abb52467b7b6e22ad7510ced72c54baf506cfc4a69ec52d66d63283fdd86495b6e43539c8d"
    "2509dec696ce9b8d231d771b2edafa52aeb3919ab13f4a73f6592c81d63e0d26205cbb638d2513e8eeb36802ed7d1a4e"
    "20d671a9be32d3ca3b63f9c4c1f99754dc1a4b2836722d934a7b9b5a67612ca4289cff96fa2a63314542b84b3da54dad"
    "a5351a54e0fc4b6ae88d6615707c68580197d7d2dc146371059839c6f20ac3f18f6465194b2c1ce33523cf5866b170ff"
    "4bb2318da516b07c965a80856b5b73908de51660601b4b2e02c73f927d6f34bbc0f810e79fe2ff2b6dff587e81fa6101"
    "06c8f768d4cc588281a7974518983d588881d98ba518983d8f066c8de518787bb020036f2f9664e0edc9a20cbcbd5d7b"
    "2b6034cc00fdd03403aa27166760f546f30c08d71ea9180b34b076668906d6ee2cd3c0de81851ad8bb84f63eca58ac81"
    "bd1bcb35b07764c106f6ae2cd9c0de39c4a7792cdbf8e7656069de054b376078966ea07393e29b509a6f80fc59c201bb"
    "cf120ef4ed58c481be616a4f918da51ce89bb298037d5b9673a06fcc820e587e49afdf8d061d10bea557ff2ce9c0d15d"
    "5b7b687f3ec58dff6fe1fd06"
);

TEST(ZipInflate, DecodesZlibDynamicBlockWhateverTheInputChunking) {
    const std::string text = DynamicText();
    for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{1} << 20}) {
        const Result r = Decode(kDynamicStream, false, ~std::uint64_t{0}, chunk);
        EXPECT_EQ(r.status, DecodeStatus::Ok) << chunk;
        EXPECT_EQ(r.out, text) << chunk;
        EXPECT_EQ(r.consumed, kDynamicStream.size()) << chunk;
    }
}

TEST(ZipInflate, EveryTruncationIsReportedAsTruncated) {
    const std::string text = DynamicText();
    for (std::size_t n = 0; n < kDynamicStream.size(); ++n) {
        const Result r = Decode(kDynamicStream.substr(0, n));
        ASSERT_EQ(r.status, DecodeStatus::Truncated) << n;
        EXPECT_EQ(r.out, text.substr(0, r.out.size())) << n;
    }
}

TEST(ZipInflate, ConsumedBytesStopAtTheStreamEnd) {
    // Bytes after the final block (a data descriptor, the next header) are not part of the stream.
    const Result r = Decode(kDynamicStream + std::string(100, 'P'));
    EXPECT_EQ(r.status, DecodeStatus::Ok);
    EXPECT_EQ(r.consumed, kDynamicStream.size());
}

TEST(ZipInflate, StopsAtTheLimitWithOutputFull) {
    const std::string text = DynamicText();
    for (std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{5000}, std::uint64_t{text.size() - 1}}) {
        const Result r = Decode(kDynamicStream, false, limit);
        EXPECT_EQ(r.status, DecodeStatus::OutputFull) << limit;
        EXPECT_EQ(r.out, text.substr(0, limit)) << limit;
    }
    EXPECT_EQ(Decode(kDynamicStream, false, text.size()).status, DecodeStatus::Ok);
}

TEST(ZipInflate, StoredAndFixedBlocksInOneStream) {
    BitWriter w;
    w.Bits(0, 1);  // BFINAL 0
    w.Bits(0, 2);  // BTYPE stored
    w.AlignToByte();
    w.Bits(5, 16);             // LEN
    w.Bits(~5u & 0xFFFF, 16);  // NLEN
    for (char c : std::string("hello")) w.Byte(static_cast<std::uint8_t>(c));
    w.Bits(1, 1);     // BFINAL 1
    w.Bits(1, 2);     // BTYPE fixed
    w.Literal(' ');
    w.Match(5, 6);    // "hello" again
    w.Match(258, 1);  // 258 copies of the last "o"
    w.FixedSymbol(256);
    const Result r = Decode(w.Finish());
    EXPECT_EQ(r.status, DecodeStatus::Ok);
    EXPECT_EQ(r.out, "hello hello" + std::string(258, 'o'));
}

TEST(ZipInflate, Deflate64LongLengthsAndFarDistances) {
    // A stored block of 40000 bytes, then a fixed block: a copy of 60000 bytes from 40000 back
    // (distance code 30, length code 285 with 16 extra bits), then one of 65538 bytes from 65536
    // back (distance code 31). Deflate reads 285 as 258 and refuses distance code 30.
    std::string text;
    for (int i = 0; i < 40000; ++i) text += static_cast<char>((i * 7919) >> 3);
    BitWriter w;
    w.Bits(0, 1);
    w.Bits(0, 2);
    w.AlignToByte();
    w.Bits(40000, 16);
    w.Bits(~40000u & 0xFFFF, 16);
    for (char c : text) w.Byte(static_cast<std::uint8_t>(c));
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.Match(60000, 40000, true);
    w.Match(65538, 65536, true);
    w.FixedSymbol(256);
    const std::string stream = w.Finish();
    std::string expected = text;
    for (int i = 0; i < 60000; ++i) expected += expected[expected.size() - 40000];
    for (int i = 0; i < 65538; ++i) expected += expected[expected.size() - 65536];

    const Result wide = Decode(stream, true);
    EXPECT_EQ(wide.status, DecodeStatus::Ok);
    EXPECT_EQ(wide.out.size(), expected.size());
    EXPECT_TRUE(wide.out == expected);
    const Result narrow = Decode(stream, false);
    EXPECT_NE(narrow.status, DecodeStatus::Ok);
    EXPECT_LT(narrow.out.size(), expected.size());
}

// Bad streams, one field wrong each.
TEST(ZipInflate, RejectsBadStreamsFieldByField) {
    struct Case {
        const char* what;
        std::string stream;
        DecodeStatus expected;
    };
    std::vector<Case> cases;
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(3, 2);  // reserved block type
        cases.push_back({"block type 3", w.Finish(), DecodeStatus::BadData});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(0, 2);
        w.AlignToByte();
        w.Bits(4, 16);
        w.Bits(4, 16);  // NLEN not the complement of LEN
        w.Bits(0, 32);
        cases.push_back({"stored length check", w.Finish(), DecodeStatus::BadData});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(0, 2);
        w.AlignToByte();
        w.Bits(10, 16);
        w.Bits(~10u & 0xFFFF, 16);
        w.Bits(0x41, 8);  // only one of the ten bytes
        cases.push_back({"stored data short", w.Finish(), DecodeStatus::Truncated});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Literal('a');
        w.Match(3, 2);  // reaches before the start of the output
        w.FixedSymbol(256);
        cases.push_back({"distance too far", w.Finish(), DecodeStatus::BadData});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Literal('a');
        w.FixedSymbol(286);  // a length symbol that never occurs
        w.Bits(0, 16);
        cases.push_back({"literal/length 286", w.Finish(), DecodeStatus::BadData});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);   // dynamic
        w.Bits(30, 5);  // HLIT 287 (over 286)
        w.Bits(0, 5);
        w.Bits(0, 4);
        cases.push_back({"HLIT over 286", w.Finish(), DecodeStatus::BadData});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(31, 5);  // HDIST 32: over 30 for Deflate (Deflate64 takes it, then runs out)
        w.Bits(0, 4);
        cases.push_back({"HDIST over 30", w.Finish(), DecodeStatus::BadData});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(15, 4);                              // all 19 code-length lengths
        for (int i = 0; i < 19; ++i) w.Bits(1, 3);  // 19 codes of length 1: over-subscribed
        cases.push_back({"code-length code over-subscribed", w.Finish(), DecodeStatus::BadData});
    }
    {
        // Code-length code of symbols 0 and 16, one bit each ("0" is 0, "1" is 16); the first
        // symbol read is 16, with nothing to repeat.
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(0, 4);  // HCLEN 4: lengths of 16, 17, 18, 0
        w.Bits(1, 3);  // 16: length 1
        w.Bits(0, 3);  // 17: unused
        w.Bits(0, 3);  // 18: unused
        w.Bits(1, 3);  // 0: length 1
        w.Code(1, 1);  // symbol 16
        w.Bits(0, 2);
        w.Bits(0, 32);
        cases.push_back({"repeat with no previous length", w.Finish(), DecodeStatus::BadData});
    }
    {
        // Code-length code of symbols 0 and 18; 18 repeats zeros past HLIT + HDIST.
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);    // 257 literal/length lengths
        w.Bits(0, 5);    // 1 distance length
        w.Bits(0, 4);
        w.Bits(0, 3);    // 16
        w.Bits(0, 3);    // 17
        w.Bits(1, 3);    // 18: length 1
        w.Bits(1, 3);    // 0: length 1
        w.Code(1, 1);    // 18
        w.Bits(127, 7);  // 138 zeros
        w.Code(1, 1);    // 18
        w.Bits(127, 7);  // 138 more: 276 > 258
        w.Bits(0, 32);
        cases.push_back({"repeat past the end", w.Finish(), DecodeStatus::BadData});
    }
    {
        // Every length zero: the end-of-block code has no code.
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(0, 4);
        w.Bits(0, 3);
        w.Bits(0, 3);
        w.Bits(1, 3);    // 18
        w.Bits(1, 3);    // 0
        w.Code(1, 1);
        w.Bits(127, 7);  // 138 zeros
        w.Code(1, 1);
        w.Bits(109, 7);  // 120 zeros: 258 in all
        w.Bits(0, 32);
        cases.push_back({"no end-of-block code", w.Finish(), DecodeStatus::BadData});
    }
    cases.push_back({"empty input", std::string(), DecodeStatus::Truncated});
    for (const Case& c : cases) {
        EXPECT_EQ(Decode(c.stream).status, c.expected) << c.what;
        // Deflate64 reads the same fields the same way, but for HDIST, where it takes 32 codes.
        const DecodeStatus wide = c.what == std::string("HDIST over 30") ? DecodeStatus::Truncated : c.expected;
        EXPECT_EQ(Decode(c.stream, true).status, wide) << c.what << " (Deflate64)";
    }
}

TEST(ZipInflate, CodesOutsideTheStreamsCodesAreBadDataInBothVariants) {
    // The incomplete codes themselves are sound: their used codes decode.
    ziptest::BitWriter w;
    ziptest::IncompleteDynamicHeader(w);
    w.Code(0, 2);  // 'a'
    w.Code(2, 2);  // length 3
    w.Code(0, 1);  // distance 1
    w.Code(1, 2);  // end of block
    const std::string sound = w.Finish();
    for (bool wide : {false, true}) {
        const Result r = Decode(sound, wide);
        EXPECT_EQ(r.status, DecodeStatus::Ok) << wide;
        EXPECT_EQ(r.out, "aaaa") << wide;
    }
    for (const ziptest::BadCodeStream& bad : ziptest::OutOfRangeCodeStreams()) {
        for (bool wide : {false, true}) {
            SCOPED_TRACE(bad.what + (wide ? " (Deflate64)" : " (Deflate)"));
            const Result r = Decode(bad.stream, wide);
            EXPECT_EQ(r.status, DecodeStatus::BadData);
            EXPECT_EQ(r.out, bad.before);  // what came before the bad code still reaches the sink
            // With the limit at what came before, the bad code is still found, never taken for the end.
            EXPECT_EQ(Decode(bad.stream, wide, bad.before.size()).status, DecodeStatus::BadData);
        }
    }
}

// The same refusals deep inside a long stream, where the decoder has input and room to spare (its
// fast loop), with and without bytes after the bad code; what came before the fault is written.
TEST(ZipInflate, RejectsBadCodesInTheMiddleOfALongStream) {
    const std::string before(300, 'w');
    struct Case {
        const char* what;
        bool wide;
        void (*bad)(BitWriter&);
    } cases[] = {
        {"literal/length 286", false, [](BitWriter& w) { w.FixedSymbol(286); }},
        {"literal/length 287", false, [](BitWriter& w) { w.FixedSymbol(287); }},
        {"Deflate64 literal/length 287", true, [](BitWriter& w) { w.FixedSymbol(287); }},
        {"distance code 30", false, [](BitWriter& w) { w.FixedSymbol(257); w.Code(30, 5); w.Bits(0, 14); }},
        {"distance code 31", false, [](BitWriter& w) { w.FixedSymbol(257); w.Code(31, 5); w.Bits(0, 14); }},
        {"distance before the start", false, [](BitWriter& w) { w.Match(3, 301); }},
        {"Deflate64 distance before the start", true, [](BitWriter& w) { w.Match(3, 32769, true); }},
    };
    for (const Case& c : cases) {
        for (std::size_t padding : {0, 64}) {
            BitWriter w;
            w.Bits(1, 1);
            w.Bits(1, 2);  // fixed codes
            for (char ch : before) w.Literal(static_cast<std::uint8_t>(ch));
            c.bad(w);
            for (std::size_t i = 0; i < padding; ++i) w.Bits(0, 8);
            const Result r = Decode(w.Finish(), c.wide);
            EXPECT_EQ(r.status, DecodeStatus::BadData) << c.what << ", padding " << padding;
            EXPECT_EQ(r.out, before) << c.what << ", padding " << padding;
        }
    }
}

// Every length code and a spread of distances, near (overlapping copies) and far, in one long
// fixed-code stream, against the output the same copies make: read whole and in small pieces.
TEST(ZipInflate, LongStreamOfMatchesDecodesAsTheCopiesSay) {
    for (bool wide : {false, true}) {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        std::string expected;
        std::uint32_t seed = 7;
        for (int i = 0; i < 40000; ++i) {
            seed = seed * 1103515245u + 12345u;
            const auto b = static_cast<std::uint8_t>(seed >> 24);
            w.Literal(b);
            expected += static_cast<char>(b);
        }
        const std::uint32_t distances[] = {1, 2, 3, 7, 8, 9, 100, 4097, 32768};
        for (std::uint32_t length = 3; length <= 258; ++length) {
            const std::uint32_t distance = distances[length % 9];
            w.Match(length, distance, wide);
            for (std::uint32_t k = 0; k < length; ++k) expected += expected[expected.size() - distance];
        }
        if (wide) {
            w.Match(65538, 40000, true);  // longer than the room a Deflate match needs
            for (std::uint32_t k = 0; k < 65538; ++k) expected += expected[expected.size() - 40000];
        }
        w.FixedSymbol(256);
        const std::string stream = w.Finish();
        for (std::size_t chunk : {std::size_t{1} << 20, std::size_t{7}}) {
            const Result r = Decode(stream, wide, ~std::uint64_t{0}, chunk);
            EXPECT_EQ(r.status, DecodeStatus::Ok) << wide << " " << chunk;
            EXPECT_TRUE(r.out == expected) << wide << " " << chunk;
        }
    }
}

TEST(ZipInflate, ReportsARefusedWrite) {
    ChunkedSource in(kDynamicStream);
    RecordingSink out(0);  // refuses the first block
    EXPECT_EQ(zip::Inflate(in, out, ~std::uint64_t{0}, 0), DecodeStatus::WriteFailed);
}

TEST(ZipInflate, CodeTablesRefuseOverSubscribedLengthsAndAcceptIncompleteOnes) {
    struct Case {
        std::vector<std::uint8_t> lengths;
        bool accepted;
    };
    const Case cases[] = {
        {{1, 1}, true},
        {{1, 1, 1}, false},
        {{2, 2, 2, 2}, true},
        {{2, 2, 2, 2, 2}, false},
        {{1}, true},        // one code: incomplete, allowed (a single distance code)
        {{0, 0, 0}, true},  // no codes at all
        {{15, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, true},
        {{15, 15, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, false},
    };
    for (const Case& c : cases) {
        zip::Inflater::Table t;
        EXPECT_EQ(t.Build(c.lengths.data(), static_cast<unsigned>(c.lengths.size()), 9), c.accepted)
            << c.lengths.size();
    }
}

}  // namespace
