// Reading the decimal number texts that foreign formats and the interchange
// tree carry: signed 64-bit integers and binary64 floats, each from the
// whole text or not at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace bezo {

// A decimal float: an optional sign, digits with an optional "." and
// fraction (either side of the point may be empty, not both), and an
// optional exponent. The value is the nearest binary64; a magnitude beyond
// the range reads as an infinity and one below it as a zero of the same
// sign. None for any other text.
std::optional<double> parse_decimal_double(std::string_view text);

// True when the digits before the exponent include one from 1 to 9, so a
// zero reading of the text means it underflowed.
bool has_nonzero_mantissa(std::string_view text);

}  // namespace bezo
