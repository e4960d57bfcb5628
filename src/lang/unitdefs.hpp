// Unit-definition modules (kind gezo): units of a module's own on top of the
// built-in ones, defined by a dimension line and a "&name=" line, aliases of
// units defined above, and units with no fixed size ("$").
#pragma once

#include <string_view>

#include "core/error.hpp"
#include "lang/unit.hpp"

namespace bezo {

// Parses a module text into its declared name and its units. Failures are
// lexer errors, FormatKind on line 1 for a module without a name, and Other
// messages naming the offending line.
Result<UnitDefs> parse_unit_defs(std::string_view text);

}  // namespace bezo
