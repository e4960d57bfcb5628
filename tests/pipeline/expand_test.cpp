#include "pipeline/expand.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

CompiledSchema schema_of(std::string_view text) {
    auto schema = parse_compiled_schema(text);
    EXPECT_TRUE(schema) << error_display(schema.error());
    return schema ? std::move(*schema) : CompiledSchema{};
}

struct ExpandCase {
    std::string_view name;
    std::string_view schema;
    std::string_view text;
    std::string_view expanded;
};

constexpr std::string_view kPlain = ".!whezo s\n!text'::t=\n/^/'::b?=2\n!text'::u=\n/^/'::c?=3\n";
constexpr std::string_view kTable = ".!whezo s\n/^/'/@r/::a=\n/^/'/@r/::k?=7\n/^/'/@r/::mm?=9\n/^/'::end?=e\n";

const ExpandCase kExpandCases[] = {
    // u comes first: the text is put in schema order, and every line is
    // rewritten under its field.
    {"line out of schema order", kPlain, ".!nezo\n!str'::u=xy\n!str'::t=ab\n",
     ".!nezo\n!text'::t=ab\n!str'::b=2\n!text'::u=xy\n!str'::c=3\n"},
    // The repeated line matches a field already passed: it and every later
    // matched line are copied as they stand.
    {"repeated line ends the merge", kPlain, ".!nezo\n!str'::t=ab\n!str'::t=cd\n!str'::u=xy\n",
     ".!nezo\n!text'::t=ab\n!str'::b=2\n!str'::c=3\n!str'::t=cd\n!str'::u=xy\n"},
    {"note inside an entry", kTable, ".!nezo\n!str'/@r/0::a=1\n.?mid\n!str'/@r/0::mm=3\n",
     ".!nezo\n!str'/@r/0::a=1\n.?mid\n!str'/@r/0::k=7\n!str'/@r/0::mm=3\n!str'::end=e\n"},
    {"notes between entries", kTable, ".!nezo\n!str'/@r/0::a=1\n.?one\n#two\n!str'/@r/1::a=2\n",
     ".!nezo\n!str'/@r/0::a=1\n!str'/@r/0::k=7\n!str'/@r/0::mm=9\n.?one\n#two\n!str'/@r/1::a=2\n!str'/@r/1::k=7\n"
     "!str'/@r/1::mm=9\n!str'::end=e\n"},
    {"entry out of order, its note moves with its line", kTable,
     ".!nezo\n!str'/@r/0::mm=3\n!str'/@r/0::z=0\n.?about a\n!str'/@r/0::a=1\n",
     ".!nezo\n.?about a\n!str'/@r/0::a=1\n!str'/@r/0::z=0\n!str'/@r/0::k=7\n!str'/@r/0::mm=3\n!str'::end=e\n"},
    // The repeated field follows the first, and is copied as it stands.
    {"field repeated in an entry", kTable, ".!nezo\n!str'/@r/0::a=1\n!str'/@r/0::mm=3\n!str'/@r/0::a=2\n",
     ".!nezo\n!str'/@r/0::a=1\n!str'/@r/0::a=2\n!str'/@r/0::k=7\n!str'/@r/0::mm=3\n!str'::end=e\n"},
    {"entry split by another line", kTable, ".!nezo\n!str'/@r/0::a=1\n!str'/@r/1::a=2\n!str'::z=0\n!str'/@r/0::mm=3\n",
     ".!nezo\n!str'/@r/0::a=1\n!str'/@r/0::k=7\n!str'/@r/0::mm=3\n!str'/@r/1::a=2\n!str'/@r/1::k=7\n"
     "!str'/@r/1::mm=9\n!str'::z=0\n!str'::end=e\n"},
};

// A record o, a simple-content record p, a table t with a "#text" column, a
// vector v, a table q of two optional columns, a table r with a required one.
constexpr std::string_view kShapes =
    ".!whezo s\n/^/'/o::x?=d\n/^/'/p::\"@c\"?=\n/^/'/p::\"#text\"?=\n/^/'/@t/::\"#text\"?=\n/^/'/@t/::k?=7\n"
    "/^/'/@v::=\n/^/'/@q/::k?=1\n/^/'/@q/::z?=2\n/^/'/@r/::a=\n";

const ExpandCase kLiftCases[] = {
    {"empty object at a record", kShapes, ".!nezo\n!std/enc/json'::o=e30\n",
     ".!nezo\n!str'/o::x=d\n!str\'/p::\"@c\"=\n!str\'/p::\"#text\"=\n"},
    {"empty array at a record stays", kShapes, ".!nezo\n!std/enc/json'::o=W10\n",
     ".!nezo\n!std/enc/json'::o=W10\n!str'/o::x=d\n!str\'/p::\"@c\"=\n!str\'/p::\"#text\"=\n"},
    {"empty array at a table stays", kShapes, ".!nezo\n!std/enc/json'::q=W10\n!str'/o::x=1\n",
     ".!nezo\n!std/enc/json'::q=W10\n!str'/o::x=1\n!str\'/p::\"@c\"=\n!str\'/p::\"#text\"=\n"},
    {"empty object as a table item", kShapes, ".!nezo\n!str'/o::x=1\n!std/enc/json'/@q::0=e30\n!str'/@q/1::k=5\n",
     ".!nezo\n!str'/o::x=1\n!str\'/p::\"@c\"=\n!str\'/p::\"#text\"=\n!str'/@q/0::k=1\n!str'/@q/0::z=2\n!str'/@q/"
     "1::k=5\n!str'/@q/1::z=2\n"},
    {"entry of nested members only", kShapes, ".!nezo\n!str'/o::x=1\n!str'/@q/0::k=5\n!str'/@q/1/n::k=5\n",
     ".!nezo\n!str'/o::x=1\n!str\'/p::\"@c\"=\n!str\'/p::\"#text\"=\n!str'/@q/0::k=5\n!str'/@q/0::z=2\n!str'/@q/1/"
     "n::k=5\n!str'/@q/1::k=1\n"
     "!str'/@q/1::z=2\n"},
    {"plain value at a simple-content record", kShapes, ".!nezo\n!str'/o::x=1\n!str'::p=5\n",
     ".!nezo\n!str'/o::x=1\n!str'/p::\"@c\"=\n!str'/p::\"#text\"=5\n"},
    {"scalar item of a table with a text column", kShapes, ".!nezo\n!str'/o::x=1\n!str'/@t::0=5\n",
     ".!nezo\n!str'/o::x=1\n!str\'/p::\"@c\"=\n!str\'/p::\"#text\"=\n!str'/@t/0::\"#text\"=5\n!str'/@t/0::k=7\n"},
    // Only XML leaves a count of one open.
    {"lone record without the XML mark", kShapes, ".!nezo\n!str'/o::x=1\n!str'/q::k=5\n!str'::v=3\n",
     ".!nezo\n!str'/o::x=1\n!str'/q::k=5\n!str'::v=3\n!str'/p::\"@c\"=\n!str'/p::\"#text\"=\n"},
    {"null without the XML mark", kShapes, ".!nezo\n!null'::o=\n",
     ".!nezo\n!null'::o=\n!str'/o::x=d\n!str\'/p::\"@c\"=\n!str\'/p::\"#text\"=\n"},
    {"lone record and scalar from XML", kShapes,
     ".!nezo\n.?xml\n!str'/o::x=1\n!str'/q::k=5\n!str'/q/n::k=6\n!str'::v=3\n",
     ".!nezo\n!str'/o::x=1\n!str'/p::\"@c\"=\n!str'/p::\"#text\"=\n!str'/@v::0=3\n!str'/@q/0::k=5\n"
     "!str'/@q/0/n::k=6\n!str'/@q/0::z=2\n"},
    {"empty elements from XML", kShapes, ".!nezo\n.?xml\n!null'::o=\n!null'::q=\n!null'::t=\n",
     ".!nezo\n!str'/o::x=d\n!str'/p::\"@c\"=\n!str'/p::\"#text\"=\n!str'/@t/0::\"#text\"=\n"
     "!str'/@t/0::k=7\n!str'/@q/0::k=1\n!str'/@q/0::z=2\n"},
    {"lone scalar of a table with a text column from XML", kShapes, ".!nezo\n.?xml\n!str'/o::x=1\n!str'::t=5\n",
     ".!nezo\n!str'/o::x=1\n!str\'/p::\"@c\"=\n!str\'/p::\"#text\"=\n!str'/@t/0::\"#text\"=5\n!str'/@t/0::k=7\n"},
    // The empty map keeps the element's provenance; without the mark null stays.
    {"empty element at a map from XML", ".!whezo s\n/^/'/o::x?=d\n/^/'/m::=\n", ".!nezo\n.?xml\n!null?src'::m=\n",
     ".!nezo\n!std/enc/json?src'::m=e30\n!str'/o::x=d\n"},
    {"null at a map without the XML mark", ".!whezo s\n/^/'/m::=\n", ".!nezo\n!null'::m=\n", ".!nezo\n!null'::m=\n"},
};

class ExpandCaseTest : public testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandCaseTest, Expands) {
    const ExpandCase& c = GetParam();
    const auto expanded = expand_with_schema(c.text, schema_of(c.schema), {});
    ASSERT_TRUE(expanded) << error_display(expanded.error());
    EXPECT_EQ(*expanded, c.expanded);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExpandCaseTest, testing::ValuesIn(kExpandCases), [](const auto& info) {
    std::string name;
    for (const char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});
INSTANTIATE_TEST_SUITE_P(Lifts, ExpandCaseTest, testing::ValuesIn(kLiftCases), [](const auto& info) {
    std::string name;
    for (const char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

TEST(ExpandWithSchema, AnEmptyEntryMeetsItsRequiredFields) {
    for (const std::string_view text :
         {".!nezo\n!str'/o::x=1\n!std/enc/json'/@r::0=e30\n!str'/@r/1::a=1\n",
          ".!nezo\n!str'/o::x=1\n!str'/@r/0::a=1\n!str'/@r/1/o::k=1\n", ".!nezo\n.?xml\n!str'/o::x=1\n!null'::r=\n"}) {
        const auto expanded = expand_with_schema(text, schema_of(kShapes), {});
        ASSERT_FALSE(expanded) << text;
        EXPECT_EQ(error_display(expanded.error()), "RequiredFieldSchemaError") << text;
    }
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
