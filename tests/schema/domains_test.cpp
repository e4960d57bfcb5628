#include "schema/domains.hpp"

#include <gtest/gtest.h>

#include "core/calendar.hpp"

namespace bezo {
namespace {

struct OrderCase {
    std::string_view a;
    std::string_view b;
    bool less_equal;
};

constexpr std::string_view kForty = "1000000000000000000000000000000000000000";
constexpr std::string_view kFortyPlusOne = "1000000000000000000000000000000000000001";

TEST(CompareNumericText, IntegersCompareExactlyAtAnyLength) {
    const OrderCase cases[] = {
        {kForty, kFortyPlusOne, true},
        {kFortyPlusOne, kForty, false},
        {"-1000000000000000000000000000000000000001", "-1000000000000000000000000000000000000000", true},
        {"-1000000000000000000000000000000000000000", "-1000000000000000000000000000000000000001", false},
        {"-0", "0", true},
        {"0", "-0", true},
        {"-000", "0", true},
        {"007", "7", true},
        {"7", "007", true},
        {"9", "10", true},
        {"10", "9", false},
        {"-10", "-9", true},
        {"-9", "-10", false},
        {"-1", "0", true},
        {"0", "-1", false},
    };
    for (const OrderCase& c : cases) {
        EXPECT_EQ(compare_numeric_text(c.a, c.b), c.less_equal) << c.a << " <= " << c.b;
    }
}

TEST(CompareNumericText, OtherNumbersCompareAsDoubles) {
    const OrderCase cases[] = {
        {".5", "0.5", true},
        {"0.5", ".5", true},
        {"0.5", "0.49", false},
        {"5.", "5", true},
        {"+1", "1", true},
        {"1", "+1", true},
        {"1e3", "1000", true},
        {"1001", "1E3", false},
        {"-2.5e-1", "-0.25", true},
        {"1e300", "1e400", true},  // beyond the largest double: infinity
        {"1e400", "1e300", false},
        {"-1e400", "-1e300", true},
        {"1e-400", "0", true},  // below the smallest double:
                                // zero
        {"0.5", "abc", false},
        {"abc", "0.5", false},
        {"1.5.", "2", false},
        {"", "1", false},
        {"-", "1", false},
        {"1e", "2", false},
        {"inf", "1e400", false},
        {"0x10", "20", false},
        {" 1", "2", false},
    };
    for (const OrderCase& c : cases) {
        EXPECT_EQ(compare_numeric_text(c.a, c.b), c.less_equal) << c.a << " <= " << c.b;
    }
}

TEST(CompareVersionText, PiecesCompareNumericallyOrBytewise) {
    const OrderCase cases[] = {
        {"1.2", "1.10", true},
        {"1.10", "1.2", false},
        {"1.02", "1.2", true},
        {"1.2", "1.02", true},
        {"1.2", "1.2.0", true},
        {"1.2.0", "1.2", false},
        {"1.2", "1.2", true},
        {"1.+5", "1.5", true},
        {"1.5", "1.+5", true},
        {"1.+5", "1.4", false},
        {"1.a", "1.b", true},
        {"1.b", "1.a", false},
        {"1.rc", "1.2", false},
        {"1..2", "1.0.2", true},
        {"18446744073709551616", "2", true},  // beyond 64 bits: bytewise
        {"18446744073709551615", "2", false},
        {"", "", true},
    };
    for (const OrderCase& c : cases) {
        EXPECT_EQ(compare_version_text(c.a, c.b), c.less_equal) << c.a << " <= " << c.b;
    }
}

TEST(DaysFromCivil, CountsFromTheEpoch) {
    EXPECT_EQ(days_from_civil(1970, 1, 1), 0);
    EXPECT_EQ(days_from_civil(1969, 12, 31), -1);
    EXPECT_EQ(days_from_civil(2000, 3, 1), 11017);
    EXPECT_EQ(days_from_civil(2024, 2, 29) + 1, days_from_civil(2024, 3, 1));
    EXPECT_EQ(days_from_civil(0, 3, 1), -719468);
}

TEST(ParseDateValue, ReadsDatesTimesAndZones) {
    const struct {
        std::string_view text;
        DateInstant instant;
    } cases[] = {
        {"1970-01-01", {0, 0}},
        {"1970-01-02", {86400, 0}},
        {"2024-02-30", {days_from_civil(2024, 3, 1) * 86400, 0}},
        {"1970-01-01T00:00:01.5Z", {1, 500'000'000}},
        {"1970-01-01 00:00:00.1234567899", {0, 123'456'789}},
        {"1970-01-01t01:00:00+01:00", {0, 0}},
        {"1970-01-01T00:00:00-00:30", {1800, 0}},
        {"1970-01-01T00:00:00z", {0, 0}},
        {"2024-01-01T10:00:00+02:00", {days_from_civil(2024, 1, 1) * 86400 + 8 * 3600, 0}},
        {"00:00:10", {10, 0}},
        {"23:59:60", {86400, 0}},
        {"12:00:00.000000001", {43200, 1}},
    };
    for (const auto& c : cases) {
        const auto instant = parse_date_value(c.text);
        ASSERT_TRUE(instant.has_value()) << c.text;
        EXPECT_EQ(*instant, c.instant) << c.text;
    }
}

TEST(ParseDateValue, RefusesMalformedTexts) {
    for (std::string_view text : {
             "",
             "24:00:00",
             "10:60:00",
             "10:00:61",
             "10:00:00Z",
             "10:00:00+01:00",
             "10:00",
             "1:00:00",
             "2024-13-01",
             "2024-00-10",
             "2024-01-32",
             "2024-01-00",
             "2024/01/01",
             "2024-1-01x",
             "2024-01-01X10:00:00",
             "2024-01-01T10:00",
             "2024-01-01T10:00:00.",
             "2024-01-01T10:00:00+24:00",
             "2024-01-01T10:00:00+01:60",
             "2024-01-01T10:00:00+0100",
             "2024-01-01T10:00:00Zx",
             "2024-01-01T10:00:00 ",
             "2024-01-01T",
             "abcd-01-01",
         }) {
        EXPECT_FALSE(parse_date_value(text).has_value()) << text;
    }
}

TEST(CollationDomainTag, OnlyBracketedLexWords) {
    EXPECT_EQ(collation_domain_tag("..lex[de-DE]"), "de-DE");
    EXPECT_EQ(collation_domain_tag("..lex[]"), "");
    EXPECT_FALSE(collation_domain_tag("..lex[").has_value());
    EXPECT_FALSE(collation_domain_tag("..lex").has_value());
    EXPECT_FALSE(collation_domain_tag("..lex[de").has_value());
    EXPECT_FALSE(collation_domain_tag("..num").has_value());
}

}  // namespace
}  // namespace bezo
