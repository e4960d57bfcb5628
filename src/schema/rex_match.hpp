// Matching of compiled patterns against subject texts.
#pragma once

#include <string_view>

#include "schema/rex_compile.hpp"

namespace bezo {

// True when some substring of `text` (UTF-8; the empty substring included)
// matches the program: a search, not a whole-text match. Reuses per-thread
// scratch lists, so a call allocates only when a larger program or a longer
// closure than any before on this thread needs more room. The steps are
// charged to the call's pattern work budget; once that is spent the answer
// is false, and the call reports the budget's error instead.
bool rex_is_match(const RexProgram& program, std::string_view text);

}  // namespace bezo
