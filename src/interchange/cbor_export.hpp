// A canonical document as one CBOR data item (RFC 8949): definite lengths,
// shortest heads, integers as integers (bignums beyond 64 bits) and other
// numbers as the shortest float that holds them exactly.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace bezo {

// The root is at depth 0; members and items are one deeper than their holder.
inline constexpr unsigned kMaxCborDepth = 512;

// Appends the head of major type `major` (0..7) with the shortest form of
// `argument`.
void cbor_write_head(std::uint8_t major, std::uint64_t argument, std::vector<std::uint8_t>& out);

// Appends a number: an integer as an integer or bignum, any other number
// as the shortest float that holds it exactly.
Result<void> encode_cbor_number(std::string_view text, std::vector<std::uint8_t>& out);

// The body of export_to("cbor", ...).
Result<std::vector<std::uint8_t>> export_cbor(std::string_view canonical_text);

}  // namespace bezo
