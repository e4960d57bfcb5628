// Reading canonical and relational content lines: metadata, an apostrophe,
// the name path, "=", the value.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace bezo {

// The position of the first "=" after position `apostrophe` that stands
// outside double quotes (inside quotes a doubled quote is one quote character
// and does not close them), or none.
std::optional<std::size_t> find_unquoted_equals(std::string_view text, std::size_t apostrophe);

}  // namespace bezo
