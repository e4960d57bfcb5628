// GraphQL SDL in, authored schema out: the body of
// import_schema("graphql", ...). One object type of the document is the
// root; its fields become the schema's fields, nested non-null object types
// become namespace paths, and what the schema language cannot express is
// left out with a "// dropped:" note.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// The whole authored schema, declared under `name` as given. The root is the
// first definition named `message` when a message is given (even an empty
// one), else the document's only object, input or interface type. An
// unchecked text is refused unless it is UTF-8.
Result<std::string> import_graphql(std::string_view text, std::optional<std::string_view> message,
                                   std::string_view name, Utf8State utf8);
Result<std::string> import_graphql(std::string_view text, std::optional<std::string_view> message,
                                   std::string_view name);

}  // namespace bezo
