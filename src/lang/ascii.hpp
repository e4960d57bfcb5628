// Locale-independent ASCII character tests shared by the text helpers of the
// language foundations.
#pragma once

#include <algorithm>
#include <string_view>

namespace bezo {

constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_ascii_upper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_ascii_lower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool is_ascii_letter(char c) { return is_ascii_upper(c) || is_ascii_lower(c); }
constexpr bool is_blank_or_tab(char c) { return c == ' ' || c == '\t'; }

// Non-empty and made only of ASCII digits.
constexpr bool is_ascii_digits(std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, is_ascii_digit);
}

// Non-empty and made only of ASCII letters.
constexpr bool is_ascii_letters(std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, is_ascii_letter);
}

// A plain identifier: an ASCII letter or "_", then ASCII letters, digits or
// "_". This is the name form of path segments and column names.
constexpr bool is_plain_identifier(std::string_view text) {
    if (text.empty() || !(is_ascii_letter(text.front()) || text.front() == '_')) {
        return false;
    }
    return std::ranges::all_of(text.substr(1),
                               [](char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '_'; });
}

}  // namespace bezo
