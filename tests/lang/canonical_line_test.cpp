#include "lang/canonical_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

TEST(TakeLine, CutsAtLineFeedsAndDropsTheCrBeforeThem) {
    const struct {
        std::string_view text;
        FinalCr final_cr;
        std::vector<std::string_view> lines;
    } cases[] = {
        {"a\r\nb\n\nc\r", FinalCr::Kept, {"a", "b", "", "c\r"}},
        {"a\r\nb\n\nc\r", FinalCr::Dropped, {"a", "b", "", "c"}},
        {"a\r\r\n\r", FinalCr::Dropped, {"a\r", ""}},
    };
    for (const auto& c : cases) {
        std::string_view rest = c.text;
        std::vector<std::string_view> lines;
        while (!rest.empty()) lines.push_back(take_line(rest, c.final_cr));
        EXPECT_EQ(lines, c.lines) << c.text;
    }
}

TEST(TakeLine, FindsTheLineFeedAtEveryDistanceAroundTheInlineSearch) {
    // The first bytes of a line are searched inline and the rest by a
    // library call: a line feed just before, at and after that border, and
    // lines that end without one there.
    for (const std::size_t length : {0, 1, 15, 16, 17, 62, 63, 64, 65, 66, 127, 128, 129, 1000}) {
        const std::string body(length, 'x');
        for (const std::string_view after : {"\n", "\r\n", "", "\r", "\ny\n"}) {
            const std::string text = body + std::string(after);
            std::string_view rest = text;
            std::vector<std::string_view> lines;
            while (!rest.empty()) lines.push_back(take_line(rest, FinalCr::Dropped));
            std::vector<std::string_view> expected;
            if (!text.empty()) expected.push_back(body);
            if (after == "\ny\n") expected.push_back("y");
            EXPECT_EQ(lines, expected) << length << " " << after.size();
        }
    }
}

TEST(SplitContentLine, FirstApostropheThenFirstUnquotedEquals) {
    const struct {
        std::string_view line;
        std::string_view metadata, name_path, value;
    } cases[] = {
        {"!int'::a=1", "!int", "::a", "1"},
        {"!str'::\"a=b\"=c=d", "!str", "::\"a=b\"", "c=d"},
        {"!str'::\"a\"\"=\"=x", "!str", "::\"a\"\"=\"", "x"},
        {"!str /'/'::a='", "!str /", "/'::a", "'"},
        {"!str'=", "!str", "", ""},
    };
    for (const auto& c : cases) {
        const auto parts = split_content_line(c.line);
        ASSERT_TRUE(parts) << c.line;
        EXPECT_EQ(parts->metadata, c.metadata) << c.line;
        EXPECT_EQ(parts->name_path, c.name_path) << c.line;
        EXPECT_EQ(parts->value, c.value) << c.line;
    }
    EXPECT_EQ(split_content_line("abc=1").error(), ContentLineFault::NoApostrophe);
    EXPECT_EQ(split_content_line("!str'::\"a=1").error(), ContentLineFault::NoEquals);
}

TEST(ContentLineNamePath, AppliesTheReadingRule) {
    EXPECT_EQ(content_line_name_path("  !int'/a::b=1\r\n"), "/a::b");
    for (std::string_view line : {"# x'y=1\n", "//'a=1\n", ".!schema:x'y=z\n", ".?'a=b\n", "\t\n", "!:m\n"}) {
        EXPECT_EQ(content_line_name_path(line), std::nullopt) << line;
    }
}

}  // namespace
}  // namespace bezo
