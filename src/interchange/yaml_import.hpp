// YAML text in, authored text out: the body of import_from("yaml", ...).
// The one document's root mapping becomes the members of the authored
// document; merge keys (the plain, untagged "<<") are applied and aliases
// are copied.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"
#include "interchange/value.hpp"

namespace bezo {

// An unchecked text is refused unless it is UTF-8.
Result<std::string> import_yaml(std::string_view text, Utf8State state);
Result<std::string> import_yaml(std::string_view text);

}  // namespace bezo
