// Units of data annotations against the document's ".!units" modules: a unit
// must be built in or defined by one of them, and an alias unit of theirs is
// written as the unit it stands for. The modules are loaded lazily, once per
// compile, when the first unit is met.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "pipeline/compile_state.hpp"

namespace bezo {

// Refuses a unit that is neither built in nor defined by the imported modules.
Result<void> check_unit(CompileState& state, std::string_view unit);

// The unit with every alias of the imported modules replaced, in canonical
// spelling; no value when nothing was replaced.
Result<std::optional<std::string>> rewrite_unit_aliases(CompileState& state, std::string_view unit);

// Both operations on an annotation's unit and on every alternative's unit,
// replacing aliases in place.
Result<void> check_annotation_units(CompileState& state, Annotation& annotation);

}  // namespace bezo
