#include "schema_import/graphql_lexer.hpp"

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "schema_import/conventions.hpp"

namespace bezo {
namespace {

constexpr std::string_view kTripleQuote = "\"\"\"";

bool is_insignificant(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }
bool starts_name(char c) { return is_ascii_letter(c) || c == '_'; }
bool continues_name(char c) { return starts_name(c) || is_ascii_digit(c); }
bool continues_number(char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '+' || c == '-' || c == '.'; }

// Steps over blanks, tabs, line breaks, commas and "#" comments.
void skip_insignificant(SdlCursor& cursor) {
    const std::string_view text = cursor.text;
    while (cursor.pos < text.size()) {
        const char c = text[cursor.pos];
        if (is_insignificant(c)) {
            ++cursor.pos;
        } else if (c == '#') {
            const std::size_t line_end = text.find('\n', cursor.pos);
            cursor.pos = line_end == std::string_view::npos ? text.size() : line_end;
        } else {
            return;
        }
    }
}

// A run of bytes from the position that `continues` accepts.
SdlToken take_run(SdlCursor& cursor, SdlTokenKind kind, bool (*continues)(char)) {
    const std::size_t start = cursor.pos;
    while (cursor.pos < cursor.text.size() && continues(cursor.text[cursor.pos])) ++cursor.pos;
    return {kind, cursor.text.substr(start, cursor.pos - start)};
}

Result<SdlToken> take_block_string(SdlCursor& cursor) {
    const std::size_t content = cursor.pos + kTripleQuote.size();
    const std::size_t close = cursor.text.find(kTripleQuote, content);
    if (close == std::string_view::npos) {
        cursor.pos = cursor.text.size();
        return fail("unterminated block string");
    }
    cursor.pos = close + kTripleQuote.size();
    return SdlToken{SdlTokenKind::Text, trim_unicode_white_space(cursor.text.substr(content, close - content))};
}

// The content between the quotes, escapes kept as written: a backslash
// steps over the byte after it.
Result<SdlToken> take_string(SdlCursor& cursor) {
    const std::size_t content = cursor.pos + 1;
    std::size_t at = content;
    while ((at = cursor.text.find_first_of("\"\\", at)) != std::string_view::npos && cursor.text[at] == '\\') {
        at += 2;
    }
    if (at >= cursor.text.size()) {
        cursor.pos = cursor.text.size();
        return fail("unterminated string literal");
    }
    cursor.pos = at + 1;
    return SdlToken{SdlTokenKind::Text, cursor.text.substr(content, at - content)};
}

}  // namespace

Result<SdlToken> next_sdl_token(SdlCursor& cursor) {
    skip_insignificant(cursor);
    const std::string_view text = cursor.text;
    if (cursor.pos >= text.size()) return SdlToken{};
    const char c = text[cursor.pos];
    if (starts_name(c)) return take_run(cursor, SdlTokenKind::Name, continues_name);
    if (is_ascii_digit(c) || (c == '-' && cursor.pos + 1 < text.size() && is_ascii_digit(text[cursor.pos + 1]))) {
        return take_run(cursor, SdlTokenKind::Text, continues_number);
    }
    if (text.substr(cursor.pos).starts_with(kTripleQuote)) return take_block_string(cursor);
    if (c == '"') return take_string(cursor);
    ++cursor.pos;
    return SdlToken{SdlTokenKind::Punct, {}, c};
}

void append_sdl_token_debug_form(const SdlToken& token, std::string& out) {
    switch (token.kind) {
        case SdlTokenKind::Name:
        case SdlTokenKind::Text:
            out += token.kind == SdlTokenKind::Name ? "Name(" : "Text(";
            append_name_debug_form(token.text, out);
            break;
        case SdlTokenKind::Punct:
            out += "Punct(";
            append_decimal(static_cast<unsigned>(static_cast<unsigned char>(token.punct)), out);
            break;
        case SdlTokenKind::Eof: out += "Eof"; return;
    }
    out += ')';
}

}  // namespace bezo
