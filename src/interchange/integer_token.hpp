// Decimal integer text to bytes, for the binary encoders: numbers travel the
// interchange tree as text, so integers of any size convert exactly.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace bezo {

// ASCII decimal digits (no sign) to the value's big-endian base-256 bytes
// without a leading zero byte; zero gives no bytes. Leading zero digits are
// allowed.
std::vector<std::uint8_t> decimal_to_magnitude_bytes(std::string_view digits);

// An optional "-" and one or more decimal digits to the shortest big-endian
// two's-complement bytes of the value (never empty). Anything else fails
// with "not an integer token: {}".
[[nodiscard]] Result<std::vector<std::uint8_t>> parse_integer_token(std::string_view text);

}  // namespace bezo
