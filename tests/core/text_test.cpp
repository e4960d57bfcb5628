#include "core/text.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace bezo {
namespace {

TEST(TextHelpers, ParseAsciiUnsigned) {
    EXPECT_EQ(parse_ascii_unsigned("0"), 0u);
    EXPECT_EQ(parse_ascii_unsigned("007"), 7u);
    EXPECT_EQ(parse_ascii_unsigned("18446744073709551615"), std::numeric_limits<std::uint64_t>::max());
    for (auto refused : {"", "+1", "-1", " 1", "1 ", "1a", "18446744073709551616"}) {
        EXPECT_EQ(parse_ascii_unsigned(refused), std::nullopt) << refused;
    }
}

TEST(TextHelpers, TrimBlanksAndTabsOnly) {
    EXPECT_EQ(trim_blanks(" \ta b\t "), "a b");
    EXPECT_EQ(trim_leading_blanks(" \ta "), "a ");
    EXPECT_EQ(trim_trailing_blanks(" a\t"), " a");
    EXPECT_EQ(trim_blanks("\na\r"), "\na\r");
    EXPECT_EQ(trim_blanks(" \t "), "");
}

TEST(TextHelpers, ClassifiersAndDecimalText) {
    for (auto ident : {"a", "_", "a_1", "Zz9"}) EXPECT_TRUE(is_plain_identifier(ident)) << ident;
    for (auto other : {"", "1a", "a-b", "a b", "é"}) EXPECT_FALSE(is_plain_identifier(other)) << other;
    EXPECT_EQ(hex_digit_value('7'), 7);
    EXPECT_EQ(hex_digit_value('f'), 15);
    EXPECT_EQ(hex_digit_value('F'), 15);
    EXPECT_EQ(hex_digit_value('g'), -1);
    EXPECT_EQ(hex_digit_value('\xC3'), -1);
    EXPECT_EQ(decimal_text(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
    EXPECT_EQ(decimal_text(-42), "-42");
}

}  // namespace
}  // namespace bezo
