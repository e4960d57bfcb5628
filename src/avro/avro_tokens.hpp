// Numbers from the texts the language holds, for the Avro exporter: the
// decimal text of a number value, and the std/time literals of dates, times
// and date-times.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// A decimal number as sign, significant digits and scale: the value is
// digits × 10^-scale. The digits have no leading zeros and, while the scale
// is positive, no trailing zeros; zero is "0", not negative, scale 0.
struct DecimalToken {
    bool negative = false;
    std::string digits;
    std::uint64_t scale = 0;
    friend bool operator==(const DecimalToken&, const DecimalToken&) = default;
};

// A number read with an exponent may not grow by more zeros than this, nor
// keep a longer fraction: «1e999999999999» must not ask for a terabyte.
inline constexpr std::uint64_t kMaxDecimalTokenZeros = 1000;
inline constexpr std::uint64_t kMaxDecimalTokenScale = 1000;

// An optional "-", digits with at most one ".", not all of them missing,
// and an optional exponent ("e" or "E", any "+" signs, an optional "-",
// digits fitting 64 bits). None for anything else and past the two bounds.
std::optional<DecimalToken> parse_decimal_token(std::string_view text);

// Whether a number text is exactly the value of a finite binary64 number:
// the shortest text of its nearest binary64 value reads as the same token.
bool is_double_exact(std::string_view text, const DecimalToken& token);
bool is_double_exact(std::string_view text);

// «2024-02-29»: days since 1970-01-01. The year is four digits or a sign
// and three; the date must exist. Fails with "invalid date token: {}".
Result<std::int64_t> parse_date_token(std::string_view text);

// «12:00:00.5»: microseconds since midnight; a fraction may run past six
// digits only with zeros. Fails with "invalid time token: {}" or
// "sub-microsecond fraction cannot ride an Avro time logical type: {}".
Result<std::int64_t> parse_time_token(std::string_view text);

// Whether a date-time carries its zone ("Z" or ±hh:mm) or is local.
enum class DatetimeZone : bool { Local, Offset };

// «2024-02-29T12:00:00+01:00»: microseconds since 1970-01-01T00:00:00, in
// UTC for a zoned date-time. Fails with "invalid datetime token: {}" or the
// date or time reader's message.
Result<std::int64_t> parse_avro_datetime_token(std::string_view text, DatetimeZone zone);

}  // namespace bezo
