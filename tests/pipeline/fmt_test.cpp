#include "pipeline/fmt.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

using Segments = std::vector<std::string_view>;

TEST(SplitPlainPath, AcceptsIdentifiersArraysAndIndicesOnly) {
    const std::vector<std::pair<std::string_view, std::optional<Segments>>> cases = {
        {"", Segments{}},
        {"/", Segments{}},
        {"/a/@b/0/c_1", Segments{"a", "@b", "0", "c_1"}},
        {"a/b", Segments{"a", "b"}},
        {"/\"a\"", std::nullopt},
        {"//a", std::nullopt},
        {"/a/", std::nullopt},
        {"/@", std::nullopt},
        {"/@12", std::nullopt},
        {"/1a", std::nullopt},
        {"/.v", std::nullopt},
        {"/a-b", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(split_plain_path(text), expected) << text;
}

TEST(ParseCompactPairs, SplitsIdentifierPairsWithoutReferences) {
    using Pairs = std::vector<CompactPair>;
    const std::vector<std::pair<std::string_view, std::optional<Pairs>>> cases = {
        {"a=1|b=x=y|c=", Pairs{{"a", "1"}, {"b", "x=y"}, {"c", ""}}},
        {"a=1", Pairs{{"a", "1"}}},
        {"", std::nullopt},
        {"{}", std::nullopt},
        {"$/.s", std::nullopt},
        {"a=$x", std::nullopt},
        {"a=1|", std::nullopt},
        {"a=1||b=2", std::nullopt},
        {"9=1", std::nullopt},
        {"@t+=1", std::nullopt},
        {"a", std::nullopt},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(parse_compact_pairs(value), expected) << value;
}

TEST(ClassifyContentKey, SortsLeftPartsIntoFiveClasses) {
    struct Case {
        std::string_view left;
        ContentKeyClass kind;
        std::string_view key;
        std::string_view path;
    };
    using enum ContentKeyClass;
    const Case cases[] = {
        {"port", Plain, "port", ""},   {"a/b::c", Qualified, "c", "a/b"},      {"/a::b::c", Qualified, "c", "/a::b"},
        {"/cfg:", Define, "/cfg", ""}, {"/@row+:", AppendDefine, "/@row", ""}, {"\"k\"", Unmodelable, "", ""},
        {".v", Unmodelable, "", ""},   {"@.r+", Unmodelable, "", ""},          {"/.s:", Unmodelable, "", ""},
        {"@t+", Unmodelable, "", ""},  {"@t;", Unmodelable, "", ""},           {"a::", Unmodelable, "", ""},
        {"a-b", Unmodelable, "", ""},
    };
    for (const auto& c : cases) {
        const ContentKey key = classify_content_key(c.left);
        EXPECT_EQ(key.kind, c.kind) << c.left;
        EXPECT_EQ(key.key, c.key) << c.left;
        EXPECT_EQ(key.path, c.path) << c.left;
    }
}

TEST(HeaderLineSpelling, JoinsDeclarationWordsAndKeepsDirectives) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {".!bezo   1.0", ".!bezo"},     {".!nezo 1.0.0.0", ".!nezo 1.0.0.0"},
        {".!hezo 2 app", ".!hezo app"}, {".!registry a=x  y ", ".!registry a=x  y "},
        {".!units 1", ".!units 1"},
    };
    for (const auto& [line, spelled] : cases) EXPECT_EQ(header_line_spelling(line), spelled) << line;
}

}  // namespace
}  // namespace bezo
