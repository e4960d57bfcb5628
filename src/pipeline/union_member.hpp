// The member of a union annotation ("!int|text") that a field's value takes:
// the first member, in written order, whose lowered constraints accept it,
// passing over a member that an earlier one of its name and unit shadows.
#pragma once

#include <string_view>

#include "core/error.hpp"
#include "lang/anno.hpp"
#include "pipeline/compile_state.hpp"

namespace bezo {

// The chosen member as an annotation of its own (its name, constraints and
// unit, the union's provenance, no alternatives); TypeMismatch when no
// member accepts the value.
Result<Annotation> choose_union_member(CompileState& state, const Annotation& annotation, std::string_view value);

}  // namespace bezo
