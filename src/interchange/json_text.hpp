// Two small text rules shared by the JSON readers and writers: the JSON
// string literal of a text, and the decimal spelling of a binary64 number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/text.hpp"

namespace bezo {

// The JSON string literal of a text, quotes included. Only the quote, the
// backslash and characters below U+0020 are escaped; everything else,
// U+2028 and U+2029 included, is written unchanged.
std::string quote_json_string(std::string_view text);
// The position of the first byte at or after `from` that a string literal
// cannot hold as it is (a double quote, a backslash or a byte below 0x20),
// or the text's size.
std::size_t find_json_escape_byte(std::string_view text, std::size_t from);
void append_json_string(std::string_view text, std::string& out);

// The longest escape of one byte: backslash, "u" and four hex digits.
inline constexpr std::size_t kMaxJsonEscape = 6;
// Writes the escape of a byte that find_json_escape_byte stops at and gives
// the end of what it wrote (at most kMaxJsonEscape bytes).
char* write_json_escape(unsigned char byte, char* at);

// Walks a text as a string literal holds it: `run` takes each run of bytes
// that stand as they are, `escape` each byte between runs that needs an
// escape, in the order of the text.
template <class Run, class Escape>
void for_each_json_escape_run(std::string_view text, Run run, Escape escape) {
    std::size_t run_start = 0;
    while (true) {
        const std::size_t i = find_json_escape_byte(text, run_start);
        run(text.substr(run_start, i - run_start));
        if (i == text.size()) return;
        escape(static_cast<unsigned char>(text[i]));
        run_start = i + 1;
    }
}

// Copies a text that a string literal can hold as it is to `at`, which has
// room for it, and gives the end of the copy; null when the text needs an
// escape, leaving what it wrote at `at` of no use. Each byte of the text is
// read once, in overlapping words or blocks of sixteen, and none beyond it.
char* copy_plain_json_text_long(std::string_view text, char* at);
[[gnu::always_inline]] inline char* copy_plain_json_text(std::string_view text, char* at) {
    const auto marks = [](std::uint64_t word) {
        return word_has_byte_below(word, 0x20) | word_has_byte(word, '"') | word_has_byte(word, '\\');
    };
    const char* data = text.data();
    const std::size_t size = text.size();
    std::uint64_t marked = 0;
    if (size > 16) return copy_plain_json_text_long(text, at);
    if (size >= 8) {
        marked = marks(load_word(data)) | marks(load_word(data + size - 8));
    } else if (size >= 4) {
        std::uint32_t first;
        std::uint32_t last;
        std::memcpy(&first, data, sizeof first);
        std::memcpy(&last, data + size - 4, sizeof last);
        marked = marks(first | (std::uint64_t{last} << 32));
    } else if (size > 0) {
        // The first, middle and last bytes are every byte of a text of one
        // to three; the rest of the word is filled with letters.
        const auto first = static_cast<unsigned char>(data[0]);
        const auto middle = static_cast<unsigned char>(data[size / 2]);
        const auto last = static_cast<unsigned char>(data[size - 1]);
        if (marks(first | (middle << 8) | (last << 16) | (repeated_byte('a') << 24)) != 0) return nullptr;
        at[0] = static_cast<char>(first);
        at[size / 2] = static_cast<char>(middle);
        at[size - 1] = static_cast<char>(last);
        return at + size;
    }
    return marked == 0 ? copy_text(text, at) : nullptr;
}

// The decimal text of a binary64 number with the shortest digits that read
// back to the same value: "3.0" for integral values below 1e16, exponent
// form ("1e16", "1.5e20") above, plain decimals otherwise ("0.0000001").
// NaN gives "NaN", the infinities "inf" and "-inf".
std::string format_json_float(double number);

// A finite binary64 number with the shortest digits that read back to it, in
// exponent form without "+" or leading zeros in the exponent ("1e16",
// "1.5e-300").
std::string format_float_exponent_form(double number);

}  // namespace bezo
