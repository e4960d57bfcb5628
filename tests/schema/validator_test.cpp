#include "schema/validator.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

TEST(ParseCanonicalLines, KeepsLineNumbersAndTheMetadataThatMatters) {
    const auto lines =
        parse_canonical_lines(".!nezo\n# c\n\n  !int:km?src@t'/a::d=5\r\n!str'::\"k=v\"=x=y\n!str[0,1]?'::e=\n");
    ASSERT_TRUE(lines) << error_display(lines.error());
    ASSERT_EQ(lines->size(), 3u);
    const CanonicalLine& quantity = (*lines)[0];
    EXPECT_EQ(quantity.line, 4u);
    EXPECT_EQ(quantity.type_name, "int");
    EXPECT_EQ(quantity.path, "/a::d");
    EXPECT_EQ(quantity.value, "5");
    EXPECT_EQ(quantity.unit, "km");
    EXPECT_EQ(quantity.provenance, "src@t");
    EXPECT_EQ((*lines)[1].path, "::\"k=v\"");
    EXPECT_EQ((*lines)[1].value, "x=y");
    EXPECT_EQ((*lines)[1].provenance, std::nullopt);
    EXPECT_EQ((*lines)[2].type_name, "str");
    EXPECT_EQ((*lines)[2].provenance, "");
}

TEST(ParseCanonicalLines, RefusesLinesItCannotRead) {
    const struct {
        std::string_view text;
        std::string_view message;
    } cases[] = {
        {".!nezo\n\tplain\n", "canonical line without ' (line 2): plain"},
        {".!nezo\n!str'::\"a=1\n", "canonical line without = (line 2): !str'::\"a=1"},
        {".!nezo\n!str'::a=1\nint'::b=2\n", "bad metadata prefix (line 3): int"},
    };
    for (const auto& c : cases) {
        const auto lines = parse_canonical_lines(c.text);
        ASSERT_FALSE(lines) << c.text;
        EXPECT_EQ(error_display(lines.error()), c.message);
    }
}

}  // namespace
}  // namespace bezo
