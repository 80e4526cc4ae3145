// Deflate streams that decode a little and then use a code the stream cannot have: a length
// symbol the format leaves out (286, 287), a distance code past those the variant has (30 and 31
// exist only in Deflate64, and reach too far back here in both), a distance before the start of
// the output, or the unused code of an incomplete prefix code. An entry that declares only what
// comes before the bad code, with its CRC, is told from a whole one by its decoder alone.
#pragma once

#include <string>
#include <vector>

#include "ZipTestSupport.h"

namespace ziptest {

struct BadCodeStream {
    std::string what;
    std::string stream;
    std::string before;  // what decodes before the bad code
};

// A dynamic block's header (RFC 1951 3.2.7) whose literal/length code has three codes of two
// bits ('a' 00, end of block 01, length 3 as symbol 257 10; 11 is unused) and whose distance code
// has one code of one bit (distance code 0 as 0; 1 is unused).
inline void IncompleteDynamicHeader(BitWriter& w) {
    w.Bits(1, 1);   // BFINAL
    w.Bits(2, 2);   // dynamic
    w.Bits(1, 5);   // HLIT 258: symbols 0 to 257
    w.Bits(0, 5);   // HDIST 1
    w.Bits(14, 4);  // HCLEN 18: code-length lengths in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1
    const unsigned order[18] = {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
    for (unsigned length : order) w.Bits(length, 3);
    // The code-length code: 0 is 00, 1 is 01, 2 is 10, 18 (a run of zeros) is 11.
    w.Code(3, 2);
    w.Bits(97 - 11, 7);  // symbols 0 to 96 unused
    w.Code(2, 2);        // 'a' (97): two bits
    w.Code(3, 2);
    w.Bits(138 - 11, 7);  // 98 to 235 unused
    w.Code(3, 2);
    w.Bits(20 - 11, 7);  // 236 to 255 unused
    w.Code(2, 2);        // end of block: two bits
    w.Code(2, 2);        // 257: two bits
    w.Code(1, 2);        // distance code 0: one bit
}

inline std::vector<BadCodeStream> OutOfRangeCodeStreams() {
    std::vector<BadCodeStream> streams;
    auto fixedAbcThen = [&](const std::string& what, auto bad) {
        BitWriter w;
        w.Bits(1, 1);  // BFINAL
        w.Bits(1, 2);  // fixed codes
        for (char c : std::string("abc")) w.Literal(static_cast<std::uint8_t>(c));
        bad(w);
        w.FixedSymbol(256);
        w.Bits(0, 32);  // enough input that running out is never the reason
        streams.push_back({what, w.Finish(), "abc"});
    };
    fixedAbcThen("length symbol 286", [](BitWriter& w) { w.FixedSymbol(286); });
    fixedAbcThen("length symbol 287", [](BitWriter& w) { w.FixedSymbol(287); });
    for (unsigned code : {30u, 31u}) {
        fixedAbcThen("distance code " + std::to_string(code), [code](BitWriter& w) {
            w.FixedSymbol(257);  // length 3
            w.Code(code, 5);
            w.Bits(0, 14);
        });
    }
    fixedAbcThen("distance before the start", [](BitWriter& w) { w.Match(3, 4); });
    {
        BitWriter w;
        IncompleteDynamicHeader(w);
        w.Code(0, 2);  // 'a'
        w.Code(3, 2);  // the unused literal/length code
        w.Bits(0, 32);
        streams.push_back({"unused literal/length code", w.Finish(), "a"});
    }
    {
        BitWriter w;
        IncompleteDynamicHeader(w);
        w.Code(0, 2);  // 'a'
        w.Code(2, 2);  // length 3
        w.Code(1, 1);  // the unused distance code
        w.Code(1, 2);  // end of block
        w.Bits(0, 32);
        streams.push_back({"unused distance code", w.Finish(), "a"});
    }
    return streams;
}

}  // namespace ziptest
