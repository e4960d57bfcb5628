#include "core/decimal_float.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>

namespace bezo {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kLeastSubnormal = std::numeric_limits<double>::denorm_min();

// Values compare bit for bit, so the sign of a zero counts. Comments name
// what each row sits at the edge of.
TEST(ParseDecimalDouble, RangeEdgesGoByTheFirstDigitsPlace) {
    const std::pair<std::string, double> cases[] = {
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {"1.8e308", kInf},  // overflow
        {"-1e400", -kInf},
        {"0.00001e314", kInf},  // 1e309 however the digits are placed
        {"2.2250738585072014e-308", std::numeric_limits<double>::min()},
        {"4.9406564584124654e-324", kLeastSubnormal},  // subnormal
        {"3e-324", kLeastSubnormal},
        {"2e-324", 0.0},  // underflow
        {"100000e-329", 0.0},
        {"-1e-400", -0.0},
        {"1e999999999999999999999999999999", kInf},  // saturated exponents
        {"-1E+999999999999999999999999999999", -kInf},
        {"1e-999999999999999999999999999999", 0.0},
        {"0.0e999999999999999999999999999999", 0.0},
        {"1" + std::string(150'000, '0') + "e-160000", 0.0},  // more digits than any double's exponent
    };
    for (const auto& [text, expected] : cases) {
        const auto value = parse_decimal_double(text);
        ASSERT_TRUE(value) << text.substr(0, 40);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(*value), std::bit_cast<std::uint64_t>(expected)) << text.substr(0, 40);
    }
}

}  // namespace
}  // namespace bezo
