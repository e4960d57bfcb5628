// The compiler, and the denormalizer on what it writes.
#include "fuzz_target.hpp"
#include "pipeline/compiler.hpp"
#include "pipeline/denorm.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    Resolver resolver = fuzz::offline_resolver();
    const auto relational = compile_document(text, resolver);
    if (!relational) return;
    (void)denormalize_document(*relational, resolver);
}
