#include "interchange/number_text.hpp"

#include <charconv>
#include <limits>

#include "core/text.hpp"

namespace bezo {
namespace {

std::size_t skip_digits(std::string_view text, std::size_t pos) {
    while (pos < text.size() && is_ascii_digit(text[pos])) ++pos;
    return pos;
}

// The layout of an unsigned decimal float: where the point and the exponent
// stand, or none when the text is not one.
struct FloatShape {
    std::size_t mantissa_end;  // the point of the exponent marker, or the size
    std::int64_t exponent;
};

std::optional<FloatShape> float_shape(std::string_view text) {
    std::size_t pos = skip_digits(text, 0);
    std::size_t digits = pos;
    if (pos < text.size() && text[pos] == '.') {
        std::size_t fraction_end = skip_digits(text, pos + 1);
        digits += fraction_end - pos - 1;
        pos = fraction_end;
    }
    if (digits == 0) return std::nullopt;
    FloatShape shape{pos, 0};
    if (pos == text.size()) return shape;
    if (text[pos] != 'e' && text[pos] != 'E') return std::nullopt;
    std::string_view exponent = text.substr(pos + 1);
    bool negative = exponent.starts_with('-');
    if (negative || exponent.starts_with('+')) exponent.remove_prefix(1);
    if (!is_ascii_digits(exponent)) return std::nullopt;
    // Exponents beyond any double's reach saturate; only their sign matters.
    auto magnitude = parse_ascii_unsigned(exponent).value_or(100'000);
    auto clamped = static_cast<std::int64_t>(std::min<std::uint64_t>(magnitude, 100'000));
    shape.exponent = negative ? -clamped : clamped;
    return shape;
}

// The power of ten of the leading nonzero digit of a mantissa, such as 2 for
// "123.4" and -3 for "0.0012"; only called when one is nonzero.
std::int64_t leading_digit_power(std::string_view mantissa) {
    std::size_t point = mantissa.find('.');
    if (point == std::string_view::npos) point = mantissa.size();
    std::size_t first = mantissa.find_first_of("123456789");
    return first < point ? static_cast<std::int64_t>(point - first - 1) : -static_cast<std::int64_t>(first - point);
}

}  // namespace

std::optional<double> parse_decimal_double(std::string_view text) {
    bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    auto shape = float_shape(text);
    if (!shape) return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        std::int64_t power = leading_digit_power(text.substr(0, shape->mantissa_end)) + shape->exponent;
        value = power > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

bool has_nonzero_mantissa(std::string_view text) {
    std::string_view mantissa = text.substr(0, text.find_first_of("eE"));
    return mantissa.find_first_of("123456789") != std::string_view::npos;
}

}  // namespace bezo
