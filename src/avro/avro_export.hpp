// A canonical document as an Avro object container file: one datum, in one
// uncompressed data block, under a schema inferred from the data itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/value.hpp"

namespace bezo {

// The whole file for the document converted to the interchange tree;
// nothing is returned in part. A file that would pass `output_limit` bytes
// fails with "output too large: more than {output_limit} bytes", early
// where the data makes that plain.
Result<std::vector<std::uint8_t>> encode_avro_container(const Value& value, std::size_t output_limit);

// The body of export_to("avro", ...), within the output budget of the text.
Result<std::vector<std::uint8_t>> export_avro(std::string_view canonical_text);

}  // namespace bezo
