// The one grammar of annotations and constraint lines: "!" annotation
// tokens such as «!int[0,10]:km|float», and lines of blank-separated
// tokens and bare constraint items such as «!str /[a-z]+/ ..num».
//
// Both parsers are pure and answer a text they refuse with no value, never
// with a message: each caller chooses the error it reports.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bezo {

// One constraint item. Bounds and members are kept exactly as written:
// nothing is parsed as a number and nothing is trimmed.
struct Constraint {
    // A pattern in the language's regular-expression dialect; every '/'
    // that belongs to the pattern is stored as "\/".
    struct Pattern {
        std::string text;
        friend bool operator==(const Pattern&, const Pattern&) = default;
    };
    // «[lo,hi]»; an empty side is an absent bound.
    struct Range {
        std::optional<std::string> lo;
        std::optional<std::string> hi;
        friend bool operator==(const Range&, const Range&) = default;
    };
    // «{a,b,c}»; members in written order, empty members included.
    struct Set {
        std::vector<std::string> members;
        friend bool operator==(const Set&, const Set&) = default;
    };
    // «#[1,8]» or «#{3,5}»: a range or set applied to the value's length.
    struct Length {
        std::variant<Range, Set> inner;
        friend bool operator==(const Length&, const Length&) = default;
    };
    // The comparison domain of the list, with its two leading dots:
    // "..num", "..lex[de-DE]".
    struct Span {
        std::string word;
        friend bool operator==(const Span&, const Span&) = default;
    };

    // The alternatives in their fixed order; `value.index()` is the kind
    // order that writers sort by (Pattern, Range, Set, Length, Span).
    std::variant<Pattern, Range, Set, Length, Span> value;

    friend bool operator==(const Constraint&, const Constraint&) = default;
};

// A member written after '|' in an annotation.
struct Alternative {
    std::string name;  // a name or a '/'-separated path
    std::vector<Constraint> constraints;
    std::optional<std::string> unit;  // canonical spelling

    friend bool operator==(const Alternative&, const Alternative&) = default;
};

// A parsed "!" annotation token.
struct Annotation {
    // The type name as written: a primitive, a single name or a path such as
    // "std/time/date"; "map" for the map form; empty for the "!:" unit
    // shorthand.
    std::string name;
    std::vector<Alternative> alternatives;
    // The constraints of the first member (the one named by `name`).
    std::vector<Constraint> constraints;
    // The T of "!map<T>".
    std::optional<std::string> entry_type;
    // The first member's unit, in canonical spelling.
    std::optional<std::string> unit;
    // The text after a '?' suffix, as written (possibly empty).
    std::optional<std::string> provenance;

    friend bool operator==(const Annotation&, const Annotation&) = default;
};

// One item of an annotation or constraint line: a bare constraint, an
// annotation token, or a reference "&name".
struct AnnotationItem {
    struct Ref {
        std::string name;
        friend bool operator==(const Ref&, const Ref&) = default;
    };

    std::variant<Constraint, Annotation, Ref> value;

    friend bool operator==(const AnnotationItem&, const AnnotationItem&) = default;
};

// Parses one whole annotation token (beginning with '!'); no value when the
// text does not follow the grammar or is not consumed entirely.
std::optional<Annotation> parse_annotation(std::string_view text);

// Splits one annotation or constraint line into its items; a blank or empty
// text gives an empty list. Any refused item refuses the whole line, and so
// does an annotation token carrying a '?' provenance.
std::optional<std::vector<AnnotationItem>> split_annotation_line(std::string_view text);

// Whether member `member` of a union annotation (0 is the annotation's own
// first member, then come its alternatives) has the name and unit of an
// earlier member: validation checks a line of that type against the earlier
// one.
bool is_shadowed_member(const Annotation& annotation, std::size_t member);

// True for the primitive type names: "int", "b64", "str", "map", "bool",
// "null", "text" and "float".
bool is_primitive_type_name(std::string_view name);

// The characters that may delimit a "re" literal: one of "#%:;@~".
bool is_re_literal_delimiter(char c);

// True for the shapes «YYYYMMDDTHHMMSSZ» and «YYYY-MM-DDTHH:MM:SSZ»; only
// the shape is tested, not the ranges of the fields.
bool is_compact_timestamp(std::string_view text);

// Rewrites the 16-character compact shape into the 20-character one;
// returns every other text unchanged.
std::string expand_compact_timestamp(std::string_view text);

}  // namespace bezo
