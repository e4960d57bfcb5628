// Proleptic Gregorian calendar arithmetic shared by the date readers.
#pragma once

#include <cstdint>

namespace bezo {

constexpr bool is_leap_year(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The number of days of a month (1-12) in a year.
constexpr unsigned days_in_month(std::int64_t year, unsigned month) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

}  // namespace bezo
