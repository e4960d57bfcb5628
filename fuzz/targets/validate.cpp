// Validation: a canonical document, then after a NUL byte a schema, authored
// or compiled (".!whezo"), as validate() takes them.
#include "fuzz_target.hpp"
#include "pipeline/validate_document.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(input) {
    const auto [document, schema] = fuzz::split_at_nul(input);
    Resolver resolver = fuzz::offline_resolver();
    (void)validate_document(document, schema, resolver);
}
