// Schema inference of a canonical text, and the schema compiler on what it
// infers (a schema naming a type library the offline resolver lacks may be
// refused, so only a crash counts there).
#include "fuzz_target.hpp"
#include "pipeline/infer.hpp"
#include "schema/schema_compiler.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    const auto inferred = infer_main(text, "fuzz");
    if (!inferred) return;
    Resolver resolver = fuzz::offline_resolver();
    (void)compile_schema_text(*inferred, resolver);
}
