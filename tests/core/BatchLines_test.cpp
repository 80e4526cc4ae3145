// The batch file's line splitter: the line-break rules whatever the pieces, and over-long lines
// marked without their text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BatchLines.h"

namespace {

// The lines of text fed in pieces of the given size ("!" + length for a line marked too long).
std::vector<std::string> Split(const std::string& text, std::size_t piece, std::size_t max = 32767) {
    std::vector<std::string> lines;
    BatchLineSplitter splitter(max, [&](const std::string& line, bool tooLong) {
        lines.push_back(tooLong ? "!" : line);
    });
    for (std::size_t at = 0; at < text.size(); at += piece)
        splitter.Feed(text.data() + at, text.data() + std::min(text.size(), at + piece));
    splitter.Finish();
    return lines;
}

}  // namespace

TEST(BatchLines, LineBreaksAreTheSameInAnyPieces) {
    struct Row {
        std::string text;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},                     // a final break adds no empty line
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\r\nb", {"a", "", "b"}},         // CR, then CR LF
        {"a\n\r", {"a", ""}},                 // LF, then a lone CR
        {"\r\n\r\n", {"", ""}},               // empty lines in the middle count
        {"echo x\r\n\r\necho y", {"echo x", "", "echo y"}},
    };
    for (const Row& row : rows) {
        for (std::size_t piece : {1u, 2u, 3u, 1000u}) {
            SCOPED_TRACE(testing::PrintToString(row.text) + " in pieces of " + std::to_string(piece));
            EXPECT_EQ(Split(row.text, piece), row.lines);
        }
    }
}

TEST(BatchLines, LinesPastTheLimitAreMarkedWithoutTheirText) {
    EXPECT_EQ(Split("abcd\r\nabcde\r\nabc", 2, 4), (std::vector<std::string>{"abcd", "!", "abc"}));
    EXPECT_EQ(Split("abcdefgh", 3, 4), (std::vector<std::string>{"!"}));  // the last line too
    // A command line's worth is run; one character more is not.
    const std::string longest(kLongestBatchLine, 'x');
    EXPECT_EQ(Split(longest + "\n" + longest + "y\nz", 4096),
              (std::vector<std::string>{longest, "!", "z"}));
}
