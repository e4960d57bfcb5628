// Exact decimals: the one number type of unit conversion. A value is a sign,
// a 128-bit mantissa and a power of ten; nothing is ever rounded.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace bezo {

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// (-1)^negative x mantissa x 10^exponent. The sign is kept apart from the
// mantissa, so a negative zero exists. Equal values may have several
// representations; only the printed text is canonical.
struct ExactDecimal {
    UInt128 mantissa = 0;
    bool negative = false;
    std::int32_t exponent = 0;

    friend bool operator==(const ExactDecimal&, const ExactDecimal&) = default;
};

// Why a text is no exact decimal: it is not written as a decimal number at
// all, or it is one whose digits or exponent the type cannot hold.
enum class DecimalRefusal : std::uint8_t { NotDecimal, OutOfRange };

// Reads an optional "-", digits with an optional "." (".5" and "5." are
// fine), and an optional exponent "E"/"e" with an optional sign. The digit
// string must not exceed 2^127 - 1 and the exponent must fit 32 bits.
std::expected<ExactDecimal, DecimalRefusal> read_exact_decimal(std::string_view text);

// `read_exact_decimal` without the reason of a refusal.
std::optional<ExactDecimal> parse_exact_decimal(std::string_view text);

// The canonical text: no exponent notation, no trailing fractional zero, no
// sign on zero, "0." before a fraction below one. Exponent digits are written
// out, so callers bound the exponent before printing.
std::string format_exact_decimal(bool negative, UInt128 mantissa, std::int32_t exponent);

// Checked signed 128-bit and 32-bit arithmetic: no value on overflow.
std::optional<Int128> checked_mul(Int128 a, Int128 b);
std::optional<std::int32_t> checked_add(std::int32_t a, std::int64_t b);

}  // namespace bezo
