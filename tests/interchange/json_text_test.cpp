#include "interchange/json_text.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace bezo {
namespace {

TEST(QuoteJsonString, EscapesOnlyQuotesBackslashesAndControls) {
    const std::pair<std::string, std::string> cases[] = {
        {"", R"("")"},
        {"a\"b", R"("a\"b")"},
        {"a\\b", R"("a\\b")"},
        {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
        {"\x0B", R"("\u000b")"},
        {"\x1F", R"("\u001f")"},
        {std::string("\0", 1), R"("\u0000")"},
        {"/\x7F\xC3\xA9\xE2\x80\xA8", "\"/\x7F\xC3\xA9\xE2\x80\xA8\""},
    };
    for (const auto& [text, quoted] : cases) EXPECT_EQ(quote_json_string(text), quoted);
}

TEST(FormatJsonFloat, ShortestRoundTripSpelling) {
    const std::pair<double, std::string> cases[] = {
        {1.0, "1.0"},
        {3.0, "3.0"},
        {-2.0, "-2.0"},
        {-0.0, "-0.0"},
        {0.0, "0.0"},
        {9999999999999998.0, "9999999999999998.0"},
        {1e16, "1e16"},
        {1.5e20, "1.5e20"},
        {-2e300, "-2e300"},
        {0.1 + 0.2, "0.30000000000000004"},
        {0.1, "0.1"},
        {-2.5, "-2.5"},
        {1e-7, "0.0000001"},
        {123.456, "123.456"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const auto& [number, text] : cases) EXPECT_EQ(format_json_float(number), text);
}

TEST(FormatJsonFloat, PlainDecimalsReadBackExactly) {
    for (double number : {5e-324, 1.7976931348623157e308, 2.2250738585072014e-308, 123456.789e-20}) {
        std::string text = format_json_float(number);
        EXPECT_EQ(text.find('e') == std::string::npos, std::fabs(number) < 1e16) << text;
        double read_back = 0;
        std::from_chars(text.data(), text.data() + text.size(), read_back);
        EXPECT_EQ(read_back, number) << text;
    }
}

}  // namespace
}  // namespace bezo
