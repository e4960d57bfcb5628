// Decimal text of unsigned integers for messages and paths.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>

namespace bezo {

inline void append_decimal(std::uint64_t number, std::string& out) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(digits, end);
}

inline std::string decimal_text(std::uint64_t number) {
    std::string out;
    append_decimal(number, out);
    return out;
}

}  // namespace bezo
