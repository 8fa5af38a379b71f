#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/line_cursor.h"

namespace {

// Each line as content + "|" + line end, read from `from`.
std::vector<std::string> linesOf(const std::string& document, std::size_t from = 0) {
    std::vector<std::string> lines;
    LineCursor cursor(document, from);
    while (const std::optional<SourceLine> line = cursor.next()) {
        lines.push_back(std::string(line->content(document)) + "|" + std::string(line->lineEnd(document)));
    }
    return lines;
}

TEST(LineCursor, EndsLinesAtWhicheverLineEndStands) {
    struct Case {
        std::string document;
        std::size_t from;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"a\nb\r\nc\rd", 0, {"a|\n", "b|\r\n", "c|\r", "d|"}},
        {"a\rb\rc\r", 0, {"a|\r", "b|\r", "c|\r"}},
        {"a\r\r\nb\n\rc", 0, {"a|\r", "|\r\n", "b|\n", "|\r", "c|"}},
        {"one\ntwo\r\nthree", 2, {"e|\n", "two|\r\n", "three|"}},
        {"\n\n", 0, {"|\n", "|\n"}},
        {"no end", 0, {"no end|"}},
        {"ends\r", 4, {"|\r"}},
    };
    for (const Case& c : cases) EXPECT_EQ(linesOf(c.document, c.from), c.lines) << c.document;
}

// A copy reads ahead; the original then reads the same lines, as the SubRip reader
// relies on when it looks past a cue number.
TEST(LineCursor, ACopyReadsAheadWithoutMovingTheOriginal) {
    const std::string document = "1\r\n00:00:01,000 --> 00:00:02,000\nText\rMore\n";
    LineCursor cursor(document);
    ASSERT_TRUE(cursor.next());
    LineCursor ahead = cursor;
    std::vector<std::string> seen;
    while (const std::optional<SourceLine> line = ahead.next()) seen.emplace_back(line->content(document));
    EXPECT_EQ(seen, (std::vector<std::string>{"00:00:01,000 --> 00:00:02,000", "Text", "More"}));
    const std::optional<SourceLine> next = cursor.next();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->content(document), "00:00:01,000 --> 00:00:02,000");
}

}  // namespace
