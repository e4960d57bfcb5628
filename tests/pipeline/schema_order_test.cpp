#include "pipeline/schema_order.hpp"

#include <gtest/gtest.h>

#include "schema/compiled.hpp"

namespace bezo {
namespace {

// Fields a, b, a map m, a table t with x and y, c, and an array l.
constexpr std::string_view kSchema =
    ".!whezo s\n/^/'::a=\n/^/'::b=\n/^/'/m::=\n/^/'/@t/::x=\n/^/'/@t/::y=\n/^/'::c=\n/^/'/@l::=\n";

struct OrderCase {
    std::string_view name;
    std::string_view text;
    std::string_view ordered;  // empty when the text is already in order
};

const OrderCase kCases[] = {
    {"in order", ".!nezo\n!str'::a=1\n!str'::b=2\n", ""},
    {"undeclared lines anywhere, declared in order", ".!nezo\n!str'::z=0\n!str'::a=1\n!str'::w=9\n!str'::c=2\n", ""},
    {"two fields swapped", ".!nezo\n!str'::b=2\n!str'::a=1\n", ".!nezo\n!str'::a=1\n!str'::b=2\n"},
    {"head and tail stay", ".!nezo\n.!schema:s\n#top\n!str'::b=2\n!str'::a=1\n#end\n",
     ".!nezo\n.!schema:s\n#top\n!str'::a=1\n!str'::b=2\n#end\n"},
    {"notes move with the line after them", ".!nezo\n!str'::b=2\n.?one\n\n.?two\n!str'::a=1\n",
     ".!nezo\n.?one\n\n.?two\n!str'::a=1\n!str'::b=2\n"},
    {"undeclared lines keep their places", ".!nezo\n!str'::c=3\n!str'::z=0\n!str'::b=2\n!str'::w=9\n!str'::a=1\n",
     ".!nezo\n!str'::a=1\n!str'::z=0\n!str'::b=2\n!str'::w=9\n!str'::c=3\n"},
    {"map entries keep their order", ".!nezo\n!str'/m::k2=2\n!str'::a=1\n!str'/m::k1=1\n",
     ".!nezo\n!str'::a=1\n!str'/m::k2=2\n!str'/m::k1=1\n"},
    {"fields of an entry", ".!nezo\n!str'/@t/0::y=1\n!str'/@t/0::x=2\n!str'/@t/1::x=3\n",
     ".!nezo\n!str'/@t/0::x=2\n!str'/@t/0::y=1\n!str'/@t/1::x=3\n"},
    {"entries by index", ".!nezo\n!str'/@t/1::x=1\n!str'/@t/0::x=0\n", ".!nezo\n!str'/@t/0::x=0\n!str'/@t/1::x=1\n"},
    {"table gathered where it first stood",
     ".!nezo\n!str'/@t/0::x=0\n!str'::c=3\n!str'/@t/0::y=1\n!str'/@t/1::x=1\n!str'::a=1\n",
     ".!nezo\n!str'::a=1\n!str'/@t/0::x=0\n!str'/@t/0::y=1\n!str'/@t/1::x=1\n!str'::c=3\n"},
    {"undeclared line between entries leaves the table", ".!nezo\n!str'/@t/0::x=0\n!str'::z=9\n!str'/@t/1::x=1\n",
     ".!nezo\n!str'/@t/0::x=0\n!str'/@t/1::x=1\n!str'::z=9\n"},
    {"lines of an entry naming no field keep their places",
     ".!nezo\n!str'/@t/0::y=1\n!str'/@t/0::w=5\n!str'/@t/0/o::k=6\n!str'/@t/0::x=2\n",
     ".!nezo\n!str'/@t/0::x=2\n!str'/@t/0::w=5\n!str'/@t/0/o::k=6\n!str'/@t/0::y=1\n"},
    {"line below the table naming no entry stays in its entry",
     ".!nezo\n!str'/@t/1::x=1\n!str'/@t/1/o::k=6\n!str'/@t/0::x=0\n",
     ".!nezo\n!str'/@t/0::x=0\n!str'/@t/1::x=1\n!str'/@t/1/o::k=6\n"},
    {"repeated line keeps its order", ".!nezo\n!str'::b=1\n!str'::a=2\n!str'::b=3\n",
     ".!nezo\n!str'::a=2\n!str'::b=1\n!str'::b=3\n"},
    {"CR LF endings kept", ".!nezo\r\n!str'::b=2\r\n.?n\r\n!str'::a=1\r\n",
     ".!nezo\r\n.?n\r\n!str'::a=1\r\n!str'::b=2\r\n"},
    {"last line without ending moved ahead", ".!nezo\n!str'::b=2\n!str'::a=1", ".!nezo\n!str'::a=1\n!str'::b=2\n"},
    {"last line without CR LF moved ahead", ".!nezo\r\n!str'::b=2\r\n!str'::a=1",
     ".!nezo\r\n!str'::a=1\r\n!str'::b=2\r\n"},
    {"no content lines", ".!nezo\n.?only\n", ""},
    // A collection moves whole: its items that are no record stay among its
    // records, in index order.
    {"items among records move with the table",
     ".!nezo\n!str'::c=3\n!str'/@t::0=e30\n!str'/@t/1::y=1\n!null'/@t::2=\n!str'/@t/3::x=2\n!str'::a=1\n",
     ".!nezo\n!str'::a=1\n!str'/@t::0=e30\n!str'/@t/1::y=1\n!null'/@t::2=\n!str'/@t/3::x=2\n!str'::c=3\n"},
    {"table opened by an item", ".!nezo\n!str'::c=3\n!str'/@t::0=5\n!str'/@t/1::x=1\n",
     ".!nezo\n!str'/@t::0=5\n!str'/@t/1::x=1\n!str'::c=3\n"},
    {"table holding only items", ".!nezo\n!str'::c=3\n!null'/@t::0=\n!str'::a=1\n",
     ".!nezo\n!str'::a=1\n!null'/@t::0=\n!str'::c=3\n"},
    {"records among an array's members", ".!nezo\n!str'/@l::0=1\n!str'/@l/1::x=2\n!str'/@l::2=3\n!str'::a=1\n",
     ".!nezo\n!str'::a=1\n!str'/@l::0=1\n!str'/@l/1::x=2\n!str'/@l::2=3\n"},
    {"nested arrays stay in their record",
     ".!nezo\n!str'/@t/0::y=1\n!str'/@t/0/@n::0=p\n!str'/@t/0/@n/1::k=q\n!str'/@t/0::x=2\n!str'::a=1\n",
     ".!nezo\n!str'::a=1\n!str'/@t/0::x=2\n!str'/@t/0/@n::0=p\n!str'/@t/0/@n/1::k=q\n!str'/@t/0::y=1\n"},
    {"undeclared collection kept whole", ".!nezo\n!str'::b=2\n!str'/@u::0=1\n!str'::a=1\n!str'/@u/1::k=2\n",
     ".!nezo\n!str'::a=1\n!str'/@u::0=1\n!str'/@u/1::k=2\n!str'::b=2\n"},
    {"quoted segment is no array", ".!nezo\n!str'::b=2\n!str'/\"@u\"::0=1\n!str'::a=1\n",
     ".!nezo\n!str'::a=1\n!str'/\"@u\"::0=1\n!str'::b=2\n"},
    // No line moves above a directive it followed; a line above one may
    // move below it.
    {"no line moves above a directive", ".!nezo\n!str'::c=3\n.!units u\n!str'::b=2\n!str'::a=1\n",
     ".!nezo\n.!units u\n!str'::a=1\n!str'::b=2\n!str'::c=3\n"},
    {"lines before a directive ordered apart", ".!nezo\n!str'::b=2\n!str'::a=1\n.!registry r=d\n!str'::c=3\n",
     ".!nezo\n!str'::a=1\n!str'::b=2\n.!registry r=d\n!str'::c=3\n"},
    {"lines without content move with their directive",
     ".!nezo\n!str'::b=2\n.?n\n.!units u\n#c\n!str'::c=3\n!str'::a=1\n",
     ".!nezo\n.?n\n.!units u\n#c\n!str'::a=1\n!str'::b=2\n!str'::c=3\n"},
    {"a table split by a directive", ".!nezo\n!str'/@t/0::y=1\n.!units u\n!str'/@t/1::x=2\n!str'::a=1\n",
     ".!nezo\n.!units u\n!str'::a=1\n!str'/@t/0::y=1\n!str'/@t/1::x=2\n"},
    {"two directives, lines from both sides", ".!nezo\n!str'::c=3\n.!units u\n!str'::b=2\n.!units v\n!str'::a=1\n",
     ".!nezo\n.!units u\n.!units v\n!str'::a=1\n!str'::b=2\n!str'::c=3\n"},
    {"directives only between lines in order", ".!nezo\n!str'::a=1\n.!units u\n.!units v\n!str'::b=2\n", ""},
};

class SchemaOrderTest : public testing::TestWithParam<OrderCase> {};

TEST_P(SchemaOrderTest, Orders) {
    const OrderCase& c = GetParam();
    auto schema = parse_compiled_schema(kSchema);
    ASSERT_TRUE(schema) << error_display(schema.error());
    const SchemaFieldIndex index(schema->fields);
    const auto ordered = order_by_schema(c.text, index);
    if (c.ordered.empty()) {
        EXPECT_FALSE(ordered) << *ordered;
    } else {
        ASSERT_TRUE(ordered);
        EXPECT_EQ(*ordered, c.ordered);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SchemaOrderTest, testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

}  // namespace
}  // namespace bezo
