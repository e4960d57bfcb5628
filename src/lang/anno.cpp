#include "lang/anno.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "core/text.hpp"
#include "lang/unit.hpp"

namespace bezo {
namespace {

// Every character the grammar tests for is ASCII. UTF-8 never uses a byte
// below 0x80 inside a multi-byte character, so walking bytes finds exactly
// the ASCII characters a walk over scalar values would, and any non-ASCII
// character fails every test below.
constexpr bool is_name_char(char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '-' || c == '_'; }
constexpr bool is_unit_char(char c) {
    return is_ascii_letter(c) || is_ascii_digit(c) || c == '*' || c == '-' || c == '/' || c == '^' || c == '~';
}

bool has_blank_or_apostrophe(std::string_view text) {
    for (char c : text) {
        if (is_blank_or_tab(c) || c == '\'') return true;
    }
    return false;
}

constexpr std::array<std::string_view, 8> kPrimitiveNames{"int", "b64", "str", "map", "bool", "null", "text", "float"};

// A read position in one token or line. Readers start at the character that
// selects them and, on success, leave the position after what they read.
struct Scanner {
    std::string_view text;
    std::size_t pos = 0;

    bool at_end() const { return pos >= text.size(); }
    // The character `ahead` places after the position, or NUL past the end
    // (NUL starts nothing in the grammar).
    char peek(std::size_t ahead = 0) const { return pos + ahead < text.size() ? text[pos + ahead] : '\0'; }

    template <class Pred>
    std::string_view take_while(Pred pred) {
        std::size_t start = pos;
        while (!at_end() && pred(text[pos])) ++pos;
        return text.substr(start, pos - start);
    }

    // Moves past the next `close` after the position and returns the text
    // between; no value when there is none.
    std::optional<std::string_view> take_through(char close) {
        std::size_t end = text.find(close, pos);
        if (end == std::string_view::npos) return std::nullopt;
        std::string_view inner = text.substr(pos, end - pos);
        pos = end + 1;
        return inner;
    }
};

// «/text/»: runs to the next '/' not escaped by a backslash; escapes are kept.
std::optional<Constraint::Pattern> read_pattern_literal(Scanner& s) {
    std::size_t start = ++s.pos;
    while (!s.at_end()) {
        char c = s.text[s.pos];
        if (c == '\'') return std::nullopt;
        if (c == '/') {
            std::string body(s.text.substr(start, s.pos - start));
            ++s.pos;
            return Constraint::Pattern{std::move(body)};
        }
        if (c == '\\') {
            if (s.peek(1) == '\'') return std::nullopt;
            ++s.pos;
        }
        ++s.pos;
    }
    return std::nullopt;
}

// "re" and a delimiter, the body, the same delimiter. The delimiter always
// ends the body; an unescaped '/' is stored escaped so that the pattern text
// reads the same as one written between slashes.
std::optional<Constraint::Pattern> read_re_literal(Scanner& s) {
    if (s.peek() != 'r' || s.peek(1) != 'e' || !is_re_literal_delimiter(s.peek(2))) return std::nullopt;
    const char delimiter = s.peek(2);
    s.pos += 3;
    std::string body;
    bool escaped = false;
    while (!s.at_end()) {
        char c = s.text[s.pos++];
        if (c == delimiter) return Constraint::Pattern{std::move(body)};
        if (c == '\'') return std::nullopt;
        if (c == '/' && !escaped) body += '\\';
        body += c;
        escaped = c == '\\' && !escaped;
    }
    return std::nullopt;
}

std::optional<std::string> optional_bound(std::string_view side) {
    if (side.empty()) return std::nullopt;
    return std::string(side);
}

// «[lo,hi]»: split at the first ','; neither side may hold a blank, an
// apostrophe or another ','.
std::optional<Constraint::Range> read_range(Scanner& s) {
    ++s.pos;
    auto inner = s.take_through(']');
    if (!inner) return std::nullopt;
    std::size_t comma = inner->find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    std::string_view lo = inner->substr(0, comma);
    std::string_view hi = inner->substr(comma + 1);
    for (auto side : {lo, hi}) {
        if (has_blank_or_apostrophe(side) || side.find(',') != std::string_view::npos) return std::nullopt;
    }
    return Constraint::Range{optional_bound(lo), optional_bound(hi)};
}

// «{a,b}»: a non-empty body split at every ','; empty members count.
std::optional<Constraint::Set> read_set(Scanner& s) {
    ++s.pos;
    auto inner = s.take_through('}');
    if (!inner || inner->empty()) return std::nullopt;
    Constraint::Set set;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = inner->find(',', start);
        std::string_view member = inner->substr(start, comma == std::string_view::npos ? inner->npos : comma - start);
        if (has_blank_or_apostrophe(member)) return std::nullopt;
        set.members.emplace_back(member);
        if (comma == std::string_view::npos) return set;
        start = comma + 1;
    }
}

// '#' directly followed by a range or a set.
std::optional<Constraint::Length> read_length(Scanner& s) {
    ++s.pos;
    if (s.peek() == '[') {
        auto range = read_range(s);
        if (!range) return std::nullopt;
        return Constraint::Length{std::move(*range)};
    }
    if (s.peek() == '{') {
        auto set = read_set(s);
        if (!set) return std::nullopt;
        return Constraint::Length{std::move(*set)};
    }
    return std::nullopt;
}

// ".." and the letters after it; "..lex" may carry a bracketed locale tag.
std::optional<Constraint::Span> read_span_word(Scanner& s) {
    std::size_t start = s.pos;
    s.pos += 2;
    s.take_while(is_ascii_letter);
    if (s.text.substr(start, s.pos - start) == "..lex" && s.peek() == '[') {
        if (!s.take_through(']')) return std::nullopt;
    }
    return Constraint::Span{std::string(s.text.substr(start, s.pos - start))};
}

bool starts_span(const Scanner& s) { return s.peek() == '.' && s.peek(1) == '.'; }

bool starts_bracketed_item(char c) { return c == '#' || c == '/' || c == '[' || c == '{'; }

template <class Item>
std::optional<Constraint> as_constraint(std::optional<Item> item) {
    if (!item) return std::nullopt;
    return Constraint{std::move(*item)};
}

// A length, pattern, range or set, chosen by the character at the position,
// which must be one that `starts_bracketed_item` accepts.
std::optional<Constraint> read_bracketed_item(Scanner& s) {
    switch (s.peek()) {
        case '#': return as_constraint(read_length(s));
        case '/': return as_constraint(read_pattern_literal(s));
        case '[': return as_constraint(read_range(s));
        default: return as_constraint(read_set(s));
    }
}

// A constraint item inside an annotation token: a bracketed item or a span
// word. No value when the position starts neither or the item is malformed.
std::optional<Constraint> read_token_constraint(Scanner& s) {
    if (starts_bracketed_item(s.peek())) return read_bracketed_item(s);
    if (starts_span(s)) return as_constraint(read_span_word(s));
    return std::nullopt;
}

// A name run extended by '/'-joined name runs; a '/' not followed by a name
// character is left for the caller (it opens a pattern).
std::string_view read_type_path(Scanner& s) {
    std::size_t start = s.pos;
    s.take_while(is_name_char);
    while (s.peek() == '/' && is_name_char(s.peek(1))) {
        ++s.pos;
        s.take_while(is_name_char);
    }
    return s.text.substr(start, s.pos - start);
}

std::optional<std::string> read_unit(Scanner& s) {
    std::string_view run = s.take_while(is_unit_char);
    if (run.empty()) return std::nullopt;
    return canonical_unit_text(run);
}

// "!:" unit, optionally followed by '?' and a provenance that runs to the end.
std::optional<Annotation> parse_unit_shorthand(Scanner& s) {
    ++s.pos;
    Annotation annotation;
    annotation.unit = read_unit(s);
    if (!annotation.unit) return std::nullopt;
    if (s.at_end()) return annotation;
    if (s.peek() != '?') return std::nullopt;
    std::string_view provenance = s.text.substr(s.pos + 1);
    if (has_blank_or_apostrophe(provenance)) return std::nullopt;
    annotation.provenance = std::string(provenance);
    return annotation;
}

// The type name: a primitive, "map<T>", or a name path.
bool read_annotation_name(Scanner& s, Annotation& annotation) {
    if (!is_name_char(s.peek())) return false;
    std::size_t start = s.pos;
    std::string_view run = s.take_while(is_name_char);
    if (run == "map" && s.peek() == '<') {
        ++s.pos;
        std::string_view entry = s.take_while(is_name_char);
        if (entry.empty() || s.peek() != '>') return false;
        ++s.pos;
        annotation.name = "map";
        annotation.entry_type = std::string(entry);
        return true;
    }
    if (!is_primitive_type_name(run)) {
        s.pos = start;
        run = read_type_path(s);
    }
    annotation.name = std::string(run);
    return true;
}

// The constraints and unit that suffixes apply to: the last alternative, or
// the annotation's own first member.
struct CurrentMember {
    std::vector<Constraint>* constraints;
    std::optional<std::string>* unit;
};

// "(...)": constraint items back to back up to ')'.
bool read_group(Scanner& s, std::vector<Constraint>& constraints) {
    ++s.pos;
    while (s.peek() != ')') {
        auto item = read_token_constraint(s);
        if (!item) return false;
        constraints.push_back(std::move(*item));
    }
    ++s.pos;
    return true;
}

// After a blank: one or more blank-separated "re" literals to the end.
bool read_re_list(Scanner& s, std::vector<Constraint>& constraints) {
    bool any = false;
    while (true) {
        s.take_while(is_blank_or_tab);
        if (s.at_end()) return any;
        auto pattern = read_re_literal(s);
        if (!pattern || !(s.at_end() || is_blank_or_tab(s.peek()))) return false;
        constraints.push_back(Constraint{std::move(*pattern)});
        any = true;
    }
}

bool read_suffixes(Scanner& s, Annotation& annotation) {
    CurrentMember member{&annotation.constraints, &annotation.unit};
    while (!s.at_end()) {
        char c = s.peek();
        if (starts_bracketed_item(c) || starts_span(s)) {
            // A bare span word is read here exactly as inside a group:
            // canonical and relational signatures write it that way.
            auto item = read_token_constraint(s);
            if (!item) return false;
            member.constraints->push_back(std::move(*item));
        } else if (c == '(') {
            if (!read_group(s, *member.constraints)) return false;
        } else if (c == ':') {
            ++s.pos;
            auto unit = read_unit(s);
            if (!unit) return false;
            *member.unit = std::move(*unit);
        } else if (c == '?') {
            ++s.pos;
            annotation.provenance =
                std::string(s.take_while([](char ch) { return !is_blank_or_tab(ch) && ch != '\''; }));
        } else if (c == '|') {
            ++s.pos;
            if (!is_name_char(s.peek())) return false;
            annotation.alternatives.push_back(Alternative{std::string(read_type_path(s)), {}, std::nullopt});
            member = {&annotation.alternatives.back().constraints, &annotation.alternatives.back().unit};
        } else if (is_blank_or_tab(c)) {
            return read_re_list(s, *member.constraints);
        } else {
            return false;
        }
    }
    return true;
}

// The extent of an annotation token inside a line: up to a blank outside
// parentheses. Inside parentheses, patterns, ranges and sets may hold blanks.
std::size_t annotation_token_end(std::string_view text, std::size_t pos) {
    int depth = 0;
    auto skip_to = [&](char close, std::size_t from) {
        std::size_t end = text.find(close, from);
        return end == std::string_view::npos ? text.size() : end + 1;
    };
    while (pos < text.size()) {
        char c = text[pos];
        if (depth == 0 && is_blank_or_tab(c)) break;
        if (c == '(') {
            ++depth;
            ++pos;
        } else if (c == ')') {
            if (depth > 0) --depth;
            ++pos;
        } else if (depth > 0 && c == '/') {
            ++pos;
            while (pos < text.size() && text[pos] != '/') pos += text[pos] == '\\' ? 2 : 1;
            pos = std::min(pos + 1, text.size());
        } else if (depth > 0 && c == '[') {
            pos = skip_to(']', pos + 1);
        } else if (depth > 0 && c == '{') {
            pos = skip_to('}', pos + 1);
        } else {
            ++pos;
        }
    }
    return pos;
}

std::optional<AnnotationItem> read_line_annotation(Scanner& s) {
    std::size_t end = annotation_token_end(s.text, s.pos);
    auto annotation = parse_annotation(s.text.substr(s.pos, end - s.pos));
    if (!annotation || annotation->provenance) return std::nullopt;
    s.pos = end;
    return AnnotationItem{std::move(*annotation)};
}

std::optional<AnnotationItem> read_line_ref(Scanner& s) {
    ++s.pos;
    std::string_view name = s.take_while(is_name_char);
    if (name.empty()) return std::nullopt;
    return AnnotationItem{AnnotationItem::Ref{std::string(name)}};
}

// A span in a line runs unchecked to the next blank.
AnnotationItem read_line_span(Scanner& s) {
    std::string_view word = s.take_while([](char c) { return !is_blank_or_tab(c); });
    return AnnotationItem{Constraint{Constraint::Span{std::string(word)}}};
}

// A "re" literal stands at the start of the line or after a blank and is
// followed by a blank or the end.
std::optional<AnnotationItem> read_line_re_literal(Scanner& s) {
    if (s.pos > 0 && !is_blank_or_tab(s.text[s.pos - 1])) return std::nullopt;
    auto pattern = read_re_literal(s);
    if (!pattern || !(s.at_end() || is_blank_or_tab(s.peek()))) return std::nullopt;
    return AnnotationItem{Constraint{std::move(*pattern)}};
}

std::optional<AnnotationItem> read_line_item(Scanner& s) {
    char c = s.peek();
    if (c == '!') return read_line_annotation(s);
    if (c == '&') return read_line_ref(s);
    if (starts_span(s)) return read_line_span(s);
    if (starts_bracketed_item(c)) {
        auto constraint = read_bracketed_item(s);
        if (!constraint) return std::nullopt;
        return AnnotationItem{std::move(*constraint)};
    }
    if (c == 'r') return read_line_re_literal(s);
    return std::nullopt;
}

bool matches_shape(std::string_view text, std::string_view shape) {
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'D' ? !is_ascii_digit(text[i]) : text[i] != shape[i]) return false;
    }
    return true;
}

constexpr std::string_view kCompactShape = "DDDDDDDDTDDDDDDZ";
constexpr std::string_view kExtendedShape = "DDDD-DD-DDTDD:DD:DDZ";

}  // namespace

bool is_primitive_type_name(std::string_view name) {
    return std::ranges::find(kPrimitiveNames, name) != kPrimitiveNames.end();
}

bool is_shadowed_member(const Annotation& annotation, std::size_t member) {
    if (member == 0) return false;
    const Alternative& own = annotation.alternatives[member - 1];
    const auto same = [&](std::string_view name, const std::optional<std::string>& unit) {
        return name == own.name && unit == own.unit;
    };
    return same(annotation.name, annotation.unit) ||
           std::ranges::any_of(std::span(annotation.alternatives).first(member - 1),
                               [&](const Alternative& earlier) { return same(earlier.name, earlier.unit); });
}

bool is_re_literal_delimiter(char c) { return c == '#' || c == '%' || c == ':' || c == ';' || c == '@' || c == '~'; }

std::optional<Annotation> parse_annotation(std::string_view text) {
    if (text.empty() || text[0] != '!') return std::nullopt;
    Scanner s{text, 1};
    if (s.peek() == ':') return parse_unit_shorthand(s);
    Annotation annotation;
    if (!read_annotation_name(s, annotation) || !read_suffixes(s, annotation)) return std::nullopt;
    return annotation;
}

std::optional<std::vector<AnnotationItem>> split_annotation_line(std::string_view text) {
    Scanner s{text, 0};
    std::vector<AnnotationItem> items;
    while (true) {
        s.take_while(is_blank_or_tab);
        if (s.at_end()) return items;
        auto item = read_line_item(s);
        if (!item) return std::nullopt;
        items.push_back(std::move(*item));
    }
}

bool is_compact_timestamp(std::string_view text) {
    return matches_shape(text, kCompactShape) || matches_shape(text, kExtendedShape);
}

std::string expand_compact_timestamp(std::string_view text) {
    if (!matches_shape(text, kCompactShape)) return std::string(text);
    std::string out;
    out.reserve(kExtendedShape.size());
    out.append(text.substr(0, 4)).append(1, '-');
    out.append(text.substr(4, 2)).append(1, '-');
    out.append(text.substr(6, 2)).append(1, 'T');
    out.append(text.substr(9, 2)).append(1, ':');
    out.append(text.substr(11, 2)).append(1, ':');
    out.append(text.substr(13, 2)).append(1, 'Z');
    return out;
}

}  // namespace bezo
