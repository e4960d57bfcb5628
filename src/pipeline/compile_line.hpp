// Line compilation: the effect of each lexed line of an authored document on
// the compile state (blocks, pending metadata, variables, array entries, map
// annotations), and the writing of its relational content lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "lang/lexer.hpp"
#include "pipeline/compile_state.hpp"

namespace bezo {

// Compiles one line of any kind.
Result<void> compile_line(CompileState& state, const Line& line);

// The canonical segments of a path in a namespace, array or splat position:
// leading "/" skipped, "::" refused.
Result<std::vector<std::string>> parse_path(std::string_view text);

// Writes one content line at `path` (joined path text) with the signature of
// the pending annotation and provenance; a union annotation first chooses
// the member that accepts the value. The pending slots stay set.
Result<void> emit_typed_field(CompileState& state, std::string_view path, std::string_view key, std::string_view value);

// Writes one splat item: "@name+" and "@name;" keys append entries to the
// array "@name" below `path`; any other key is one field.
Result<void> emit_content_line(CompileState& state, std::string_view path, std::string_view key,
                               std::string_view value);

// Writes every item of a splat value ("$/.name" or inline) at `path`.
Result<void> emit_splat_lines(CompileState& state, std::string_view path, std::string_view value);

}  // namespace bezo
