#include "avro/avro_tokens.hpp"

#include <charconv>
#include <cmath>

#include "core/calendar.hpp"
#include "core/text.hpp"

namespace bezo {
namespace {

constexpr std::int64_t kMicrosPerSecond = 1'000'000;
constexpr std::int64_t kMicrosPerDay = 86'400 * kMicrosPerSecond;

std::unexpected<Error> invalid(std::string_view what, std::string_view text) {
    return fail("invalid " + std::string(what) + " token: " + quoted_excerpt(text));
}

// The exponent after "e": any "+" signs, then an optional "-" and digits.
std::optional<std::int64_t> read_exponent(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of('+'), text.size()));
    return parse_decimal_i64(text, PlusSign::Refused);
}

// A two-byte field of a date or time: two digits, or "+" and one digit.
std::optional<unsigned> two_byte_field(std::string_view field) {
    if (!is_ascii_digit(field[1])) return std::nullopt;
    const auto ones = static_cast<unsigned>(field[1] - '0');
    if (field[0] == '+') return ones;
    if (!is_ascii_digit(field[0])) return std::nullopt;
    return static_cast<unsigned>(field[0] - '0') * 10 + ones;
}

// Four digits, or a sign and three digits.
std::optional<std::int64_t> year_field(std::string_view field) {
    const bool signed_year = field[0] == '+' || field[0] == '-';
    const auto digits = parse_ascii_unsigned(field.substr(signed_year ? 1 : 0));
    if (!digits) return std::nullopt;
    const auto year = static_cast<std::int64_t>(*digits);
    return field[0] == '-' ? -year : year;
}

bool date_exists(std::int64_t year, unsigned month, unsigned day) {
    return month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(year, month);
}

// The sign and "hh:mm" that end a zoned date-time, in microseconds.
std::optional<std::int64_t> offset_micros(std::string_view zone) {
    if ((zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return std::nullopt;
    const auto hours = two_byte_field(zone.substr(1, 2));
    const auto minutes = two_byte_field(zone.substr(4, 2));
    if (!hours || !minutes || *hours >= 24 || *minutes >= 60) return std::nullopt;
    const std::int64_t micros = (*hours * 60 + *minutes) * 60 * kMicrosPerSecond;
    return zone[0] == '-' ? -micros : micros;
}

}  // namespace

std::optional<DecimalToken> parse_decimal_token(std::string_view text) {
    DecimalToken token;
    if (text.starts_with('-')) {
        token.negative = true;
        text.remove_prefix(1);
    }
    std::int64_t exponent = 0;
    if (const std::size_t e = text.find_first_of("eE"); e != std::string_view::npos) {
        const auto read = read_exponent(text.substr(e + 1));
        if (!read) return std::nullopt;
        exponent = *read;
        text = text.substr(0, e);
    }
    const std::size_t point = std::min(text.find('.'), text.size());
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = text.substr(std::min(point + 1, text.size()));
    const auto digit_run = [](std::string_view run) { return run.empty() || is_ascii_digits(run); };
    if ((whole.empty() && fraction.empty()) || !digit_run(whole) || !digit_run(fraction)) return std::nullopt;

    std::int64_t scale = 0;
    if (__builtin_sub_overflow(static_cast<std::int64_t>(fraction.size()), exponent, &scale)) return std::nullopt;
    // The digits of both parts, copied only when both hold some.
    std::string joined;
    std::string_view significant = whole.empty() ? fraction : whole;
    if (!whole.empty() && !fraction.empty()) {
        joined.reserve(whole.size() + fraction.size());
        joined.append(whole).append(fraction);
        significant = joined;
    }
    significant.remove_prefix(std::min(significant.find_first_not_of('0'), significant.size()));
    if (significant.empty()) return DecimalToken{false, "0", 0};
    if (scale <= 0) {
        if (scale < -static_cast<std::int64_t>(kMaxDecimalTokenZeros)) return std::nullopt;
        token.digits.reserve(significant.size() + static_cast<std::size_t>(-scale));
        token.digits.append(significant).append(static_cast<std::size_t>(-scale), '0');
        return token;
    }
    while (scale > 0 && significant.back() == '0') {
        significant.remove_suffix(1);
        --scale;
    }
    if (static_cast<std::uint64_t>(scale) > kMaxDecimalTokenScale) return std::nullopt;
    token.digits = significant;
    token.scale = static_cast<std::uint64_t>(scale);
    return token;
}

bool is_double_exact(std::string_view text, const DecimalToken& token) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (stop != end || error != std::errc{} || !std::isfinite(value)) return false;
    char shortest[32];
    const auto written = std::to_chars(shortest, shortest + sizeof shortest, value).ptr;
    return parse_decimal_token(std::string_view(shortest, static_cast<std::size_t>(written - shortest))) == token;
}

bool is_double_exact(std::string_view text) {
    const auto token = parse_decimal_token(text);
    return token && is_double_exact(text, *token);
}

Result<std::int64_t> parse_date_token(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return invalid("date", text);
    const auto year = year_field(text.substr(0, 4));
    const auto month = two_byte_field(text.substr(5, 2));
    const auto day = two_byte_field(text.substr(8, 2));
    if (!year || !month || !day || !date_exists(*year, *month, *day)) return invalid("date", text);
    return days_from_civil(*year, *month, *day);
}

Result<std::int64_t> parse_time_token(std::string_view text) {
    const std::size_t point = std::min(text.find('.'), text.size());
    if (point != 8 || text[2] != ':' || text[5] != ':') return invalid("time", text);
    const auto hour = two_byte_field(text.substr(0, 2));
    const auto minute = two_byte_field(text.substr(3, 2));
    const auto second = two_byte_field(text.substr(6, 2));
    if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) return invalid("time", text);
    const std::string_view fraction = text.substr(std::min(point + 1, text.size()));
    if (!fraction.empty() && !is_ascii_digits(fraction)) return invalid("time", text);
    if (fraction.size() > 6 && fraction.find_first_not_of('0', 6) != std::string_view::npos) {
        return fail("sub-microsecond fraction cannot ride an Avro time logical type: " + quoted_excerpt(text));
    }
    std::int64_t micros = 0;
    for (std::size_t i = 0; i < 6; ++i) micros = micros * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    return ((*hour * 60 + *minute) * 60 + *second) * kMicrosPerSecond + micros;
}

Result<std::int64_t> parse_avro_datetime_token(std::string_view text, DatetimeZone zone) {
    if (text.size() < 11 || (text[10] != 'T' && text[10] != 't' && text[10] != ' ')) return invalid("datetime", text);
    auto days = parse_date_token(text.substr(0, 10));
    if (!days) return forward_error(days);
    std::string_view time = text.substr(11);
    std::int64_t offset = 0;
    if (zone == DatetimeZone::Offset) {
        if (text.ends_with('Z') || text.ends_with('z')) {
            time.remove_suffix(1);
        } else {
            const auto read = text.size() >= 17 ? offset_micros(text.substr(text.size() - 6)) : std::nullopt;
            if (!read) return invalid("datetime", text);
            offset = *read;
            time.remove_suffix(6);
        }
    }
    auto micros = parse_time_token(time);
    if (!micros) return forward_error(micros);
    return *days * kMicrosPerDay + *micros - offset;
}

}  // namespace bezo
