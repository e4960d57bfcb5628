#include "schema/inherit.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

TEST(SchemaDirective, ReadsNameAndOptionalPath) {
    const struct {
        std::string_view text;
        std::optional<SchemaDirective> directive;
    } cases[] = {
        {" orders", SchemaDirective{std::nullopt, "orders"}},
        {":orders ", SchemaDirective{std::nullopt, "orders"}},
        {":/orders/@row items", SchemaDirective{"/orders/@row", "items"}},
        {":/orders\t acme/base ", SchemaDirective{"/orders", "acme/base"}},
        {":/orders", std::nullopt},
        {":/orders ", std::nullopt},
        {"", std::nullopt},
        {": \t", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_schema_directive(c.text), c.directive) << c.text;
}

std::string rerooted(std::string_view line, std::string_view path) {
    auto result = reroot_inherited_line(line, path, is_element_scope(path));
    return result ? *result : error_display(result.error());
}

TEST(SchemaInheritance, ReRootsLinesUnderAPath) {
    const struct {
        std::string_view line;
        std::string_view path;
        std::string_view expected;
    } cases[] = {
        {"/^/'::id=", "/orders", "/^/'/orders::id="},
        {"/^/'/a::id?=x", "/orders", "/^/'/orders/a::id?=x"},
        {"/^/'::id=", "/orders/@row", "/^/'/orders/@row/::id="},
        {"!int'::n?=", "/@rows", "!int'/@rows/::n?="},
        {"/a/@b [unique::id] [ref::c=/x/@y/*::id]|[ref::d=/z/@w/*::k] [min=1]", "/p",
         "/p/a/@b [unique::id] [ref::c=/p/x/@y/*::id]|[ref::d=/p/z/@w/*::k] [min=1]"},
        {"/a/@b ", "/p", "/p/a/@b "},
        {"/a/@b [max=2]", "/p/@e", "only root scalar fields extend array elements: /a/@b [max=2]"},
        {"/^/'/a::id=", "/p/@e", "only root scalar fields extend array elements: /^/'/a::id="},
        {"/^/'::a/b=", "/p/@e", "only root scalar fields extend array elements: /^/'::a/b="},
        {"/\"a b\"/@r [min=2] [ref::c=/\"x y\"/@s/*::id]", "/p", "/p/\"a b\"/@r [ref::c=/p/\"x y\"/@s/*::id] [min=2]"},
        {"/\"a\tb\"/@r\t[min=1]", "/p", "/p/\"a\tb\"/@r [min=1]"},
        {"/\"a b\"/@r", "/p", "bad inherited line: /\"a b\"/@r"},
        {"/a [schema::x]", "/p", "bad inherited line: /a [schema::x]"},
        {"/a", "/p", "bad inherited line: /a"},
    };
    for (const auto& c : cases) EXPECT_EQ(rerooted(c.line, c.path), c.expected) << c.line << " under " << c.path;
}

TEST(SchemaInheritance, LineKeys) {
    const struct {
        std::string_view line;
        std::string_view key;
    } cases[] = {
        {"!int'::id?=5", "::id"},
        {"/^/'/\"a=b\"::k=v", "/\"a=b\"::k"},
        {"/^/'=x", ""},
        {"/a/@b [min=1]", "/a/@b"},
        {"/a/@b\t[min=1]", "/a/@b"},
        {"/lonely", "/lonely"},
        {"/\"a b\"/@r [min=1]", "/\"a b\"/@r"},
        {"/\"a c\"/@s [min=1]", "/\"a c\"/@s"},
        {"/\"a\tb\"\t[min=1]", "/\"a\tb\""},
        {"/\"a \"\" b\"/@r [min=1]", "/\"a \"\" b\"/@r"},
        {"/\"open ended", "/\"open ended"},
    };
    for (const auto& c : cases) EXPECT_EQ(inherited_line_key(c.line), c.key) << c.line;
}

TEST(SchemaInheritance, MergeReplacesInPlaceAndAppendsNewKeys) {
    KeyedLines merged;
    merge_keyed_line(merged, "/^/'::a=");
    merge_keyed_line(merged, "/^/'::b=");
    merge_keyed_line(merged, "!int'::a?=1");
    merge_keyed_line(merged, "/t/@r [min=1]");
    EXPECT_EQ(merged.lines, (std::vector<std::string>{"!int'::a?=1", "/^/'::b=", "/t/@r [min=1]"}));
    upsert_keyed_line(merged.lines, merged.index, "::c", "/^/'::c=");
    upsert_keyed_line(merged.lines, merged.index, "::c", "/^/'::c=again");
    EXPECT_EQ(merged.lines.size(), 5u);  // the index holds parent keys only
    EXPECT_EQ(join_compiled_lines({"a", "b"}), "a\nb\n");
}

TEST(SchemaInheritance, MergeBudgetStopsPastOneGibibyte) {
    MergeBudget budget;
    EXPECT_TRUE(budget.charge(MergeBudget::kLimit).has_value());
    const auto over = budget.charge(1);
    ASSERT_FALSE(over.has_value());
    EXPECT_EQ(error_display(over.error()), "schema merge too large: more than 1 GiB of merged lines");
}

}  // namespace
}  // namespace bezo
