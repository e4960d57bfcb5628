#include "interchange/asn1_time.hpp"

#include <algorithm>

#include "core/calendar.hpp"
#include "core/text.hpp"
#include "interchange/der.hpp"

namespace bezo {
namespace {

constexpr std::int64_t kMinutesPerDay = 1440;

Error malformed(std::string_view text) { return Error::Other("malformed datetime token: " + quoted_excerpt(text)); }

// The value of a run of ASCII digits already known to be digits.
unsigned digits_value(std::string_view digits) {
    unsigned value = 0;
    for (const char digit : digits) value = value * 10 + static_cast<unsigned>(digit - '0');
    return value;
}

// The zone part after the seconds and fraction: nothing, "Z" or "z", or
// "+hh:mm" / "-hh:mm"; none when it is anything else.
std::optional<std::string> read_zone(std::string_view rest) {
    if (rest.empty()) return std::string();
    if (rest == "Z" || rest == "z") return std::string("Z");
    const bool offset_shape = rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') && rest[3] == ':' &&
                              is_ascii_digits(rest.substr(1, 2)) && is_ascii_digits(rest.substr(4, 2));
    if (!offset_shape) return std::nullopt;
    return std::string{rest[0], rest[1], rest[2], rest[4], rest[5]};
}

// The token's digits in UTC: shifted for an offset zone, unchanged for "Z"
// and for a local date-time.
Result<std::string> utc_digits(DatetimeToken& token, std::string_view text) {
    if (token.zone.size() <= 1) return std::move(token.digits);
    return shift_to_utc(token.digits, token.zone, text);
}

// Month 01-12, a day within the month, hour at most 23 and minute at most 59.
bool has_calendar_fields(std::string_view digits) {
    const std::int64_t year = digits_value(digits.substr(0, 4));
    const unsigned month = digits_value(digits.substr(4, 2));
    const unsigned day = digits_value(digits.substr(6, 2));
    return month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(year, month) &&
           digits_value(digits.substr(8, 2)) <= 23 && digits_value(digits.substr(10, 2)) <= 59;
}

// An offset zone (sign and hhmm) within ±23:59.
bool is_zone_offset_in_range(std::string_view zone) {
    return digits_value(zone.substr(1, 2)) <= 23 && digits_value(zone.substr(3, 2)) <= 59;
}

void append_time_tlv(std::uint32_t tag, std::string_view content, std::vector<std::uint8_t>& out) {
    write_der_header(DerClass::Universal, false, tag, as_der_bytes(content), out);
}

}  // namespace

Result<DatetimeToken> parse_datetime_token(std::string_view text) {
    if (text.size() < 19) return std::unexpected(malformed(text));
    const char separator = text[10];
    const bool punctuated = text[4] == '-' && text[7] == '-' && text[13] == ':' && text[16] == ':';
    if (!punctuated || (separator != ' ' && separator != 't' && separator != 'T')) {
        return std::unexpected(malformed(text));
    }
    DatetimeToken token;
    for (const std::size_t start : {0, 5, 8, 11, 14, 17}) {
        token.digits.append(text.substr(start, start == 0 ? 4 : 2));
    }
    if (!is_ascii_digits(token.digits)) return std::unexpected(malformed(text));
    std::string_view rest = text.substr(19);
    if (rest.starts_with('.')) {
        const std::size_t end = std::min(rest.find_first_not_of("0123456789", 1), rest.size());
        if (end == 1) return std::unexpected(malformed(text));
        token.fraction = rest.substr(0, end);
        rest.remove_prefix(end);
    }
    auto zone = read_zone(rest);
    if (!zone) return std::unexpected(malformed(text));
    token.zone = std::move(*zone);
    return token;
}

bool is_calendar_instant(const DatetimeToken& token) {
    return has_calendar_fields(token.digits) && digits_value(std::string_view(token.digits).substr(12, 2)) <= 59 &&
           (token.zone.size() <= 1 || is_zone_offset_in_range(token.zone));
}

Result<std::string> shift_to_utc(std::string_view digits, std::string_view zone, std::string_view text) {
    if (!is_zone_offset_in_range(zone)) {
        return fail("bad zone offset in datetime: " + quoted_excerpt(zone));
    }
    if (!has_calendar_fields(digits)) return std::unexpected(malformed(text));
    const std::int64_t year = digits_value(digits.substr(0, 4));
    const unsigned month = digits_value(digits.substr(4, 2));
    const unsigned day = digits_value(digits.substr(6, 2));
    const unsigned hour = digits_value(digits.substr(8, 2));
    const unsigned minute = digits_value(digits.substr(10, 2));

    const std::int64_t offset = digits_value(zone.substr(1, 2)) * 60 + digits_value(zone.substr(3, 2));
    const std::int64_t local = days_from_civil(year, month, day) * kMinutesPerDay + hour * 60 + minute;
    const std::int64_t utc = zone[0] == '+' ? local - offset : local + offset;
    const std::int64_t utc_days = (utc >= 0 ? utc : utc - (kMinutesPerDay - 1)) / kMinutesPerDay;
    const std::int64_t minute_of_day = utc - utc_days * kMinutesPerDay;
    const CivilDate date = civil_from_days(utc_days);
    if (date.year < 0 || date.year > 9999) {
        return fail("datetime out of range after the UTC shift");
    }
    std::string shifted;
    append_zero_padded(date.year, 4, shifted);
    append_zero_padded(date.month, 2, shifted);
    append_zero_padded(date.day, 2, shifted);
    append_zero_padded(minute_of_day / 60, 2, shifted);
    append_zero_padded(minute_of_day % 60, 2, shifted);
    shifted += digits.substr(12, 2);
    return shifted;
}

Result<void> format_generalized_time(std::string_view text, std::vector<std::uint8_t>& out) {
    auto token = parse_datetime_token(text);
    if (!token) return forward_error(token);
    std::string_view fraction = token->fraction;
    while (fraction.ends_with('0')) fraction.remove_suffix(1);
    if (fraction == ".") fraction = {};
    auto content = utc_digits(*token, text);
    if (!content) return forward_error(content);
    *content += fraction;
    if (!token->zone.empty()) *content += 'Z';
    append_time_tlv(kGeneralizedTimeTag, *content, out);
    return {};
}

Result<void> format_utc_time(std::string_view text, std::vector<std::uint8_t>& out) {
    auto token = parse_datetime_token(text);
    if (!token) return forward_error(token);
    if (!token->fraction.empty()) {
        return fail("UTCTime cannot carry fractional seconds");
    }
    if (token->zone.empty()) return fail("UTCTime needs a zone (Z or \u00B1HH:MM)");
    auto digits = utc_digits(*token, text);
    if (!digits) return forward_error(digits);
    const unsigned year = digits_value(std::string_view(*digits).substr(0, 4));
    if (year < 1950 || year > 2049) {
        return fail("UTCTime year out of range: " + decimal_text(year));
    }
    // Two-digit year: the century is implied by the 1950-2049 window.
    digits->erase(0, 2);
    *digits += 'Z';
    append_time_tlv(kUtcTimeTag, *digits, out);
    return {};
}

}  // namespace bezo
