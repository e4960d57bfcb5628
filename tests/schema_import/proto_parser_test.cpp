#include "schema_import/proto_parser.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

std::string parse_error(std::string_view text) {
    auto file = parse_proto_file(text);
    return file ? "parsed" : file.error().other();
}

std::string nested_messages(unsigned depth) {
    std::string text;
    for (unsigned level = 0; level < depth; ++level) text += "message M" + std::to_string(level) + " { ";
    return text + std::string(depth, '}');
}

TEST(ProtoParser, RefusesWhatItCannotRead) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(import "x.proto";)", "`import` is not supported: pass a self-contained .proto"},
        {R"(syntax = "proto3"; import public "x.proto";)", "`import` is not supported: pass a self-contained .proto"},
        {"foo", "unexpected `foo` in .proto"},
        {"5", "unexpected token in .proto: Int(5)"},
        {"message M { int32 a = 1;", "unterminated message M"},
        {"package p; message M { 5 }", "unexpected token in p.M: Int(5)"},
        {"message M { group G = 1 {} }", "proto2 groups are not supported"},
        {"message M { optional group G = 1 { int32 a = 1; } }", "expected `;` after field G: Sym(123)"},
        {"message M { oneof o { group G = 1 {} } }", "proto2 groups are not supported"},
        {"message M { int32 a = 0; }", "bad field number for a: Int(0)"},
        {"message M { int32 a = 536870912; }", "bad field number for a: Int(536870912)"},
        {"message M { int32 a = x; }", R"(bad field number for a: Ident("x"))"},
        {"message M { int32 a = 1 [default = 5; }", "unterminated field options"},
        {"message M { int32 a = 1 [default = 1.5.0]; }", "bad numeric literal in .proto: 1.5.0"},
        {"message M { double a = 1 [default = -1.5e3]; float b = 2 [default = inf]; float c = 3 [default = -inf]; "
         "double d = 4 [default = nan]; double e = 5 [default = 0.5, deprecated = true]; }",
         "parsed"},
        {"message M { int32 a = 1.5; }", "bad field number for a: Float(1.5)"},
        {"enum E { A = 1e3; }", "bad enum value for A: Float(1e3)"},
        {"message M { option (x) = 2.5; }", "parsed"},
        {"option (y) = -0.25e-2; message M {}", "parsed"},
        {"message M { int32 a = 1 }", "expected `;` after field a: Sym(125)"},
        {"message M { option x = 1 }", "unterminated statement in .proto"},
        {"enum E { A = 0;", "unterminated enum E"},
        {"enum E { 5 }", "unexpected token in enum: Int(5)"},
        {"enum E { A = x; }", R"(bad enum value for A: Ident("x"))"},
        {"enum E { A = 2147483648; }", "enum value out of range: A = 2147483648"},
        {"enum E { A = 1 [deprecated = true; }", "unterminated enum value options"},
        {"message M { int32 a = 3; oneof o { string b = 3; } }", "duplicate field number 3 in M"},
        {"message M { map<double, int32> m = 1; }", "invalid map key type in M"},
        {"message M { map<M, int32> m = 1; }", "invalid map key type in M"},
        {"message M { google.protobuf.Timestamp t = 1; }", "unresolved type in .proto: google.protobuf.Timestamp"},
        {"message M { import i = 1; }", "unresolved type in .proto: import"},
        {"package p; message M { .M m = 1; }", "unresolved type in .proto: .M"},
        {"message A { int32 x = 1; int32 y = 1; message B { Nope n = 1; } }", "unresolved type in .proto: Nope"},
        {nested_messages(kMaxProtoNesting + 1), "message nesting too deep in .proto"},
        {nested_messages(kMaxProtoNesting - 1).insert(0, "message O { oneof o { ") + "}}",
         "message nesting too deep in .proto"},
        {nested_messages(kMaxProtoNesting).insert(0, "package a.b; "), "parsed"},
        {"syntax = 'proto2'; option x = { a: [1] }; service S { rpc A(B) returns (C); } message M {}", "parsed"},
        {"message M { int32 a = 536870911; enum E { A = -2147483648; } int32 b = 19000; }", "parsed"},
        {"message M { int32 a = 1; } message N { int32 a = 1; }", "parsed"},
    };
    for (const auto& [text, error] : cases) EXPECT_EQ(parse_error(text), error) << text;
}

// The full name of a field's type, or its scalar kind as a number.
std::string type_name(const ProtoFile& file, ProtoType type) {
    if (type.kind == ProtoTypeKind::Message) return file.messages[type.index].full_name;
    if (type.kind == ProtoTypeKind::Enum) return "enum " + file.enums[type.index].full_name;
    return "scalar " + std::to_string(static_cast<int>(type.kind));
}

TEST(ProtoParser, ResolvesTypeNamesInScopeOrder) {
    // A and B are declared before the package, everything else in it.
    const auto file = parse_proto_file(R"(
        message A { B b = 1; C c = 2; }
        message B {}
        package p;
        message B {}
        message C {}
        message Inner {}
        message X {
            message Inner { message Deep {} }
            message Other { Inner a = 1; Inner /* spaced */ . Deep b = 2; }
            M c = 3; p.M d = 4; optional . p. M e = 5; string f = 6; Later g = 7; E h = 8;
        }
        message M {}
        message string {}
        message Later {}
        enum E { Z = 0; }
    )");
    ASSERT_TRUE(file) << file.error().other();
    std::vector<std::string> names;
    for (const auto& message : file->messages) {
        for (const auto& field : message.fields) names.push_back(field.name + " " + type_name(*file, field.type));
    }
    const std::vector<std::string> expected = {
        "b B",  // N alone comes before the package
        "c p.C",
        "c p.M",
        "d p.M",
        "e p.M",
        "f scalar 13",  // string stays a scalar
        "g p.Later",
        "h enum p.E",
        "a p.X.Inner",  // the scope shortened by one component, before the file level
        "b p.X.Inner.Deep",
    };
    EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace bezo
