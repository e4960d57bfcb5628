// Reading decimal float texts as binary64, the same way for every reader
// that meets them: foreign formats, the interchange tree and the numeric
// domains of schemas.
#pragma once

#include <optional>
#include <string_view>

namespace bezo {

// A decimal float: an optional sign ("-" or "+"), digits with an optional
// "." and fraction (either side of the point may be empty, not both), and
// an optional exponent ("e" or "E", an optional sign, digits). The value is
// the nearest binary64. A magnitude beyond binary64's range reads as an
// infinity when its first significant digit stands at a positive power of
// ten (overflow) and as a zero otherwise (underflow), either with the
// text's sign. None for any other text: no blanks, no "inf" or "nan", no
// hexadecimal.
std::optional<double> parse_decimal_double(std::string_view text);

// True when the digits before the exponent include one from 1 to 9, so a
// zero reading of the text means it underflowed.
bool has_nonzero_mantissa(std::string_view text);

}  // namespace bezo
