// TOML text in, authored text out: the body of import_from("toml", ...).
// Tables keep the order in which their keys appear in the document.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// An unchecked text is refused unless it is UTF-8.
Result<std::string> import_toml(std::string_view text, Utf8State state);
Result<std::string> import_toml(std::string_view text);

}  // namespace bezo
