// Decimal integer text to bytes, for the binary encoders: numbers travel the
// interchange tree as text, so integers of any size convert exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace bezo {

// The most significant digits (leading zeros aside) an integer may have on
// its way into bytes. The conversion takes time that grows with the square
// of the length: 100,000 digits take milliseconds, millions would take
// minutes, and no real data holds integers of that size.
inline constexpr std::size_t kMaxIntegerDigits = 100'000;

// ASCII decimal digits (no sign) to the value's big-endian base-256 bytes
// without a leading zero byte; zero gives no bytes. Leading zero digits are
// allowed. More than kMaxIntegerDigits significant digits fail with
// "integer too long: more than 100000 digits".
Result<std::vector<std::uint8_t>> decimal_to_magnitude_bytes(std::string_view digits);

// An optional "-" and one or more decimal digits to the shortest big-endian
// two's-complement bytes of the value (never empty). Anything else fails
// with "not an integer token: {}", and a value too long for
// decimal_to_magnitude_bytes with its message.
Result<std::vector<std::uint8_t>> parse_integer_token(std::string_view text);

}  // namespace bezo
