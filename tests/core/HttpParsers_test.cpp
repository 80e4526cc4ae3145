// The response head parser and the chunk decoder on their own: each table runs fed whole, byte
// by byte, and cut in two at every place, and must give the same result every way.
#include <gtest/gtest.h>

#include <functional>

#include "http/ChunkDecoder.h"
#include "http/ResponseHead.h"

namespace {

using Head = http::HeadParser::Result;
using Chunk = http::ChunkDecoder::Result;

// The ways one stream is fed: whole, one byte a range, and two ranges cut at every place (in
// a long stream, at every place of its first and last 64 bytes and every 997th between).
std::vector<std::vector<std::string>> Feedings(const std::string& stream) {
    std::vector<std::vector<std::string>> ways{{stream}};
    std::vector<std::string> bytes;
    for (char c : stream) bytes.push_back(std::string(1, c));
    ways.push_back(bytes);
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        const bool edge = cut < 64 || cut + 64 > stream.size();
        if (edge || cut % 997 == 0) ways.push_back({stream.substr(0, cut), stream.substr(cut)});
    }
    return ways;
}

struct HeadOutcome {
    Head result = Head::NeedMore;
    int status = 0;
    std::string statusLine;
    http::Headers fields;
    std::string rest;  // the bytes after the head, left to the caller
};

HeadOutcome ParseHead(const std::vector<std::string>& ranges, bool closeAtEnd) {
    http::HeadParser parser;
    HeadOutcome out;
    for (const std::string& range : ranges) {
        if (out.result != Head::NeedMore) {
            out.rest += range;
            continue;
        }
        std::size_t used = 0;
        out.result = parser.Feed(range.data(), range.data() + range.size(), used);
        EXPECT_LE(used, range.size());
        if (out.result != Head::NeedMore) {
            out.rest += range.substr(used);
        } else {
            EXPECT_EQ(used, range.size());
        }
    }
    if (out.result == Head::NeedMore && closeAtEnd) out.result = parser.Close();
    if (out.result == Head::Done) {
        out.status = parser.Status();
        out.statusLine = parser.StatusLine();
        out.fields = parser.Fields();
    }
    return out;
}

TEST(HttpHeadParser, EveryFeedingGivesTheSameHead) {
    std::string fields100;
    for (int i = 0; i < 100; ++i) fields100 += "X: 1\r\n";
    std::string interims32;
    for (int i = 0; i < 32; ++i) interims32 += "HTTP/1.1 100 Continue\r\n\r\n";
    struct Case {
        const char* name;
        std::string stream;
        bool close;  // the connection closes after the stream
        Head result;
        const char* statusLine;
        std::size_t fields;
        const char* rest;
    } cases[] = {
        {"plain", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false, Head::Done, "HTTP/1.1 200 OK", 1, "hello"},
        {"LF alone", "HTTP/1.1 404 Not Found\nA: 1\nB: 2\n\nbody", false, Head::Done, "HTTP/1.1 404 Not Found", 2, "body"},
        {"interim answers skipped", "HTTP/1.1 100 Continue\r\nX: 1\r\n\r\nHTTP/1.1 103 Hints\r\n\r\nHTTP/1.1 204 No\r\n\r\n",
         false, Head::Done, "HTTP/1.1 204 No", 0, ""},
        {"101 is final", "HTTP/1.1 101 Switching\r\n\r\nraw", false, Head::Done, "HTTP/1.1 101 Switching", 0, "raw"},
        {"32 interim answers", interims32 + "HTTP/1.1 200 OK\r\n\r\n", false, Head::Done, "HTTP/1.1 200 OK", 0, ""},
        {"33 interim answers", interims32 + "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\n", false,
         Head::TooManyInterim, "", 0, ""},
        {"100 header lines", "HTTP/1.1 200 OK\r\n" + fields100 + "\r\n", false, Head::Done, "HTTP/1.1 200 OK", 100, ""},
        {"101 header lines", "HTTP/1.1 200 OK\r\n" + fields100 + "X: 1\r\n\r\n", false, Head::TooManyLines, "", 0, ""},
        {"block over 64 KiB", "HTTP/1.1 200 OK\r\n" + std::string("W: ") + std::string(16000, 'w') + "\r\nW: " +
                                  std::string(16000, 'w') + "\r\nW: " + std::string(16000, 'w') + "\r\nW: " +
                                  std::string(16000, 'w') + "\r\nW: " + std::string(16000, 'w') + "\r\n\r\n",
         false, Head::BlockTooLarge, "", 0, ""},
        {"line of 16384 bytes", "HTTP/1.1 200 OK\r\nX: " + std::string(16380, 'a') + "\r\n\r\n", false, Head::Done,
         "HTTP/1.1 200 OK", 1, ""},
        {"line of 16385 bytes", "HTTP/1.1 200 OK\r\nX: " + std::string(16381, 'a') + "\r\n\r\n", false,
         Head::LineTooLong, "", 0, ""},
        {"long line without end", "HTTP/1.1 200 OK\r\nX: " + std::string(16390, 'a'), false, Head::LineTooLong, "", 0, ""},
        {"close before anything", "", true, Head::NoAnswer, "", 0, ""},
        {"close within the block", "HTTP/1.1 200 OK\r\nA: 1\r\n", true, Head::Done, "HTTP/1.1 200 OK", 1, ""},
        {"close within a header line", "HTTP/1.1 200 OK\r\nA: 1", true, Head::Done, "HTTP/1.1 200 OK", 1, ""},
        {"close within the status line", "HTTP/1.1 2", true, Head::Done, "HTTP/1.1 2", 0, ""},
        {"close after an interim answer", "HTTP/1.1 102 Processing\r\n\r\n", true, Head::NoAnswer, "", 0, ""},
        {"close within an interim block", "HTTP/1.1 100 Continue\r\nX: 1\r\n", true, Head::NoAnswer, "", 0, ""},
        {"no end yet", "HTTP/1.1 200 OK\r\nA: 1\r\n", false, Head::NeedMore, "", 0, ""},
    };
    for (const Case& c : cases) {
        for (const auto& ranges : Feedings(c.stream)) {
            const HeadOutcome out = ParseHead(ranges, c.close);
            const std::string where = std::string(c.name) + " in " + std::to_string(ranges.size()) + " ranges";
            ASSERT_EQ(out.result, c.result) << where;
            EXPECT_EQ(out.statusLine, c.statusLine) << where;
            EXPECT_EQ(out.fields.size(), c.fields) << where;
            if (c.result == Head::Done) {
                EXPECT_EQ(out.rest, c.rest) << where;
            }
        }
    }
}

TEST(HttpHeadParser, StatusAndFieldsAreReadFromTheFinalAnswer) {
    const std::string stream = "HTTP/1.1 100 Continue\r\nX-Early: 1\r\n\r\nHTTP/1.0 206 Partial\r\nContent-Range:  bytes 0-1/2 \r\n\r\n";
    const HeadOutcome out = ParseHead({stream}, false);
    ASSERT_EQ(out.result, Head::Done);
    EXPECT_EQ(out.status, 206);
    ASSERT_EQ(out.fields.size(), 1u);
    EXPECT_EQ(out.fields[0].first, "Content-Range");
    EXPECT_EQ(out.fields[0].second, "bytes 0-1/2");
}

struct ChunkOutcome {
    Chunk result = Chunk::NeedMore;
    std::vector<std::string> spans;  // the data of each announced chunk as it arrived
    std::string rest;
};

ChunkOutcome Decode(const std::vector<std::string>& ranges, bool closeAtEnd) {
    http::ChunkDecoder decoder;
    ChunkOutcome out;
    auto step = [&](Chunk result, const char* at, std::size_t used) {
        if (result == Chunk::ChunkBegins) {
            out.spans.emplace_back();
            EXPECT_EQ(decoder.ChunkLeft(), decoder.ChunkSize());
        }
        if (result == Chunk::Data) {
            EXPECT_FALSE(out.spans.empty());
            out.spans.back().append(at, used);
        }
        const bool event = result == Chunk::NeedMore || result == Chunk::ChunkBegins || result == Chunk::Data;
        if (!event) out.result = result;
        return event;
    };
    for (const std::string& range : ranges) {
        std::size_t at = 0;
        while (out.result == Chunk::NeedMore && at < range.size()) {
            std::size_t used = 0;
            const Chunk result = decoder.Feed(range.data() + at, range.data() + range.size(), used);
            const bool more = step(result, range.data() + at, used);
            at += used;
            if (more && result == Chunk::NeedMore) {
                EXPECT_EQ(at, range.size());
            }
        }
        if (out.result != Chunk::NeedMore) out.rest += range.substr(at);
    }
    for (int guard = 0; closeAtEnd && out.result == Chunk::NeedMore && guard < 4; ++guard) {
        step(decoder.Close(), nullptr, 0);
    }
    return out;
}

TEST(HttpChunkDecoder, EveryFeedingGivesTheSameChunks) {
    using Spans = std::vector<std::string>;
    std::string trailers100;
    for (int i = 0; i < 100; ++i) trailers100 += "T: 1\r\n";
    std::string wideTrailers;  // five lines of 15,000 bytes: each within the line limit
    for (int i = 0; i < 5; ++i) wideTrailers += "W: " + std::string(15000, 'w') + "\r\n";
    struct Case {
        const char* name;
        std::string stream;
        bool close;
        Chunk result;
        Spans spans;
        const char* rest;
    } cases[] = {
        {"two chunks", "a\r\n0123456789\r\n5\r\nabcde\r\n0\r\n\r\nnext", false, Chunk::Done, {"0123456789", "abcde"}, "next"},
        {"extension, trailer, LF alone", "3;x=y\nabc\n0\nX-Sum: 1\nY: 2\n\n", false, Chunk::Done, {"abc"}, ""},
        {"upper-case size", "A\r\n0123456789\r\n0\r\n\r\n", false, Chunk::Done, {"0123456789"}, ""},
        {"close in the trailers", "2\r\nab\r\n0\r\nX: 1\r\n", true, Chunk::Done, {"ab"}, ""},
        {"close after the last size", "2\r\nab\r\n0\r\n", true, Chunk::Done, {"ab"}, ""},
        {"close within the last size line", "2\r\nab\r\n0", true, Chunk::Done, {"ab"}, ""},
        {"close before a size line", "2\r\nab\r\n", true, Chunk::Cut, {"ab"}, ""},
        {"close within data", "5\r\nab", true, Chunk::Cut, {"ab"}, ""},
        {"close after data", "2\r\nab", true, Chunk::Cut, {"ab"}, ""},
        {"close after data and CR", "2\r\nab\r", true, Chunk::Cut, {"ab"}, ""},
        {"close within a size line", "2\r\nab\r\n5", true, Chunk::Cut, {"ab", ""}, ""},
        {"size not hexadecimal", "zz\r\nab\r\n", false, Chunk::BadSize, {}, ""},
        {"empty size line", "\r\nab\r\n", false, Chunk::BadSize, {}, ""},
        {"size too large", "80000000\r\n", false, Chunk::SizeTooLarge, {}, ""},
        {"data longer than its size", "3\r\nabcdef\r\n0\r\n\r\n", false, Chunk::DataMismatch, {"abc"}, ""},
        {"data longer, then close", "3\r\nabcd", true, Chunk::DataMismatch, {"abc"}, ""},
        {"size line too long", std::string(16385, '0') + "\r\n", false, Chunk::LineTooLong, {}, ""},
        {"trailer line too long", "0\r\nX: " + std::string(16390, 't'), false, Chunk::LineTooLong, {}, ""},
        {"no end yet", "2\r\nab\r\n", false, Chunk::NeedMore, {"ab"}, ""},
        // Trailers are bounded like a header block.
        {"100 trailer lines", "1\r\na\r\n0\r\n" + trailers100 + "\r\n", false, Chunk::Done, {"a"}, ""},
        {"101 trailer lines", "1\r\na\r\n0\r\n" + trailers100 + "T: 1\r\n\r\n", false, Chunk::TooManyTrailerLines,
         {"a"}, ""},
        {"trailers over 64 KiB", "0\r\n" + wideTrailers + "\r\n", false, Chunk::TrailersTooLarge, {}, ""},
    };
    for (const Case& c : cases) {
        for (const auto& ranges : Feedings(c.stream)) {
            const ChunkOutcome out = Decode(ranges, c.close);
            const std::string where = std::string(c.name) + " in " + std::to_string(ranges.size()) + " ranges";
            ASSERT_EQ(out.result, c.result) << where;
            EXPECT_EQ(out.spans, c.spans) << where;
            if (c.result == Chunk::Done) {
                EXPECT_EQ(out.rest, c.rest) << where;
            }
        }
    }
}

TEST(HttpChunkDecoder, TheChunksTogetherAreBoundedLikeALength) {
    // Two chunks of 1 GiB: the second size line takes the total past 2^31 - 1.
    struct Case {
        const char* second;
        Chunk result;
    } cases[] = {{"3fffffff\r\n", Chunk::ChunkBegins}, {"40000000\r\n", Chunk::BodyTooLarge}};
    const std::string block(1 << 20, 'z');
    for (const Case& c : cases) {
        http::ChunkDecoder decoder;
        const std::string first = "40000000\r\n";
        std::size_t used = 0;
        ASSERT_EQ(decoder.Feed(first.data(), first.data() + first.size(), used), Chunk::ChunkBegins);
        std::int64_t data = 0;
        while (decoder.InData()) {
            ASSERT_EQ(decoder.Feed(block.data(), block.data() + block.size(), used), Chunk::Data);
            data += static_cast<std::int64_t>(used);
        }
        EXPECT_EQ(data, 0x40000000);
        const std::string next = std::string("\r\n") + c.second;
        EXPECT_EQ(decoder.Feed(next.data(), next.data() + next.size(), used), c.result) << c.second;
    }
}

}  // namespace
