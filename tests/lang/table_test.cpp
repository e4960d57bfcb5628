#include "lang/table.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

using Fields = std::vector<std::string_view>;

HeadItem unique(std::vector<std::string> columns) { return HeadItem{HeadItem::UniqueKey{std::move(columns)}}; }

HeadItem reference(std::string column, std::string table, std::string target) {
    return HeadItem{HeadItem::Reference{std::move(column), std::move(table), std::move(target)}};
}

TEST(SplitHeadText, FieldsAndUnquotedPieces) {
    EXPECT_EQ(split_fields("a  \"b c\"\td"), (Fields{"a", "\"b c\"", "d"}));
    EXPECT_EQ(split_fields("  "), Fields{});
    EXPECT_EQ(split_fields("\"x\"\" y\" z"), (Fields{"\"x\"\" y\"", "z"}));
    EXPECT_EQ(split_unquoted("a,,\"b,c\",", ','), (Fields{"a", "", "\"b,c\"", ""}));
    EXPECT_EQ(split_unquoted("", '|'), Fields{""});
}

TEST(ColumnNames, ParseAndQuote) {
    struct Case {
        std::string_view text;
        bool allow_min_max;
        std::optional<std::string> name;
    };
    const Case cases[] = {
        {"id", false, "id"},
        {"_a1", false, "_a1"},
        {"min", false, std::nullopt},
        {"max", false, std::nullopt},
        {"min", true, "min"},
        {"\"min\"", false, "min"},
        {"\"a b\"", false, "a b"},
        {"\"say\"\"x\"", false, "say\"x"},
        {"\"a\"b\"", false, std::nullopt},
        {"\"\"", false, std::nullopt},
        {"\"", false, std::nullopt},
        {"a-b", true, std::nullopt},
        {"1a", true, std::nullopt},
        {"", true, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_column_name(c.text, c.allow_min_max), c.name) << c.text;
    }
    EXPECT_EQ(quote_column_name("id"), "id");
    EXPECT_EQ(quote_column_name("a b"), "\"a b\"");
    EXPECT_EQ(quote_column_name("say\"x"), "\"say\"\"x\"");
    for (std::string_view name : {"id", "a b", "say\"x", "\"", "1"}) {
        EXPECT_EQ(parse_column_name(quote_column_name(name), true), std::string(name)) << name;
    }
}

TEST(RefTarget, TablePathAndColumn) {
    struct Case {
        std::string_view text;
        std::optional<RefTarget> target;
    };
    const Case cases[] = {
        {"/customers/@c/*::id", RefTarget{"/customers/@c", "id"}},
        {"/@c/*::max", RefTarget{"/@c", "max"}},
        {"/a/\"b c\"/@r/*::\"x y\"", RefTarget{"/a/\"b c\"/@r", "x y"}},
        {"/customers/c/*::id", std::nullopt},
        {"customers/@c/*::id", std::nullopt},
        {"/@a/@c/*::id", std::nullopt},
        {"/a//@c/*::id", std::nullopt},
        {"/a/@/*::id", std::nullopt},
        {"/a/@c/*::", std::nullopt},
        {"/a/@c::id", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_ref_target(c.text), c.target) << c.text;
    }
}

TEST(AuthoredHeadArgs, AcceptedHeads) {
    struct Case {
        Fields fields;
        TableHead head;
    };
    const Case cases[] = {
        {{"min=1", "max=10"}, TableHead{1, 10, {}, {}}},
        {{"min=1", "min=2"}, TableHead{2, {}, {}, {}}},
        {{"max=18446744073709551615"}, TableHead{{}, 18446744073709551615ULL, {}, {}}},
        {{"id=!"}, TableHead{{}, {}, {{unique({"id"})}}, {}}},
        {{"a=!,b=!"}, TableHead{{}, {}, {{unique({"a", "b"})}}, {}}},
        {{"a=!|b=!"}, TableHead{{}, {}, {{unique({"a"}), unique({"b"})}}, {}}},
        {{"\"a b\"=!"}, TableHead{{}, {}, {{unique({"a b"})}}, {}}},
        {{"cust=/customers/@c/*::id"}, TableHead{{}, {}, {{reference("cust", "/customers/@c", "id")}}, {}}},
        {{"cust=/customers/@c/*::max"}, TableHead{{}, {}, {{reference("cust", "/customers/@c", "max")}}, {}}},
        {{"id=!", "min=0", "c=/t/@r/*::k|d=!"},
         TableHead{0, {}, {{unique({"id"})}, {reference("c", "/t/@r", "k"), unique({"d"})}}, {}}},
        {{}, TableHead{}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_section_head_args(c.fields), c.head);
    }
}

TEST(AuthoredHeadArgs, RefusedHeads) {
    const Fields cases[] = {
        {"min="},
        {"min=-1"},
        {"max=18446744073709551616"},
        {"min=1x"},
        {"min=!"},
        {"a=!,b"},
        {"a=!|"},
        {"cust=/customers/c/*::id"},
        {"min=/customers/@c/*::id"},
        {"a=b=/t/@r/*::k"},
        {"cust"},
        {"ok=!", "bad"},
    };
    for (const auto& fields : cases) {
        EXPECT_FALSE(parse_section_head_args(fields)) << fields.front();
    }
}

TEST(BracketedHeadItems, ParsesEachItemKind) {
    struct Case {
        std::string_view text;
        TableHead head;
    };
    const Case cases[] = {
        {"[key::/[a-z]+/] [unique::id] [min=1]", TableHead{1, {}, {{unique({"id"})}}, "[a-z]+"}},
        {"[key::/a b\\/] c/]", TableHead{{}, {}, {}, "a b\\/] c"}},
        {"[unique::min,max]", TableHead{{}, {}, {{unique({"min", "max"})}}, {}}},
        {"[ref::min=/t/@r/*::max]", TableHead{{}, {}, {{reference("min", "/t/@r", "max")}}, {}}},
        {"[ref::\"a=b\"=/t/@r/*::\"x y\"]", TableHead{{}, {}, {{reference("a=b", "/t/@r", "x y")}}, {}}},
        {"[unique::a]|[ref::b=/t/@r/*::c]\t[max=5]",
         TableHead{{}, 5, {{unique({"a"}), reference("b", "/t/@r", "c")}}, {}}},
        {"[unique::\"a b\",c]", TableHead{{}, {}, {{unique({"a b", "c"})}}, {}}},
        {"", TableHead{}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_head_items(c.text), c.head) << c.text;
    }
}

TEST(BracketedHeadItems, RefusesMalformedText) {
    const std::string_view cases[] = {
        "[key::/abc",         "[key::/abc\\/]", "unique::id", "[unique::]", "[unique::a b]", "[ref::a/t/@r/*::c]",
        "[ref::a=/t/r/*::c]", "[min=x]",        "[min=]",     "[other::a]", "[unique::a]|",  "[unique::a",
    };
    for (std::string_view text : cases) {
        EXPECT_FALSE(parse_head_items(text)) << text;
    }
}

TEST(RenderHeadItems, WritesTheBracketedFormAndReadsItBack) {
    struct Case {
        TableHead head;
        std::string_view text;
    };
    const Case cases[] = {
        {TableHead{1, {}, {{unique({"id"})}}, "[a-z]+"}, "[key::/[a-z]+/] [unique::id] [min=1]"},
        {TableHead{2, 9, {{unique({"a", "b"}), reference("c", "/t/@r", "d")}}, {}},
         "[unique::a,b]|[ref::c=/t/@r/*::d] [min=2] [max=9]"},
        {TableHead{{}, {}, {{unique({"a b", "say\"x"})}}, {}}, "[unique::\"a b\",\"say\"\"x\"]"},
        {TableHead{{}, {}, {{reference("a b", "/t/@r", "x y")}}, {}}, "[ref::\"a b\"=/t/@r/*::\"x y\"]"},
        {TableHead{{}, 3, {}, {}}, "[max=3]"},
        {TableHead{}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(render_head_items(c.head), c.text);
        EXPECT_EQ(parse_head_items(c.text), c.head) << c.text;
    }
}

TEST(RenderHeadItems, AuthoredHeadsSurviveTheRoundTrip) {
    const Fields cases[] = {
        {"\"a b\"=!,c=!", "min=1"},
        {"\"col x\"=/orders/\"o o\"/@row/*::\"id\"\"x\"|k=!"},
        {"max=4", "r=/t/@r/*::min"},
    };
    for (const auto& fields : cases) {
        auto head = parse_section_head_args(fields);
        ASSERT_TRUE(head);
        EXPECT_EQ(parse_head_items(render_head_items(*head)), head) << render_head_items(*head);
    }
}

}  // namespace
}  // namespace bezo
