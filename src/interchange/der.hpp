// DER's tag-length-value framing: identifier octets, definite length octets
// and the content, shared by the ASN.1 exporter and the DER time writer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "lang/decimal.hpp"

namespace bezo {

enum class DerClass : std::uint8_t { Universal = 0, Application = 1, ContextSpecific = 2, Private = 3 };

struct DerTag {
    DerClass tag_class = DerClass::Universal;
    bool constructed = false;
    std::uint32_t number = 0;
    friend bool operator==(const DerTag&, const DerTag&) = default;
};

inline std::span<const std::uint8_t> as_der_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Base 128, most significant group first, every byte but the last with its
// top bit set; zero is the single byte 00.
void append_base128(UInt128 value, std::vector<std::uint8_t>& out);

// Appends identifier octets, definite length octets and the content.
void write_der_header(DerClass tag_class, bool constructed, std::uint32_t number, std::span<const std::uint8_t> content,
                      std::vector<std::uint8_t>& out);

}  // namespace bezo
