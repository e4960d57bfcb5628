#include "interchange/toml_datetime.hpp"

#include <initializer_list>

#include "core/calendar.hpp"
#include "core/text.hpp"

namespace bezo {
namespace {

// Reads `width` digits at the cursor.
std::optional<int> take_digits(std::string_view text, std::size_t& pos, std::size_t width) {
    if (pos + width > text.size()) return std::nullopt;
    auto value = parse_ascii_unsigned(text.substr(pos, width));
    if (!value) return std::nullopt;
    pos += width;
    return static_cast<int>(*value);
}

bool take(std::string_view text, std::size_t& pos, char expected) {
    if (pos >= text.size() || text[pos] != expected) return false;
    ++pos;
    return true;
}

std::optional<TomlDate> take_date(std::string_view text, std::size_t& pos) {
    TomlDate date;
    auto year = take_digits(text, pos, 4);
    if (!year || !take(text, pos, '-')) return std::nullopt;
    auto month = take_digits(text, pos, 2);
    if (!month || *month < 1 || *month > 12 || !take(text, pos, '-')) return std::nullopt;
    auto day = take_digits(text, pos, 2);
    if (!day || *day < 1 || *day > static_cast<int>(days_in_month(*year, static_cast<unsigned>(*month))))
        return std::nullopt;
    return TomlDate{*year, *month, *day};
}

std::optional<TomlTime> take_time(std::string_view text, std::size_t& pos) {
    auto hour = take_digits(text, pos, 2);
    if (!hour || *hour > 23 || !take(text, pos, ':')) return std::nullopt;
    auto minute = take_digits(text, pos, 2);
    if (!minute || *minute > 59) return std::nullopt;
    TomlTime time{*hour, *minute, 0, {}};
    if (!take(text, pos, ':')) return time;
    auto second = take_digits(text, pos, 2);
    if (!second || *second > 59) return std::nullopt;
    time.second = *second;
    if (!take(text, pos, '.')) return time;
    std::size_t start = pos;
    while (pos < text.size() && is_ascii_digit(text[pos])) ++pos;
    if (pos == start) return std::nullopt;
    time.fraction = text.substr(start, pos - start);
    return time;
}

std::optional<TomlOffset> take_offset(std::string_view text, std::size_t& pos) {
    if (take(text, pos, 'Z') || take(text, pos, 'z')) return TomlOffset{true};
    bool negative = take(text, pos, '-');
    if (!negative && !take(text, pos, '+')) return std::nullopt;
    auto hours = take_digits(text, pos, 2);
    if (!hours || *hours > 23 || !take(text, pos, ':')) return std::nullopt;
    auto minutes = take_digits(text, pos, 2);
    if (!minutes || *minutes > 59) return std::nullopt;
    return TomlOffset{false, negative, *hours, *minutes};
}

// Two-digit fields joined by `separator`, e.g. "07:32:00".
void append_two_digit_fields(std::initializer_list<int> fields, char separator, std::string& out) {
    bool first = true;
    for (int field : fields) {
        if (!first) out += separator;
        first = false;
        append_zero_padded(field, 2, out);
    }
}

}  // namespace

std::optional<TomlDateTime> parse_toml_datetime(std::string_view text) {
    TomlDateTime value;
    std::size_t pos = 0;
    // A date starts with four digits and a "-"; a time with two and a ":".
    if (text.size() > 4 && text[4] == '-') {
        value.date = take_date(text, pos);
        if (!value.date) return std::nullopt;
        if (pos == text.size()) return value;
        if (text[pos] != 'T' && text[pos] != 't' && text[pos] != ' ') return std::nullopt;
        ++pos;
    }
    value.time = take_time(text, pos);
    if (!value.time) return std::nullopt;
    if (value.date && pos < text.size()) {
        value.offset = take_offset(text, pos);
        if (!value.offset) return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    return value;
}

void append_toml_datetime(const TomlDateTime& value, std::string& out) {
    if (value.date) {
        append_zero_padded(value.date->year, 4, out);
        out += '-';
        append_two_digit_fields({value.date->month, value.date->day}, '-', out);
        if (value.time) out += 'T';
    }
    if (value.time) {
        append_two_digit_fields({value.time->hour, value.time->minute, value.time->second}, ':', out);
        if (!value.time->fraction.empty()) {
            out += '.';
            out += value.time->fraction;
        }
    }
    if (!value.offset) return;
    if (value.offset->utc) {
        out += 'Z';
        return;
    }
    out += value.offset->negative ? '-' : '+';
    append_two_digit_fields({value.offset->hours, value.offset->minutes}, ':', out);
}

std::string_view toml_datetime_type(const TomlDateTime& value) {
    if (value.date && value.time) return value.offset ? "datetime" : "localdatetime";
    return value.date ? "date" : "time";
}

}  // namespace bezo
