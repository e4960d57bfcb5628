// Date-time texts of the std/time shape (YYYY-MM-DD, a separator, hh:mm:ss,
// an optional fraction and zone) read for the binary encoders, and written
// as the DER time types.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace bezo {

inline constexpr std::uint32_t kUtcTimeTag = 23;
inline constexpr std::uint32_t kGeneralizedTimeTag = 24;

struct DatetimeToken {
    std::string digits;    // YYYYMMDDhhmmss, as written
    std::string fraction;  // empty, or "." and one or more digits, as written
    std::string zone;      // empty for a local date-time, "Z", or a sign and hhmm
};

// Reads the shape only: the fields are not checked against the calendar.
// Fails with "malformed datetime token: {}".
Result<DatetimeToken> parse_datetime_token(std::string_view text);

// True when the fields name a real instant: month 01-12, a day within the
// month, hour at most 23, minute and second at most 59, and an offset within
// ±23:59.
bool is_calendar_instant(const DatetimeToken& token);

// The digits of the same instant in UTC for an offset zone (sign and hhmm).
// Shifting needs real calendar fields; `text` is the whole date-time, named
// when they are not.
Result<std::string> shift_to_utc(std::string_view digits, std::string_view zone, std::string_view text);

// Append the complete GeneralizedTime (tag 24) or UTCTime (tag 23) TLV of a
// date-time text; an offset is shifted to UTC first.
Result<void> format_generalized_time(std::string_view text, std::vector<std::uint8_t>& out);
Result<void> format_utc_time(std::string_view text, std::vector<std::uint8_t>& out);

}  // namespace bezo
