#include "core/decimal_float.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

#include "core/text.hpp"

namespace bezo {
namespace {

// Exponents saturate here: far beyond binary64's reach, and beyond the
// digit count of any text in memory, so that the sign of an exponent plus
// the power of a leading digit stays exact.
constexpr std::int64_t kExponentLimit = std::int64_t{1} << 40;

std::size_t skip_digits(std::string_view text, std::size_t pos) {
    while (pos < text.size() && is_ascii_digit(text[pos])) ++pos;
    return pos;
}

// The layout of an unsigned decimal float: where its mantissa ends (at the
// exponent marker, or the size) and its exponent, saturated.
struct FloatShape {
    std::size_t mantissa_end;
    std::int64_t exponent;
};

std::int64_t saturated_exponent(std::string_view digits, bool negative) {
    std::int64_t value = 0;
    for (const char digit : digits) value = std::min(kExponentLimit, value * 10 + (digit - '0'));
    return negative ? -value : value;
}

std::optional<FloatShape> float_shape(std::string_view text) {
    std::size_t pos = skip_digits(text, 0);
    std::size_t digits = pos;
    if (pos < text.size() && text[pos] == '.') {
        const std::size_t fraction_end = skip_digits(text, pos + 1);
        digits += fraction_end - pos - 1;
        pos = fraction_end;
    }
    if (digits == 0) return std::nullopt;
    FloatShape shape{pos, 0};
    if (pos == text.size()) return shape;
    if (text[pos] != 'e' && text[pos] != 'E') return std::nullopt;
    std::string_view exponent = text.substr(pos + 1);
    const bool negative = exponent.starts_with('-');
    if (negative || exponent.starts_with('+')) exponent.remove_prefix(1);
    if (!is_ascii_digits(exponent)) return std::nullopt;
    shape.exponent = saturated_exponent(exponent, negative);
    return shape;
}

// The power of ten of the leading nonzero digit of a mantissa, such as 2 for
// "123.4" and -3 for "0.0012"; only called when one is nonzero.
std::int64_t leading_digit_power(std::string_view mantissa) {
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    return first < point ? static_cast<std::int64_t>(point - first - 1) : -static_cast<std::int64_t>(first - point);
}

}  // namespace

std::optional<double> parse_decimal_double(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    const auto shape = float_shape(text);
    if (!shape) return std::nullopt;
    // from_chars, unlike strtod, ignores the locale.
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        const std::int64_t power = leading_digit_power(text.substr(0, shape->mantissa_end)) + shape->exponent;
        value = power > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

bool has_nonzero_mantissa(std::string_view text) {
    const std::string_view mantissa = text.substr(0, text.find_first_of("eE"));
    return mantissa.find_first_of("123456789") != std::string_view::npos;
}

}  // namespace bezo
