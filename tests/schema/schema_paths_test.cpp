#include "schema/schema_paths.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

SchemaField field(std::string path) { return SchemaField{{}, std::move(path), false, {}, {}}; }

TEST(SchemaPaths, FieldMatchesLinePaths) {
    const struct {
        std::string_view field, line;
        bool matches;
    } cases[] = {
        {"/t/@r/::id", "/t/@r/0::id", true},
        {"/t/@r/::id", "/t/@r/7::other", true},  // index and name are not looked at
        {"/t/@r/::id", "/t/@rx/0::id", false},
        {"/m::", "/m::key", true},
        {"/m::", "/m::\"a::b\"\"c\"", true},
        {"/m::", "/m::\"a\"b\"", false},
        {"/m::", "/m::a/b", false},
        {"/m::", "/m::", false},
        {"/@a::", "/@a::12", true},
        {"/@a::", "/@a::x", false},
        {"/\"@\"::", "/\"@\"::x", true},  // a quoted "@" does not make an array
        {"::a", "::a", true},
        {"::a", "::ab", false},
        {":", ":", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(path_matches_schema_path(field(std::string(c.field)), c.line), c.matches) << c.field << " " << c.line;
    }
}

TEST(SchemaPaths, SplitElementIndex) {
    const struct {
        std::string_view path;
        std::optional<std::uint64_t> index;
        std::string_view name;
    } cases[] = {
        {"/t/@r/0::id", 0, "id"},           {"/t/@r/18446744073709551615::", 18446744073709551615u, ""},
        {"/t/@r/3::\"a/b\"", 3, "\"a/b\""}, {"/t/@r/18446744073709551616::id", std::nullopt, {}},
        {"/t/@r/01::id", std::nullopt, {}}, {"/t/@r/1/@s/0::id", std::nullopt, {}},
        {"/t/@r/1::a/b", std::nullopt, {}}, {"/t/@r/1::\"a", std::nullopt, {}},
        {"/t/@q/1::a", std::nullopt, {}},
    };
    for (const auto& c : cases) {
        const auto split = split_element_index(c.path, "/t/@r/");
        EXPECT_EQ(split ? std::optional(split->index) : std::nullopt, c.index) << c.path;
        if (split) {
            EXPECT_EQ(split->name, c.name) << c.path;
        }
    }
}

TEST(SchemaPaths, MapEntrySplits) {
    const auto keys = [](std::string_view path) {
        std::vector<std::string> found;
        for (const auto& split : split_map_entry(path))
            found.push_back(std::string(split.map_path) + "|" + std::string(split.key));
        return found;
    };
    EXPECT_EQ(keys("/m::k"), (std::vector<std::string>{"/m::|k"}));
    EXPECT_EQ(keys("/m:::k"), (std::vector<std::string>{"/m:::|k", "/m::|:k"}));
    EXPECT_EQ(keys("/m::\"a::\"\"\""), (std::vector<std::string>{"/m::|\"a::\"\"\""}));
    EXPECT_TRUE(keys("/m::a/b").empty());
    EXPECT_TRUE(keys("/m/\"x\"").empty());
}

TEST(SchemaPaths, LongestCoveringScopeWins) {
    const std::vector<SchemaScope> scopes = {{"/a", true}, {"/a/b", false}, {"/a/b", true}, {"/c", true}};
    EXPECT_EQ(find_schema_scope(scopes, "/a/b/0::x"), &scopes[2]);
    EXPECT_EQ(find_schema_scope(scopes, "/a::x"), &scopes[0]);
    EXPECT_EQ(find_schema_scope(scopes, "/a"), &scopes[0]);
    EXPECT_EQ(find_schema_scope(scopes, "/ab::x"), nullptr);
}

TEST(SchemaFieldIndex, FindsTheFirstMatchingFieldFromAPosition) {
    const std::vector<SchemaField> fields = {field("::a"),       field("/m::"),      field("/t/@r/::id"),
                                             field("/t/@r/::n"), field("/@l::"),     field("/t/@r/0/@s/::x"),
                                             field("::a"),       field("/t/@r/::id")};
    const SchemaFieldIndex index(fields);
    const struct {
        std::string_view path;
        std::size_t from;
        std::optional<std::size_t> first;
    } cases[] = {
        {"::a", 0, 0},
        {"::a", 1, 6},
        {"/m::k", 0, 1},
        {"/m::k", 2, std::nullopt},
        {"/t/@r/0::n", 0, 2},
        {"/t/@r/0::n", 3, 3},
        {"/t/@r/0::n", 4, 7},
        {"/t/@r/0/@s/1::x", 4, 5},
        {"/@l::3", 0, 4},
        {"/@l::x", 0, std::nullopt},
        {"::b", 0, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(index.first_match(c.path, c.from), c.first) << c.path << " " << c.from;
    // The index agrees with trying every field in order.
    for (const auto& c : cases) {
        std::optional<std::size_t> tried;
        for (std::size_t i = c.from; i < fields.size() && !tried; ++i) {
            if (path_matches_schema_path(fields[i], c.path)) tried = i;
        }
        EXPECT_EQ(index.first_match(c.path, c.from), tried) << c.path << " " << c.from;
    }
    EXPECT_EQ(index.next_plain_field(1), 6u);
    EXPECT_EQ(index.next_plain_field(7), 8u);
    EXPECT_EQ(index.element_run_end(2), 4u);
    EXPECT_EQ(index.element_field_named(2, "n"), 3u);
    EXPECT_EQ(index.element_field_named(7, "n"), std::nullopt);
    EXPECT_EQ(index.exact_field("/m::"), 1u);
}

}  // namespace
}  // namespace bezo
