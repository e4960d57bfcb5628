// A canonical document as one CBOR data item (RFC 8949): definite lengths,
// shortest heads, integers as integers (bignums beyond 64 bits) and other
// numbers as the shortest float that holds them exactly.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/value.hpp"

namespace bezo {

// The root is at depth 0; members and items are one deeper than their holder.
inline constexpr unsigned kMaxCborDepth = 512;

// Appends the head of major type `major` (0..7) with the shortest form of
// `argument`.
void cbor_write_head(std::uint8_t major, std::uint64_t argument, std::vector<std::uint8_t>& out);

// Appends one data item; on failure the buffer holds a partial item.
Result<void> encode_cbor_value(const Value& value, std::vector<std::uint8_t>& out, unsigned depth);

Result<std::vector<std::uint8_t>> cbor_export_body(const CanonicalValue& tree);

// The body of export_to("cbor", ...).
Result<std::vector<std::uint8_t>> export_cbor(std::string_view canonical_text);

}  // namespace bezo
