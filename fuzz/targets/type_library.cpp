// Type libraries, read directly and through a resolver that holds the text
// preloaded: every type the library defines is found (unless a built-in
// library has its name), and a schema and a document that use its first
// types compile or fail cleanly.
#include <string>

#include "fuzz_target.hpp"
#include "lang/yezo.hpp"
#include "pipeline/compiler.hpp"
#include "schema/schema_compiler.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    const auto library = parse_type_library(text);
    // A built-in library is served before a preloaded text of its name.
    if (!library || builtin_type_library(library->name) != nullptr) return;
    Resolver resolver = fuzz::offline_resolver();
    resolver.preload_module_text(library->name, "yezo", std::string(text));
    std::size_t used = 0;
    for (const auto& [type, definition] : library->types) {
        fuzz::check_ok(resolver.lookup_library_type(library->name, type, {}), "a defined type is found");
        if (++used > 4) continue;
        const std::string imports = ".!types " + library->name + "\n!" + type + "\n";
        (void)compile_schema_text(".!hezo fuzz\n" + imports + "x=\n", resolver);
        (void)compile_document(imports + "x=" + definition.value + "\n", resolver);
    }
}
