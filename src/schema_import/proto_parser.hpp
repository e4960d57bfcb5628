// The parser of a self-contained .proto text (proto2 or proto3): packages,
// messages with their nested messages, enums, fields, maps and oneofs are
// read; syntax, options, services, extensions and reserved ranges are read
// past; imports and groups are refused.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/error.hpp"
#include "schema_import/proto_model.hpp"

namespace bezo {

// Messages and oneofs nested deeper than this end the parse, and so does a
// message declared in a package of more components than this: type
// resolution tries every enclosing scope of a field, so scopes stay shallow.
inline constexpr std::size_t kMaxProtoNesting = 512;

// The whole file, every field's type resolved.
Result<ProtoFile> parse_proto_file(std::string_view text);

}  // namespace bezo
