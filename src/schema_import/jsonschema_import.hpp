// JSON Schema in, authored schema out: the body of
// import_schema("jsonschema", ...). The fields are the properties of the
// root object schema; what the schema language cannot express is weakened
// so that the result accepts at least what the JSON Schema accepted, and
// noted in "// dropped:" lines.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// The whole authored schema, declared under `name` as given. An unchecked
// text is refused unless it is UTF-8.
Result<std::string> import_jsonschema(std::string_view text, std::string_view name, Utf8State utf8);
Result<std::string> import_jsonschema(std::string_view text, std::string_view name);

}  // namespace bezo
