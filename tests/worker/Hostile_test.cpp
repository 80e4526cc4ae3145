// Hostile packages and hostile answers through the whole install chain. Every row must end with
// its stated error, the install folder byte for byte as before, nothing created or changed around
// the run's work folder and archive (canary files above and beside them), the temporary files
// gone and nothing registered.
#include "HostileFixture.h"
#include "hostile/HostileArchives.h"

namespace {

using hostilerun::HostileTest;
using hostilerun::Row;

// A raw answer: the status line and header lines, then the body.
std::string Answer(const std::string& head, const std::string& body) { return head + "\r\n" + body; }

TEST_F(HostileTest, HostilePackagesFailTheDecompressionAndChangeNothing) {
    std::vector<Row> rows;
    for (const hostile::ArchiveCase& c : hostile::ArchiveCases()) {
        if (c.installFails) rows.push_back({c.label, "pkg", c.archive, language.S_ZipEmpty, ""});
    }
    ASSERT_GT(rows.size(), 50u);
    RunRows(rows);
}

TEST_F(HostileTest, HostileAnswersFailTheDownloadAndChangeNothing) {
    const std::string failed = language.S_DownloadError + "\r\n";
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
    const std::string invalidChunk = failed + "Invalid chunk size.";
    const std::string invalidLength = failed + "Invalid Content-Length.";
    std::string manyLines = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 101; ++i) manyLines += "X-Line-" + std::to_string(i) + ": x\r\n";
    std::string bigBlock = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 70; ++i) bigBlock += "X-Big-" + std::to_string(i) + ": " + std::string(1000, 'b') + "\r\n";
    const std::vector<Row> rows = {
        // Chunk sizes and chunk framing.
        {"chunk size -1", "raw", Answer(chunked, "-1\r\nabc\r\n0\r\n\r\n"), invalidChunk, ""},
        {"chunk size +5", "raw", Answer(chunked, "+5\r\nabcde\r\n0\r\n\r\n"), invalidChunk, ""},
        {"chunk size 0x5", "raw", Answer(chunked, "0x5\r\nabcde\r\n0\r\n\r\n"), invalidChunk, ""},
        {"chunk size 1_f", "raw", Answer(chunked, "1_f\r\nabcde\r\n0\r\n\r\n"), invalidChunk, ""},
        {"chunk size of seventeen digits", "raw", Answer(chunked, "10000000000000000\r\nabc\r\n0\r\n\r\n"),
         failed + "Chunk size is too large.", ""},
        {"chunk without its CR LF", "raw", Answer(chunked, "3\r\nabcdef\r\n0\r\n\r\n"),
         failed + "Chunk data does not match its size.", ""},
        {"no final chunk", "raw", Answer(chunked, "3\r\nabc\r\n"), failed + "Connection Closed Gracefully.", ""},
        // Content-Length values.
        {"length -1", "raw", Answer("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n", "abc"), invalidLength, ""},
        {"length +5", "raw", Answer("HTTP/1.1 200 OK\r\nContent-Length: +5\r\n", "abcde"), invalidLength, ""},
        {"length 4294967296", "raw", Answer("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n", "abc"),
         failed + "Content-Length is too large.", ""},
        {"length of twenty digits", "raw",
         Answer("HTTP/1.1 200 OK\r\nContent-Length: 12345678901234567890\r\n", "abc"),
         failed + "Content-Length is too large.", ""},
        {"length 5, 6", "raw", Answer("HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n", "abcde"), invalidLength, ""},
        {"two different lengths", "raw",
         Answer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n", "abcdef"), invalidLength, ""},
        // Answers that carry what they must not: none of them is installed.
        {"206 nobody asked for", "raw",
         Answer("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-9/20\r\nContent-Length: 10\r\n", "PK\x03\x04" "zyxwvu"),
         failed + "HTTP/1.1 206 Partial Content", ""},
        {"101 followed by a package", "raw",
         Answer("HTTP/1.1 101 Switching Protocols\r\nUpgrade: zip\r\n", "PK\x03\x04" "zyxwvu"),
         failed + "HTTP/1.1 101 Switching Protocols", ""},
        {"304 with a package", "raw", Answer("HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n", "PK\x03\x04" "zyxwvu"),
         failed + "HTTP/1.1 304 Not Modified", ""},
        {"204 with a package", "raw", Answer("HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n", "PK\x03\x04" "zyxwvu"),
         language.S_ZipEmpty, ""},
        {"endless trailers", "raw", Answer(chunked, "1\r\na\r\n0\r\n" + manyLines.substr(17)),
         failed + "Too many header lines.", ""},
        // Endless headers.
        {"more than 100 header lines", "raw", Answer(manyLines, "x"), failed + "Too many header lines.", ""},
        {"header block over 64 KiB", "raw", Answer(bigBlock, "x"), failed + "Header block too large.", ""},
        {"header line over 16384 bytes", "raw",
         Answer("HTTP/1.1 200 OK\r\nX-Long: " + std::string(17000, 'l') + "\r\n", "x"),
         failed + "Max line length exceeded.", ""},
        // Addresses that would smuggle bytes into the request: refused before any connection.
        {"blank in the host", "pkg", "", failed + "Invalid character in address", "http://127.0.0.1 x/pkg/a.zip"},
        {"CR in the path", "pkg", "", failed + "Invalid character in address", ServerUrl("pkg", "a\r.zip")},
        {"LF in the path", "pkg", "", failed + "Invalid character in address",
         ServerUrl("pkg", "a.zip\nHost: elsewhere")},
        {"NUL in the path", "pkg", "", failed + "Invalid character in address",
         ServerUrl("pkg", std::string("a\0.zip", 6))},
        // A file name that would lead the archive out of the temporary folder.
        {"backslashes in the file name", "pkg", "", failed + "Invalid file name in address",
         ServerUrl("pkg", "..\\..\\..\\evil.zip")},
        {"drive in the file name", "pkg", "", failed + "Invalid file name in address", ServerUrl("pkg", "C:evil.zip")},
    };
    RunRows(rows);
}

// A good package served without a length is read until the connection ends: only an orderly
// close ends it; a reset, after the whole package or before, is the download's failure, and a
// close before the end leaves an archive cut in its directory, which is never installed.
TEST_F(HostileTest, AResetNeverEndsAPackageWithoutLength) {
    const std::string reset = language.S_DownloadError + "\r\nSocket Error # 10054\r\nConnection reset by peer.";
    const std::vector<Row> rows = {
        {"reset after the whole package", "pkg", "", reset, ServerUrl("nolength/reset-0", "pluvionfull.zip")},
        {"reset 30 bytes before the end", "pkg", "", reset, ServerUrl("nolength/reset-30", "pluvionfull.zip")},
        // Cut inside the end of the directory: the extractor refuses the archive as cut.
        {"close 30 bytes before the end", "pkg", "", language.S_ZipEmpty, ServerUrl("nolength/close-30", "pluvionfull.zip")},
        {"close 1 byte before the end", "pkg", "", language.S_ZipEmpty, ServerUrl("nolength/close-1", "pluvionfull.zip")},
    };
    RunRows(rows);
}

}  // namespace
