#include "pipeline/expand.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

CompiledSchema schema_of(std::string_view text) {
    auto schema = parse_compiled_schema(text);
    EXPECT_TRUE(schema) << error_display(schema.error());
    return schema ? std::move(*schema) : CompiledSchema{};
}

TEST(ExpandWithSchema, ALineOutOfSchemaOrderEndsTheMerge) {
    // u comes first: t is present, b is added before u; the later t line
    // matches a field already passed and is copied as it stands.
    const auto schema = schema_of(".!whezo s\n!text'::t=\n/^/'::b?=2\n!text'::u=\n/^/'::c?=3\n");
    const auto expanded = expand_with_schema(".!nezo\n!str'::u=xy\n!str'::t=ab\n", schema, {});
    ASSERT_TRUE(expanded) << error_display(expanded.error());
    EXPECT_EQ(*expanded, ".!nezo\n!str'::b=2\n!text'::u=xy\n!str'::c=3\n!str'::t=ab\n");
}

TEST(ExpandWithSchema, AddedDefaultsStopAtTheLimit) {
    const auto schema = schema_of(".!whezo s\n/^/'/@t/::x?=" + std::string(100, 'd') + "\n/^/'/@t/::y=\n");
    std::string document = ".!nezo\n";
    for (int entry = 0; entry < 10; ++entry) document += "!str'/@t/" + std::to_string(entry) + "::y=1\n";
    // Each added line is 115 bytes.
    EXPECT_TRUE(expand_with_schema(document, schema, {}, 1150));
    const auto refused = expand_with_schema(document, schema, {}, 1149);
    ASSERT_FALSE(refused);
    EXPECT_EQ(error_display(refused.error()), "schema expansion too large: more than 1 GiB of added defaults");
}

TEST(ExpandWithSchema, ConvertsOnlyTheUnitSuffix) {
    // The line's unit text may stand again in its provenance, a pattern or
    // an alternative's unit; only the suffix that gives the unit changes.
    const auto schema = schema_of(".!whezo s\n!float:m'::d=\n");
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"!float:km?s:km re#x:km#", "!float:m?s:km re#x:km#"},
        {"!float:km|int:km", "!float:m|int:km"},
        {"!float:km:km", "!float:km:m"},
    };
    for (const auto& [metadata, converted] : cases) {
        const auto expanded = expand_with_schema(".!nezo\n" + std::string(metadata) + "'::d=1.5\n", schema, {});
        ASSERT_TRUE(expanded) << error_display(expanded.error());
        EXPECT_EQ(*expanded, ".!nezo\n" + std::string(converted) + "'::d=1500\n");
    }
}

TEST(ExpandWithSchema, ConvertedValuesStopAtTheLimit) {
    // 1e12 km is 1000000000000000 m, 11 bytes longer than ":km" and "1e12".
    const auto schema = schema_of(".!whezo s\n!float:m'::d=\n");
    EXPECT_TRUE(expand_with_schema(".!nezo\n!float:km'::d=1e12\n", schema, {}, 11));
    const auto refused = expand_with_schema(".!nezo\n!float:km'::d=1e12\n", schema, {}, 10);
    ASSERT_FALSE(refused);
    EXPECT_EQ(error_display(refused.error()), "schema expansion too large: converted values grew by more than 1 GiB");
}

}  // namespace
}  // namespace bezo
