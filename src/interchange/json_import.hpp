// JSON text in, authored text out: the body of import_from("json", ...).
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// Reads a JSON document whose root is an object and spells its members as
// authored text. An unchecked text is refused unless it is UTF-8.
Result<std::string> import_json(std::string_view text, bool embed_containers, Utf8State state = Utf8State::Unchecked);

// import_json with containers written as lines rather than embedded.
Result<std::string> import_json_entry(std::string_view text, Utf8State state);
Result<std::string> import_json_entry(std::string_view text);

}  // namespace bezo
