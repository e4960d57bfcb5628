// The line lexer in each of its modes (the first byte picks the mode), and
// the format-declaration check.
#include <array>

#include "fuzz_target.hpp"
#include "lang/lexer.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(input) {
    constexpr std::array kModes{LexMode::Document, LexMode::Schema, LexMode::TypeLibrary, LexMode::UnitDefs};
    const LexMode mode = kModes[fuzz::take_selector(input) % kModes.size()];
    const auto lines = lex(input, mode);
    if (lines) {
        std::uint64_t number = 0;
        for (const Line& line : *lines) {
            fuzz::check(line.line == ++number, "lines are numbered one by one");
            fuzz::check(line.text.empty() || (line.text.data() >= input.data() &&
                                              line.text.data() + line.text.size() <= input.data() + input.size()),
                        "a line's text is a slice of the input");
            (void)line_debug(line);
        }
    }
    for (const std::string_view kind : {"bezo", "hezo", "yezo", "gezo"}) (void)check_format_declaration(input, kind);
    (void)has_unquoted_eq(input);
    (void)skip_version_token(input);
}
