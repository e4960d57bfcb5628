// The exporter's two writers over an inferred Avro schema: the schema JSON
// stored in the container header, and the binary encoding of the datum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "avro/avro_schema.hpp"
#include "core/error.hpp"
#include "interchange/value.hpp"

namespace bezo {

// The root is at depth 0; fields, items and elements are one deeper.
inline constexpr unsigned kMaxAvroDepth = 512;

// Appends a signed 64-bit integer as Avro writes every int and long: its
// zigzag form in base-128 groups, least significant first.
void write_avro_long(std::int64_t value, std::vector<std::uint8_t>& out);

// Appends an Avro "bytes" or "string" value: the length, then the bytes.
void write_avro_bytes(std::string_view bytes, std::vector<std::uint8_t>& out);

// Appends the compact schema JSON of an inferred schema. Fixed, enum and map
// schemas are never inferred and fail.
Result<void> write_avro_schema_json(const AvroSchema& schema, std::string& out);

// Appends the binary encoding of `value` under the schema inferred from it.
// Fails with "output too large: more than {output_limit} bytes" rather than
// let `out` grow past `output_limit` bytes; a datum that needs more than
// that at the least fails before anything is written.
Result<void> encode_avro_datum(const Value& value, const AvroSchema& schema, std::vector<std::uint8_t>& out,
                               unsigned depth, std::size_t output_limit = std::numeric_limits<std::size_t>::max());

// The number a std/time literal of type `type_name` stands for under a
// date or time logical type of `kind`.
Result<std::int64_t> avro_time_value(TimeKind kind, std::string_view type_name, std::string_view literal);

}  // namespace bezo
