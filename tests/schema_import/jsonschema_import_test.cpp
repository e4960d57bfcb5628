#include "schema_import/jsonschema_import.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lang/lexer.hpp"
#include "schema_import/jsonschema_scalar.hpp"

namespace bezo {
namespace {

std::string imported(std::string_view text) {
    auto schema = import_jsonschema(text, "t");
    if (!schema) return "error: " + schema.error().other();
    return *schema;
}

TEST(JsonSchemaScalar, ShiftsOnlyIntegerNumbers) {
    const std::pair<Value, std::optional<std::string>> cases[] = {
        {Value::number("5"), "6"},
        {Value::number("5.5"), std::nullopt},
        {Value::number("1e3"), std::nullopt},
        {Value::string("5"), std::nullopt},
    };
    for (const auto& [value, shifted] : cases) EXPECT_EQ(shift_integer_bound(value, 1), shifted);
}

TEST(JsonSchemaScalar, TranslatesPatternsOrNotesThem) {
    const std::pair<std::string, std::string> cases[] = {
        {R"("a/b")", "!str/a\\/b/\np=\n"},
        {R"("a\\/b")", "!str/a\\/b/\np=\n"},
        {R"("x\\\\/y")", "!str/x\\\\\\/y/\np=\n"},
        {R"("it's")", "// dropped: pattern outside the bezo regex dialect: it's\np=\n"},
        {R"("a\u0001b")", "// dropped: pattern outside the bezo regex dialect: a\001b\np=\n"},
        {R"("a\nb")", "// dropped: pattern outside the bezo regex dialect: a b\np=\n"},
        {R"("(a")", "// dropped: pattern outside the bezo regex dialect: (a\np=\n"},
        // "." matches no line end; in a class, or escaped, it is a dot.
        {R"("^a.b/.$")", "!str/^a[^\\x0A\\x0D]b\\/[^\\x0A\\x0D]$/\np=\n"},
        {R"("[.][].]\\.")", "!str/[.][].]\\./\np=\n"},
        {R"("\\\\.[^].].")", "!str/\\\\[^\\x0A\\x0D][^].][^\\x0A\\x0D]/\np=\n"},
    };
    for (const auto& [pattern, body] : cases) {
        const std::string schema =
            R"({"properties": {"p": {"type": "string", "pattern": )" + pattern + R"(}}, "required": ["p"]})";
        const std::string text = imported(schema);
        EXPECT_EQ(text.substr(text.find("\n\n") + 2), body) << pattern;
    }
}

TEST(JsonSchemaImport, ReferenceFailuresEndTheImport) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"$defs": {"a": {"$ref": "#/$defs/b"}, "b": {"$ref": "#/$defs/a"}}, "$ref": "#/$defs/a"})",
         "$ref chain too deep (cycle?)"},
        {R"({"properties": {"p": {"$ref": "other.json#/x"}}})", "unsupported $ref (local #/$defs only): other.json#/x"},
        {R"({"properties": {"p": {"$ref": "#"}}})", "unsupported $ref (local #/$defs only): #"},
        {R"({"properties": {"p": {"$ref": "#/$defs/x"}}})", "$ref to missing definitions: #/$defs/x"},
        {R"({"$defs": [], "properties": {"p": {"$ref": "#/$defs/x"}}})", "$defs must be an object"},
        {R"({"$defs": {"y": {}}, "definitions": {"x": {}}, "properties": {"p": {"$ref": "#/definitions/x"}}})",
         "unresolved $ref: #/definitions/x"},
        {R"({"$defs": {"a": 1}, "$ref": "#/$defs/a"})", "$ref target is not a schema object"},
        {"[]", "root must be a JSON Schema object"},
        {R"({"type": "array"})", "root schema must describe an object"},
        {R"({"type": ["string"]})", "root schema must describe an object"},
        {"{\"a\": \"\xC3\x28\"}", "input is not valid UTF-8"},
        {"{", "invalid JSON at byte 1"},
    };
    for (const auto& [schema, message] : cases) EXPECT_EQ(imported(schema), "error: " + message) << schema;
}

TEST(JsonSchemaImport, ReferenceChainsStopAfter32) {
    auto chain = [](int links) {
        std::string defs;
        for (int i = 0; i < links; ++i)
            defs += "\"d" + std::to_string(i) + "\": {\"$ref\": \"#/$defs/d" + std::to_string(i + 1) + "\"}, ";
        return R"({"$defs": {)" + defs + "\"d" + std::to_string(links) +
               R"(": {"type": "integer"}}, "properties": {"p": {"$ref": "#/$defs/d0"}}, "required": ["p"]})";
    };
    EXPECT_EQ(imported(chain(31)), ".!hezo t\n\n!int\np=\n");  // 32 references with the property's own
    EXPECT_EQ(imported(chain(32)), "error: $ref chain too deep (cycle?)");
}

// Titles, descriptions and set members holding NUL would give a text that
// the lexer refuses.
TEST(JsonSchemaImport, ResultsKeepNulOutOfTheSchemaText) {
    const std::string schemas[] = {
        R"({"properties": {"p": {"type": "string", "title": "a\u0000b", "description": "c\u0000", "enum": ["x\u0000"]}}})",
        R"({"properties": {"p": {"const": "\u0000"}, "q": {"type": "string", "default": "\u0000"}}})",
    };
    for (const auto& schema : schemas) {
        const std::string text = imported(schema);
        EXPECT_EQ(text.find('\0'), std::string::npos);
        EXPECT_TRUE(lex(text, LexMode::Schema).has_value()) << text;
    }
}

}  // namespace
}  // namespace bezo
