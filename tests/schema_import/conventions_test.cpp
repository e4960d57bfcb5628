#include "schema_import/conventions.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace bezo {
namespace {

TEST(PropertyKey, KeepsIdentifiersAndQuotesEverythingElse) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"id", "id"},
        {"rex", "rex"},
        {"Re", "Re"},
        {"re", "\"re\""},
        {"9lives", "\"9lives\""},
        {"a-b c", "\"a-b c\""},
        {"x\"y", "\"x\"\"y\""},
        {"\"", "\"\"\"\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
        {"a\tb", "\"a\tb\""},
        {"", std::nullopt},
        {"a\nb", std::nullopt},
        {std::string("a\0b", 3), std::nullopt},
    };
    for (const auto& [name, key] : cases) EXPECT_EQ(property_key(name), key) << name;
}

TEST(NameDebugForm, EscapesWhatCannotBeSeen) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "\"\""},
        {"a\nb", "\"a\\nb\""},
        {std::string("\t\r\0", 3), "\"\\t\\r\\0\""},
        {"say \"hi\" \\ 'x'", "\"say \\\"hi\\\" \\\\ 'x'\""},
        {"\x01\x7F", "\"\\u{1}\\u{7f}\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},                        // precomposed letter kept
        {"e\xCC\x81", "\"e\\u{301}\""},                            // combining acute accent
        {"\xE0\xA4\x95\xE0\xA4\xBE", "\"\xE0\xA4\x95\\u{93e}\""},  // spacing combining mark
        {"a\u200Bb", "\"a\\u{200b}b\""},                           // zero-width space (format)
        {"a\u00A0b\u2028", "\"a\\u{a0}b\\u{2028}\""},              // separators other than the blank
        {"\xEE\x80\x80", "\"\\u{e000}\""},                         // private use
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
    };
    for (const auto& [name, form] : cases) EXPECT_EQ(name_debug_form(name), form) << form;
}

TEST(NoteLines, TheJsonSchemaAndXsdWritersBlankLineBreaks) {
    std::string out;
    jsonschema_note_dropped(out, std::string("x\ny\rz\0w", 7));
    xsd_note_dropped(out, "a\rb");
    proto_note_dropped(out, "x\ny");
    EXPECT_EQ(out, "// dropped: x y z w\n// dropped: a b\n// dropped: x\ny\n");
}

TEST(ImportedSchema, HeaderListsEachLibraryOnceInByteOrder) {
    EXPECT_EQ(assemble_imported_schema("", {}, ""), ".!hezo \n\n");
    EXPECT_EQ(assemble_imported_schema("s", {"std/time", "std/net"}, "a=\n"),
              ".!hezo s\n.!types std/net\n.!types std/time\n\na=\n");
}

TEST(ImportedSchema, RefusesOnlyFieldPathsThatReadAsConstraints) {
    const std::pair<std::string_view, bool> cases[] = {
        {"// \n", true},
        {"// [0,10]\n// {a,b}\n// /x/\n//  \n", true},
        {"// dropped: /a::\"x/..y\"?=\n", true},
        {"//[0,10]\n", true},
        {"/a::x=\n", true},
        {"// ok\n/a::\"x/..y\"?=\n", false},
        {"/\"a/..b\"=\n", false},
    };
    for (const auto& [body, accepted] : cases) {
        const auto schema = assemble_imported_schema("s", {}, body);
        EXPECT_EQ(schema.has_value(), accepted) << body;
        if (!schema) {
            EXPECT_TRUE(schema.error().other().starts_with("unrepresentable field path: ")) << body;
        }
    }
}

TEST(IntegerText, ShiftsWithinTheSigned64BitRange) {
    struct Case {
        std::string text;
        std::int64_t step;
        PlusSign plus;
        std::optional<std::string> shifted;
    };
    const Case cases[] = {
        {"5", 1, PlusSign::Refused, "6"},
        {"-0", -1, PlusSign::Refused, "-1"},
        {"9223372036854775806", 1, PlusSign::Refused, "9223372036854775807"},
        {"9223372036854775807", 1, PlusSign::Refused, std::nullopt},
        {"-9223372036854775807", -1, PlusSign::Refused, "-9223372036854775808"},
        {"-9223372036854775808", -1, PlusSign::Refused, std::nullopt},
        {"-9223372036854775809", 1, PlusSign::Refused, std::nullopt},
        {"+7", 1, PlusSign::Refused, std::nullopt},
        {"+7", 1, PlusSign::Accepted, "8"},
        {"-", 1, PlusSign::Refused, std::nullopt},
        {"+", 1, PlusSign::Accepted, std::nullopt},
        {"+9223372036854775807", -1, PlusSign::Accepted, "9223372036854775806"},
    };
    for (const auto& c : cases) EXPECT_EQ(shift_decimal_i64(c.text, c.step, c.plus), c.shifted) << c.text;
}

TEST(ImportBudget, RefusesPastAMillionStepsOr64MiB) {
    ImportBudget budget;
    for (std::uint64_t step = 0; step < ImportBudget::kMaxSteps; ++step) ASSERT_TRUE(budget.charge_step());
    const auto over = budget.charge_step();
    ASSERT_FALSE(over);
    EXPECT_EQ(over.error().other(), "schema too large to import");
    EXPECT_TRUE(budget.charge_output(std::size_t{64} << 20));
    EXPECT_FALSE(budget.charge_output((std::size_t{64} << 20) + 1));
}

}  // namespace
}  // namespace bezo
