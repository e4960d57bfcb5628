// The build road: an authored document, then after a NUL byte an authored
// schema (no schema without a NUL). Build leaves values as written, so what
// it writes need not convert (a "!float" that is no number stays), and only
// a crash or a sanitizer report counts.
#include "fuzz_target.hpp"
#include "pipeline/build.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(input) {
    const auto [document, schema] = fuzz::split_at_nul(input);
    const bool has_schema = document.size() < input.size();
    Resolver resolver = fuzz::offline_resolver();
    (void)build_document(document, has_schema ? std::optional(schema) : std::nullopt, resolver);
}
