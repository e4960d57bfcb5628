// The one error value of the core. Every operation that can fail returns
// std::expected<T, Error>; the Python shell is the only place that turns an
// Error into an exception.
#pragma once

#include <concepts>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace bezo {

enum class LexErrorKind : std::uint8_t {
    Bom,
    InvalidUtf8,
    InvalidCharacter,
    MissingFinalEol,
    InvalidVersion,
    UnsupportedVersion,
    FormatKind,
    EmptyKey,
    MissingOperator,
    InvalidKey,
    InvalidDirective,
    InvalidConstraint,
};

enum class AppErrorKind : std::uint8_t {
    MetadataWithoutTarget,
    UndefinedReference,
    VariableContext,
    VerbatimContext,
    DelimiterCollision,
    SchemaDuplicateKey,
    SchemaInheritanceCycle,
    SchemaDelegation,
    DelegationSchema,
    SchemaOptionalWithoutDefault,
    SchemaResolution,
    RegistryStrict,
    RequiredFieldSchema,
    DuplicateKeySchema,
    UndefinedFieldStrictSchema,
    ProvenanceSchema,
    FormatKind,
    TypeMismatch,
    UnitConversion,
    ConstraintViolation,
    UniquenessViolation,
    IncompleteMapping,
    ReferentialIntegrity,
    CardinalityViolation,
    CollationUnsupported,
};

// A failure of the line lexer or of the format-declaration check.
// `line` is 1-based; 0 means the failure concerns the whole text.
struct LexErrorAt {
    LexErrorKind error;
    std::uint64_t line = 0;
};

// A failure that the language defines; also the verdict of a failed
// validation. `line` is 0 when no line is known, `context` empty when the
// failure carries no message.
struct AppErrorAt {
    AppErrorKind error;
    std::uint64_t line = 0;
    std::string context;
};

class Error {
public:
    static Error Lex(LexErrorKind kind, std::uint64_t line) { return Error(LexErrorAt{kind, line}); }
    static Error App(AppErrorKind kind, std::uint64_t line = 0, std::string context = {}) {
        return Error(AppErrorAt{kind, line, std::move(context)});
    }
    static Error Other(std::string message) { return Error(std::move(message)); }

    explicit Error(LexErrorAt lex) : value_(lex) {}
    explicit Error(AppErrorAt app) : value_(std::move(app)) {}

    bool is_lex() const { return value_.index() == 0; }
    bool is_app() const { return value_.index() == 1; }
    bool is_other() const { return value_.index() == 2; }
    const LexErrorAt& lex() const { return std::get<0>(value_); }
    const AppErrorAt& app() const { return std::get<1>(value_); }
    const std::string& other() const { return std::get<2>(value_); }

    friend bool operator==(const Error& a, const Error& b);

private:
    explicit Error(std::string message) : value_(std::in_place_index<2>, std::move(message)) {}
    std::variant<LexErrorAt, AppErrorAt, std::string> value_;
};

// The result of every core operation that can fail: its value or an Error.
// Marked [[nodiscard]] here once, so that no caller drops a failure.
template <class T>
class [[nodiscard]] Result : public std::expected<T, Error> {
public:
    using std::expected<T, Error>::expected;
    Result(std::expected<T, Error> result) : std::expected<T, Error>(std::move(result)) {}

    // Two results compare as the expected values they are; without this the
    // standard comparison with a plain value would take a Result as one.
    template <std::same_as<Result> A, std::same_as<Result> B>
    friend bool operator==(const A& a, const B& b) {
        return static_cast<const std::expected<T, Error>&>(a) == static_cast<const std::expected<T, Error>&>(b);
    }
    friend bool operator==(const Result& a, const std::unexpected<Error>& b) { return !a && a.error() == b.error(); }
};

// A failure with an Other message, ready to return from a Result function.
[[nodiscard]] inline std::unexpected<Error> fail(std::string message) {
    return std::unexpected(Error::Other(std::move(message)));
}

// Hands the error of a failed result on to the caller:
// `if (!parsed) return forward_error(parsed);`
template <class T, class E>
[[nodiscard]] std::unexpected<E> forward_error(std::expected<T, E>& failed) {
    return std::unexpected(std::move(failed.error()));
}
template <class T, class E>
[[nodiscard]] std::unexpected<E> forward_error(const std::expected<T, E>& failed) {
    return std::unexpected(failed.error());
}

// The code a kind prints in the text form, e.g. "BOM_ERROR", "TypeMismatchError".
std::string_view lex_error_code(LexErrorKind kind);
std::string_view app_error_code(AppErrorKind kind);

// Kind names as they are spelled in the code, e.g. "InvalidKey".
std::string_view lex_error_kind_name(LexErrorKind kind);
std::string_view app_error_kind_name(AppErrorKind kind);

// The text form: the only rendering of an error that reaches a user.
std::string error_display(const Error& error);
std::string app_error_display(const AppErrorAt& error);
void append_error_display(const Error& error, std::string& out);
void append_app_error_display(const AppErrorAt& error, std::string& out);

// The diagnostic form, e.g. `Lex(LexErrorAt { error: InvalidKey, line: 3 })`;
// used only in fault messages.
std::string error_debug(const Error& error);

// Appends a text in the diagnostic form's quoting: double quotes around it,
// backslashes, quotes and control characters escaped.
void append_debug_string(std::string_view text, std::string& out);

// The most of a text that a message quotes when the text is the caller's
// or comes from a file the caller did not write: its first kMaxQuotedBytes
// bytes (cut at a character boundary, then "…"), control characters
// escaped as "\u{..}" and each byte that is no UTF-8 replaced by U+FFFD,
// each counted against the limit at the length it is written with, so that
// the excerpt is short and valid UTF-8 whatever the text.
inline constexpr std::size_t kMaxQuotedBytes = 80;
std::string quoted_excerpt(std::string_view text, std::size_t limit = kMaxQuotedBytes);

// A message's list of names, joined by ", ", each a short excerpt; once the
// list has taken kMaxListedBytes, one "…" stands for every name left, so that
// a text of many names still gives a short message.
inline constexpr std::size_t kMaxListedBytes = 4 * kMaxQuotedBytes;
class ListedNames {
public:
    void add(std::string_view name);
    const std::string& text() const { return text_; }

private:
    std::string text_;
    bool cut_ = false;
};

// The same excerpt in the diagnostic form's quoting: in double quotes, with
// backslashes, quotes, line feeds, carriage returns and tabs escaped as
// there, other controls (the C1 ones too) as "\u{..}"; "…" after the closing
// quote when it is cut.
std::string quoted_debug_excerpt(std::string_view text, std::size_t limit = kMaxQuotedBytes);

// The same error with its message (or application context) cut to its own
// words and an excerpt of what it quotes (2 * kMaxQuotedBytes): for errors
// raised while reading a text loaded from a file.
Error with_excerpted_message(Error error);

bool operator==(const LexErrorAt& a, const LexErrorAt& b);
bool operator==(const AppErrorAt& a, const AppErrorAt& b);

}  // namespace bezo
