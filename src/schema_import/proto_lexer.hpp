// The tokens of a .proto text and the small routines the parser reads them
// with. Tokens borrow their texts from the source; positions are not kept,
// since no message names one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// Float: a decimal floating-point literal ("0.5", "-1.5e3", "1e-3"), found
// only in option values, which are read and ignored.
enum class ProtoTokenKind : std::uint8_t { Ident, Int, Float, Text, Sym, Eof };

struct ProtoToken {
    ProtoTokenKind kind = ProtoTokenKind::Eof;
    std::string_view text;     // Ident: the identifier; Float: the literal; Text: its content, escapes undecoded
    std::int64_t number = 0;   // Int
    unsigned char symbol = 0;  // Sym: one byte of the source

    static ProtoToken ident(std::string_view name) { return {ProtoTokenKind::Ident, name, 0, 0}; }
    static ProtoToken integer(std::int64_t value) { return {ProtoTokenKind::Int, {}, value, 0}; }
    static ProtoToken floating(std::string_view lexeme) { return {ProtoTokenKind::Float, lexeme, 0, 0}; }
    static ProtoToken literal(std::string_view content) { return {ProtoTokenKind::Text, content, 0, 0}; }
    static ProtoToken sym(char c) { return {ProtoTokenKind::Sym, {}, 0, static_cast<unsigned char>(c)}; }

    bool is_symbol(char c) const { return kind == ProtoTokenKind::Sym && symbol == static_cast<unsigned char>(c); }
    bool is_word(std::string_view word) const { return kind == ProtoTokenKind::Ident && text == word; }
};

// How messages quote a token: Ident("name"), Int(-5), Float(1.5),
// Text("a\"b"), Sym(59) for ";", Eof.
std::string proto_token_debug_form(const ProtoToken& token);

struct ProtoLexer {
    std::string_view text;
    std::size_t position = 0;
};

// The next token; Eof at the end of the text, and again on every later call.
Result<ProtoToken> next_proto_token(ProtoLexer& lexer);
// Reads the next token when it is the symbol `c` (true); otherwise leaves
// it unread (false).
Result<bool> accept_proto_symbol(ProtoLexer& lexer, char c);

// Reads the symbol `c` or fails naming what stood there instead.
Result<void> expect_proto_symbol(ProtoLexer& lexer, char c);
// Reads an identifier.
Result<std::string_view> expect_proto_name(ProtoLexer& lexer);
// Appends ".name" to `name` for each "." and identifier that come next.
Result<void> append_proto_name_parts(ProtoLexer& lexer, std::string& name);
// Reads "a.b.c" or ".a.b.c" (blanks between the tokens allowed) as one text.
Result<std::string> read_proto_dotted_name(ProtoLexer& lexer);
// Reads past a statement the importer ignores: up to a ";" outside braces,
// or up to the "}" that closes the statement's first "{" (a ";" after it is
// left unread).
Result<void> skip_proto_statement(ProtoLexer& lexer);

}  // namespace bezo
