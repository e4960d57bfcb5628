// The line lexer shared by authored documents, authored schemas, type
// libraries and unit-definition modules, with the format-declaration check
// and the small text helpers that other readers of the language reuse.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// The rules a text is lexed under.
enum class LexMode : std::uint8_t {
    Document,     // authored documents (compiler, formatter)
    Schema,       // authored schemas
    TypeLibrary,  // type libraries
    UnitDefs,     // unit-definition modules
};

enum class LineKind : std::uint8_t {
    Blank,         // empty after trimming, or a "#!" first line
    Comment,       // text: after the "#"
    Doc,           // text: after the "//"
    Decl,          // text: the whole trimmed line (".!" or ".?")
    SectionOpen,   // text: between "[" and "]"
    SectionClose,  // "[]"
    NsOpen,        // text: between "(" and ")"
    NsClose,       // "()"
    Content,       // text: `left`, value: after the first unquoted "="
    Meta,          // text: the whole trimmed line
    VarSplat,      // text: the identifier after "$/."
};

// One classified line. Its texts are slices of the lexed source, which must
// outlive the line.
struct Line {
    LineKind kind = LineKind::Blank;
    // The payload of the kind; for Content, the `left` side: the text before
    // the first "=" outside double quotes, trailing blanks and tabs removed.
    std::string_view text;
    // For Content, the text after that "=", untouched; empty otherwise.
    std::string_view value;
    std::uint64_t line = 0;  // 1-based

    std::string_view left() const { return text; }
};

// The variant name of a kind, e.g. "NsOpen".
std::string_view line_kind_name(LineKind kind);

// The diagnostic form of a line's kind and payload, e.g. `NsOpen("/a")` or
// `Content { left: "a", value: "1" }`; used in other readers' messages.
std::string line_debug(const Line& line);

// Lexes a whole text: the lines in text order, one per line, or the first
// failure. The empty text gives no lines.
[[nodiscard]] std::expected<std::vector<Line>, LexErrorAt> lex(std::string_view text, LexMode mode);

// The path part of a content key that an earlier line of the text showed
// valid: the key up to its last separator (no double quotes in it), and its
// first segment.
struct KnownKeyPath {
    std::string_view path;
    std::string_view first;
};

// The last few annotation lines of a text that the annotation grammar
// accepted: a document repeats a handful of annotations ("!int", "!float")
// line after line, and a line equal to one of them is accepted without
// being parsed again.
class AcceptedAnnotations {
public:
    bool contains(std::string_view line) const {
        return std::ranges::any_of(lines_, [line](std::string_view known) { return same_bytes(known, line); });
    }
    void add(std::string_view line) {
        lines_[next_] = line;
        next_ = (next_ + 1) % lines_.size();
    }

private:
    // Annotation lines are a few bytes long: compared in place, without a
    // call.
    static bool same_bytes(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] != b[i]) return false;
        }
        return true;
    }

    std::array<std::string_view, 4> lines_{};
    std::size_t next_ = 0;
};

// Lexes a text one line at a time, for a reader that acts on each line as
// it comes instead of holding them all. Made by lex_lines once the whole
// text has passed its checks.
class LineLexer {
public:
    bool done() const { return pos_ >= text_.size(); }
    // The bytes of the text lexed so far.
    std::size_t offset() const { return std::min(pos_, text_.size()); }
    // The next line, or its failure.
    [[nodiscard]] std::expected<Line, LexErrorAt> next();

private:
    friend std::expected<LineLexer, LexErrorAt> lex_lines(std::string_view text, LexMode mode, Utf8State utf8);
    LineLexer(std::string_view text, LexMode mode, bool units_checked)
        : text_(text), mode_(mode), units_checked_(units_checked) {}

    std::string_view text_;
    LexMode mode_;
    // Whether annotation units must be built in: schemas and type libraries
    // of a text without ".!units".
    bool units_checked_;
    KnownKeyPath known_key_path_;
    AcceptedAnnotations accepted_annotations_;
    std::size_t pos_ = 0;
    std::uint64_t number_ = 0;
};

// The line lexer of a text, or the failure of the checks of the whole text
// (byte order mark, UTF-8, characters, final line feed). A text known to be
// UTF-8 (a str's) is not checked as UTF-8 again; the other checks still run.
[[nodiscard]] std::expected<LineLexer, LexErrorAt> lex_lines(std::string_view text, LexMode mode,
                                                             Utf8State utf8 = Utf8State::Unchecked);

// The outcome of the format-declaration check: the line examined (1, or 2
// after a "#!" first line) and whether it declares the expected kind word.
struct FormatDeclaration {
    std::uint64_t line = 1;
    bool accepted = false;
};

FormatDeclaration check_format_declaration(std::string_view text, std::string_view kind_word);

// True for the kind words of format declarations ("bezo", "lezo", ...).
bool is_kind_word(std::string_view word);

// False when a ".!" line of a kind word fails the lexer's version check
// (the token after the word an invalid or unsupported version).
bool declared_version_holds(std::string_view line);

// True when a trimmed line of a schema or type library that is no "!" or "&"
// line reads as a constraint line: it opens with "/", "[", "{", ".." or a
// regex literal and splits into constraint items. Such a line is read so
// even when it holds an "=".
bool is_schema_constraint_line(std::string_view line);

// True for one to three "."-separated runs of ASCII digits: a version, as
// the lexer reads one, whatever its values.
bool has_version_shape(std::string_view token);

// True for a version of one to three "."-separated digit parts whose first
// value is 1 and whose later values are 0 ("1", "1.0", "1.0.0").
bool parse_version(std::string_view version);

// Skips blanks and tabs and, when a digit follows, the version token up to
// the next blank or tab and the blanks and tabs after it; returns the rest
// (the declared name after a kind word, possibly empty).
std::string_view skip_version_token(std::string_view text);

// The position of the first "=" outside double quotes (two double quotes
// inside quotes stand for one and keep them open).
std::optional<std::size_t> has_unquoted_eq(std::string_view text);

// The leading run of ASCII letters and digits.
std::string_view leading_alnum_word(std::string_view text);

// When the text opens a regular-expression literal ("re" and one of
// "#%:;@~"), the byte length of its delimiter.
std::optional<std::size_t> regex_delimiter_len(std::string_view text);

}  // namespace bezo
