#include "pipeline/compiler.hpp"

#include <array>

#include "core/text.hpp"
#include "lang/lexer.hpp"
#include "pipeline/compile_line.hpp"

namespace bezo {
namespace {

constexpr std::array<std::string_view, 8> kForeignKinds = {"lezo", "nezo", "hezo", "whezo",
                                                           "yezo", "gezo", "pezo", "phezo"};

// ".!" + the word, followed by the end of the line, a blank or a tab.
bool declares(std::string_view text, std::string_view word) {
    if (!text.starts_with(".!") || !text.substr(2).starts_with(word)) return false;
    const std::string_view rest = text.substr(2 + word.size());
    return rest.empty() || is_blank_or_tab(rest.front());
}

// The text after a directive word, trimmed of blanks and tabs at both ends.
std::string_view directive_argument(std::string_view text, std::string_view directive) {
    return trim_blanks(text.substr(directive.size()));
}

void add_import(std::vector<std::string>& imports, std::string_view argument) {
    if (!argument.empty()) imports.emplace_back(argument);
}

Result<void> switch_on_verbatim(CompileState& state, std::string_view text) {
    if (!directive_argument(text, ".!verbatim").empty() || state.verbatim || state.content_seen) {
        return std::unexpected(Error::App(AppErrorKind::VerbatimContext));
    }
    state.verbatim = true;
    return {};
}

void add_registry_pair(CompileState& state, std::string_view text) {
    const std::string_view argument = directive_argument(text, ".!registry");
    const auto eq = argument.find('=');
    if (eq == std::string_view::npos) return;
    state.registry.push_back(RegistryEntry{std::string(argument.substr(0, eq)), std::string(argument.substr(eq + 1))});
}

}  // namespace

Result<void> compile_declaration(CompileState& state, std::string_view text) {
    if (declares(text, "bezo")) return {};
    for (std::string_view kind : kForeignKinds) {
        if (declares(text, kind)) return std::unexpected(Error::Lex(LexErrorKind::FormatKind, state.current_line));
    }
    if (text.starts_with(".!types")) {
        add_import(state.types_imports, directive_argument(text, ".!types"));
        return {};
    }
    if (text.starts_with(".!units")) {
        add_import(state.units_imports, directive_argument(text, ".!units"));
    } else if (text.starts_with(".!verbatim")) {
        if (auto switched = switch_on_verbatim(state, text); !switched) return switched;
    } else if (text.starts_with(".!registry")) {
        add_registry_pair(state, text);
    }
    state.output.append_line(text);
    return {};
}

Result<std::string> compile_document(std::string_view text, Resolver& resolver) {
    auto lines = lex(text, LexMode::Document);
    if (!lines) return std::unexpected(Error(lines.error()));
    CompileState state(resolver);
    for (const Line& line : *lines) {
        state.current_line = line.line;
        if (auto compiled = compile_line(state, line); !compiled) return std::unexpected(std::move(compiled.error()));
    }
    if (has_pending_metadata(state)) return std::unexpected(Error::App(AppErrorKind::MetadataWithoutTarget));
    return std::move(state.output).finish(state.delegation_lines);
}

Result<std::string> compile_text(std::string_view text) {
    Resolver resolver;
    return compile_document(text, resolver);
}

}  // namespace bezo
