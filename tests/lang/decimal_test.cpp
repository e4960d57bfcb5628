#include "lang/decimal.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

constexpr UInt128 kMaxMantissa = ~static_cast<UInt128>(0) >> 1;

TEST(ParseExactDecimal, AcceptedTexts) {
    struct Case {
        std::string_view text;
        ExactDecimal value;
    };
    const Case cases[] = {
        {"1.50", {150, false, -2}},
        {".5", {5, false, -1}},
        {"5.", {5, false, 0}},
        {"-2.5E3", {25, true, 2}},
        {"1e+5", {1, false, 5}},
        {"1e-5", {1, false, -5}},
        {"-0", {0, true, 0}},
        {"007.50", {750, false, -2}},
        {"170141183460469231731687303715884105727", {kMaxMantissa, false, 0}},
        {"1e2147483647", {1, false, 2147483647}},
        {"1e-2147483648", {1, false, -2147483648}},
        {"1e00000000000000000000007", {1, false, 7}},
        // Digits beyond the mantissa that are trailing zeros go to the exponent.
        {"-1.000000000000000000000000000000000000000", {1, true, 0}},
        {"10000000000000000000000000000000000000000", {1, false, 40}},
        {"120000000000000000000000000000000000000000.000e-3", {12, false, 37}},
        {"0.500000000000000000000000000000000000000", {5, false, -1}},
        {"17014118346046923173168730371588410572.70000", {kMaxMantissa, false, -1}},
    };
    for (const auto& c : cases) {
        auto parsed = parse_exact_decimal(c.text);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(*parsed, c.value) << c.text;
    }
}

TEST(ParseExactDecimal, RefusedTexts) {
    const std::string_view cases[] = {
        "",
        "-",
        "+1",
        "1.2.3",
        "1,5",
        "E5",
        "1e",
        "1e+",
        "1e-",
        ".",
        "1e5e3",
        " 1",
        "1 ",
        "--1",
        "0x10",
        "170141183460469231731687303715884105728",
        "1e2147483648",
        "1e-2147483649",
        "0.1e-2147483648",
    };
    for (std::string_view text : cases) {
        EXPECT_FALSE(parse_exact_decimal(text)) << text;
    }
}

TEST(ReadExactDecimal, TellsTextsThatAreNoDecimalFromDecimalsTooLarge) {
    struct Case {
        std::string_view text;
        DecimalRefusal refusal;
    };
    const Case cases[] = {
        {"", DecimalRefusal::NotDecimal},
        {"+1", DecimalRefusal::NotDecimal},
        {"1e", DecimalRefusal::NotDecimal},
        {"1e+", DecimalRefusal::NotDecimal},
        {"1e5e3", DecimalRefusal::NotDecimal},
        {"x1e99999999999", DecimalRefusal::NotDecimal},
        {"1.2.3e99999999999", DecimalRefusal::NotDecimal},
        {"170141183460469231731687303715884105728", DecimalRefusal::OutOfRange},
        {"1111111111111111111111111111111111111111", DecimalRefusal::OutOfRange},
        {"10000000000000000000000000000000000000001", DecimalRefusal::OutOfRange},
        {"1.000000000000000000000000000000000000000100000", DecimalRefusal::OutOfRange},
        {"1e2147483648", DecimalRefusal::OutOfRange},
        {"1e99999999999999999999", DecimalRefusal::OutOfRange},
        {"0.1e-2147483648", DecimalRefusal::OutOfRange},
    };
    for (const auto& c : cases) {
        const auto read = read_exact_decimal(c.text);
        ASSERT_FALSE(read) << c.text;
        EXPECT_EQ(read.error(), c.refusal) << c.text;
    }
    EXPECT_EQ(read_exact_decimal("-2.5E3"), (ExactDecimal{25, true, 2}));
}

TEST(FormatExactDecimal, CanonicalText) {
    struct Case {
        bool negative;
        UInt128 mantissa;
        std::int32_t exponent;
        std::string_view text;
    };
    const Case cases[] = {
        {false, 150, -2, "1.5"},
        {false, 15, 2, "1500"},
        {false, 5, -3, "0.005"},
        {true, 25, -1, "-2.5"},
        {false, 5, -1, "0.5"},
        {false, 125, -5, "0.00125"},
        {false, 125, -2, "1.25"},
        {true, 0, 7, "0"},
        {false, 0, -3, "0"},
        {false, 1000, -3, "1"},
        {false, 100, 0, "100"},
        {false, kMaxMantissa, 0, "170141183460469231731687303715884105727"},
        {false, ~static_cast<UInt128>(0), -39, "0.340282366920938463463374607431768211455"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_exact_decimal(c.negative, c.mantissa, c.exponent), c.text);
    }
}

TEST(ExactDecimalRoundTrip, EqualValuesPrintAlike) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"1E3", "1000"}, {"1000", "1000"}, {"-0", "0"}, {"007.50", "7.5"}, {"12.3400e1", "123.4"},
    };
    for (const auto& [text, printed] : cases) {
        auto value = parse_exact_decimal(text);
        ASSERT_TRUE(value) << text;
        EXPECT_EQ(format_exact_decimal(value->negative, value->mantissa, value->exponent), printed) << text;
    }
}

}  // namespace
}  // namespace bezo
