// Avro schema JSON in, authored schema out: the body of
// import_schema("avsc", ...). The root record's fields are written as
// schema lines; what the schema language cannot express is noted in
// "// dropped:" lines.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// Records nested deeper than this below the root end the import.
inline constexpr unsigned kMaxAvscRecordDepth = 32;

// The whole authored schema, declared under `name` as given. An unchecked
// text is refused unless it is UTF-8.
Result<std::string> import_avsc(std::string_view text, std::string_view name, Utf8State utf8);
Result<std::string> import_avsc(std::string_view text, std::string_view name);

}  // namespace bezo
