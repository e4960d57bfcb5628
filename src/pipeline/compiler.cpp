#include "pipeline/compiler.hpp"

#include <optional>

#include "lang/lexer.hpp"
#include "pipeline/compile_line.hpp"

namespace bezo {

Result<std::string> compile_document(std::string_view text, Resolver& resolver) {
    auto lexer = lex_lines(text, LexMode::Document);
    if (!lexer) return std::unexpected(Error(lexer.error()));
    CompileState state(resolver);
    state.output_budget = output_budget(text.size());
    // Relational text is about as long as the authored text, a little
    // longer where blocks are spelled out on every line.
    state.output.reserve(text.size() + text.size() / 2);
    // Each line is compiled as it is lexed. A lexer failure anywhere in the
    // text wins over a compile failure, so after one the rest is still lexed.
    std::optional<Error> failure;
    while (!lexer->done()) {
        auto line = lexer->next();
        if (!line) return std::unexpected(Error(line.error()));
        if (failure) continue;
        state.current_line = line->line;
        if (auto compiled = compile_line(state, *line); !compiled) failure = std::move(compiled.error());
    }
    if (failure) return std::unexpected(std::move(*failure));
    if (has_pending_metadata(state)) return std::unexpected(Error::App(AppErrorKind::MetadataWithoutTarget));
    return std::move(state.output).finish(state.delegation_lines);
}

Result<std::string> compile_text(std::string_view text) {
    Resolver resolver;
    return compile_document(text, resolver);
}

}  // namespace bezo
