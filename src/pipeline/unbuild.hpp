// Unbuild: canonical or relational text back to idiomatic authored text.
// Every content line that names a plain path and key becomes a formatter
// field, its type signature the annotation line above it; every other line
// is kept; the shared renderer chooses the blocks and one-line forms.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

Result<std::string> unbuild_stream(std::string_view text);

}  // namespace bezo
