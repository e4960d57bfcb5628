#include "pipeline/compiler.hpp"

#include "lang/lexer.hpp"
#include "pipeline/compile_line.hpp"

namespace bezo {

Result<std::string> compile_document(std::string_view text, Resolver& resolver) {
    auto lines = lex(text, LexMode::Document);
    if (!lines) return std::unexpected(Error(lines.error()));
    CompileState state(resolver);
    state.output_budget = output_budget(text.size());
    // Relational text is about as long as the authored text, a little
    // longer where blocks are spelled out on every line.
    state.output.reserve(text.size() + text.size() / 2);
    for (const Line& line : *lines) {
        state.current_line = line.line;
        if (auto compiled = compile_line(state, line); !compiled) return forward_error(compiled);
    }
    if (has_pending_metadata(state)) return std::unexpected(Error::App(AppErrorKind::MetadataWithoutTarget));
    return std::move(state.output).finish(state.delegation_lines);
}

Result<std::string> compile_text(std::string_view text) {
    Resolver resolver;
    return compile_document(text, resolver);
}

}  // namespace bezo
