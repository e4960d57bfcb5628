#include "schema/types.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "schema/check.hpp"

namespace bezo {
namespace {

constexpr std::string_view kIntPattern = "/^-?[0-9]+$/";
constexpr std::string_view kFloatPattern = "/^-?[0-9]*\\.?[0-9]+([eE][+-]?[0-9]+)?$/";
constexpr std::string_view kB64Pattern = "/^([A-Za-z0-9_-]{4})*([A-Za-z0-9_-]{2,3})?$/";

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : " ") + item;
    }
    return text;
}

Annotation annotation_of(std::string_view text) {
    auto annotation = parse_annotation(text);
    EXPECT_TRUE(annotation.has_value()) << text;
    return annotation.value_or(Annotation{});
}

// A resolver that knows one preloaded library, "acme/t".
class TypeLowering : public ::testing::Test {
protected:
    TypeLowering() {
        resolver_.preload_module_text("acme/t", "yezo",
                                      ".!yezo acme/t\n"
                                      "/^[a-z]+$/\n"
                                      "&word=abc\n"
                                      "!acme/t/word\n"
                                      "{abc,abcd} #[1,5]\n"
                                      "&short=ab\n"
                                      "&word [2,]\n"
                                      "&ref=\n"
                                      "&loop\n"
                                      "&loop=\n"
                                      "!acme/t/pong\n"
                                      "&ping=\n"
                                      "!acme/t/ping\n"
                                      "&pong=\n"
                                      "!int:km\n"
                                      "&distance=\n");
        resolver_.preload_module_text("acme/wide", "yezo", doubling_library(30));
    }

    // A library whose every type refers twice to the next: within the depth
    // limit, yet expanding to 2^levels copies of the last type's pattern.
    static std::string doubling_library(int levels) {
        std::string text = ".!yezo acme/wide\n/x/\n&t" + std::to_string(levels) + "=\n";
        for (int level = levels - 1; level >= 0; --level) {
            const std::string next = "&t" + std::to_string(level + 1);
            text += next + " " + next + "\n&t" + std::to_string(level) + "=\n";
        }
        return text;
    }

    Result<LoweredType> lower(std::string_view text) { return lower_field_type(annotation_of(text), resolver_, {}); }

    std::string lowered_text(std::string_view text) {
        const auto lowered = lower(text);
        EXPECT_TRUE(lowered.has_value()) << text << " -> " << (lowered ? "" : error_display(lowered.error()));
        return lowered ? joined(lowered->items) : std::string();
    }

    Resolver resolver_;
};

TEST_F(TypeLowering, BuiltInAndLibraryTypes) {
    const struct {
        std::string_view annotation;
        std::string items;
    } cases[] = {
        {"!int", "!int " + std::string(kIntPattern) + " ..num"},
        {"!int[0,10]", "!int " + std::string(kIntPattern) + " ..num [0,10]"},
        {"!std/net/port[1,]", "!std/net/port " + std::string(kIntPattern) + " ..num [0,65535] [1,]"},
        {"!bool", "!bool {true,false}"},
        {"!str", "!str"},
        {"!text", "!text"},
        {"!str(/a b/)", "!str /a b/"},
        {"!map", "/^/"},
        {"!map<int>", "/^/"},
        {"!std/time/date", "!std/time/date /^\\d{4}-\\d{2}-\\d{2}$/ ..time"},
        {"!std/net/hostname",
         "!std/net/hostname " + std::string("/^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                                            "(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$/ #[1,253]")},
        {"!int:km", "!int:km " + std::string(kIntPattern) + " ..num"},
        {"!float:h^-1*km", "!float:km/h " + std::string(kFloatPattern) + " ..num"},
        {"!acme/t/short", "!acme/t/short /^[a-z]+$/ {abc,abcd} #[1,5]"},
        {"!acme/t/ref{x}", "!acme/t/ref /^[a-z]+$/ [2,] {x}"},
        {"!acme/t/distance", "!acme/t/distance:km " + std::string(kIntPattern) + " ..num"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lowered_text(c.annotation), c.items) << c.annotation;
    }
}

// An annotation without a type name, as a field holding only constraints.
Annotation unnamed(std::vector<Constraint> constraints) {
    Annotation annotation;
    annotation.constraints = std::move(constraints);
    return annotation;
}

TEST_F(TypeLowering, FieldsWithoutATypeName) {
    const struct {
        Annotation annotation;
        std::string items;
    } cases[] = {
        {unnamed({}), "/^/"},
        {unnamed({Constraint{Constraint::Span{"..lex[de]"}}}), "..lex[de]"},
        {unnamed({Constraint{Constraint::Length{Constraint::Range{"1", "3"}}}}), "/^/ #[1,3]"},
        {unnamed({Constraint{Constraint::Pattern{""}}}), "/^/ //"},
    };
    for (const auto& c : cases) {
        const auto lowered = lower_field_type(c.annotation, resolver_, {});
        ASSERT_TRUE(lowered.has_value());
        EXPECT_EQ(joined(lowered->items), c.items);
    }
}

TEST_F(TypeLowering, CandidatesOutermostFirst) {
    const auto lowered = lower("!acme/t/short");
    ASSERT_TRUE(lowered.has_value());
    EXPECT_EQ(lowered->candidates, (std::vector<std::string>{"ab", "abc"}));
    EXPECT_EQ(lower("!int")->candidates, (std::vector<std::string>{""}));
    EXPECT_TRUE(lower("!str")->candidates.empty());
}

TEST_F(TypeLowering, ByteLengthsOfBase64TypesBecomeTextLengths) {
    const struct {
        std::string_view annotation;
        std::string length;
    } cases[] = {
        {"!std/enc/bin#[1,3]", "#[2,4]"},
        {"!std/enc/bin#[0,]", "#[0,]"},
        {"!std/enc/json#[,+5]", "#[,7]"},
        {"!std/enc/bin#{1,x,4}", "#{2,x,6}"},
        {"!std/enc/bin#[x,3]", "#[x,4]"},  // kept as written: dropping it would widen the range
        {"!std/enc/bin#[1,18446744073709551615]", "#[2,24595658764946068820]"},
        {"!std/enc/bin#[1,18446744073709551616]", "#[2,18446744073709551616]"},
        {"!b64#[3,3]", "#[4,4]"},
    };
    for (const auto& c : cases) {
        const std::string items = lowered_text(c.annotation);
        EXPECT_TRUE(items.ends_with(std::string(kB64Pattern) + " " + c.length)) << c.annotation << " -> " << items;
    }
    EXPECT_EQ(lowered_text("!str#[1,3]"), "!str #[1,3]");
}

TEST_F(TypeLowering, UnionsLowerToOneInlineItem) {
    const struct {
        std::string_view annotation;
        std::string item;
    } cases[] = {
        {"!int|float", "!int(" + std::string(kIntPattern) + "..num)|float(" + std::string(kFloatPattern) + "..num)"},
        {"!int[0,5]|str", "!int(" + std::string(kIntPattern) + "..num[0,5])|str"},
        {"!int:km|float:m/s",
         "!int:km(" + std::string(kIntPattern) + "..num)|float:m/s(" + std::string(kFloatPattern) + "..num)"},
        {"!float|std/num/inf", "!float(" + std::string(kFloatPattern) + "..num)|std/num/inf({inf,-inf})"},
        {"!std/enc/bin#[1,3]|str", "!std/enc/bin(" + std::string(kB64Pattern) + "#[2,4])|str"},
        {"!str(..lex)[a,m]|int", "!str([a,m]..lex)|int(" + std::string(kIntPattern) + "..num)"},
        {"!str(..lex..ver)[a,m]|int", "!str(..lex..ver[a,m])|int(" + std::string(kIntPattern) + "..num)"},
        {"!str(..ver..lex)[a,m]{x}|int", "!str([a,m]{x}..ver..lex)|int(" + std::string(kIntPattern) + "..num)"},
        {"!str(..lex){a,b}[a,m]|int", "!str(..lex{a,b}[a,m])|int(" + std::string(kIntPattern) + "..num)"},
    };
    for (const auto& c : cases) {
        const auto lowered = lower(c.annotation);
        ASSERT_TRUE(lowered.has_value()) << c.annotation;
        EXPECT_EQ(lowered->items, std::vector<std::string>{c.item}) << c.annotation;
        EXPECT_TRUE(lowered->candidates.empty());
    }
}

// The range constraints of all members of an annotation.
std::size_t range_count(const Annotation& annotation) {
    const auto ranges = [](const std::vector<Constraint>& constraints) {
        return std::ranges::count_if(
            constraints, [](const Constraint& c) { return std::holds_alternative<Constraint::Range>(c.value); });
    };
    std::size_t count = ranges(annotation.constraints);
    for (const Alternative& alternative : annotation.alternatives) {
        count += ranges(alternative.constraints);
    }
    return count;
}

TEST_F(TypeLowering, LoweredUnionsReadBackAndCheck) {
    for (std::string_view text : {"!str(..lex)[a,m]|int", "!str(..lex[de])[a,m]|int", "!int[0,5]|str(..ver)[1.2,]",
                                  "!str(..ver..lex)[a,m]|int"}) {
        const auto lowered = lower(text);
        ASSERT_TRUE(lowered.has_value()) << text;
        const auto items = split_annotation_line(lowered->items.at(0));
        ASSERT_TRUE(items.has_value()) << lowered->items.at(0);
        EXPECT_TRUE(check_lex_locales(*items)) << lowered->items.at(0);
        EXPECT_EQ(range_count(std::get<Annotation>(items->at(0).value)), range_count(annotation_of(text)))
            << lowered->items.at(0);
    }
    const auto items = split_annotation_line(lower("!str(..lex)[a,m]|int")->items.at(0));
    PatternCache patterns;
    const CanonicalLine inside{"str", "/::f", "b", std::nullopt, std::nullopt, 1};
    const CanonicalLine outside{"str", "/::f", "z", std::nullopt, std::nullopt, 1};
    EXPECT_TRUE(check_field_value(*items, inside, patterns).passed());
    EXPECT_EQ(check_field_value(*items, outside, patterns), CheckResult::fail(AppErrorKind::ConstraintViolation));
}

TEST_F(TypeLowering, Errors) {
    const struct {
        std::string_view annotation;
        Error error;
    } cases[] = {
        {"!nosuch", Error::Other("unresolvable type in schema: !nosuch")},
        {"!int|nosuch", Error::Other("unresolvable type in schema: !nosuch")},
        {"!acme/t/none", Error::App(AppErrorKind::SchemaResolution)},
        {"!other/t/x", Error::App(AppErrorKind::SchemaResolution)},
        {"!text:km", Error::Other("unit annotation on a non-numeric type: !text")},
        {"!str:km", Error::Other("unit annotation on a non-numeric type: !str")},
        {"!:km", Error::Other("unit annotation on a non-numeric type: !")},
        {"!text:km|int", Error::Other("unit annotation on a non-numeric union alternative: text:km")},
        {"!int|bool:m", Error::Other("unit annotation on a non-numeric union alternative: bool:m")},
        {"!acme/t/loop", Error::Other("type-definition recursion too deep (cycle?)")},
        {"!acme/t/ping", Error::Other("type-definition recursion too deep (cycle?)")},
        {"!acme/wide/t0", Error::Other("type-definition expansion too large")},
        {"!int|acme/wide/t0", Error::Other("type-definition expansion too large")},
    };
    for (const auto& c : cases) {
        const auto lowered = lower(c.annotation);
        ASSERT_FALSE(lowered.has_value()) << c.annotation;
        EXPECT_EQ(error_display(lowered.error()), error_display(c.error)) << c.annotation;
        EXPECT_EQ(lowered.error(), c.error) << c.annotation;
    }
}

TEST_F(TypeLowering, UnitsThatDoNotParseAreRefused) {
    Annotation annotation = annotation_of("!int");
    annotation.unit = "k m";
    EXPECT_EQ(lower_field_type(annotation, resolver_, {}).error(), Error::Other("invalid unit expression: k m"));
    EXPECT_EQ(lower_union_alternatives("int", {}, "k m", resolver_, {}).error(),
              Error::Other("invalid unit expression: k m"));
}

TEST_F(TypeLowering, TypeItemsAlone) {
    const auto items = lower_type_items(annotation_of("!int[1,]"), resolver_, {});
    ASSERT_TRUE(items.has_value());
    EXPECT_EQ(joined(*items), "!int " + std::string(kIntPattern) + " ..num [1,]");
}

TEST_F(TypeLowering, NumericAndBooleanTypeNames) {
    const struct {
        std::string_view name;
        ValueClass value_class;
    } cases[] = {
        {"int", ValueClass::Numeric},
        {"float", ValueClass::Numeric},
        {"std/net/port", ValueClass::Numeric},
        {"acme/t/distance", ValueClass::Numeric},
        {"bool", ValueClass::Boolean},
        {"text", ValueClass::Other},
        {"str", ValueClass::Other},
        {"std/time/date", ValueClass::Other},
        {"nosuch", ValueClass::Other},
        {"acme/t/loop", ValueClass::Other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(type_orders_numerically(c.name, resolver_, {}), c.value_class) << c.name;
    }
}

TEST(ClassifyValueType, FirstTellingItemDecides) {
    const struct {
        std::string_view items;
        ValueClass value_class;
    } cases[] = {
        {"{false,true}", ValueClass::Boolean},
        {"{true,false}", ValueClass::Boolean},
        {"..num {true,false}", ValueClass::Numeric},
        {"{true,false} ..num", ValueClass::Boolean},
        {"!int /^-?[0-9]+$/ ..num", ValueClass::Numeric},
        {"!float", ValueClass::Numeric},
        {"!bool {true,false}", ValueClass::Boolean},
        {"!std/net/port /^-?[0-9]+$/ ..num [0,65535]", ValueClass::Numeric},
        {"!int|float", ValueClass::Other},
        {"!str", ValueClass::Other},
        {"{true,false,null}", ValueClass::Other},
        {"/x/ [0,1] #[1,2] &r ..time", ValueClass::Other},
        {"", ValueClass::Other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classify_value_type(*split_annotation_line(c.items)), c.value_class) << c.items;
    }
}

TEST(CheckLexLocales, PatternsAndCollationTags) {
    const struct {
        std::string_view items;
        bool usable;
    } cases[] = {
        {"/a/ ..lex[de-DE]", true}, {"..lex ..num &ref", true}, {"!str(..lex[zh-Hant-TW])", true},
        {"/a{2,1}/", false},        {"..lex[de-]", false},      {"!str(..lex[a])|int", false},
        {"!int|str(/(/)", false},   {"!int(/a{2,1}/)", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(check_lex_locales(*split_annotation_line(c.items)), c.usable) << c.items;
    }
}

TEST(Base64LengthBound, UnpaddedEncodedLength) {
    const struct {
        std::optional<std::string_view> bound;
        std::optional<std::string> length;
    } cases[] = {
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"-3", std::nullopt},
        {"1a", std::nullopt},
        {"18446744073709551616", std::nullopt},
        {"0", "0"},
        {"1", "2"},
        {"2", "3"},
        {"3", "4"},
        {"+4", "6"},
        {"007", "10"},
        {"18446744073709551615", "24595658764946068820"},
        {"18446744073709551614", "24595658764946068819"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(base64_length_bound(c.bound), c.length) << c.bound.value_or("(absent)");
    }
}

TEST(RenderSchemaConstraint, WritesItemTexts) {
    for (std::string_view text :
         {"/a\\/b/", "//", "[,5]", "[1,]", "[,]", "{a,,b}", "#{1,2}", "#[1,]", "..num", "..lex[de]"}) {
        const auto items = split_annotation_line(text);
        ASSERT_TRUE(items.has_value() && items->size() == 1) << text;
        EXPECT_EQ(render_schema_constraint(std::get<Constraint>(items->front().value)), text);
    }
}

}  // namespace
}  // namespace bezo
