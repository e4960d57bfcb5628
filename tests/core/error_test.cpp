#include "core/error.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

TEST(ErrorCodes, EveryLexKindHasItsCode) {
    const std::vector<std::string> codes = {
        "BOM_ERROR",
        "INVALID_UTF8_ERROR",
        "INVALID_CHARACTER_ERROR",
        "MISSING_FINAL_EOL_ERROR",
        "INVALID_VERSION_ERROR",
        "UNSUPPORTED_VERSION_ERROR",
        "FORMAT_KIND_ERROR",
        "EMPTY_KEY_ERROR",
        "MISSING_OPERATOR_ERROR",
        "INVALID_KEY_ERROR",
        "INVALID_DIRECTIVE_ERROR",
        "INVALID_CONSTRAINT_ERROR",
    };
    for (std::size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(lex_error_code(static_cast<LexErrorKind>(i)), codes[i]) << i;
    }
}

TEST(ErrorCodes, EveryAppKindHasItsCode) {
    const std::vector<std::string> names = {
        "MetadataWithoutTarget",
        "UndefinedReference",
        "VariableContext",
        "VerbatimContext",
        "DelimiterCollision",
        "SchemaDuplicateKey",
        "SchemaInheritanceCycle",
        "SchemaDelegation",
        "DelegationSchema",
        "SchemaOptionalWithoutDefault",
        "SchemaResolution",
        "RegistryStrict",
        "RequiredFieldSchema",
        "DuplicateKeySchema",
        "UndefinedFieldStrictSchema",
        "ProvenanceSchema",
        "FormatKind",
        "TypeMismatch",
        "UnitConversion",
        "ConstraintViolation",
        "UniquenessViolation",
        "IncompleteMapping",
        "ReferentialIntegrity",
        "CardinalityViolation",
        "CollationUnsupported",
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto kind = static_cast<AppErrorKind>(i);
        EXPECT_EQ(app_error_kind_name(kind), names[i]);
        const std::string expected = names[i] == "FormatKind" ? "FORMAT_KIND_ERROR" : names[i] + "Error";
        EXPECT_EQ(app_error_code(kind), expected);
    }
}

struct DisplayCase {
    Error error;
    std::string text;
};

TEST(ErrorDisplay, TextForm) {
    const std::vector<DisplayCase> cases = {
        {Error::Lex(LexErrorKind::Bom, 0), "BOM_ERROR"},
        {Error::Lex(LexErrorKind::InvalidDirective, 4), "INVALID_DIRECTIVE_ERROR (line 4)"},
        {Error::Lex(LexErrorKind::FormatKind, 18446744073709551615ull),
         "FORMAT_KIND_ERROR (line 18446744073709551615)"},
        {Error::App(AppErrorKind::SchemaResolution), "SchemaResolutionError"},
        {Error::App(AppErrorKind::TypeMismatch, 0, "expected int"), "TypeMismatchError: expected int"},
        {Error::App(AppErrorKind::TypeMismatch, 7, "expected int"), "TypeMismatchError: expected int (line 7)"},
        {Error::App(AppErrorKind::RequiredFieldSchema, 2), "RequiredFieldSchemaError (line 2)"},
        {Error::App(AppErrorKind::FormatKind, 1, "no declaration"), "FORMAT_KIND_ERROR: no declaration (line 1)"},
        {Error::Other("invalid JSON at byte 3 (line 9)"), "invalid JSON at byte 3 (line 9)"},
        {Error::Other(""), ""},
    };
    for (const auto& [error, text] : cases) EXPECT_EQ(error_display(error), text);
}

TEST(ErrorDisplay, AppDisplayMatchesErrorDisplay) {
    const AppErrorAt verdict{AppErrorKind::ConstraintViolation, 3, "value 9 outside [0,5]"};
    EXPECT_EQ(app_error_display(verdict), "ConstraintViolationError: value 9 outside [0,5] (line 3)");
    EXPECT_EQ(error_display(Error(verdict)), app_error_display(verdict));
}

TEST(ErrorDebug, DiagnosticForm) {
    EXPECT_EQ(error_debug(Error::Lex(LexErrorKind::InvalidKey, 3)), "Lex(LexErrorAt { error: InvalidKey, line: 3 })");
    EXPECT_EQ(error_debug(Error::App(AppErrorKind::TypeMismatch, 0, "a \"q\"\n")),
              "App(AppErrorAt { error: TypeMismatch, line: 0, context: \"a \\\"q\\\"\\n\" })");
    EXPECT_EQ(error_debug(Error::Other("bad annotation: x")), "Other(\"bad annotation: x\")");
}

TEST(ErrorValue, EqualityComparesVariantAndFields) {
    EXPECT_EQ(Error::Lex(LexErrorKind::Bom, 0), Error::Lex(LexErrorKind::Bom, 0));
    EXPECT_FALSE(Error::Lex(LexErrorKind::Bom, 0) == Error::Lex(LexErrorKind::Bom, 1));
    EXPECT_FALSE(Error::App(AppErrorKind::FormatKind) == Error::Lex(LexErrorKind::FormatKind, 0));
    EXPECT_FALSE(Error::Other("a") == Error::App(AppErrorKind::TypeMismatch, 0, "a"));
}

TEST(QuotedExcerpt, CutsAtACharacterBoundaryAndEscapesControls) {
    const std::string at_limit(kMaxQuotedBytes, 'a');
    // A two-byte character that straddles the limit is left out whole.
    const std::string straddling = std::string(kMaxQuotedBytes - 1, 'a') + "\xC3\xA9";
    struct Case {
        std::string text;
        std::string excerpt;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {std::string("a\0b\x1b\x7f", 5), "a\\u{0}b\\u{1b}\\u{7f}"},
        {at_limit, at_limit},
        {at_limit + "b", at_limit + "\u2026"},
        {straddling, std::string(kMaxQuotedBytes - 1, 'a') + "\u2026"},
        // Bytes that are no UTF-8, also where the cut falls, come out as
        // U+FFFD; C1 controls are escaped like the C0 ones.
        {"a\xFF\xC3(\xED\xA0\x80"
         "b",
         "a\uFFFD\uFFFD(\uFFFD\uFFFD\uFFFDb"},
        {std::string(kMaxQuotedBytes - 3, 'a') + "\xC3", std::string(kMaxQuotedBytes - 3, 'a') + "\uFFFD"},
        // U+FFFD takes three bytes of the limit, as it does of the excerpt.
        {std::string(kMaxQuotedBytes - 1, 'a') + "\xC3", std::string(kMaxQuotedBytes - 1, 'a') + "\u2026"},
        {std::string(kMaxQuotedBytes, 'a') + "\x80", std::string(kMaxQuotedBytes, 'a') + "\u2026"},
        {"\xC2\x85\xC2\xA0", "\\u{85}\xC2\xA0"},
    };
    for (const auto& [text, excerpt] : cases) EXPECT_EQ(quoted_excerpt(text), excerpt) << text;
    const Error long_message = with_excerpted_message(Error::Other(std::string(1000, 'm')));
    EXPECT_EQ(long_message.other(), std::string(2 * kMaxQuotedBytes, 'm') + "\u2026");
    const Error kind_only = Error::App(AppErrorKind::SchemaResolution);
    EXPECT_EQ(with_excerpted_message(kind_only), kind_only);
}

TEST(QuotedExcerpt, CountsEachEscapeAtItsLengthAgainstTheLimit) {
    const std::string controls(1000, '\x1b');
    const std::string one_escape = "\\u{1b}";
    struct Case {
        std::string text;
        std::size_t limit;
        std::string excerpt;
    };
    const Case cases[] = {
        // An escape that would pass the limit is left out whole.
        {std::string(kMaxQuotedBytes - 2, 'a') + "\x1b", kMaxQuotedBytes,
         std::string(kMaxQuotedBytes - 2, 'a') + "\u2026"},
        {std::string(kMaxQuotedBytes - 6, 'a') + "\x1b", kMaxQuotedBytes,
         std::string(kMaxQuotedBytes - 6, 'a') + one_escape},
        {controls, 12, one_escape + one_escape + "\u2026"},
        {controls, 11, one_escape + "\u2026"},
        {"\x01\x02", 10, "\\u{1}\\u{2}"},
    };
    for (const auto& [text, limit, excerpt] : cases) EXPECT_EQ(quoted_excerpt(text, limit), excerpt) << limit;

    // Whatever the text, the excerpt keeps to its limit and the cut mark.
    const std::string mark = "\u2026";
    for (const std::string& text :
         {controls, std::string(1000, '\x7f'), std::string(500, '\x01') + "\xC2\x85", std::string(1000, '\xFF')}) {
        const std::string excerpt = quoted_excerpt(text);
        EXPECT_LE(excerpt.size(), kMaxQuotedBytes + mark.size());
        EXPECT_TRUE(excerpt.ends_with(mark));
        EXPECT_EQ(excerpt.find_first_of(std::string_view("\x01\x1b\x7f", 3)), std::string::npos);
        const Error message = with_excerpted_message(Error::Other("unexpected line: " + text));
        EXPECT_LE(message.other().size(), 2 * kMaxQuotedBytes + mark.size());
        const Error context = with_excerpted_message(Error::App(AppErrorKind::SchemaResolution, 1, text));
        EXPECT_LE(context.app().context.size(), 2 * kMaxQuotedBytes + mark.size());
    }
}

TEST(QuotedDebugExcerpt, QuotesAsTheDiagnosticFormAndKeepsToItsLimit) {
    // Text of ordinary size comes out as the diagnostic form quotes it.
    for (const std::string& text :
         std::vector<std::string>{"plain", "q\"b\\s\nl\rr\tt", std::string("\0\x1b\x7f", 3), "\xC3\xA9\xE6\x9D\xB1"}) {
        std::string debug;
        append_debug_string(text, debug);
        EXPECT_EQ(quoted_debug_excerpt(text), debug) << text;
    }
    struct Case {
        std::string text;
        std::size_t limit;
        std::string excerpt;
    };
    const Case cases[] = {
        // C1 controls are escaped too; a byte that is no UTF-8 is U+FFFD.
        {"x\xC2\x85y\xFF", kMaxQuotedBytes, "\"x\\u{85}y\uFFFD\""},
        // Each escape counts at its own length; what would pass the limit is
        // left out whole and the cut is marked after the closing quote.
        {"ab\"", 3, "\"ab\"\u2026"},
        {"ab\"", 4, "\"ab\\\"\""},
        {std::string(1000, '\x01'), 12, "\"\\u{1}\\u{1}\"\u2026"},
        {std::string(1000, '\xFF'), 7, "\"\uFFFD\uFFFD\"\u2026"},
    };
    for (const auto& [text, limit, excerpt] : cases) EXPECT_EQ(quoted_debug_excerpt(text, limit), excerpt) << limit;
}

TEST(ListedNames, ListsShortExcerptsUpToItsBound) {
    const std::string long_name(1000, 'n');
    const std::string mark = "\u2026";
    struct Case {
        std::vector<std::string> names;
        std::string listed;
    };
    const Case cases[] = {
        {{}, ""},
        {{"a", "b", "c"}, "a, b, c"},
        {{"a", long_name}, "a, " + std::string(kMaxQuotedBytes, 'n') + mark},
        // Past the bound one mark stands for every name left.
        {std::vector<std::string>(5, long_name),
         std::string(kMaxQuotedBytes, 'n') + mark + ", " + std::string(kMaxQuotedBytes, 'n') + mark + ", " +
             std::string(kMaxQuotedBytes, 'n') + mark + ", " + std::string(kMaxQuotedBytes, 'n') + mark + ", " + mark},
    };
    for (const auto& [names, listed] : cases) {
        ListedNames list;
        for (const std::string& name : names) list.add(name);
        EXPECT_EQ(list.text(), listed) << names.size();
    }
    ListedNames many;
    for (int i = 0; i < 100'000; ++i) many.add("name" + std::to_string(i));
    EXPECT_LE(many.text().size(), kMaxListedBytes + 2 + kMaxQuotedBytes + mark.size());
    EXPECT_TRUE(many.text().ends_with(", " + mark));
}

}  // namespace
}  // namespace bezo
