// A canonical document as one ASN.1 value in DER. Plain values take a fixed
// default type; any other type is chosen by wrapping the value in a
// namespace of one member whose key names the type (seq, int, oid, c0, ...).
// ASN.1 fields are positional, so a namespace of several members has no
// encoding.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/der.hpp"
#include "interchange/value.hpp"

namespace bezo {

// Values nest at most this deep; the items of an array written as a
// SEQUENCE, a SET or a constructed tag are one deeper than the array's holder.
inline constexpr unsigned kMaxDerDepth = 512;

// A wrapper key naming a tag of its own: a class letter (u, a, c, x), the
// tag number, and "p" for primitive ("c" for constructed, required for u):
// c0, c0p, a3, x7p, u16c. None for any other key.
std::optional<DerTag> parse_tag_key(std::string_view key);

// The content octets of a dotted OBJECT IDENTIFIER (relative false) or
// RELATIVE-OID (relative true). Fails with "malformed OID: {}".
Result<std::vector<std::uint8_t>> encode_oid(std::string_view text, bool relative);

// The date-time text a value carries: a string, or a std/time datetime or
// localdatetime literal.
std::optional<std::string_view> der_datetime_literal(const Value& value);

Result<void> encode_der_value(const Value& value, std::vector<std::uint8_t>& out, unsigned depth);

// Encodes every item at depth + 1, then appends one constructed TLV holding
// them.
Result<void> write_der_constructed(DerClass tag_class, std::uint32_t number, const ValueArray& items,
                                   std::vector<std::uint8_t>& out, unsigned depth);

// A string under a universal string tag: UTF-32BE for UniversalString (28),
// UTF-16BE for BMPString (30), the UTF-8 bytes for every other. Any other
// value fails with "{key} expects a string".
Result<void> encode_der_string(const Value& value, std::uint32_t tag, std::vector<std::uint8_t>& out,
                               std::string_view key);

Result<std::vector<std::uint8_t>> asn1_export_body(const CanonicalValue& tree);

// The body of export_to("asn1", ...).
Result<std::vector<std::uint8_t>> export_asn1(std::string_view canonical_text);

}  // namespace bezo
