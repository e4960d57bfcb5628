#include "schema_import/proto_lexer.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

// The debug forms of every token up to Eof, blank-separated, or the error.
std::string token_forms(std::string_view text) {
    ProtoLexer lexer{text};
    std::string forms;
    for (;;) {
        auto token = next_proto_token(lexer);
        if (!token) return "error: " + token.error().other();
        if (!forms.empty()) forms += ' ';
        forms += proto_token_debug_form(*token);
        if (token->kind == ProtoTokenKind::Eof) return forms;
    }
}

TEST(ProtoLexer, ReadsTokensAndQuotesThemInMessages) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"int32 _x1", R"(Ident("int32") Ident("_x1") Eof)"},
        {"foo.bar", R"(Ident("foo") Sym(46) Ident("bar") Eof)"},
        {"1_000", R"(Int(1) Ident("_000") Eof)"},
        {"010 0x1F 0X1f -5", "Int(10) Int(31) Int(31) Int(-5) Eof"},
        {"- 5", "Sym(45) Int(5) Eof"},
        {"-9223372036854775808 0x7fffffffffffffff", "Int(-9223372036854775808) Int(9223372036854775807) Eof"},
        {"/**/x // tail", R"(Ident("x") Eof)"},
        {"/* a */ ; // c\n}", "Sym(59) Sym(125) Eof"},
        {R"('a\'b' "q\"t")", R"(Text("a\\'b") Text("q\\\"t") Eof)"},
        {"\xC3\xA9\f", "Sym(195) Sym(169) Sym(12) Eof"},
        {"1.5 1e3 -1.5e3 1e-3 2.E+4 5.", "Float(1.5) Float(1e3) Float(-1.5e3) Float(1e-3) Float(2.E+4) Float(5.) Eof"},
        {"-inf nan", R"(Sym(45) Ident("inf") Ident("nan") Eof)"},
        {"0x1e+5", "Int(30) Sym(43) Int(5) Eof"},
        {"1.5.2", "error: bad numeric literal in .proto: 1.5.2"},
        {"1e-", "error: bad numeric literal in .proto: 1e-"},
        {"1e3x", "error: bad numeric literal in .proto: 1e3x"},
        {"1.5f", "error: bad numeric literal in .proto: 1.5f"},
        {"-0x10", "error: bad numeric literal in .proto: -0x10"},
        {"0x", "error: bad numeric literal in .proto: 0x"},
        {"9223372036854775808", "error: bad numeric literal in .proto: 9223372036854775808"},
        {"0x8000000000000000", "error: bad numeric literal in .proto: 0x8000000000000000"},
        {"/*/", "error: unterminated /* comment in .proto"},
        {"x /*", "error: unterminated /* comment in .proto"},
        {R"("ab\)", "error: unterminated string literal in .proto"},
    };
    for (const auto& [text, forms] : cases) EXPECT_EQ(token_forms(text), forms) << text;
}

// What a routine leaves: the next token's debug form, or the routine's error.
template <class Routine>
std::string after(std::string_view text, Routine routine) {
    ProtoLexer lexer{text};
    if (auto done = routine(lexer); !done) return "error: " + done.error().other();
    auto next = next_proto_token(lexer);
    return next ? proto_token_debug_form(*next) : "error: " + next.error().other();
}

TEST(ProtoLexer, SkipsStatementsUpToTheirEnd) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"option (x) = { a: 1; b { c: 2 } }; z", "Sym(59)"},
        {"reserved 1 to 5, 9; z", R"(Ident("z"))"},
        {"rpc A(B) returns (C) {} }", "Sym(125)"},
        {"option x = 1.5; z", R"(Ident("z"))"},
        {"option x = 1.5.1;", "error: bad numeric literal in .proto: 1.5.1"},
        {"option x = 1 }", "error: unterminated statement in .proto"},
        {"option x = 1", "error: unterminated statement in .proto"},
    };
    for (const auto& [text, rest] : cases) EXPECT_EQ(after(text, skip_proto_statement), rest) << text;
}

TEST(ProtoLexer, ReadsNamesAndSymbols) {
    std::string name;
    const auto read_name = [&](ProtoLexer& lexer) {
        auto dotted = read_proto_dotted_name(lexer);
        if (dotted) name = *dotted;
        return dotted;
    };
    EXPECT_EQ(after("a . b.c;", read_name), "Sym(59)");
    EXPECT_EQ(name, "a.b.c");
    EXPECT_EQ(after(".x.Y", read_name), "Eof");
    EXPECT_EQ(name, ".x.Y");
    EXPECT_EQ(after("a.;", read_name), "error: expected a name in .proto, found Sym(59)");
    EXPECT_EQ(after("x", [](ProtoLexer& lexer) { return expect_proto_symbol(lexer, ';'); }),
              R"(error: expected `;` in .proto, found Ident("x"))");
}

}  // namespace
}  // namespace bezo
