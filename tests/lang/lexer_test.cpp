#include "lang/lexer.hpp"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>

namespace bezo {
namespace {

using enum LexErrorKind;
using namespace std::literals;

constexpr LexMode kDoc = LexMode::Document;
constexpr LexMode kSchema = LexMode::Schema;
constexpr LexMode kTypes = LexMode::TypeLibrary;
constexpr LexMode kUnits = LexMode::UnitDefs;

// The diagnostic form of every line, joined by " | ", or the error's text
// form: one string states a whole lexing result.
std::string lex_result(std::string_view text, LexMode mode) {
    auto lines = lex(text, mode);
    if (!lines) return error_display(Error(lines.error()));
    std::string out;
    for (const auto& line : *lines) out += (out.empty() ? "" : " | ") + line_debug(line);
    return out;
}

// Lexes one line (a line feed is added) as line 1.
std::string lex_line(std::string_view line, LexMode mode) { return lex_result(std::string(line) + "\n", mode); }

struct LineCase {
    LexMode mode;
    std::string_view line;
    std::string_view expected;
};

void expect_lines(std::span<const LineCase> cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(lex_line(c.line, c.mode), c.expected) << "mode " << static_cast<int>(c.mode) << ", line " << c.line;
    }
}

TEST(Lex, WholeTextChecks) {
    struct TextCase {
        std::string_view text;
        std::string_view expected;
    };
    const TextCase cases[] = {
        {"", ""},
        {"\xEF\xBB\xBFx=1\n", "BOM_ERROR"},
        {"\xEF\xBB\xBF", "BOM_ERROR"},
        {"\xEF\xBB", "INVALID_UTF8_ERROR"},
        {"\xEF\xBB\xBF\xFF", "BOM_ERROR"},  // the mark is checked before the encoding
        {"a=\xC3\xA9\n", "Content { left: \"a\", value: \"\xC3\xA9\" }"},
        {"a=\xF0\x9F\x98\x80\n", "Content { left: \"a\", value: \"\xF0\x9F\x98\x80\" }"},
        {"a=\xFF\n", "INVALID_UTF8_ERROR"},
        {"a=\xC0\xAF\n", "INVALID_UTF8_ERROR"},          // overlong
        {"a=\xED\xA0\x80\n", "INVALID_UTF8_ERROR"},      // surrogate
        {"a=\xF4\x90\x80\x80\n", "INVALID_UTF8_ERROR"},  // above U+10FFFF
        {"a=\xE2\x82\n", "INVALID_UTF8_ERROR"},          // truncated
        {"a\rb\n", "INVALID_CHARACTER_ERROR (line 1)"},
        {"a=1\nb=2\nc\r", "INVALID_CHARACTER_ERROR (line 3)"},
        {"a=1\n\nb=\0\n"sv, "INVALID_CHARACTER_ERROR (line 3)"},
        {"a=\xFF\rb", "INVALID_UTF8_ERROR"},  // the encoding is checked first
        {"a=1\r\nb\r", "INVALID_CHARACTER_ERROR (line 2)"},
        {"x=1", "MISSING_FINAL_EOL_ERROR"},
        {"x=1\ny=2", "MISSING_FINAL_EOL_ERROR"},
        {"word", "MISSING_FINAL_EOL_ERROR"},  // before any line is looked at
        {"a=1\r\n", "Content { left: \"a\", value: \"1\" }"},
        {"  \t\n", "Blank"},
        {"\n\n", "Blank | Blank"},
    };
    for (const auto& c : cases) EXPECT_EQ(lex_result(c.text, kDoc), c.expected) << c.text;
}

// The first line's diagnostic form, or the error's text form, of a text
// lexed line by line.
std::string first_line_result(std::string_view text, Utf8State utf8) {
    auto lexer = lex_lines(text, kDoc, utf8);
    if (!lexer) return error_display(Error(lexer.error()));
    auto line = lexer->next();
    return line ? line_debug(*line) : error_display(Error(line.error()));
}

// A text known to be UTF-8 skips the UTF-8 check and no other: the mark, the
// characters and the final line feed are checked as for any text, in the
// same order.
TEST(Lex, TextKnownToBeUtf8SkipsOnlyTheUtf8Check) {
    struct Case {
        std::string_view text;
        std::string_view unchecked;
        std::string_view known;
    };
    const Case cases[] = {
        {"a=\xC3\xA9\n", "Content { left: \"a\", value: \"\xC3\xA9\" }",
         "Content { left: \"a\", value: \"\xC3\xA9\" }"},
        {"\xEF\xBB\xBF"
         "a=\xC3\xA9\n",
         "BOM_ERROR", "BOM_ERROR"},
        {"\xEF\xBB\xBF\xFF", "BOM_ERROR", "BOM_ERROR"},
        {"a=\xC3\xA9\n\nb=\0\n"sv, "INVALID_CHARACTER_ERROR (line 3)", "INVALID_CHARACTER_ERROR (line 3)"},
        {"a=\xC3\xA9\rb\n", "INVALID_CHARACTER_ERROR (line 1)", "INVALID_CHARACTER_ERROR (line 1)"},
        {"a=\xC3\xA9", "MISSING_FINAL_EOL_ERROR", "MISSING_FINAL_EOL_ERROR"},
        {"a=\xC3\xA9\nword", "MISSING_FINAL_EOL_ERROR", "MISSING_FINAL_EOL_ERROR"},
        // Not UTF-8, yet said to be: only the UTF-8 check stands aside.
        {"# \xFF\n", "INVALID_UTF8_ERROR", "Comment(\" \xFF\")"},
        {"a=\xFF\rb", "INVALID_UTF8_ERROR", "INVALID_CHARACTER_ERROR (line 1)"},
        {"a=\xE2\x82", "INVALID_UTF8_ERROR", "MISSING_FINAL_EOL_ERROR"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(first_line_result(c.text, Utf8State::Unchecked), c.unchecked) << c.text;
        EXPECT_EQ(first_line_result(c.text, Utf8State::Valid), c.known) << c.text;
    }
}

TEST(Lex, ErrorsCarryTheirLine) {
    auto lines = lex("a=1\n# note\n\nword\n", kDoc);
    ASSERT_FALSE(lines);
    EXPECT_EQ(lines.error(), (LexErrorAt{MissingOperator, 4}));
}

// A key whose path begins like the key of an earlier line is checked from
// where the two part: each text must lex as its last line does alone.
TEST(Lex, KeysSharingAPathWithAnEarlierLine) {
    struct Case {
        std::string_view text;
        std::string_view expected;
    };
    const Case cases[] = {
        {"/a/b::x=1\n/a/b::y=2\n", "Content { left: \"/a/b::y\", value: \"2\" }"},
        {"/a/b::x=1\n/a/b::9y=2\n", "INVALID_KEY_ERROR (line 2)"},
        {"/a/b::x=1\n/a/b/::y=2\n", "INVALID_KEY_ERROR (line 2)"},
        {"/a/b::x=1\n/a/b/@c+=2\n", "Content { left: \"/a/b/@c+\", value: \"2\" }"},
        {"/a/b::x=1\n/a/b/\"\"::y=2\n", "INVALID_KEY_ERROR (line 2)"},
        {"/a/\"b/c\"::x=1\n/a/\"b/c\"::y=2\n", "Content { left: \"/a/\\\"b/c\\\"::y\", value: \"2\" }"},
        {"/a/b::x=1\n/a/bc::y=2\n", "Content { left: \"/a/bc::y\", value: \"2\" }"},
        {"/a/b::x=1\n/a/b::=2\n", "INVALID_KEY_ERROR (line 2)"},
        // a separator that runs on past the shared part, and a signature in front of it
        {"/a::x=1\n/a:::y=2\n", "INVALID_KEY_ERROR (line 2)"},
        {"/a/b::x=1\n/a/b//c::y=2\n", "INVALID_KEY_ERROR (line 2)"},
        {"!int'/a/b::x=1\n/a/b::y=2\n", "Content { left: \"/a/b::y\", value: \"2\" }"},
    };
    for (const auto& c : cases) {
        const std::string all = lex_result(c.text, kDoc);
        const std::string last = all.substr(all.rfind(" | ") == std::string::npos ? 0 : all.rfind(" | ") + 3);
        EXPECT_EQ(last, c.expected) << c.text;
    }
}

// Keys are checked two ways: most at once, when the text goes on far enough
// past them to be read in blocks, the others (near the end of the text,
// long, or holding quotes or markers) piece by piece. Each key must lex
// the same both ways: alone, and followed by a long comment.
TEST(Lex, KeysAloneAndFollowedByMoreText) {
    struct Case {
        LexMode mode;
        std::string_view key;
        bool valid;
    };
    const Case cases[] = {
        {kDoc, "a", true},
        {kDoc, "_a9", true},
        {kDoc, "/a/b::c", true},
        {kDoc, "::c", true},
        {kDoc, "/@items/0::id", true},
        {kDoc, "/@items/10/@tags/0::x", true},
        {kDoc, "/a/.b::c", true},
        {kDoc, "/a/@.b::c", true},
        {kDoc, "@.row", true},
        {kDoc, "/abcdefghijklmno::p", true},                // sixteen bytes and more
        {kDoc, "/abcdefghijklmnopqrstuvwxyz/ab::c", true},  // more than 32 bytes
        {kDoc, "/abcdefghijklmnopqrstuvwxyz/a::c", true},   // exactly 32 bytes
        {kDoc, "/a/0", true},
        {kDoc, "/a/0a::b", false},
        {kDoc, "/a/01::b", false},
        {kDoc, "/a/b/00", false},
        {kDoc, "/a/@::b", false},
        {kDoc, "/a/@.::b", false},
        {kDoc, "/a/.::b", false},
        {kDoc, "/a/.@b::c", false},
        {kDoc, "/a/b.c::d", false},
        {kDoc, "/a/b@c::d", false},
        {kDoc, "/a/@@b::c", false},
        {kDoc, "/a/..b::c", false},
        {kDoc, "/a:b", false},
        {kDoc, "/a:::b", false},
        {kDoc, "/a::::b", false},
        {kDoc, "/a::/b", false},
        {kDoc, "/a/::b", false},
        {kDoc, "/a//b", false},
        {kDoc, "/a/", false},
        {kDoc, "/", false},
        {kDoc, "/a::", false},
        {kDoc, "/a/b-c", false},
        {kDoc, "/a/\xC3\xA9", false},
        {kDoc, "/a/\"\xC3\xA9\"::b", true},
        {kDoc, "/abcdefghijklmnopqrstuvwxyz/0123::c", false},
        {kUnits, "/a/b::c", true},
        {kUnits, "~EUR", true},
        {kSchema, "re", false},
        {kSchema, "re/a", false},
        {kSchema, "/a/b::c", true},
        {kTypes, "re/a", false},
    };
    const std::string padding = "# " + std::string(64, 'x') + "\n";
    for (const auto& c : cases) {
        const std::string line = std::string(c.key) + "=1\n";
        const std::string alone = lex_result(line, c.mode);
        const std::string followed = lex_result(line + padding, c.mode);
        EXPECT_EQ(alone.starts_with("Content { left: "), c.valid) << c.key << ": " << alone;
        EXPECT_EQ(followed.starts_with("Content { left: "), c.valid) << c.key << ": " << followed;
        if (!c.valid) {
            EXPECT_EQ(alone, "INVALID_KEY_ERROR (line 1)") << c.key;
            EXPECT_EQ(followed, "INVALID_KEY_ERROR (line 1)") << c.key;
        } else {
            EXPECT_EQ(followed, alone + " | Comment(\" " + std::string(64, 'x') + "\")") << c.key;
        }
    }
}

TEST(Lex, StructuralLines) {
    const LineCase cases[] = {
        {kDoc, "# note", "Comment(\" note\")"},
        {kDoc, "#", "Comment(\"\")"},
        {kDoc, "#!/usr/bin/env tool", "Blank"},
        {kDoc, "  // doc", "Doc(\" doc\")"},
        {kDoc, "[]", "SectionClose"},
        {kDoc, "()", "NsClose"},
        {kDoc, "[/a/@b]", "SectionOpen(\"/a/@b\")"},
        {kDoc, "[@b]", "SectionOpen(\"@b\")"},
        {kDoc, "[/a/@b min=1 max=3 id=!]", "SectionOpen(\"/a/@b min=1 max=3 id=!\")"},
        {kDoc, "[/o/@r cust=/customers/@c/*::id]", "SectionOpen(\"/o/@r cust=/customers/@c/*::id\")"},
        {kDoc, "[a]", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "[ ]", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "[/a/@b min=]", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kDoc, "[/a/@b cust=/customers/c/*::id]", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kDoc, "(/a)", "NsOpen(\"/a\")"},
        {kDoc, "(/a schema:s)", "NsOpen(\"/a schema:s\")"},
        {kDoc, "(/a min=1)", "INVALID_KEY_ERROR (line 1)"},
        {kSchema, "(/a min=1 max=20 schema:s)", "NsOpen(\"/a min=1 max=20 schema:s\")"},
        {kSchema, "(/a min=x)", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "(a)", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "( )", "INVALID_KEY_ERROR (line 1)"},
        // A head without its closing character at the very end is no head.
        {kDoc, "[/a/@b] ", "MISSING_OPERATOR_ERROR (line 1)"},
        {kDoc, "[", "MISSING_OPERATOR_ERROR (line 1)"},
    };
    expect_lines(cases);

    EXPECT_EQ(lex_result("x=1\n#!not a shebang\n", kDoc),
              "Content { left: \"x\", value: \"1\" } | Comment(\"!not a shebang\")");
}

TEST(Lex, Declarations) {
    const LineCase cases[] = {
        {kDoc, ".!bezo", "Decl(\".!bezo\")"},
        {kDoc, ".!bezo 1", "Decl(\".!bezo 1\")"},
        {kDoc, ".!bezo 1.0.0", "Decl(\".!bezo 1.0.0\")"},
        {kDoc, ".!bezo\t1.7 \t", "Decl(\".!bezo\\t1.7 \\t\")"},  // later parts are not checked here
        {kDoc, ".!bezo 1.0.0.0", "INVALID_VERSION_ERROR (line 1)"},
        {kDoc, ".!bezo abc", "INVALID_VERSION_ERROR (line 1)"},
        {kDoc, ".!bezo 1..0", "INVALID_VERSION_ERROR (line 1)"},
        {kDoc, ".!bezo 1 x", "INVALID_VERSION_ERROR (line 1)"},
        {kDoc, ".!bezo 2", "UNSUPPORTED_VERSION_ERROR (line 1)"},
        {kDoc, ".!bezo 01", "Decl(\".!bezo 01\")"},
        {kDoc, ".!bezo 18446744073709551617", "UNSUPPORTED_VERSION_ERROR (line 1)"},
        {kDoc, ".!nezo x", "INVALID_VERSION_ERROR (line 1)"},
        {kDoc, ".!hezo myschema", "Decl(\".!hezo myschema\")"},
        {kDoc, ".!hezo 1 myschema", "Decl(\".!hezo 1 myschema\")"},
        {kDoc, ".!hezo 2 x", "UNSUPPORTED_VERSION_ERROR (line 1)"},
        {kDoc, ".!whezo 1.x name", "INVALID_VERSION_ERROR (line 1)"},
        {kDoc, ".!yezo std/time", "Decl(\".!yezo std/time\")"},
        {kDoc, ".!bezo1", "INVALID_DIRECTIVE_ERROR (line 1)"},
        {kDoc, ".!schema:x", "Decl(\".!schema:x\")"},
        {kDoc, ".!registry a=b", "Decl(\".!registry a=b\")"},
        {kDoc, ".!provenance", "Decl(\".!provenance\")"},
        {kDoc, ".?anything", "Decl(\".?anything\")"},
        {kDoc, ".!schemas", "INVALID_DIRECTIVE_ERROR (line 1)"},
        {kDoc, ".!foo", "INVALID_DIRECTIVE_ERROR (line 1)"},
        {kDoc, ".!", "INVALID_DIRECTIVE_ERROR (line 1)"},
        {kDoc, ".! schema", "INVALID_DIRECTIVE_ERROR (line 1)"},
    };
    expect_lines(cases);
}

TEST(Lex, DocumentContentAndOperators) {
    const LineCase cases[] = {
        {kDoc, "a=1", "Content { left: \"a\", value: \"1\" }"},
        {kDoc, "a \t= x = y ", "Content { left: \"a\", value: \" x = y \" }"},
        {kDoc, "/a/b::c=1", "Content { left: \"/a/b::c\", value: \"1\" }"},
        {kDoc, "\"a b\"=1", "Content { left: \"\\\"a b\\\"\", value: \"1\" }"},
        {kDoc, "\"a=b\"=1", "Content { left: \"\\\"a=b\\\"\", value: \"1\" }"},
        {kDoc, "!int'n=5", "Content { left: \"!int'n\", value: \"5\" }"},
        {kDoc, "!int'=5", "Content { left: \"!int'\", value: \"5\" }"},
        {kDoc, "@a+=1", "Content { left: \"@a+\", value: \"1\" }"},
        {kDoc, "@a;=1;2", "Content { left: \"@a;\", value: \"1;2\" }"},
        {kDoc, "/x/@a+:=/.v", "Content { left: \"/x/@a+:\", value: \"/.v\" }"},
        {kDoc, "/a:=/.v", "Content { left: \"/a:\", value: \"/.v\" }"},
        {kDoc, ".name=text", "Content { left: \".name\", value: \"text\" }"},
        {kDoc, "@.row=x", "Content { left: \"@.row\", value: \"x\" }"},
        {kDoc, "/.splat=x", "Content { left: \"/.splat\", value: \"x\" }"},
        {kDoc, "a/0=x", "Content { left: \"a/0\", value: \"x\" }"},
        {kDoc, "=1", "EMPTY_KEY_ERROR (line 1)"},
        {kDoc, " \t=1", "EMPTY_KEY_ERROR (line 1)"},
        {kDoc, "a b=1", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "\"a=1", "MISSING_OPERATOR_ERROR (line 1)"},  // the "=" is quoted
        {kDoc, "a+=1", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "a:=1", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "int'n=5", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "'n=5", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "a//b=1", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "a/01=1", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "a:b=1", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "a?=1", "INVALID_KEY_ERROR (line 1)"},
        {kDoc, "re=1", "Content { left: \"re\", value: \"1\" }"},
        {kDoc, "$/.name", "VarSplat(\"name\")"},
        {kDoc, "  $/._x1", "VarSplat(\"_x1\")"},
        {kDoc, "$/.", "MISSING_OPERATOR_ERROR (line 1)"},
        {kDoc, "$/.1x", "MISSING_OPERATOR_ERROR (line 1)"},
        {kDoc, "word", "MISSING_OPERATOR_ERROR (line 1)"},
        {kDoc, "?src", "Meta(\"?src\")"},
        {kDoc, "?", "Meta(\"?\")"},
    };
    expect_lines(cases);
}

TEST(Lex, DocumentAnnotationLines) {
    const LineCase cases[] = {
        {kDoc, "!int[0,10]", "Meta(\"!int[0,10]\")"},
        {kDoc, "!int:furlong", "Meta(\"!int:furlong\")"},  // documents check units later
        {kDoc, "!str re#a b#", "Meta(\"!str re#a b#\")"},
        {kDoc, "&ref", "Meta(\"&ref\")"},
        {kDoc, "&ref [0,1] !int", "Meta(\"&ref [0,1] !int\")"},
        {kDoc, "!int[0", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kDoc, "!str /a b/", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kDoc, "&", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kDoc, "&ref x", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kDoc, "&1ref", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kDoc, "..num", "MISSING_OPERATOR_ERROR (line 1)"},
        {kDoc, "/a/", "MISSING_OPERATOR_ERROR (line 1)"},
    };
    expect_lines(cases);
}

TEST(Lex, SchemaLines) {
    const LineCase cases[] = {
        {kSchema, "!str /a b/", "INVALID_CONSTRAINT_ERROR (line 1)"},  // one token, not a line
        {kSchema, "!str(/a b/)", "Meta(\"!str(/a b/)\")"},
        {kSchema, "!int:km/h", "Meta(\"!int:km/h\")"},
        {kSchema, "!int/^[0-9]+$/[0,5]..num:km", "Meta(\"!int/^[0-9]+$/[0,5]..num:km\")"},
        {kSchema, "!int:furlong", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "!int|float:furlong", "Meta(\"!int|float:furlong\")"},
        {kSchema, "&ref ..num", "Meta(\"&ref ..num\")"},
        {kSchema, "..num", "Meta(\"..num\")"},
        {kSchema, "..lex[de-DE] {a,b}", "Meta(\"..lex[de-DE] {a,b}\")"},
        // A bare range alone on its line reads as a section head.
        {kSchema, "[0,10]", "INVALID_KEY_ERROR (line 1)"},
        {kSchema, "[0,10] {a,b}", "Meta(\"[0,10] {a,b}\")"},
        {kSchema, "{a,b} [0,10]", "Meta(\"{a,b} [0,10]\")"},
        {kSchema, "{a,b}", "Meta(\"{a,b}\")"},
        {kSchema, "/[a-z]+/", "Meta(\"/[a-z]+/\")"},
        {kSchema, "re#a b#", "Meta(\"re#a b#\")"},
        {kSchema, "?", "Meta(\"?\")"},
        {kSchema, "?src", "Meta(\"?src\")"},
        {kSchema, ".", "Meta(\".\")"},
        {kSchema, ".x", "Meta(\".x\")"},
        {kSchema, ".x=1", "Content { left: \".x\", value: \"1\" }"},
        {kSchema, "a?=1", "Content { left: \"a?\", value: \"1\" }"},
        {kSchema, "&a=1", "INVALID_KEY_ERROR (line 1)"},
        // "re" lines: a literal the splitter refuses is a constraint error, and
        // "re" never starts a schema key.
        {kSchema, "re:x", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "re#a#b", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "re#a#=1", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "re=1", "INVALID_KEY_ERROR (line 1)"},
        {kSchema, "re/x=1", "INVALID_KEY_ERROR (line 1)"},
        {kSchema, "re::x=1", "INVALID_CONSTRAINT_ERROR (line 1)"},  // "re:" opens a literal
        {kSchema, "rex=1", "Content { left: \"rex\", value: \"1\" }"},
        {kSchema, "a/re=1", "Content { left: \"a/re\", value: \"1\" }"},
        // Key patterns: a lone pattern followed by "=".
        {kSchema, "/[a-z]+/=", "Content { left: \"/[a-z]+/\", value: \"\" }"},
        {kSchema, "/[a-z]+/ [0,1]=", "INVALID_KEY_ERROR (line 1)"},
        {kSchema, "/a/=1", "INVALID_KEY_ERROR (line 1)"},
        // Bare items the splitter refuses.
        {kSchema, "[0,9", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "{a, b}", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "..", "Meta(\"..\")"},
        {kSchema, "..x y", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "..x{y", "Meta(\"..x{y\")"},  // span words are not checked
        {kSchema, "!int[0", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "&1", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kSchema, "word", "MISSING_OPERATOR_ERROR (line 1)"},
        {kSchema, "$/.name", "MISSING_OPERATOR_ERROR (line 1)"},
    };
    expect_lines(cases);
}

TEST(Lex, SchemaUnitsCheckHonoursUnitImports) {
    EXPECT_EQ(lex_result("!int:furlong\n  .!units acme/u\n", kSchema),
              "Meta(\"!int:furlong\") | Decl(\".!units acme/u\")");
    EXPECT_EQ(lex_result("!int:furlong\n# .!units acme/u\n", kSchema), "INVALID_CONSTRAINT_ERROR (line 1)");
    EXPECT_EQ(lex_result("x=.!units\n!int:furlong\n", kSchema), "INVALID_CONSTRAINT_ERROR (line 2)");
}

TEST(Lex, TypeLibraryAndUnitDefsLines) {
    const LineCase cases[] = {
        {kTypes, "&date=x", "Content { left: \"&date\", value: \"x\" }"},
        {kTypes, "&re=x", "Content { left: \"&re\", value: \"x\" }"},
        {kTypes, "re=x", "INVALID_KEY_ERROR (line 1)"},
        {kTypes, "date?=x", "Content { left: \"date?\", value: \"x\" }"},
        {kTypes, "!int:furlong", "INVALID_CONSTRAINT_ERROR (line 1)"},
        {kTypes, "/a/=", "INVALID_KEY_ERROR (line 1)"},  // key patterns are for schemas
        {kUnits, "m 1000", "Meta(\"m 1000\")"},
        {kUnits, "$ @EUR", "Meta(\"$ @EUR\")"},
        {kUnits, "furlong=m 201.168", "Content { left: \"furlong\", value: \"m 201.168\" }"},
        {kUnits, "~EUR=$", "Content { left: \"~EUR\", value: \"$\" }"},
        {kUnits, "&~EUR=$", "Content { left: \"&~EUR\", value: \"$\" }"},
        {kUnits, "~EU=$", "INVALID_KEY_ERROR (line 1)"},
        {kUnits, "~eur=$", "INVALID_KEY_ERROR (line 1)"},
        {kUnits, "re=x", "Content { left: \"re\", value: \"x\" }"},
        {kUnits, "anything goes", "Meta(\"anything goes\")"},
        {kUnits, "9 lives", "Meta(\"9 lives\")"},
        {kUnits, "!int", "MISSING_OPERATOR_ERROR (line 1)"},
        {kUnits, "?src", "MISSING_OPERATOR_ERROR (line 1)"},
        {kUnits, "$/.x", "Meta(\"$/.x\")"},
    };
    expect_lines(cases);
}

TEST(Lex, LinesAreSlicesOfTheSource) {
    const std::string text = ".!bezo\r\n  a = 1\r\n[/t/@r]\n\n";
    auto lines = lex(text, kDoc);
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 4u);
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    for (const auto& line : *lines) {
        for (auto slice : {line.text, line.value}) {
            if (slice.empty()) continue;
            EXPECT_GE(slice.data(), begin);
            EXPECT_LE(slice.data() + slice.size(), end);
        }
    }
    EXPECT_EQ((*lines)[0].text, ".!bezo");
    EXPECT_EQ((*lines)[1].left(), "a");
    EXPECT_EQ((*lines)[1].value, " 1");
    EXPECT_EQ((*lines)[2].text, "/t/@r");
    EXPECT_EQ((*lines)[3].kind, LineKind::Blank);
    for (std::size_t i = 0; i < lines->size(); ++i) EXPECT_EQ((*lines)[i].line, i + 1);
}

TEST(LineDebug, EscapesPayloads) {
    EXPECT_EQ(line_debug(Line{LineKind::NsOpen, "/a", {}, 1}), "NsOpen(\"/a\")");
    EXPECT_EQ(line_debug(Line{LineKind::Meta, "!str/a\\\"b/\t", {}, 1}), "Meta(\"!str/a\\\\\\\"b/\\t\")");
    EXPECT_EQ(line_debug(Line{LineKind::SectionClose, {}, {}, 1}), "SectionClose");
    EXPECT_EQ(line_debug(Line{LineKind::Content, "k", "v", 1}), "Content { left: \"k\", value: \"v\" }");
}

TEST(CheckFormatDeclaration, LineAndVerdict) {
    struct Case {
        std::string_view text;
        std::string_view kind;
        std::uint64_t line;
        bool accepted;
    };
    const Case cases[] = {
        {".!lezo\n", "lezo", 1, true},
        {"#!x\n.!lezo 1\n", "lezo", 2, true},
        {" \t.!hezo 1 name\r\n", "hezo", 1, true},
        {".!hezo\tname\n", "hezo", 1, true},
        {".!lezo", "lezo", 1, true},
        {".!lezox\n", "lezo", 1, false},
        {".!bezo1\n", "bezo", 1, false},
        {".!whezo\n", "hezo", 1, false},
        {".!nezo\n", "lezo", 1, false},
        {"x=1\n.!lezo\n", "lezo", 1, false},
        {"", "lezo", 1, false},
        {"#!x", "lezo", 2, false},
        {"#!x\n", "lezo", 2, false},
        {"#\n.!lezo\n", "lezo", 1, false},
    };
    for (const auto& c : cases) {
        auto result = check_format_declaration(c.text, c.kind);
        EXPECT_EQ(result.line, c.line) << c.text;
        EXPECT_EQ(result.accepted, c.accepted) << c.text;
    }
}

TEST(TextHelpers, ParseVersion) {
    for (auto accepted : {"1", "1.0", "1.0.0", "1.00", "01"}) EXPECT_TRUE(parse_version(accepted)) << accepted;
    for (auto refused : {"", "2", "1.1", "1.0.1", "1.0.0.0", "abc", "1.", ".1", "1..0", "1.x", "+1",
                         "18446744073709551617", "1.18446744073709551616"}) {
        EXPECT_FALSE(parse_version(refused)) << refused;
    }
}

TEST(TextHelpers, SmallScanners) {
    EXPECT_EQ(skip_version_token(" 1.0 \tname"), "name");
    EXPECT_EQ(skip_version_token("\tname 2"), "name 2");
    EXPECT_EQ(skip_version_token(" 1"), "");
    EXPECT_EQ(skip_version_token(""), "");

    EXPECT_EQ(has_unquoted_eq("a=b"), 1u);
    EXPECT_EQ(has_unquoted_eq("\"a=b\"=c"), 5u);
    EXPECT_EQ(has_unquoted_eq("\"a\"\"=b\"=c"), 7u);
    EXPECT_EQ(has_unquoted_eq("\"a=b"), std::nullopt);
    EXPECT_EQ(has_unquoted_eq("ab"), std::nullopt);
    EXPECT_EQ(has_unquoted_eq("/@items/12345/dims::w=1"), 21u);
    EXPECT_EQ(has_unquoted_eq("\"aaaaaaaaaaaaaaaaaaaa=\"bbbbbbbbbbbbbbbb=c"), 39u);
    EXPECT_EQ(has_unquoted_eq("aaaaaaaaaaaaaaaaaaaa\"=\""), std::nullopt);

    EXPECT_EQ(leading_alnum_word("schema:x"), "schema");
    EXPECT_EQ(leading_alnum_word("bezo1 x"), "bezo1");
    EXPECT_EQ(leading_alnum_word(" x"), "");

    for (auto opener : {"re#", "re%x", "re:", "re;", "re@", "re~"})
        EXPECT_EQ(regex_delimiter_len(opener), 1u) << opener;
    for (auto other : {"re", "re/x/", "rex", "Re#", " re#"})
        EXPECT_EQ(regex_delimiter_len(other), std::nullopt) << other;
}

}  // namespace
}  // namespace bezo
