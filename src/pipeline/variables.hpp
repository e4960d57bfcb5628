// The variables of authored documents: text variables (".name=", used as
// "$.name"), record variables ("@.name+=", "@.name;=", used as "$@.name")
// and splat variables ("/.name:=", used as "$/.name"), and the rewriting of
// "$" field references inside blocks. Variables are expanded here, at compile
// time; field references are left for the denormalizer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "pipeline/compile_state.hpp"

namespace bezo {

// The text a text-variable definition stores: "$$" becomes one "$" and
// "$.name" the named variable's text; any other "$" is refused.
Result<std::string> expand_text_variable_definition(CompileState& state, std::string_view value);

// A field value as it goes into a relational line: "$.name" replaced (its
// dollars doubled), "$$" kept, references made relative to the root. The
// value itself when nothing is replaced, else the expansion, built in
// `scratch`.
Result<std::string_view> expand_variables(CompileState& state, std::string_view value, std::string& scratch);

// The two passes of expand_variables, for a caller that writes the
// expansion straight into its output: the bytes it takes at most, with
// every substitution charged to the budget and every failure found; then
// the expansion appended to `out`.
Result<std::size_t> measure_expansion(CompileState& state, std::string_view value);
void append_expansion(CompileState& state, std::string_view value, std::string& out);

// Whether a value is a whole use of a record variable ("$@." + name).
bool is_record_variable_use(std::string_view value);

// The items a value stands for where a record variable may: "$@.name" gives
// the variable's items, without a copy; any other value one item, the
// expanded value, held in `scratch`.
Result<const std::vector<std::string>*> record_items(CompileState& state, std::string_view value,
                                                     std::vector<std::string>& scratch);

// "$/.name" gives the splat variable's items; any other value is an inline
// splat "key=value|key=value".
Result<SplatItems> splat_variable_value(CompileState& state, std::string_view value);

}  // namespace bezo
