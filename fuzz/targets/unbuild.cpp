// Unbuild of canonical or relational text. (Lines it cannot model it keeps
// as they are, so what it writes need not be authored text.)
#include "fuzz_target.hpp"
#include "pipeline/unbuild.hpp"

BEZO_FUZZ_TARGET(text) { (void)bezo::unbuild_stream(text); }
