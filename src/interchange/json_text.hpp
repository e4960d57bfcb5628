// Two small text rules shared by the JSON readers and writers: the JSON
// string literal of a text, and the decimal spelling of a binary64 number.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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
