// Spells the members of an imported root object as one authored document,
// choosing for every value the most compact line form that carries it
// exactly and embedding as base64url JSON whatever the line grammar cannot
// carry.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "interchange/value.hpp"

namespace bezo {

// The whole document: the ".!bezo" declaration, one ".!types" line per
// library used, an empty line, then the body. With `embed_containers` every
// root array and object becomes one embedded-JSON line pair.
[[nodiscard]] Result<std::string> tree_to_authored(const ValueObject& members, bool embed_containers);

// A key as written in a content line: identifiers unchanged, anything else
// in double quotes with inner quotes doubled. Keys holding NUL, LF or CR,
// and the empty key, cannot be written.
[[nodiscard]] Result<std::string> authored_key(std::string_view key);

}  // namespace bezo
