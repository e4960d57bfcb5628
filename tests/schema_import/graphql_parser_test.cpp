#include "schema_import/graphql_parser.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

void append_type(const SdlTypeRef& type, std::string& out) {
    if (const auto* named = std::get_if<SdlNamedType>(&type.form)) {
        out += named->name;
        if (named->non_null) out += '!';
        return;
    }
    out += '[';
    append_type(*std::get<SdlListType>(type.form).element, out);
    out += ']';
}

// The definitions as "Object A "doc"x:[Int!] y:B; Enum E V W", or the error.
std::string parsed(std::string_view text) {
    static constexpr std::string_view kKinds[] = {"Object", "Enum", "Scalar", "Union"};
    SdlCursor cursor{text};
    auto definitions = parse_sdl_document(cursor);
    if (!definitions) return "error: " + definitions.error().other();
    std::string out;
    for (const SdlDefinition& definition : *definitions) {
        if (!out.empty()) out += "; ";
        out += kKinds[static_cast<int>(definition.kind)];
        out += ' ';
        out += definition.name;
        for (const SdlField& field : definition.fields) {
            out += ' ';
            if (field.description) out += "\"" + std::string(*field.description) + "\"";
            out += field.name;
            out += ':';
            append_type(field.type, out);
        }
        for (std::string_view value : definition.enum_values) out += " " + std::string(value);
    }
    return out;
}

TEST(SdlParser, KeepsDefinitionsFieldsAndEnumValues) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"type A implements B & C { x: Int }", "Object A x:Int"},
        {"type A input B interface C @d { x: [Int!]! y: [[B]] }", "Object A; Object B; Object C x:[Int!] y:[[B]]"},
        {"\"doc\" type A {\n \"\"\"x doc\"\"\" x: ID!\n 5 y: Int }", "Object A \"x doc\"x:ID! \"5\"y:Int"},
        {"type A { f(a: [Int] = [1], b: (String) = \"x\"): Int @deprecated(reason: \"no\") @k g: B! }",
         "Object A f:Int g:B!"},
        {"input I { a: Int = -5 b: [Int] = [1, [2]] c: P = {x: {y: 1}} d: E = RED @d e: Int }",
         "Object I a:Int b:[Int] c:P d:E e:Int"},
        {"type A { \"dropped\" }", "Object A"},
        {"enum E @d { \"doc\" A @x(y: 1) B } enum F {}", "Enum E A B; Enum F"},
        {"union U @d = A | B union V scalar S @d(a: 1)", "Union U; Union V; Scalar S"},
        {"directive @d(a: Int = 1) on FIELD | OBJECT type A { x: Int }", "Object A x:Int"},
        {"schema { query: Q } type A { x: Int } extend type A { y: Int } extend schema @d", "Object A x:Int"},
        {"extend scalar S [ ] ( ) type B", "Object B"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(parsed(text), expected) << text;
}

TEST(SdlParser, ReportsWhatItCannotRead) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"type A implements B, C { x: Int }", "unexpected `C` in SDL"},
        {"query { a }", "unexpected `query` in SDL"},
        {"{", "unexpected token in SDL: Punct(123)"},
        {"\"a\" \"b\" type A", "unexpected token in SDL: Text(\"b\")"},
        {"type A implements & B", "expected a name in SDL, found Punct(38)"},
        {"union U = | A", "expected a name in SDL, found Punct(124)"},
        {"enum E", "expected `{` in SDL, found Eof"},
        {"type A { x Int }", "expected `:` in SDL, found Name(\"Int\")"},
        {"type A { x: [Int }", "expected `]` in SDL, found Punct(125)"},
        {"type A { x: Int", "unexpected token in type A: Eof"},
        {"type A { \xC3\xA9: Int }", "unexpected token in type A: Punct(195)"},
        {"enum E { A ( }", "unexpected token in enum E: Punct(40)"},
        {"type A { x(a: Int: Int }", "unterminated group in SDL"},
        {"type A { x: Int \"y", "unterminated string literal"},
        {"type A { x: Int } \"\"\"", "unterminated block string"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(parsed(text), "error: " + std::string(expected)) << text;
}

TEST(SdlParser, BoundsListNesting) {
    const auto field_of_depth = [](std::size_t depth) {
        return "type A { x: " + std::string(depth, '[') + "Int" + std::string(depth, ']') + " }";
    };
    EXPECT_EQ(parsed(field_of_depth(kMaxSdlListNesting)).substr(0, 18), "Object A x:[[[[[[[");
    EXPECT_EQ(parsed(field_of_depth(kMaxSdlListNesting + 1)), "error: list type nesting too deep in SDL");
}

}  // namespace
}  // namespace bezo
