// Validation: a canonical document, then after a NUL byte a schema, authored
// or compiled (".!whezo"), as validate() takes them.
#include <string>

#include "fuzz_target.hpp"
#include "schema/compiled.hpp"
#include "schema/schema_compiler.hpp"
#include "schema/validator.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(input) {
    const auto [document, schema_text] = fuzz::split_at_nul(input);
    std::string compiled_text;
    std::string_view compiled = schema_text;
    if (!schema_text.starts_with(".!whezo")) {
        Resolver resolver = fuzz::offline_resolver();
        auto result = compile_schema_text(schema_text, resolver);
        if (!result) return;
        compiled_text = std::move(*result);
        compiled = compiled_text;
    }
    const auto schema = load_compiled_schema(compiled);
    if (!schema) return;
    (void)validate_stream(document, *schema);
}
