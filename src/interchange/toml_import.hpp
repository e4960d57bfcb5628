// TOML text in, authored text out: the body of import_from("toml", ...).
// Tables keep the order in which their keys appear in the document.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

Result<std::string> import_toml(std::string_view text);

}  // namespace bezo
