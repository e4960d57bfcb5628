#include "pipeline/infer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace bezo {
namespace {

struct InferCase {
    std::string canonical;
    std::string body;  // the schema after its ".!hezo s" line
};

// Texts the denormalizer never writes, read under the same rule.
TEST(InferMain, ReadsUnusualCanonicalTexts) {
    const std::vector<InferCase> cases = {
        {".!nezo\r\n  !int'::a=1\r\n\t!int'::b=2", "\n!int\na=\n!int\nb=\n"},
        {"!int'/@t/+1::a=1\n!int'/@t/1::b=2\n", "\n[/@t]\n!int\na=\n!int\nb=\n[]\n"},
        {"!int'/@t/x::a=1\n!int'/@t/0::b=2\n", "\n[/@t]\n!int\na=\n!int\nb=\n[]\n"},
        {"!int'/@t::x=1\n!int'/@t/0::a=1\n!int'\"a/@b\"::k=1\n",
         "\n// skipped (shape not expressible yet): /@t::x\n[/@t]\n!int\na=\n[]\n!int\n\"a/@b\"::k=\n"},
        {"!int'/@t/0::a=1\n!int'/@t/0/@u::0=1\n",
         "\n[/@t]\n!int\na=\n[]\n// skipped (shape not expressible yet): /@t/0/@u::0\n"},
        // Items and records of one array make a table of every item.
        {"!int'/@t::0=1\n!str'/@t/0::a=1\n!null'/@t::1=\n",
         "\n[/@t]\n// skipped (present on 1 of 2 elements): a\n[]\n"},
        // Items are counted once however their lines are spread.
        {"!int'/@t/1::a=1\n!int'/@t/0::a=1\n!int'/@t/1::b=1\n!null'/@t::2=\n!null'/@t::2=\n",
         "\n[/@t]\n// skipped (present on 2 of 3 elements): a\n// skipped (present on 1 of 3 elements): b\n[]\n"},
        {"!int'/@t/18446744073709551615::a=1\n!int'/@t::18446744073709551614=1\n!int'/@t::0=1\n",
         "\n[/@t]\n// skipped (present on 1 of 3 elements): a\n[]\n"},
        {"!:m/s'::v=1\n!std/time/date:s'::d=1\n", ".!types std/time\n\n!float:m/s\nv=\n!std/time/date:s\nd=\n"},
    };
    for (const auto& c : cases) {
        const auto schema = infer_main(c.canonical, "s");
        ASSERT_TRUE(schema) << c.canonical;
        EXPECT_EQ(*schema, ".!hezo s\n" + c.body) << c.canonical;
    }
}

TEST(InferMain, RefusesLinesThatAreNotContentLines) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  !int::a=1 \r\n", "not a canonical line: !int::a=1 "},
        {"!int['::a=1\n", "bad metadata prefix: !int['::a=1"},
        {"int'::a=1\n", "bad metadata prefix: int'::a=1"},
        {"\t!int'::\"a=1\n", "canonical line without =: !int'::\"a=1"},
        {".!nezo\n!int'::a=1\n!str", "not a canonical line: !str"},
        {"!int'::a\r\r\n", "canonical line without =: !int'::a\\u{d}"},
    };
    for (const auto& [canonical, message] : cases) {
        const auto schema = infer_main(canonical, "s");
        ASSERT_FALSE(schema) << canonical;
        EXPECT_EQ(schema.error(), Error::Other(message)) << canonical;
    }
}

TEST(InferMain, ARefusedLineIsQuotedAsAShortExcerpt) {
    const std::string long_text(1'000'000, 'x');
    for (const std::string& canonical :
         {long_text + "\n", "!int[" + long_text + "'::a=1\n", "!int'::a" + long_text + "\x1b\n"}) {
        const auto schema = infer_main(canonical, "s");
        ASSERT_FALSE(schema);
        const std::string& message = schema.error().other();
        EXPECT_LT(message.size(), 200u) << message;
        EXPECT_TRUE(message.ends_with("\u2026")) << message;
    }
}

struct FieldTypeCase {
    std::vector<std::string_view> types;
    std::string line;
    std::vector<std::string> libraries;
};

TEST(WriteFieldType, KeepsUnitsAndNamesLibraries) {
    const std::vector<FieldTypeCase> cases = {
        {{"float:m", "int:m"}, "!float:m|int:m\n", {}},
        {{"null"}, "!null|str\n", {}},
        {{"a/b/c", "x/y"}, "!a/b/c|x/y\n", {"a/b", "x"}},
        {{"null", "std/time/date"}, "!null|std/time/date\n", {"std/time"}},
    };
    for (const auto& c : cases) {
        LibrarySet libraries;
        EXPECT_EQ(write_field_type(c.types, libraries), c.line) << c.line;
        EXPECT_EQ(std::vector<std::string>(libraries.begin(), libraries.end()), c.libraries) << c.line;
    }
}

}  // namespace
}  // namespace bezo
