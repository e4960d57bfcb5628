#include "pipeline/compiler.hpp"

#include <algorithm>
#include <optional>

#include "lang/lexer.hpp"
#include "pipeline/compile_line.hpp"

namespace bezo {
namespace {

// Relational text is about as long as the authored text, longer where
// paths and signatures are spelled out on every line: the first size.
std::size_t first_output_size(std::size_t input) { return input + input / 2; }

// Once the first 32nd of a text is compiled, the output is sized for the
// whole text from how much that part has grown, an eighth more for a text
// that grows faster further on, and at most twice its size, as a doubling
// would take (a part that expands variables may grow far more than the
// rest). A large output is thus moved while it is still small, rather than
// into a fresh block twice as large once it is full.
class OutputSizer {
public:
    explicit OutputSizer(std::size_t total) : total_(total), checkpoint_(total / 32) {}

    void after_line(RelationalText& output, std::size_t compiled) {
        if (checkpoint_ == 0 || compiled < checkpoint_) return;
        checkpoint_ = 0;
        const double growth = static_cast<double>(output.size()) / static_cast<double>(compiled);
        const double whole =
            static_cast<double>(output.size()) + growth * static_cast<double>(total_ - compiled) * 1.125;
        output.reserve(static_cast<std::size_t>(std::min(whole, 2.0 * static_cast<double>(output.capacity()))));
    }

private:
    std::size_t total_;
    std::size_t checkpoint_;  // 0 once passed
};

}  // namespace

Result<std::string> compile_document(std::string_view text, Resolver& resolver, Utf8State utf8) {
    auto lexer = lex_lines(text, LexMode::Document, utf8);
    if (!lexer) return std::unexpected(Error(lexer.error()));
    CompileState state(resolver);
    state.output_budget = output_budget(text.size());
    state.output.reserve(first_output_size(text.size()));
    OutputSizer sizer(text.size());
    // Each line is compiled as it is lexed. A lexer failure anywhere in the
    // text wins over a compile failure, so after one the rest is still lexed.
    std::optional<Error> failure;
    while (!lexer->done()) {
        auto line = lexer->next();
        if (!line) return std::unexpected(Error(line.error()));
        if (failure) continue;
        state.current_line = line->line;
        if (auto compiled = compile_line(state, *line); !compiled) failure = std::move(compiled.error());
        sizer.after_line(state.output, lexer->offset());
    }
    if (failure) return std::unexpected(std::move(*failure));
    if (has_pending_metadata(state)) return std::unexpected(Error::App(AppErrorKind::MetadataWithoutTarget));
    return std::move(state.output).finish(state.delegation_lines);
}

Result<std::string> compile_text(std::string_view text, Utf8State utf8) {
    Resolver resolver;
    return compile_document(text, resolver, utf8);
}

}  // namespace bezo
