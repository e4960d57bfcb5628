// UTF-8 helpers: a strict well-formedness check for texts that arrive as
// bytes, decoding one sequence at a time for code that walks a text by code
// points without building a decoded copy of it, and Unicode white space.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace bezo {

// A byte that continues a UTF-8 sequence rather than starting one.
constexpr bool is_utf8_continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The number of characters of a UTF-8 text: its bytes that start a
// sequence (a stray or malformed byte counts as one).
inline std::size_t count_scalars(std::string_view text) {
    return static_cast<std::size_t>(std::ranges::count_if(text, [](char c) { return !is_utf8_continuation(c); }));
}

// Whether a text handed to a reader is already known to be well-formed UTF-8
// (the UTF-8 form of a Python str always is) or must be checked first.
enum class Utf8State : bool { Unchecked, Valid };

// True when the bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no truncated sequence.
bool is_valid_utf8(std::string_view bytes);

// Decodes the sequence that starts at `pos` and advances `pos` past it. A
// malformed sequence (bad lead or continuation byte, truncation, overlong
// form, surrogate, value above U+10FFFF) gives no value and advances `pos` by
// one byte, so a caller can substitute and resynchronise. `pos` must be below
// `text.size()`.
inline std::optional<char32_t> utf8_next(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return std::nullopt;
    }
    if (text.size() - pos < length) {
        ++pos;
        return std::nullopt;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        if (!is_utf8_continuation(static_cast<char>(next))) {
            ++pos;
            return std::nullopt;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++pos;
        return std::nullopt;
    }
    pos += length;
    return value;
}

// Appends the UTF-8 sequence of a code point (at most U+10FFFF).
inline void append_utf8(char32_t code_point, std::string& out) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | code_point >> 6);
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | code_point >> 12);
        out += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code_point >> 18);
        out += static_cast<char>(0x80 | (code_point >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

// Whether a character has the Unicode White_Space property.
bool is_unicode_white_space(char32_t c);

// The text without Unicode white space at its start, or at both ends; a
// malformed sequence counts as a character that is not white space.
std::string_view trim_leading_unicode_white_space(std::string_view text);
std::string_view trim_unicode_white_space(std::string_view text);

// Whether the text holds a character that is not Unicode white space.
bool has_non_white_space(std::string_view text);

}  // namespace bezo
