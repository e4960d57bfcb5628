// Unit-definition modules, read directly and through a resolver that holds
// the text preloaded: the units of the module resolve or fail cleanly,
// convert into one another, and a document that uses them compiles.
#include <string>

#include "fuzz_target.hpp"
#include "lang/unit.hpp"
#include "lang/unitdefs.hpp"
#include "pipeline/compiler.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    const auto module = parse_unit_defs(text);
    if (!module) return;
    Resolver resolver = fuzz::offline_resolver();
    resolver.preload_module_text(module->name, "gezo", std::string(text));
    fuzz::check_ok(resolver.load_unit_module(module->name, {}), "a parsed module loads");
    fuzz::check_ok(resolver.unit_module_lookup(module->name, {}), "a parsed module's aliases resolve");
    std::size_t used = 0;
    for (const auto& [name, definition] : module->units) {
        if (++used > 4) break;
        (void)resolve_unit(name, module->units);
        (void)unit_expression_scale(name, module->units);
        (void)convert_quantity("1.5", name, module->units.begin()->first, module->units);
        (void)compile_document(".!units " + module->name + "\n!float:" + name + "\nx=2\n", resolver);
    }
}
