// TOML date-times: a strict reader of the four TOML 1.1 shapes (offset
// date-time, local date-time, local date, local time) and one writer for
// them in TOML 1.0 syntax.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bezo {

struct TomlDate {
    int year = 0;
    int month = 1;
    int day = 1;
};

struct TomlTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::string fraction;  // the digits after the seconds' ".", kept as written
};

// "Z", or a signed number of hours and minutes.
struct TomlOffset {
    bool utc = false;
    bool negative = false;
    int hours = 0;
    int minutes = 0;
};

// At least one of date and time; an offset only with both.
struct TomlDateTime {
    std::optional<TomlDate> date;
    std::optional<TomlTime> time;
    std::optional<TomlOffset> offset;
};

// Reads the whole text as one date-time: the date and time separated by
// "T", "t" or a blank, seconds optional, the fraction any number of digits,
// the offset "Z", "z" or a sign with hours and minutes. The calendar is
// checked: months, days of the month with leap years, hours, minutes,
// seconds up to 59. None for anything else, trailing text included.
std::optional<TomlDateTime> parse_toml_datetime(std::string_view text);

// Appends the date-time with "T" between date and time, seconds always,
// and "Z" for UTC.
void append_toml_datetime(const TomlDateTime& value, std::string& out);

// "datetime", "localdatetime", "date" or "time": the std/time type of the
// parts present.
std::string_view toml_datetime_type(const TomlDateTime& value);

}  // namespace bezo
