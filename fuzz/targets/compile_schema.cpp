// The schema compiler: an authored schema, then after a NUL byte the text of
// a parent served to it as "acme/base". What it writes, the compiled-schema
// reader reads.
#include <string>

#include "fuzz_target.hpp"
#include "schema/compiled.hpp"
#include "schema/schema_compiler.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(input) {
    const auto [schema, parent] = fuzz::split_at_nul(input);
    Resolver resolver = fuzz::offline_resolver();
    resolver.preload_module_text("acme/base", "hezo", std::string(parent));
    const auto compiled = compile_schema_text(schema, resolver);
    if (!compiled) return;
    fuzz::check_ok(load_compiled_schema(*compiled), "a compiled schema reads back");
}
