// XML Schema in, authored schema out: the body of import_schema("xsd", ...).
// One top-level element becomes the root; its complex type becomes the
// fields. What the schema language cannot express is weakened so that the
// result accepts at least what the XSD accepted, and noted in "// dropped:"
// lines. Imports, includes and redefinitions are never read, so nothing is
// opened or fetched.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// The whole authored schema, declared under `name` as given. `message`
// names the root among several top-level elements; any text, the empty one
// included, counts as given. An unchecked text is refused unless it is
// UTF-8.
Result<std::string> import_xsd(std::string_view text, std::optional<std::string_view> message, std::string_view name,
                               Utf8State utf8);
Result<std::string> import_xsd(std::string_view text, std::optional<std::string_view> message, std::string_view name);

}  // namespace bezo
