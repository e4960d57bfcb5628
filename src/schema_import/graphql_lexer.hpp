// The tokenizer of GraphQL SDL: names, texts (string literals, block strings
// and numbers alike), single punctuation bytes and the end of the input.
// Blanks, line breaks, commas and "#" comments are skipped. It is coarse on
// purpose: numbers are not validated, escapes are not decoded, and every
// byte that starts no other token is a punctuation token of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// The SDL text and the byte position of the next token. Only the tokenizer
// moves the position forward; the parser may save and restore it.
struct SdlCursor {
    std::string_view text;
    std::size_t pos = 0;
};

enum class SdlTokenKind : std::uint8_t { Name, Text, Punct, Eof };

// One token. `text` borrows the cursor's text: the name, the string or block
// string content, or the number's lexeme. `punct` is the byte of a Punct.
struct SdlToken {
    SdlTokenKind kind = SdlTokenKind::Eof;
    std::string_view text;
    char punct = 0;

    bool is_punct(char c) const { return kind == SdlTokenKind::Punct && punct == c; }
    bool is_name(std::string_view name) const { return kind == SdlTokenKind::Name && text == name; }
};

// Skips what is insignificant, reads one token and moves past it. At the end
// of the text every call gives Eof. Fails with "unterminated string literal"
// or "unterminated block string".
Result<SdlToken> next_sdl_token(SdlCursor& cursor);

// The token as messages show it: Name("id"), Text("1.5"), Punct(123), Eof.
void append_sdl_token_debug_form(const SdlToken& token, std::string& out);

}  // namespace bezo
