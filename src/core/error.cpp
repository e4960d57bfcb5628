#include "core/error.hpp"

#include <array>
#include <optional>

#include "core/text.hpp"
#include "core/utf8.hpp"

namespace bezo {
namespace {

struct KindText {
    std::string_view name;
    std::string_view code;
};

constexpr std::array<KindText, 12> kLexKinds{{
    {"Bom", "BOM_ERROR"},
    {"InvalidUtf8", "INVALID_UTF8_ERROR"},
    {"InvalidCharacter", "INVALID_CHARACTER_ERROR"},
    {"MissingFinalEol", "MISSING_FINAL_EOL_ERROR"},
    {"InvalidVersion", "INVALID_VERSION_ERROR"},
    {"UnsupportedVersion", "UNSUPPORTED_VERSION_ERROR"},
    {"FormatKind", "FORMAT_KIND_ERROR"},
    {"EmptyKey", "EMPTY_KEY_ERROR"},
    {"MissingOperator", "MISSING_OPERATOR_ERROR"},
    {"InvalidKey", "INVALID_KEY_ERROR"},
    {"InvalidDirective", "INVALID_DIRECTIVE_ERROR"},
    {"InvalidConstraint", "INVALID_CONSTRAINT_ERROR"},
}};
// One row per kind, in the order of the enum (its last kind closes the table).
static_assert(kLexKinds.size() == static_cast<std::size_t>(LexErrorKind::InvalidConstraint) + 1);

constexpr std::array<KindText, 25> kAppKinds{{
    {"MetadataWithoutTarget", "MetadataWithoutTargetError"},
    {"UndefinedReference", "UndefinedReferenceError"},
    {"VariableContext", "VariableContextError"},
    {"VerbatimContext", "VerbatimContextError"},
    {"DelimiterCollision", "DelimiterCollisionError"},
    {"SchemaDuplicateKey", "SchemaDuplicateKeyError"},
    {"SchemaInheritanceCycle", "SchemaInheritanceCycleError"},
    {"SchemaDelegation", "SchemaDelegationError"},
    {"DelegationSchema", "DelegationSchemaError"},
    {"SchemaOptionalWithoutDefault", "SchemaOptionalWithoutDefaultError"},
    {"SchemaResolution", "SchemaResolutionError"},
    {"RegistryStrict", "RegistryStrictError"},
    {"RequiredFieldSchema", "RequiredFieldSchemaError"},
    {"DuplicateKeySchema", "DuplicateKeySchemaError"},
    {"UndefinedFieldStrictSchema", "UndefinedFieldStrictSchemaError"},
    {"ProvenanceSchema", "ProvenanceSchemaError"},
    {"FormatKind", "FORMAT_KIND_ERROR"},
    {"TypeMismatch", "TypeMismatchError"},
    {"UnitConversion", "UnitConversionError"},
    {"ConstraintViolation", "ConstraintViolationError"},
    {"UniquenessViolation", "UniquenessViolationError"},
    {"IncompleteMapping", "IncompleteMappingError"},
    {"ReferentialIntegrity", "ReferentialIntegrityError"},
    {"CardinalityViolation", "CardinalityViolationError"},
    {"CollationUnsupported", "CollationUnsupportedError"},
}};
static_assert(kAppKinds.size() == static_cast<std::size_t>(AppErrorKind::CollationUnsupported) + 1);

void append_line_suffix(std::uint64_t line, std::string& out) {
    if (line == 0) return;
    out += " (line ";
    append_decimal(line, out);
    out += ')';
}

// What an excerpt writes for a byte that is no UTF-8.
constexpr std::string_view kReplacementCharacter = "\uFFFD";

bool is_control(char32_t code_point) { return code_point < 0x20 || (code_point >= 0x7f && code_point < 0xa0); }

// How an excerpt writes a character (none for a byte that is no UTF-8):
// `escape` is left empty when the character is written as itself.
using EscapeRule = void (*)(std::optional<char32_t> code_point, std::string& escape);

void escape_control(std::optional<char32_t> code_point, std::string& escape) {
    if (!code_point) {
        escape = kReplacementCharacter;
    } else if (is_control(*code_point)) {
        append_code_point_escape(*code_point, escape);
    }
}

// The escapes of the diagnostic form's quoting, the C1 controls escaped too;
// a byte that is no UTF-8 falls to the default, U+FFFD.
void escape_for_debug_form(std::optional<char32_t> code_point, std::string& escape) {
    switch (code_point.value_or(0xFFFD)) {
        case '"': escape = "\\\""; break;
        case '\\': escape = "\\\\"; break;
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '\t': escape = "\\t"; break;
        default: escape_control(code_point, escape);
    }
}

// Appends the characters of `text`, each as `rule` writes it, while what is
// written stays within `limit` bytes: escapes and replacements count at their
// own length, so that they too keep within it. True when the whole text was
// taken.
bool append_excerpt(std::string_view text, std::size_t limit, EscapeRule rule, std::string& out) {
    std::string escape;
    std::size_t taken = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = pos;
        const std::optional<char32_t> code_point = utf8_next(text, next);
        escape.clear();
        rule(code_point, escape);
        const std::string_view written = escape.empty() ? text.substr(pos, next - pos) : std::string_view(escape);
        if (taken + written.size() > limit) return false;
        taken += written.size();
        out += written;
        pos = next;
    }
    return true;
}

}  // namespace

// Quotes a text the way the diagnostic form shows strings: in double quotes,
// with backslashes, quotes and control characters escaped.
void append_debug_string(std::string_view text, std::string& out) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    append_code_point_escape(c, out);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

std::string quoted_excerpt(std::string_view text, std::size_t limit) {
    std::string out;
    if (!append_excerpt(text, limit, escape_control, out)) out += "\u2026";
    return out;
}

std::string quoted_debug_excerpt(std::string_view text, std::size_t limit) {
    std::string out = "\"";
    const bool whole = append_excerpt(text, limit, escape_for_debug_form, out);
    out += '"';
    if (!whole) out += "\u2026";
    return out;
}

void ListedNames::add(std::string_view name) {
    if (cut_) return;
    if (!text_.empty()) text_ += ", ";
    cut_ = text_.size() >= kMaxListedBytes;
    text_ += cut_ ? "\u2026" : quoted_excerpt(name);
}

Error with_excerpted_message(Error error) {
    if (error.is_other()) return Error::Other(quoted_excerpt(error.other(), 2 * kMaxQuotedBytes));
    if (error.is_app() && !error.app().context.empty()) {
        const AppErrorAt& app = error.app();
        return Error::App(app.error, app.line, quoted_excerpt(app.context, 2 * kMaxQuotedBytes));
    }
    return error;
}

std::string_view lex_error_code(LexErrorKind kind) { return kLexKinds[static_cast<std::size_t>(kind)].code; }
std::string_view app_error_code(AppErrorKind kind) { return kAppKinds[static_cast<std::size_t>(kind)].code; }
std::string_view lex_error_kind_name(LexErrorKind kind) { return kLexKinds[static_cast<std::size_t>(kind)].name; }
std::string_view app_error_kind_name(AppErrorKind kind) { return kAppKinds[static_cast<std::size_t>(kind)].name; }

void append_app_error_display(const AppErrorAt& error, std::string& out) {
    out += app_error_code(error.error);
    if (!error.context.empty()) {
        out += ": ";
        out += error.context;
    }
    append_line_suffix(error.line, out);
}

void append_error_display(const Error& error, std::string& out) {
    if (error.is_lex()) {
        out += lex_error_code(error.lex().error);
        append_line_suffix(error.lex().line, out);
    } else if (error.is_app()) {
        append_app_error_display(error.app(), out);
    } else {
        out += error.other();
    }
}

std::string app_error_display(const AppErrorAt& error) {
    std::string out;
    append_app_error_display(error, out);
    return out;
}

std::string error_display(const Error& error) {
    std::string out;
    append_error_display(error, out);
    return out;
}

std::string error_debug(const Error& error) {
    std::string out;
    if (error.is_lex()) {
        out += "Lex(LexErrorAt { error: ";
        out += lex_error_kind_name(error.lex().error);
        out += ", line: ";
        append_decimal(error.lex().line, out);
        out += " })";
    } else if (error.is_app()) {
        out += "App(AppErrorAt { error: ";
        out += app_error_kind_name(error.app().error);
        out += ", line: ";
        append_decimal(error.app().line, out);
        out += ", context: ";
        append_debug_string(error.app().context, out);
        out += " })";
    } else {
        out += "Other(";
        append_debug_string(error.other(), out);
        out += ')';
    }
    return out;
}

bool operator==(const LexErrorAt& a, const LexErrorAt& b) { return a.error == b.error && a.line == b.line; }
bool operator==(const AppErrorAt& a, const AppErrorAt& b) {
    return a.error == b.error && a.line == b.line && a.context == b.context;
}
bool operator==(const Error& a, const Error& b) { return a.value_ == b.value_; }

}  // namespace bezo
