#include "schema/compiled.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

CompiledSchema read(std::string_view text) {
    auto schema = parse_compiled_schema(text);
    EXPECT_TRUE(schema.has_value()) << text << " -> " << (schema ? "" : error_display(schema.error()));
    return schema.value_or(CompiledSchema{});
}

TEST(CompiledSchemaReader, DeclarationAloneGivesAnEmptySchema) {
    const CompiledSchema schema = read(".!whezo\n");
    EXPECT_EQ(schema, CompiledSchema{});
    EXPECT_EQ(schema.provenance, ProvenanceLevel::Undeclared);
}

TEST(CompiledSchemaReader, StrictWordOnAnyDeclarationLine) {
    const struct {
        std::string_view text;
        bool strict;
    } cases[] = {
        {".!whezo shop strict\n", true},
        {".!whezo 1 shop\t strict  \n", true},
        {"/^/'/::a=\n  .!whezo strict\n", true},
        {".!whezo shop strict\r\n", true},
        {".!whezo shop strict\r", false},  // a final CR without LF stays part of the line
        {".!whezo shop strictly\n", false},
        {".!whezostrict\n", false},
        {".!whezo shop\n", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(c.text).strict, c.strict) << c.text;
    }
}

TEST(CompiledSchemaReader, ProvenanceLevels) {
    const struct {
        std::string_view text;
        ProvenanceLevel level;
    } cases[] = {
        {".!provenance:required\n", ProvenanceLevel::Required},
        {".!provenance:source\n", ProvenanceLevel::Source},
        {".!provenance: source \n", ProvenanceLevel::Source},
        {".!provenance:none\n", ProvenanceLevel::Prohibited},
        {".!provenance:none\n.!provenance:required\n", ProvenanceLevel::Required},
        {".!provenance source\n", ProvenanceLevel::Undeclared},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(c.text).provenance, c.level) << c.text;
    }
}

TEST(CompiledSchemaReader, FieldLines) {
    const CompiledSchema schema = read(
        ".!whezo shop\n"
        "!int /^-?[0-9]+$/ ..num [0,]'/::qty=1\n"
        "/^/'/\"a=b\"::name?=\n"
        "!str'/::note=?x \n"
        "\t  !bool {true,false}'/cfg::on?=true\r\n"
        "/^/'/::last=");
    ASSERT_EQ(schema.fields.size(), 5u);

    const SchemaField& qty = schema.fields[0];
    EXPECT_EQ(qty.path, "/::qty");
    EXPECT_FALSE(qty.optional);
    EXPECT_EQ(qty.value, "1");
    EXPECT_EQ(qty.metadata, "!int /^-?[0-9]+$/ ..num [0,]");
    EXPECT_EQ(qty.items.size(), 4u);

    EXPECT_EQ(schema.fields[1].path, "/\"a=b\"::name");
    EXPECT_TRUE(schema.fields[1].optional);
    EXPECT_EQ(schema.fields[1].value, "");

    EXPECT_FALSE(schema.fields[2].optional);
    EXPECT_EQ(schema.fields[2].value, "?x ");

    EXPECT_EQ(schema.fields[3].path, "/cfg::on");
    EXPECT_TRUE(schema.fields[3].optional);
    EXPECT_EQ(schema.fields[3].value, "true");

    EXPECT_EQ(schema.fields[4].path, "/::last");
}

TEST(CompiledSchemaReader, SkippedLines) {
    const CompiledSchema schema = read(
        "# a comment\n"
        "// a doc line\n"
        "\n"
        "   \t\n"
        ".?whatever it's\n"
        ".!schema:x\n"
        ".!x\n"
        ".!registry acme=/tmp\n");
    EXPECT_EQ(schema, CompiledSchema{});
}

TEST(CompiledSchemaReader, TablesAndDelegations) {
    const CompiledSchema schema = read(
        "/orders/@o [unique::id] [min=1]\n"
        "/m [key::/[a-z ]+/]\n"
        "/sub [schema::a| b]\n"
        "/one   [schema::]  \n");
    ASSERT_EQ(schema.tables.size(), 2u);
    EXPECT_EQ(schema.tables[0].path, "/orders/@o");
    EXPECT_EQ(schema.tables[0].head.min, 1u);
    ASSERT_EQ(schema.tables[0].head.groups.size(), 1u);
    EXPECT_EQ(schema.tables[1].head.key_pattern, "[a-z ]+");

    ASSERT_EQ(schema.delegations.size(), 2u);
    EXPECT_EQ(schema.delegations[0].path, "/sub");
    EXPECT_EQ(schema.delegations[0].names, (std::vector<std::string>{"a", " b"}));
    EXPECT_EQ(schema.delegations[1].names, (std::vector<std::string>{""}));
}

TEST(CompiledSchemaReader, RefusedLinesCarryTheirMessage) {
    const struct {
        std::string_view text;
        std::string message;
    } cases[] = {
        {".!provenance:always\n", "unknown provenance level: always"},
        {".!provenance:\n", "unknown provenance level: "},
        {".!provenance:  \t\n", "unknown provenance level: "},
        {"  /alone\n", "unsupported .whezo line (no ' delimiter): /alone"},
        {"word [min=1]\n", "unsupported .whezo line (no ' delimiter): word [min=1]"},
        {"/t/@r [nope]\n", "unsupported .whezo line (no ' delimiter): /t/@r [nope]"},
        {"/t/@r [schema::a\n", "unsupported .whezo line (no ' delimiter): /t/@r [schema::a"},
        {"  !int'/::a\n", "missing = on .whezo line: !int'/::a"},
        {"!int'/\"a=b\"::c\n", "missing = on .whezo line: !int'/\"a=b\"::c"},
        {"!int?src'/::a=\n", "bad constraint items: !int?src"},
        {"{a, b}'/::a=\n", "bad constraint items: {a, b}"},
        {"/t/@r [unique::it's]=x\n", "bad constraint items: /t/@r [unique::it"},  // an apostrophe makes a field line
    };
    for (const auto& c : cases) {
        const auto schema = parse_compiled_schema(c.text);
        ASSERT_FALSE(schema.has_value()) << c.text;
        EXPECT_EQ(schema.error(), Error::Other(c.message)) << c.text;
    }
}

TEST(CompiledSchemaLoader, ChecksTheDeclaration) {
    EXPECT_TRUE(load_compiled_schema(".!whezo shop\n!int'/::a=\n").has_value());
    EXPECT_TRUE(load_compiled_schema("#!/bin/tool\n.!whezo\n").has_value());
    const struct {
        std::string_view text;
        std::uint64_t line;
    } refused[] = {
        {"", 1}, {".!nezo\n", 1}, {".!whezox\n", 1}, {"!int'/::a=\n.!whezo\n", 1}, {"#!/bin/tool\n", 2},
    };
    for (const auto& c : refused) {
        const auto schema = load_compiled_schema(c.text);
        ASSERT_FALSE(schema.has_value()) << c.text;
        EXPECT_EQ(schema.error(), Error::Lex(LexErrorKind::FormatKind, c.line)) << c.text;
    }
    EXPECT_EQ(load_compiled_schema(".!whezo\n.!provenance:x\n").error(), Error::Other("unknown provenance level: x"));
}

}  // namespace
}  // namespace bezo
