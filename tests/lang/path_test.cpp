#include "lang/path.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

using Pieces = std::vector<std::string_view>;

TEST(SplitPath, KeepsEveryPieceAndHonoursQuotes) {
    struct Case {
        std::string_view path;
        Pieces pieces;
    };
    const Case cases[] = {
        {"", {""}},
        {"a/b/", {"a", "b", ""}},
        {"/a", {"", "a"}},
        {"\"a/b\"/c", {"\"a/b\"", "c"}},
        {"\"a\"\"/b\"", {"\"a\"\"/b\""}},
        {"\"a\"/\"b", {"\"a\"", "\"b"}},
        {"\"open/rest", {"\"open/rest"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(split_path(c.path), c.pieces) << c.path;
    }
}

TEST(FindUnquoted, SkipsQuotedStretchesAndDoubledQuotes) {
    EXPECT_EQ(find_unquoted("\"a=b\"=c", '='), 5u);
    EXPECT_EQ(find_unquoted("\"a\"\"=\"=", '='), 6u);
    EXPECT_EQ(find_unquoted("\"=", '='), std::nullopt);
    EXPECT_EQ(find_unquoted("a=b=c", '=', 2), 3u);
    EXPECT_EQ(find_unquoted("a\"=\"b", '='), std::nullopt);
    EXPECT_EQ(count_unquoted("/a/\"b/c\"/d", '/'), 3u);
    EXPECT_EQ(count_unquoted("/a/b", '/'), 2u);
}

TEST(SegmentTests, PathLinesAndSectionHeads) {
    struct Case {
        std::string_view text;
        bool path_line;
        bool section_head;
    };
    const Case cases[] = {
        {"/a/@b/.c/0/\"x y\"", true, false},
        {"/a/@b", true, true},
        {"@b", false, true},
        {"/@.b", true, true},
        {"a/b", false, false},
        {"/", false, false},
        {"", false, false},
        {"/a//b", false, false},
        {"/a/", false, false},
        {"/01", false, false},
        {"/0", true, false},
        {"/10", true, false},
        {"/\"\"", false, false},
        {"/1a", false, false},
        {"/a-b", false, false},
        {"/_x9", true, false},
        {"/a/b", true, false},
        {"/a/@", false, false},
        {"/a/@.", false, false},
        {"/@\"r w\"", true, true},
        {"/\"a/b\"/@c", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_path_line(c.text), c.path_line) << c.text;
        EXPECT_EQ(is_section_head_path(c.text), c.section_head) << c.text;
    }
}

TEST(NormalizeSegment, DropsQuotesOfPlainIdentifiersOnly) {
    struct Case {
        std::string_view segment;
        std::string_view spelled;
    };
    const Case cases[] = {
        {"@\"row\"", "@row"},   {"@.\"row\"", "@.row"}, {".\"total\"", ".total"}, {"\"total\"", "total"},
        {"\"a b\"", "\"a b\""}, {"\"1\"", "\"1\""},     {"\"a-b\"", "\"a-b\""},   {"x-y", "x-y"},
        {"\"\"", "\"\""},       {"@@\"x\"", "@@\"x\""}, {"plain", "plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(normalize_segment(c.segment), c.spelled) << c.segment;
    }
    const std::vector<std::string_view> segments = {"", "\"a\"", "", "b"};
    EXPECT_EQ(normalize_segments(segments), (std::vector<std::string>{"a", "b"}));
}

TEST(FindNamespaceSeparator, FindsTheLastUnquotedPair) {
    struct Case {
        std::string_view text;
        std::optional<std::size_t> position;
    };
    const Case cases[] = {
        {"a::b::c", 4},
        {"k", std::nullopt},
        {":::", 0},
        {"a::::b", 3},
        {"\"a::b\"", std::nullopt},
        {"x::\"a::b\"", 1},
        {"\"a\"\"::\"::k", 7},
        // past the sixteen bytes scanned at once, and across their end
        {"/@items/12345/dims::w", 18},
        {"aaaaaaaaaaaaaaa::b", 15},
        {"aaaaaaaaaaaaaaaa:", std::nullopt},
        {"\"aaaaaaaaaaaaaaa::b\"::c", 20},
        {"aaaaaaaaaaaaaaa:a:b::c::d", 22},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(find_namespace_separator(c.text), c.position) << c.text;
    }
}

TEST(ParseKeyPath, SplitsPathFromKey) {
    struct Case {
        std::string_view text;
        KeyPath expected;
    };
    const Case cases[] = {
        {"/a/b::k", {{"a", "b"}, "k"}},
        {"a::b::c", {{"a::b"}, "c"}},
        {"k", {{}, "k"}},
        {"\"a::b\"", {{}, "\"a::b\""}},
        {"\"k\"", {{}, "k"}},
        {"::k", {{}, "k"}},
        {"/@\"row\"/\"x y\"::\"id\"", {{"@row", "\"x y\""}, "id"}},
        {"a//b::", {{"a", "b"}, ""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_key_path(c.text), c.expected) << c.text;
    }
}

// The joined path is what parse_key_path's segments give, whether the path
// is appended whole (no quotes, no empty segment) or segment by segment.
TEST(AppendKeyPathSegments, JoinsTheSegmentsParseKeyPathGives) {
    for (std::string_view path : {"a", "/a/b", "@items/12345/dims", "a//b", "//a", "a/", "/", "", "/@\"row\"/\"x y\"",
                                  "@\"a\"/b", ".a/@b", "\"a/b\"/c"}) {
        std::string joined = "/top";
        append_key_path_segments(joined, path);
        std::string expected = "/top";
        for (const auto& segment : parse_key_path(std::string(path) + "::k").segments) expected += "/" + segment;
        EXPECT_EQ(joined, expected) << path;
    }
}

}  // namespace
}  // namespace bezo
