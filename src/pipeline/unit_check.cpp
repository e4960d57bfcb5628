#include "pipeline/unit_check.hpp"

namespace bezo {
namespace {

Result<const UnitNames*> user_unit_names(CompileState& state) {
    if (!state.user_unit_names) {
        UnitNames names;
        for (const auto& module : state.units_imports) {
            auto defined = state.resolver.load_unit_module(module, state.registry);
            if (!defined) return forward_error(defined);
            names.merge(*defined);
        }
        state.user_unit_names = std::move(names);
    }
    return &*state.user_unit_names;
}

Result<const UnitAliasTable*> user_unit_aliases(CompileState& state) {
    if (!state.user_unit_aliases) {
        UnitAliasTable table;
        for (const auto& module : state.units_imports) {
            auto aliases = state.resolver.unit_module_lookup(module, state.registry);
            if (!aliases) return forward_error(aliases);
            // A later module's entry for the same alias replaces an earlier one.
            for (auto& [alias, target] : *aliases) table.insert_or_assign(alias, std::move(target));
        }
        state.user_unit_aliases = std::move(table);
    }
    return &*state.user_unit_aliases;
}

Result<void> check_and_rewrite(CompileState& state, std::optional<std::string>& unit) {
    if (!unit) return {};
    if (auto checked = check_unit(state, *unit); !checked) return checked;
    auto replacement = rewrite_unit_aliases(state, *unit);
    if (!replacement) return forward_error(replacement);
    if (*replacement) unit = std::move(**replacement);
    return {};
}

}  // namespace

Result<void> check_unit(CompileState& state, std::string_view unit) {
    auto names = user_unit_names(state);
    if (!names) return forward_error(names);
    if (is_known_unit(unit, **names)) return {};
    return fail("unknown unit '" + quoted_excerpt(unit) + "' (not built-in, not defined by any .!units import)");
}

Result<std::optional<std::string>> rewrite_unit_aliases(CompileState& state, std::string_view unit) {
    if (state.units_imports.empty()) return std::nullopt;
    auto table = user_unit_aliases(state);
    if (!table) return forward_error(table);
    if ((*table)->empty()) return std::nullopt;
    return substitute_unit_symbols(unit, **table);
}

Result<void> check_annotation_units(CompileState& state, Annotation& annotation) {
    if (auto checked = check_and_rewrite(state, annotation.unit); !checked) return checked;
    for (auto& alternative : annotation.alternatives) {
        if (auto checked = check_and_rewrite(state, alternative.unit); !checked) return checked;
    }
    return {};
}

}  // namespace bezo
