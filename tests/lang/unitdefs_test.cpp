#include "lang/unitdefs.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

TEST(ParseUnitDefs, ReadsDefinitionsAliasesAndOpenUnits) {
    const Result<UnitDefs> defs = parse_unit_defs(
        ".!gezo 1 acme/length\n"
        "// feet and friends\n"
        "# a comment\n"
        ".!units other/module\n"
        "m 0.3048\n"
        "&foot=\n"
        "&ft=foot\n"
        "foot 3\n"
        "&yard=\n"
        "1 0.01\n"
        "&percent=\n"
        "$ @rates\n"
        "&~EUR=\n"
        "$\n"
        "m 1\n"
        "&metre=\n");
    ASSERT_TRUE(defs.has_value()) << error_debug(defs.error());
    EXPECT_EQ(defs->name, "acme/length");
    const UserUnits expected{
        {"foot", {"m", "0.3048", std::nullopt, std::nullopt}}, {"ft", {"m", "0.3048", std::nullopt, "foot"}},
        {"metre", {"m", "1", std::nullopt, std::nullopt}},     {"percent", {"1", "0.01", std::nullopt, std::nullopt}},
        {"yard", {"foot", "3", std::nullopt, std::nullopt}},   {"~EUR", {"$", std::nullopt, "rates", std::nullopt}},
    };
    EXPECT_EQ(defs->units, expected);
}

TEST(ParseUnitDefs, NameComesFromTheLastNamingDeclaration) {
    const struct {
        std::string_view text;
        std::string_view name;
    } cases[] = {
        {".!gezo 1 acme/empty\n", "acme/empty"},
        {".!gezo acme/a\n.!gezo acme/b\n", "acme/b"},
        {".!gezo acme/a\n.!gezo 1\n", "acme/a"},
        {".!gezo 1.0.0 acme/a trailing words\n", "acme/a"},
    };
    for (const auto& c : cases) {
        const Result<UnitDefs> defs = parse_unit_defs(c.text);
        ASSERT_TRUE(defs.has_value()) << c.text;
        EXPECT_EQ(defs->name, c.name);
        EXPECT_TRUE(defs->units.empty());
    }
}

struct UnitDefsFailure {
    std::string_view text;
    Error error;
};

TEST(ParseUnitDefs, RefusesMalformedModules) {
    const UnitDefsFailure cases[] = {
        {"", Error::Lex(LexErrorKind::FormatKind, 1)},
        {"m 1\n&a=\n", Error::Lex(LexErrorKind::FormatKind, 1)},
        {".!gezo 1\n", Error::Lex(LexErrorKind::FormatKind, 1)},
        {".!gezo x\n&~usd=\n", Error::Lex(LexErrorKind::InvalidKey, 2)},
        {".!gezo x\nm 1\n&foot=\n&foot=\n", Error::Other("definition &foot= has no dimension line above it")},
        {".!gezo x\nm 1\n&foot=\nm 2\n&foot=\n", Error::Other("duplicate unit definition in .gezo: &foot")},
        {".!gezo x\nm 1\n&foot=\n&ft=foot\n&ft=foot\n", Error::Other("duplicate unit definition in .gezo: &ft")},
        {".!gezo x\n&ft=foot\nm 1\n&foot=\n", Error::Other("alias &ft=foot has no target")},
        {".!gezo x\nm 1\n&foot=\nm 2\n&ft=foot\n",
         Error::Other("alias &ft=foot is preceded by a dimension line that defines nothing")},
        {".!gezo x\n&a=\n", Error::Other("definition &a= has no dimension line above it")},
        {".!gezo x\nkm -1.5\n&a=\n", Error::Other("bad definition line in .gezo: km -1.5")},
        {".!gezo x\nkm 1.\n&a=\n", Error::Other("bad definition line in .gezo: km 1.")},
        {".!gezo x\nkm .5\n&a=\n", Error::Other("bad definition line in .gezo: km .5")},
        {".!gezo x\nkm 1e\n&a=\n", Error::Other("bad definition line in .gezo: km 1e")},
        {".!gezo x\nkm 1.5 x\n&a=\n", Error::Other("bad definition line in .gezo: km 1.5 x")},
        {".!gezo x\nkm\n&a=\n", Error::Other("bad definition line in .gezo: km")},
        {".!gezo x\nyard 3\n&a=\n", Error::Other("unknown unit in .gezo dimension: yard")},
        {".!gezo x\nm 1\n&m2=\n", Error::Other("invalid unit name in .gezo: &m2 (unit-name is 1*ALPHA)")},
        {".!gezo x\nfoo=bar\n", Error::Other("unexpected .gezo content line: foo")},
        {".!gezo x\n[/a/@b]\n", Error::Other("unsupported .gezo line: SectionOpen(\"/a/@b\")")},
        {".!gezo x\nm 1\n", Error::Other("trailing dimension line in .gezo with no &name= definition")},
        {"m 1\n", Error::Other("trailing dimension line in .gezo with no &name= definition")},
    };
    for (const UnitDefsFailure& c : cases) {
        const Result<UnitDefs> defs = parse_unit_defs(c.text);
        ASSERT_FALSE(defs.has_value()) << c.text;
        EXPECT_EQ(defs.error(), c.error) << c.text << " gave " << error_debug(defs.error());
    }
}

TEST(ParseUnitDefs, LaterDimensionLineReplacesAnUnusedOne) {
    const Result<UnitDefs> defs = parse_unit_defs(".!gezo x\nm 2\nkm 1.5\n&a=\n");
    ASSERT_TRUE(defs.has_value());
    EXPECT_EQ(defs->units.at("a").unit, "km");
    EXPECT_EQ(defs->units.at("a").quantity, "1.5");
}

}  // namespace
}  // namespace bezo
