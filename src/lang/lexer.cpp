#include "lang/lexer.hpp"

#include <algorithm>
#include <array>

#include "core/buffer_scan.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "lang/anno.hpp"
#include "lang/path.hpp"
#include "lang/table.hpp"
#include "lang/unit.hpp"

namespace bezo {
namespace {

constexpr std::array<std::string_view, 11> kLineKindNames{
    "Blank",  "Comment", "Doc",     "Decl", "SectionOpen", "SectionClose",
    "NsOpen", "NsClose", "Content", "Meta", "VarSplat",
};
static_assert(kLineKindNames.size() == static_cast<std::size_t>(LineKind::VarSplat) + 1);

// Kind words whose token after the word is always a version, with nothing
// but blanks after it.
constexpr std::array<std::string_view, 4> kStrictKindWords{"bezo", "lezo", "nezo", "pezo"};
// Kind words where a token is a version only when it starts with a digit;
// otherwise, and after the version, comes the declared name.
constexpr std::array<std::string_view, 5> kNamedKindWords{"hezo", "yezo", "gezo", "whezo", "phezo"};
constexpr std::array<std::string_view, 15> kDirectiveWords{
    "fk",     "ref",    "via",    "drop",    "bind",     "types",    "units",      "schema",
    "source", "target", "unique", "compose", "verbatim", "registry", "provenance",
};

template <std::size_t N>
bool is_one_of(std::string_view word, const std::array<std::string_view, N>& words) {
    return std::ranges::find(words, word) != words.end();
}

// One trailing carriage return removed, then the leading blanks and tabs.
std::string_view trim_line(std::string_view piece) {
    if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
    return trim_leading_blanks(piece);
}

std::string_view token_until_blank(std::string_view text) {
    std::size_t end = 0;
    while (end < text.size() && !is_blank_or_tab(text[end])) ++end;
    return text.substr(0, end);
}

// ---- Whole-text checks ----

// The line of the first NUL or carriage return without a line feed after
// it; none when the text has neither.
std::optional<std::uint64_t> find_invalid_character(std::string_view text) {
    for (std::size_t i = find_rare_bytes<'\0', '\r'>(text); i < text.size();
         i = find_rare_bytes<'\0', '\r'>(text, i + 1)) {
        if (text[i] == '\0' || i + 1 == text.size() || text[i + 1] != '\n') {
            return 1 + count_byte(text.substr(0, i), '\n');
        }
    }
    return std::nullopt;
}

// A text known to be UTF-8 skips only the UTF-8 check; the others hold for
// every text.
std::optional<LexErrorAt> check_whole_text(std::string_view text, Utf8State utf8) {
    if (text.size() > 2 && text.starts_with("\xEF\xBB\xBF")) return LexErrorAt{LexErrorKind::Bom, 0};
    if (utf8 == Utf8State::Unchecked && !is_valid_utf8(text)) return LexErrorAt{LexErrorKind::InvalidUtf8, 0};
    if (auto line = find_invalid_character(text)) return LexErrorAt{LexErrorKind::InvalidCharacter, *line};
    if (!text.empty() && text.back() != '\n') return LexErrorAt{LexErrorKind::MissingFinalEol, 0};
    return std::nullopt;
}

// Whether any line, after its leading blanks and tabs, starts with ".!units".
bool imports_units(std::string_view text) {
    for (std::size_t pos = find_byte_pair(text, 0, '.', '!'); pos < text.size();
         pos = find_byte_pair(text, pos + 1, '.', '!')) {
        if (text.substr(pos).starts_with(".!units") && starts_line_after_blanks(text, pos)) return true;
    }
    return false;
}

// ---- Declarations and versions ----

struct VersionParts {
    std::array<std::string_view, 3> parts;
    std::size_t count = 0;
};

// One to three "."-separated parts, each a non-empty run of ASCII digits.
std::optional<VersionParts> split_version(std::string_view text) {
    VersionParts version;
    while (true) {
        std::size_t dot = text.find('.');
        std::string_view part = text.substr(0, dot);
        if (version.count == version.parts.size() || !is_ascii_digits(part)) return std::nullopt;
        version.parts[version.count++] = part;
        if (dot == std::string_view::npos) return version;
        text.remove_prefix(dot + 1);
    }
}

std::optional<LexErrorKind> version_error(std::string_view token) {
    auto version = split_version(token);
    if (!version) return LexErrorKind::InvalidVersion;
    if (parse_ascii_unsigned(version->parts[0]) != 1u) return LexErrorKind::UnsupportedVersion;
    return std::nullopt;
}

// The version check of a kind word; `after_word` is the line after the word.
std::optional<LexErrorKind> check_declared_version(std::string_view word, std::string_view after_word) {
    std::string_view rest = trim_leading_blanks(after_word);
    std::string_view token = token_until_blank(rest);
    if (token.empty()) return std::nullopt;
    const bool strict = is_one_of(word, kStrictKindWords);
    if (!strict && !is_ascii_digit(token.front())) return std::nullopt;
    if (auto error = version_error(token)) return error;
    if (strict && !trim_leading_blanks(rest.substr(token.size())).empty()) return LexErrorKind::InvalidVersion;
    return std::nullopt;
}

// ---- Content keys ----

// Most segments are plain identifiers, with or without "@", and are told
// valid here without the full test.
bool segment_is_valid(std::string_view segment) {
    const std::string_view name = segment.starts_with('@') ? segment.substr(1) : segment;
    return is_plain_identifier(name) || is_valid_segment(segment);
}

#ifdef __SSE2__
// One bit per byte of the chunk, set where the byte lies in
// [low, high].
inline unsigned bytes_in_range(__m128i chunk, char low, char high) {
    const __m128i lows = _mm_set1_epi8(low);
    const __m128i highs = _mm_set1_epi8(high);
    const __m128i in = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(chunk, lows), chunk),
                                     _mm_cmpeq_epi8(_mm_min_epu8(chunk, highs), chunk));
    return static_cast<unsigned>(_mm_movemask_epi8(in));
}

inline unsigned bytes_equal(__m128i chunk, char byte) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(byte))));
}

// The bytes of a key that decide whether it is plain, one bit per byte.
struct KeyBytes {
    std::uint64_t digit = 0;
    std::uint64_t zero = 0;
    std::uint64_t name = 0;  // ASCII letters, digits and "_"
    std::uint64_t at = 0;
    std::uint64_t dot = 0;
    std::uint64_t slash = 0;
    std::uint64_t colon = 0;

    void add(__m128i chunk, int shift) {
        const auto bits = [shift](unsigned marks) { return static_cast<std::uint64_t>(marks) << shift; };
        const unsigned digits = bytes_in_range(chunk, '0', '9');
        const unsigned letters = bytes_in_range(_mm_or_si128(chunk, _mm_set1_epi8(0x20)), 'a', 'z');
        digit |= bits(digits);
        zero |= bits(bytes_equal(chunk, '0'));
        name |= bits(digits | letters | bytes_equal(chunk, '_'));
        at |= bits(bytes_equal(chunk, '@'));
        dot |= bits(bytes_equal(chunk, '.'));
        slash |= bits(bytes_equal(chunk, '/'));
        colon |= bits(bytes_equal(chunk, ':'));
    }
};
#endif

// The longest key tested at once for being plain.
constexpr std::size_t kPlainKeyLimit = 32;

// True when a key of a content line is valid and plain: segments separated
// by "/" or "::", each an optional "@", an optional "." and an identifier
// or a decimal index, the first possibly empty; no operator marker at the
// end. Nearly every key is, and is told valid by looking at all its bytes
// at once. False for every other key, whose check then takes the whole
// road; also false when the key is long or the buffer holding it ends
// within the bytes read.
bool is_valid_plain_key(std::string_view key, const char* readable_end) {
#ifdef __SSE2__
    const std::size_t size = key.size();
    if (size == 0 || size > kPlainKeyLimit || key.back() == ':') return false;
    if (readable_end - key.data() < static_cast<std::ptrdiff_t>(kPlainKeyLimit)) return false;
    KeyBytes bytes;
    for (std::size_t at = 0; at < size; at += 16) {
        bytes.add(_mm_loadu_si128(reinterpret_cast<const __m128i*>(key.data() + at)), static_cast<int>(at));
    }
    const std::uint64_t in_key = (std::uint64_t{1} << size) - 1;
    const std::uint64_t end = std::uint64_t{1} << size;
    const std::uint64_t name = bytes.name & in_key;
    const std::uint64_t colon = bytes.colon & in_key;
    const std::uint64_t at = bytes.at & in_key;
    const std::uint64_t dot = bytes.dot & in_key;
    const std::uint64_t slash = bytes.slash & in_key;
    if ((name | at | dot | slash | colon) != in_key) return false;
    // Colons come in pairs, never three in a row.
    const std::uint64_t pair = colon & (colon >> 1);
    if ((pair | (pair << 1)) != colon || (pair & (pair << 1)) != 0) return false;
    // The last byte of each separator; every later segment starts after
    // one and is not empty.
    const std::uint64_t separator_end = slash | (pair << 1);
    const std::uint64_t later_start = separator_end << 1;
    if ((later_start & (slash | colon | end)) != 0) return false;
    // "@" only opens a segment, "." only opens one or follows its "@", and
    // a name follows the prefixes.
    const std::uint64_t segment_start = later_start | 1;
    if ((at & ~segment_start) != 0) return false;
    if ((dot & ~(segment_start | ((at & segment_start) << 1))) != 0) return false;
    if (((at << 1) & ~(dot | name)) != 0 || ((dot << 1) & ~name) != 0) return false;
    // A name that starts with a digit is a decimal index: digits only, and
    // no leading zero unless it is "0".
    const std::uint64_t digit_start = name & ~(name << 1) & bytes.digit;
    const std::uint64_t digit_names = ((name + digit_start) ^ name) & name;
    if ((digit_names & ~bytes.digit) != 0) return false;
    if ((((digit_start & bytes.zero) << 1) & bytes.digit & in_key) != 0) return false;
    return true;
#else
    (void)key;
    (void)readable_end;
    return false;
#endif
}

// The first "=" outside double quotes of a text, given its first "=" or
// double quote (the text's size when it holds neither). Most lines hold no
// double quote before their "=".
std::optional<std::size_t> unquoted_eq_from(std::string_view text, std::size_t eq_or_quote) {
    if (eq_or_quote == text.size()) return std::nullopt;
    if (text[eq_or_quote] == '=') return eq_or_quote;
    return find_unquoted(text, '=', eq_or_quote);
}

struct KeySegments {
    std::string_view first;
    std::string_view last;
};

// Splits a key into segments at "/" and "::" outside double quotes; none
// when a segment is malformed. The first segment may be empty, every other
// must be a valid path segment. Neighbouring lines mostly share their path:
// the part of `known` that the key begins with, found valid on an earlier
// line, is not split again, and `known` takes this key's path part when it
// holds no quotes.
std::optional<KeySegments> split_key_segments(std::string_view key, KnownKeyPath& known, const char* readable_end) {
    std::optional<KeySegments> segments;
    std::size_t start = 0;
    if (!known.path.empty() && key.starts_with(known.path)) {
        segments = KeySegments{known.first, known.first};
        start = known.path.size();
    }
    auto close_segment = [&](std::size_t end) {
        std::string_view segment = key.substr(start, end - start);
        if (!segments) {
            segments = KeySegments{segment, segment};
            return segment.empty() || segment_is_valid(segment);
        }
        segments->last = segment;
        return segment_is_valid(segment);
    };
    // A byte stands inside quotes when an odd number of quotes precede it.
    bool inside = false;
    bool quoted = false;
    for (std::size_t pos = find_first_of_bytes_before<'/', ':', '"'>(key, start, readable_end); pos < key.size();
         pos = find_first_of_bytes_before<'/', ':', '"'>(key, pos, readable_end)) {
        std::size_t separator = 0;
        if (key[pos] == '"') {
            inside = !inside;
            quoted = true;
        } else if (!inside) {
            separator = key[pos] == '/' ? 1 : key.substr(pos, 2) == "::" ? 2 : 0;
        }
        if (separator == 0) {
            ++pos;
            continue;
        }
        if (!close_segment(pos)) return std::nullopt;
        pos += separator;
        start = pos;
    }
    if (!close_segment(key.size())) return std::nullopt;
    if (!quoted && start > 0) known = KnownKeyPath{key.substr(0, start), segments->first};
    return segments;
}

// The key of a content line's left side after its inline signature, or none
// when the left side holds a blank outside quotes, leaves quotes open, or
// has a signature that does not start with "!".
std::optional<std::string_view> key_after_signature(std::string_view left, const char* readable_end) {
    bool inside = false;
    std::optional<std::size_t> apostrophe;
    for (std::size_t pos = find_first_of_bytes_before<' ', '\t', '\'', '"'>(left, 0, readable_end); pos < left.size();
         pos = find_first_of_bytes_before<' ', '\t', '\'', '"'>(left, pos + 1, readable_end)) {
        if (left[pos] == '"') {
            inside = !inside;
        } else if (!inside) {
            if (left[pos] != '\'') return std::nullopt;
            if (!apostrophe) apostrophe = pos;
        }
    }
    if (inside) return std::nullopt;
    if (!apostrophe) return left;
    if (*apostrophe == 0 || left.front() != '!') return std::nullopt;
    return left.substr(*apostrophe + 1);
}

// Schemas and type libraries share the constraint-line and "re" rules.
bool is_schema_like(LexMode mode) { return mode == LexMode::Schema || mode == LexMode::TypeLibrary; }

bool is_currency_key(std::string_view key) {
    return key.size() == 4 && key[0] == '~' && is_ascii_upper(key[1]) && is_ascii_upper(key[2]) &&
           is_ascii_upper(key[3]);
}

// Texts are pieces of a buffer readable up to `readable_end`.
bool key_is_valid(std::string_view left, LexMode mode, KnownKeyPath& known, const char* readable_end) {
    // A plain key has no signature, blank, quote, optional or reference
    // marker; outside schemas and type libraries ("re") it is valid as it is.
    if (!is_schema_like(mode) && is_valid_plain_key(left, readable_end)) return true;
    auto key_or_none = key_after_signature(left, readable_end);
    if (!key_or_none) return false;
    std::string_view key = *key_or_none;

    if (mode != LexMode::Document && key.ends_with('?')) key.remove_suffix(1);
    const bool leading_ref = key.starts_with('&');
    if ((mode == LexMode::TypeLibrary || mode == LexMode::UnitDefs) && leading_ref) key.remove_prefix(1);
    if (mode == LexMode::UnitDefs && key.starts_with('~')) return is_currency_key(key);

    bool append = false;
    if (key.ends_with("+:")) {
        key.remove_suffix(2);
        append = true;
    } else if (key.ends_with('+') || key.ends_with(';')) {
        key.remove_suffix(1);
        append = true;
    } else if (key.ends_with(':')) {
        key.remove_suffix(1);
        if (mode == LexMode::Document && !key.starts_with('/')) return false;
    }

    auto segments = split_key_segments(key, known, readable_end);
    if (!segments) return false;
    if (append && !segments->last.starts_with('@')) return false;
    if (is_schema_like(mode) && !leading_ref && segments->first == "re") return false;
    return true;
}

// ---- Line classification ----

// The first characters of unit-definition lines: "$", a digit or a letter.
bool starts_unit_word(char c) { return c == '$' || is_ascii_digit(c) || is_ascii_letter(c); }

// A line is classified into the caller's Line in place, fields written one
// by one: a whole Line handed back through temporaries is copied in pieces
// that the processor cannot forward to the wider loads of the next copy.
using Outcome = std::expected<void, LexErrorKind>;

std::unexpected<LexErrorKind> fail(LexErrorKind kind) { return std::unexpected(kind); }

// Classifies the trimmed lines of one text under one mode into `out`,
// without their number; `next` sets it.
class LineClassifier {
public:
    // The lines are pieces of a buffer readable up to `readable_end`.
    LineClassifier(LexMode mode, bool units_checked, KnownKeyPath& known, AcceptedAnnotations& accepted, Line& out,
                   const char* readable_end)
        : mode_(mode),
          units_checked_(units_checked),
          known_(known),
          accepted_(accepted),
          out_(out),
          readable_end_(readable_end) {}

    // `eq_or_quote` is the position of the line's first "=" or double quote,
    // or its size when it holds neither.
    Outcome classify(std::string_view text, std::uint64_t number, std::size_t eq_or_quote) const {
        if (text.empty()) return make_line(LineKind::Blank);
        if (number == 1 && text.starts_with("#!")) return make_line(LineKind::Blank);
        if (text.starts_with('#')) return make_line(LineKind::Comment, text.substr(1));
        if (text.size() > 1) {
            if (text.starts_with("//")) return make_line(LineKind::Doc, text.substr(2));
            if (text.starts_with(".?")) return make_line(LineKind::Decl, text);
            if (text.starts_with(".!")) return declaration(text);
            if (text == "[]") return make_line(LineKind::SectionClose);
            if (text == "()") return make_line(LineKind::NsClose);
            if (text.starts_with('[') && text.ends_with(']')) return section_head(text);
            if (text.starts_with('(') && text.ends_with(')')) return namespace_head(text);
        }
        if (auto meta = sigil_line(text)) return *meta;
        if (auto eq = unquoted_eq_from(text, eq_or_quote)) return content(text, *eq);
        if (mode_ == LexMode::Document && text.starts_with("$/.") && is_plain_identifier(text.substr(3))) {
            return make_line(LineKind::VarSplat, text.substr(3));
        }
        return fallback(text);
    }

private:
    Outcome make_line(LineKind kind, std::string_view text = {}, std::string_view value = {}) const {
        out_.kind = kind;
        out_.text = text;
        out_.value = value;
        return {};
    }

    Outcome declaration(std::string_view text) const {
        std::string_view after_marker = text.substr(2);
        std::string_view word = leading_alnum_word(after_marker);
        if (is_kind_word(word)) {
            if (auto error = check_declared_version(word, after_marker.substr(word.size()))) return fail(*error);
        } else if (!is_one_of(word, kDirectiveWords)) {
            return fail(LexErrorKind::InvalidDirective);
        }
        return make_line(LineKind::Decl, text);
    }

    Outcome section_head(std::string_view text) const {
        std::string_view inner = text.substr(1, text.size() - 2);
        auto fields = split_fields(inner);
        if (fields.empty() || !is_section_head_path(fields.front())) return fail(LexErrorKind::InvalidKey);
        if (fields.size() > 1 && !parse_section_head_args(std::span(fields).subspan(1))) {
            return fail(LexErrorKind::InvalidConstraint);
        }
        return make_line(LineKind::SectionOpen, inner);
    }

    bool is_namespace_argument(std::string_view field) const {
        if (field.starts_with("schema:")) return true;
        if (mode_ != LexMode::Schema) return false;
        return (field.starts_with("min=") || field.starts_with("max=")) && is_ascii_digits(field.substr(4));
    }

    Outcome namespace_head(std::string_view text) const {
        std::string_view inner = text.substr(1, text.size() - 2);
        auto fields = split_fields(inner);
        if (fields.empty() || !is_path_line(fields.front())) return fail(LexErrorKind::InvalidKey);
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (!is_namespace_argument(fields[i])) return fail(LexErrorKind::InvalidKey);
        }
        return make_line(LineKind::NsOpen, inner);
    }

    // A Meta line for an accepted annotation. Without ".!units" in the text,
    // schemas and type libraries may only use built-in units.
    Outcome annotation_meta(std::string_view text, const Annotation& annotation) const {
        if (units_checked_ && annotation.unit && !is_known_unit(*annotation.unit, UnitNames{})) {
            return fail(LexErrorKind::InvalidConstraint);
        }
        return make_line(LineKind::Meta, text);
    }

    // "&" and an identifier up to the first blank, then nothing or an
    // annotation line.
    static bool is_constraint_line(std::string_view text) {
        std::string_view name = token_until_blank(text.substr(1));
        if (!is_plain_identifier(name)) return false;
        return split_annotation_line(trim_leading_blanks(text.substr(1 + name.size()))).has_value();
    }

    // Whether a text splits into exactly one item, and that a pattern.
    static bool is_lone_pattern(std::string_view text) {
        auto items = split_annotation_line(text);
        if (!items || items->size() != 1) return false;
        const auto* constraint = std::get_if<Constraint>(&items->front().value);
        return constraint && std::holds_alternative<Constraint::Pattern>(constraint->value);
    }

    // The mode's sigil lines: a result when the line is decided here, none
    // when it goes on to the content test.
    std::optional<Outcome> sigil_line(std::string_view text) const {
        // Most "!" lines repeat one accepted before (never in unit
        // definitions, which accept none).
        if (text.front() == '!' && accepted_.contains(text)) return make_line(LineKind::Meta, text);
        switch (mode_) {
            case LexMode::Document:
                if (text.front() != '!' && text.front() != '&') return std::nullopt;
                return accepted_annotation_line(text);
            case LexMode::UnitDefs: return quantity_line(text);
            default: break;
        }
        if (auto accepted = accepted_annotation_line(text)) return accepted;
        if (is_schema_constraint_line(text)) return make_line(LineKind::Meta, text);
        return schema_rescue(text);
    }

    // A "!" annotation line or an "&" constraint line that the annotation
    // grammar accepts. Whether a "!" line is accepted depends on its text
    // alone (the mode and the units imported stay the same over a text).
    std::optional<Outcome> accepted_annotation_line(std::string_view text) const {
        if (text.front() == '!') {
            return parsed_annotation_line(text);
        } else if (text.front() == '&' && is_constraint_line(text)) {
            return make_line(LineKind::Meta, text);
        }
        return std::nullopt;
    }

    // A "!" line through the annotation parser, kept out of line: most "!"
    // lines repeat one seen before.
    [[gnu::noinline]] std::optional<Outcome> parsed_annotation_line(std::string_view text) const {
        auto annotation = parse_annotation(text);
        if (!annotation) return std::nullopt;
        auto outcome = annotation_meta(text, *annotation);
        if (outcome) accepted_.add(text);
        return outcome;
    }

    std::optional<Outcome> quantity_line(std::string_view text) const {
        if (starts_unit_word(text.front()) && parse_quantity_line(text)) return make_line(LineKind::Meta, text);
        return std::nullopt;
    }

    // A refused sigil line of a schema or type library: a "re" literal stays
    // refused; in schemas a lone pattern followed by "=" is a key pattern
    // field with an empty value.
    std::optional<Outcome> schema_rescue(std::string_view text) const {
        if (regex_delimiter_len(text)) return fail(LexErrorKind::InvalidConstraint);
        if (mode_ == LexMode::Schema && text.starts_with('/') && text.ends_with('=')) {
            std::string_view pattern = text.substr(0, text.size() - 1);
            if (is_lone_pattern(pattern)) return make_line(LineKind::Content, pattern, text.substr(text.size()));
        }
        return std::nullopt;
    }

    Outcome content(std::string_view text, std::size_t eq) const {
        std::string_view left = trim_trailing_blanks(text.substr(0, eq));
        if (left.empty()) return fail(LexErrorKind::EmptyKey);
        if (!key_is_valid(left, mode_, known_, readable_end_)) return fail(LexErrorKind::InvalidKey);
        return make_line(LineKind::Content, left, text.substr(eq + 1));
    }

    // A line that is neither a sigil line nor a content line.
    Outcome fallback(std::string_view text) const {
        const char c = text.front();
        if (mode_ == LexMode::UnitDefs) {
            if (starts_unit_word(c)) return make_line(LineKind::Meta, text);
            return fail(LexErrorKind::MissingOperator);
        }
        // The annotation parser has already refused a "!" line above, and it
        // refuses every line that starts with "&".
        if (c == '!' || c == '&') return fail(LexErrorKind::InvalidConstraint);
        if (mode_ == LexMode::Document) {
            if (c == '?') return make_line(LineKind::Meta, text);
            return fail(LexErrorKind::MissingOperator);
        }
        if (c == '.' || c == '?') {
            if (text.starts_with("..")) return fail(LexErrorKind::InvalidConstraint);
            return make_line(LineKind::Meta, text);
        }
        if (c == '/' || c == '[' || c == '{') return fail(LexErrorKind::InvalidConstraint);
        return fail(LexErrorKind::MissingOperator);
    }

    LexMode mode_;
    bool units_checked_;
    KnownKeyPath& known_;
    AcceptedAnnotations& accepted_;
    Line& out_;
    const char* readable_end_;
};

}  // namespace

std::string_view line_kind_name(LineKind kind) { return kLineKindNames[static_cast<std::size_t>(kind)]; }

std::string line_debug(const Line& line) {
    std::string out(line_kind_name(line.kind));
    switch (line.kind) {
        case LineKind::Blank:
        case LineKind::SectionClose:
        case LineKind::NsClose: break;
        case LineKind::Content:
            out += " { left: ";
            append_debug_string(line.text, out);
            out += ", value: ";
            append_debug_string(line.value, out);
            out += " }";
            break;
        default:
            out += '(';
            append_debug_string(line.text, out);
            out += ')';
    }
    return out;
}

std::expected<LineLexer, LexErrorAt> lex_lines(std::string_view text, LexMode mode, Utf8State utf8) {
    if (auto error = check_whole_text(text, utf8)) return std::unexpected(*error);
    // Only schemas and type libraries look for ".!units": in them, a text
    // without it may use built-in units only.
    return LineLexer(text, mode, is_schema_like(mode) && !imports_units(text));
}

std::expected<Line, LexErrorAt> LineLexer::next() {
    const char* readable_end = text_.data() + text_.size();
    // The search for the line's end notes its first "=" or double quote on
    // the way. The text ends in a line feed, so the search stops within it.
    const std::size_t stop = find_first_of_bytes_before<'\n', '=', '"'>(text_, pos_, readable_end);
    const std::size_t end = text_[stop] == '\n' ? stop : find_first_of_bytes_before<'\n'>(text_, stop, readable_end);
    const std::string_view trimmed = trim_line(text_.substr(pos_, end - pos_));
    // Neither byte is a blank or a carriage return, so a stop before the
    // line's end lies in the trimmed line.
    const std::size_t eq_or_quote =
        stop < end ? stop - static_cast<std::size_t>(trimmed.data() - text_.data()) : trimmed.size();
    ++number_;
    std::expected<Line, LexErrorAt> line;
    const auto classified =
        LineClassifier(mode_, units_checked_, known_key_path_, accepted_annotations_, *line, readable_end)
            .classify(trimmed, number_, eq_or_quote);
    pos_ = end + 1;
    if (classified) {
        line->line = number_;
    } else {
        line = std::unexpected(LexErrorAt{classified.error(), number_});
    }
    return line;
}

std::expected<std::vector<Line>, LexErrorAt> lex(std::string_view text, LexMode mode) {
    auto lexer = lex_lines(text, mode);
    if (!lexer) return forward_error(lexer);
    std::vector<Line> lines;
    lines.reserve(count_byte(text, '\n'));
    while (!lexer->done()) {
        auto line = lexer->next();
        if (!line) return forward_error(line);
        lines.push_back(*line);
    }
    return lines;
}

FormatDeclaration check_format_declaration(std::string_view text, std::string_view kind_word) {
    FormatDeclaration result;
    std::string_view line = text.substr(0, text.find('\n'));
    if (line.size() >= 2 && line.starts_with("#!")) {
        result.line = 2;
        if (line.size() == text.size()) return result;
        std::string_view rest = text.substr(line.size() + 1);
        line = rest.substr(0, rest.find('\n'));
    }
    std::string_view trimmed = trim_line(line);
    if (!trimmed.starts_with(".!")) return result;
    trimmed.remove_prefix(2);
    if (!trimmed.starts_with(kind_word)) return result;
    trimmed.remove_prefix(kind_word.size());
    result.accepted = trimmed.empty() || is_blank_or_tab(trimmed.front());
    return result;
}

bool is_kind_word(std::string_view word) {
    return is_one_of(word, kStrictKindWords) || is_one_of(word, kNamedKindWords);
}

bool declared_version_holds(std::string_view line) {
    if (!line.starts_with(".!")) return true;
    const std::string_view after_marker = line.substr(2);
    const std::string_view word = leading_alnum_word(after_marker);
    return !is_kind_word(word) || !check_declared_version(word, after_marker.substr(word.size()));
}

bool is_schema_constraint_line(std::string_view line) {
    if (line.empty()) return false;
    const auto splits = [line] { return split_annotation_line(line).has_value(); };
    switch (line.front()) {
        case '.': return line.starts_with("..") && splits();
        case '/':
        case '[':
        case '{': return splits();
        case 'r': return regex_delimiter_len(line) && splits();
        default: return false;
    }
}

bool has_version_shape(std::string_view token) { return split_version(token).has_value(); }

bool parse_version(std::string_view version) {
    auto parts = split_version(version);
    if (!parts || parse_ascii_unsigned(parts->parts[0]) != 1u) return false;
    for (std::size_t i = 1; i < parts->count; ++i) {
        if (parse_ascii_unsigned(parts->parts[i]) != 0u) return false;
    }
    return true;
}

std::string_view skip_version_token(std::string_view text) {
    text = trim_leading_blanks(text);
    if (text.empty() || !is_ascii_digit(text.front())) return text;
    return trim_leading_blanks(text.substr(token_until_blank(text).size()));
}

std::optional<std::size_t> has_unquoted_eq(std::string_view text) {
    return unquoted_eq_from(text, find_first_of_bytes<'=', '"'>(text));
}

std::string_view leading_alnum_word(std::string_view text) {
    std::size_t end = 0;
    while (end < text.size() && (is_ascii_letter(text[end]) || is_ascii_digit(text[end]))) ++end;
    return text.substr(0, end);
}

std::optional<std::size_t> regex_delimiter_len(std::string_view text) {
    if (text.size() >= 3 && text.starts_with("re") && is_re_literal_delimiter(text[2])) return 1;
    return std::nullopt;
}

}  // namespace bezo
