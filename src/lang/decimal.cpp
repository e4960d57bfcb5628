#include "lang/decimal.hpp"

#include <algorithm>
#include <limits>

#include "core/text.hpp"

namespace bezo {

namespace {

constexpr Int128 kInt128Max = static_cast<Int128>(~static_cast<UInt128>(0) >> 1);

// An exponent text: an optional sign and one or more decimal digits; its
// value must fit a signed 32-bit integer.
std::expected<std::int32_t, DecimalRefusal> parse_exponent(std::string_view text) {
    bool negative = false;
    if (text.starts_with('+') || text.starts_with('-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (!is_ascii_digits(text)) {
        return std::unexpected(DecimalRefusal::NotDecimal);
    }
    const auto magnitude = parse_ascii_unsigned(text);
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                        : std::numeric_limits<std::int32_t>::max();
    if (!magnitude || *magnitude > static_cast<std::uint64_t>(limit)) {
        return std::unexpected(DecimalRefusal::OutOfRange);
    }
    auto value = static_cast<std::int64_t>(*magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

// Appends the digits to `value`, refusing a result above 2^127 - 1.
bool accumulate_digits(std::string_view digits, Int128& value) {
    for (char c : digits) {
        auto scaled = checked_mul(value, 10);
        if (!scaled || *scaled > kInt128Max - (c - '0')) {
            return false;
        }
        value = *scaled + (c - '0');
    }
    return true;
}

// The decimal digits of a 128-bit value, most significant first.
std::string decimal_digits(UInt128 value) {
    char buffer[40];
    char* end = std::end(buffer);
    char* pos = end;
    do {
        *--pos = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    } while (value != 0);
    return std::string(pos, end);
}

bool is_digits_or_empty(std::string_view text) { return std::ranges::all_of(text, is_ascii_digit); }

// Removes the trailing zeros of the digit string that the integer digits and
// the fraction digits make together; returns how many of them were integer
// digits (the fraction digits left still count down the exponent).
std::int64_t drop_trailing_zeros(std::string_view& integer_digits, std::string_view& fraction_digits) {
    const auto drop = [](std::string_view& digits) {
        const std::size_t kept = digits.find_last_not_of('0') + 1;
        const std::size_t count = digits.size() - kept;
        digits = digits.substr(0, kept);
        return count;
    };
    drop(fraction_digits);
    if (!fraction_digits.empty()) return 0;
    return static_cast<std::int64_t>(drop(integer_digits));
}

}  // namespace

std::optional<Int128> checked_mul(Int128 a, Int128 b) {
    Int128 product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        return std::nullopt;
    }
    return product;
}

std::optional<std::int32_t> checked_add(std::int32_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(static_cast<std::int64_t>(a), b, &sum) ||
        sum < std::numeric_limits<std::int32_t>::min() || sum > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(sum);
}

std::expected<ExactDecimal, DecimalRefusal> read_exact_decimal(std::string_view text) {
    using Refused = std::unexpected<DecimalRefusal>;
    ExactDecimal result;
    if (text.starts_with('-')) {
        result.negative = true;
        text.remove_prefix(1);
    }
    std::int32_t exponent = 0;
    std::string_view mantissa_text = text;
    std::optional<DecimalRefusal> exponent_refusal;
    if (std::size_t mark = text.find_first_of("Ee"); mark != std::string_view::npos) {
        if (auto parsed = parse_exponent(text.substr(mark + 1))) {
            exponent = *parsed;
        } else {
            exponent_refusal = parsed.error();
        }
        mantissa_text = text.substr(0, mark);
    }
    std::string_view integer_digits = mantissa_text;
    std::string_view fraction_digits;
    if (std::size_t point = mantissa_text.find('.'); point != std::string_view::npos) {
        integer_digits = mantissa_text.substr(0, point);
        fraction_digits = mantissa_text.substr(point + 1);
    }
    if ((integer_digits.empty() && fraction_digits.empty()) || !is_digits_or_empty(integer_digits) ||
        !is_digits_or_empty(fraction_digits)) {
        return Refused(DecimalRefusal::NotDecimal);
    }
    // The text is a decimal number from here on; only its size can fail.
    if (exponent_refusal) {
        return Refused(*exponent_refusal);
    }
    Int128 mantissa = 0;
    // Digits too many for the mantissa lose their trailing zeros to the
    // exponent ("1" and 40 zeros is 1E40); digits written as they are stay so.
    std::int64_t dropped_zeros = 0;
    if (!accumulate_digits(integer_digits, mantissa) || !accumulate_digits(fraction_digits, mantissa)) {
        dropped_zeros = drop_trailing_zeros(integer_digits, fraction_digits);
        mantissa = 0;
        if (!accumulate_digits(integer_digits, mantissa) || !accumulate_digits(fraction_digits, mantissa)) {
            return Refused(DecimalRefusal::OutOfRange);
        }
    }
    // Each fraction digit lowers the exponent by one.
    if (fraction_digits.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return Refused(DecimalRefusal::OutOfRange);
    }
    auto scaled = checked_add(exponent, dropped_zeros - static_cast<std::int64_t>(fraction_digits.size()));
    if (!scaled) {
        return Refused(DecimalRefusal::OutOfRange);
    }
    result.mantissa = static_cast<UInt128>(mantissa);
    result.exponent = *scaled;
    return result;
}

std::optional<ExactDecimal> parse_exact_decimal(std::string_view text) {
    auto read = read_exact_decimal(text);
    return read ? std::optional<ExactDecimal>(*read) : std::nullopt;
}

std::string format_exact_decimal(bool negative, UInt128 mantissa, std::int32_t exponent) {
    if (mantissa == 0) {
        return "0";
    }
    std::int64_t power = exponent;
    while (mantissa % 10 == 0) {
        mantissa /= 10;
        ++power;
    }
    std::string digits = decimal_digits(mantissa);
    std::string out = negative ? "-" : "";
    if (power >= 0) {
        out += digits;
        out.append(static_cast<std::size_t>(power), '0');
        return out;
    }
    auto fraction = static_cast<std::size_t>(-power);
    if (digits.size() > fraction) {
        std::size_t whole = digits.size() - fraction;
        out.append(digits, 0, whole);
        out += '.';
        out.append(digits, whole);
    } else {
        out += "0.";
        out.append(fraction - digits.size(), '0');
        out += digits;
    }
    return out;
}

}  // namespace bezo
