// The denormalizer on relational text as given.
#include "fuzz_target.hpp"
#include "pipeline/denorm.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    Resolver resolver = fuzz::offline_resolver();
    (void)denormalize_document(text, resolver);
}
