#include "schema_import/proto_lexer.hpp"

#include <limits>
#include <optional>

#include "core/text.hpp"
#include "schema_import/conventions.hpp"

namespace bezo {
namespace {

Error failure(std::string message) { return Error::Other(std::move(message)); }

bool is_identifier_byte(char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '_'; }

int hex_digit_value(char c) {
    if (is_ascii_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One or more hexadecimal digits whose value fits a signed 64-bit integer.
std::optional<std::int64_t> parse_hex_i64(std::string_view digits) {
    constexpr std::uint64_t kLimit = std::numeric_limits<std::int64_t>::max() >> 4;
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        const int digit = hex_digit_value(c);
        if (digit < 0 || value > kLimit) return std::nullopt;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    return static_cast<std::int64_t>(value);
}

// "0x" or "0X" and hexadecimal digits, else an optional "-" and decimal
// digits; no octal, no floating point.
std::optional<std::int64_t> numeric_literal_value(std::string_view lexeme) {
    if (lexeme.size() >= 2 && lexeme[0] == '0' && (lexeme[1] == 'x' || lexeme[1] == 'X')) {
        return parse_hex_i64(lexeme.substr(2));
    }
    return parse_decimal_i64(lexeme, PlusSign::Refused);
}

// Skips blanks, tabs, line breaks and both kinds of comment.
Result<void> skip_space_and_comments(ProtoLexer& lexer) {
    const std::string_view text = lexer.text;
    std::size_t& pos = lexer.position;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++pos;
        } else if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '/') {
            pos = std::min(text.find('\n', pos + 2), text.size());
        } else if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '*') {
            // The search starts after "/*", so "/*/" does not close itself.
            const std::size_t close = text.find("*/", pos + 2);
            if (close == std::string_view::npos) return std::unexpected(failure("unterminated /* comment in .proto"));
            pos = close + 2;
        } else {
            break;
        }
    }
    return {};
}

std::size_t skip_digits(std::string_view text, std::size_t pos) {
    while (pos < text.size() && is_ascii_digit(text[pos])) ++pos;
    return pos;
}

// Whether a lexeme is a decimal floating-point literal: an optional "-",
// digits, then "." and optional digits, or an exponent, or both.
bool is_float_literal(std::string_view lexeme) {
    std::size_t pos = lexeme.starts_with('-') ? 1 : 0;
    const std::size_t integral_end = skip_digits(lexeme, pos);
    if (integral_end == pos) return false;
    pos = integral_end;
    const bool has_point = pos < lexeme.size() && lexeme[pos] == '.';
    if (has_point) pos = skip_digits(lexeme, pos + 1);
    const bool has_exponent = pos < lexeme.size() && (lexeme[pos] == 'e' || lexeme[pos] == 'E');
    if (has_exponent) {
        ++pos;
        if (pos < lexeme.size() && (lexeme[pos] == '+' || lexeme[pos] == '-')) ++pos;
        const std::size_t exponent_end = skip_digits(lexeme, pos);
        if (exponent_end == pos) return false;
        pos = exponent_end;
    }
    return (has_point || has_exponent) && pos == lexeme.size();
}

// A digit or "-" and a digit, then letters, digits and dots, and a sign
// right after the "e" of a decimal exponent: the whole run is one literal,
// an integer or a floating-point number, so that a malformed literal such
// as "1.5.2" or "0x" is refused rather than split.
Result<ProtoToken> read_numeric_literal(ProtoLexer& lexer) {
    const std::string_view text = lexer.text;
    const std::size_t start = lexer.position++;
    const bool hex = text.substr(start).starts_with("0x") || text.substr(start).starts_with("0X");
    while (lexer.position < text.size()) {
        const char c = text[lexer.position];
        const char before = text[lexer.position - 1];
        const bool exponent_sign = !hex && (c == '+' || c == '-') && (before == 'e' || before == 'E');
        if (!is_ascii_letter(c) && !is_ascii_digit(c) && c != '.' && !exponent_sign) break;
        ++lexer.position;
    }
    const std::string_view lexeme = text.substr(start, lexer.position - start);
    if (const auto value = numeric_literal_value(lexeme)) return ProtoToken::integer(*value);
    if (is_float_literal(lexeme)) return ProtoToken::floating(lexeme);
    return std::unexpected(failure("bad numeric literal in .proto: " + quoted_excerpt(lexeme)));
}

// A literal closed by its opening quote; a backslash steps over the next byte.
Result<ProtoToken> read_string_literal(ProtoLexer& lexer) {
    const std::string_view text = lexer.text;
    const char quote = text[lexer.position];
    const std::size_t start = lexer.position + 1;
    std::size_t scan = start;
    while (scan < text.size() && text[scan] != quote) scan += text[scan] == '\\' ? 2 : 1;
    if (scan >= text.size()) return std::unexpected(failure("unterminated string literal in .proto"));
    lexer.position = scan + 1;
    return ProtoToken::literal(text.substr(start, scan - start));
}

}  // namespace

std::string proto_token_debug_form(const ProtoToken& token) {
    std::string out;
    switch (token.kind) {
        case ProtoTokenKind::Ident:
        case ProtoTokenKind::Text:
            out += token.kind == ProtoTokenKind::Ident ? "Ident(" : "Text(";
            append_name_debug_form(token.text, out);
            break;
        case ProtoTokenKind::Int:
            out += "Int(";
            append_decimal(token.number, out);
            break;
        case ProtoTokenKind::Float:
            out += "Float(";
            out += token.text;
            break;
        case ProtoTokenKind::Sym:
            out += "Sym(";
            append_decimal(static_cast<unsigned>(token.symbol), out);
            break;
        case ProtoTokenKind::Eof: return "Eof";
    }
    out += ')';
    return out;
}

Result<ProtoToken> next_proto_token(ProtoLexer& lexer) {
    if (auto skipped = skip_space_and_comments(lexer); !skipped) return forward_error(skipped);
    const std::string_view text = lexer.text;
    const std::size_t start = lexer.position;
    if (start >= text.size()) return ProtoToken{};
    const char c = text[start];
    if (is_ascii_letter(c) || c == '_') {
        std::size_t end = start + 1;
        while (end < text.size() && is_identifier_byte(text[end])) ++end;
        lexer.position = end;
        return ProtoToken::ident(text.substr(start, end - start));
    }
    if (is_ascii_digit(c) || (c == '-' && start + 1 < text.size() && is_ascii_digit(text[start + 1]))) {
        return read_numeric_literal(lexer);
    }
    if (c == '"' || c == '\'') return read_string_literal(lexer);
    ++lexer.position;
    return ProtoToken::sym(c);
}

Result<void> expect_proto_symbol(ProtoLexer& lexer, char c) {
    auto token = next_proto_token(lexer);
    if (!token) return forward_error(token);
    if (token->is_symbol(c)) return {};
    std::string message = "expected `";
    message += c;
    message += "` in .proto, found ";
    message += quoted_excerpt(proto_token_debug_form(*token));
    return std::unexpected(failure(std::move(message)));
}

Result<std::string_view> expect_proto_name(ProtoLexer& lexer) {
    auto token = next_proto_token(lexer);
    if (!token) return forward_error(token);
    if (token->kind == ProtoTokenKind::Ident) return token->text;
    return std::unexpected(
        failure("expected a name in .proto, found " + quoted_excerpt(proto_token_debug_form(*token))));
}

Result<bool> accept_proto_symbol(ProtoLexer& lexer, char c) {
    const std::size_t saved = lexer.position;
    auto token = next_proto_token(lexer);
    if (!token) return forward_error(token);
    if (token->is_symbol(c)) return true;
    lexer.position = saved;
    return false;
}

Result<void> append_proto_name_parts(ProtoLexer& lexer, std::string& name) {
    for (;;) {
        auto dot = accept_proto_symbol(lexer, '.');
        if (!dot) return forward_error(dot);
        if (!*dot) return {};
        auto part = expect_proto_name(lexer);
        if (!part) return forward_error(part);
        name += '.';
        name += *part;
    }
}

Result<std::string> read_proto_dotted_name(ProtoLexer& lexer) {
    auto dot = accept_proto_symbol(lexer, '.');
    if (!dot) return forward_error(dot);
    std::string name(*dot ? "." : "");
    auto first = expect_proto_name(lexer);
    if (!first) return forward_error(first);
    name += *first;
    if (auto parts = append_proto_name_parts(lexer, name); !parts) return forward_error(parts);
    return name;
}

Result<void> skip_proto_statement(ProtoLexer& lexer) {
    std::size_t depth = 0;
    for (;;) {
        auto token = next_proto_token(lexer);
        if (!token) return forward_error(token);
        if (token->kind == ProtoTokenKind::Eof) return std::unexpected(failure("unterminated statement in .proto"));
        if (token->is_symbol(';') && depth == 0) return {};
        if (token->is_symbol('{')) ++depth;
        if (token->is_symbol('}')) {
            // A "}" with no brace of the statement open belongs to the
            // enclosing block: the statement never ended.
            if (depth == 0) return std::unexpected(failure("unterminated statement in .proto"));
            if (--depth == 0) return {};
        }
    }
}

}  // namespace bezo
