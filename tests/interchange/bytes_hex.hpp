// Lower-case hexadecimal of a byte sequence, so byte expectations read like
// the dumps they come from.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace bezo {

inline std::string hex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t byte : bytes) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
    return out;
}

inline std::string hex(std::string_view bytes) {
    return hex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace bezo
