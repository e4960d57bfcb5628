#include "lang/anno.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace bezo {
namespace {

// A compact, unambiguous picture of parsed records, so that each table row
// states a whole result in one string.
std::string describe(const Constraint& constraint);

std::string describe_bound(const std::optional<std::string>& bound) { return bound ? *bound : "_"; }

std::string describe_range(const Constraint::Range& range) {
    return "[" + describe_bound(range.lo) + "," + describe_bound(range.hi) + "]";
}

std::string describe_set(const Constraint::Set& set) {
    std::string out = "{";
    for (std::size_t i = 0; i < set.members.size(); ++i) out += (i ? "," : "") + set.members[i];
    return out + "}";
}

std::string describe(const Constraint& constraint) {
    struct Visitor {
        std::string operator()(const Constraint::Pattern& p) const { return "P<" + p.text + ">"; }
        std::string operator()(const Constraint::Range& r) const { return describe_range(r); }
        std::string operator()(const Constraint::Set& s) const { return describe_set(s); }
        std::string operator()(const Constraint::Length& l) const {
            return "#" + std::visit(Visitor{}, std::visit([](const auto& v) { return Constraint{v}; }, l.inner).value);
        }
        std::string operator()(const Constraint::Span& s) const { return "S<" + s.word + ">"; }
    };
    return std::visit(Visitor{}, constraint.value);
}

std::string describe_member(const std::string& name, const std::vector<Constraint>& constraints,
                            const std::optional<std::string>& unit) {
    std::string out = name;
    for (const auto& c : constraints) out += " " + describe(c);
    if (unit) out += " :" + *unit;
    return out;
}

std::string describe(const Annotation& a) {
    std::string out = describe_member(a.name, a.constraints, a.unit);
    if (a.entry_type) out += " <" + *a.entry_type + ">";
    if (a.provenance) out += " ?" + *a.provenance;
    for (const auto& alt : a.alternatives) out += " | " + describe_member(alt.name, alt.constraints, alt.unit);
    return out;
}

std::string describe(const AnnotationItem& item) {
    if (const auto* c = std::get_if<Constraint>(&item.value)) return describe(*c);
    if (const auto* a = std::get_if<Annotation>(&item.value)) return "!(" + describe(*a) + ")";
    return "&" + std::get<AnnotationItem::Ref>(item.value).name;
}

std::string describe_line(std::string_view text) {
    auto items = split_annotation_line(text);
    if (!items) return "REFUSED";
    std::string out;
    for (const auto& item : *items) out += (out.empty() ? "" : " ; ") + describe(item);
    return out;
}

std::string describe_token(std::string_view text) {
    auto annotation = parse_annotation(text);
    return annotation ? describe(*annotation) : "REFUSED";
}

struct Case {
    std::string_view input;
    std::string_view expected;
};

TEST(ParseAnnotation, AcceptedTokens) {
    const Case cases[] = {
        // Names, paths and the map form.
        {"!int", "int"},
        {"!std/time/date", "std/time/date"},
        {"!my-type_2", "my-type_2"},
        {"!map", "map"},
        {"!map<int>", "map <int>"},
        {"!map<my-entry>?src", "map <my-entry> ?src"},
        // Constraints, units and alternatives.
        {"!int[0,10]", "int [0,10]"},
        {"!int[0,10]:km", "int [0,10] :km"},
        {"!int[0,10]|float[0,1]:m", "int [0,10] | float [0,1] :m"},
        {"!int|std/num/inf|text{a,b}", "int | std/num/inf | text {a,b}"},
        {"!float:m/s/s", "float :m/s^2"},
        {"!float:kbps", "float :kb/s"},
        {"!float:km:m", "float :m"},
        {"!int[,10]", "int [_,10]"},
        {"!int[0,]", "int [0,_]"},
        {"!int[,]", "int [_,_]"},
        {"!str{a,,b}", "str {a,,b}"},
        {"!str{,}", "str {,}"},
        {"!str#[1,8]", "str #[1,8]"},
        {"!str#{3,5}", "str #{3,5}"},
        // A primitive name stops at '/', which then opens a pattern.
        {"!str/x/", "str P<x>"},
        {"!str//", "str P<>"},
        {"!str/a\\/b/", "str P<a\\/b>"},
        {"!str/[a-z]+/{x}", "str P<[a-z]+> {x}"},
        // Groups.
        {"!str(/a b/)", "str P<a b>"},
        {"!str(/[a-z]+/..lex[de])", "str P<[a-z]+> S<..lex[de]>"},
        {"!str(..lex[de-DE x])", "str S<..lex[de-DE x]>"},
        {"!int(..num)[0,5]", "int S<..num> [0,5]"},
        {"!str(..)", "str S<..>"},
        {"!str()", "str"},
        {"!str(#[1,2]{a,b}[0,1])", "str #[1,2] {a,b} [0,1]"},
        // "re" lists after a blank.
        {"!str re#a b#", "str P<a b>"},
        {"!str re#ab# re%cd%", "str P<ab> P<cd>"},
        {"!str\tre~a/b~", "str P<a\\/b>"},
        {"!str re#a\\/b#", "str P<a\\/b>"},
        {"!str re#a\\#", "str P<a\\>"},
        {"!str re@@", "str P<>"},
        {"!int|float re#x#", "int | float P<x>"},
        // Provenance.
        {"!int?", "int ?"},
        {"!int?src", "int ?src"},
        {"!int?src|float", "int ?src|float"},
        {"!int?a re#x#", "int P<x> ?a"},
        {"!int?a?b", "int ?a?b"},
        // Unit shorthand.
        {"!:km", " :km"},
        {"!:km?src", " :km ?src"},
        {"!:km?", " :km ?"},
        {"!:m*N", " :N*m"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe_token(c.input), c.expected) << c.input;
}

TEST(ParseAnnotation, RefusedTokens) {
    const std::string_view cases[] = {
        "",
        "int",
        "!",
        "!:",
        "!:?x",
        "!: km",
        "!:km x",
        "!:km?a b",
        "!:km?a'b",
        "!:m^0",
        "!map<>",
        "!map<std/x>",
        "!map<int",
        "!map<<int>>",
        "!date/x/",      // the name swallows "date/x", then a lone '/'
        "!str /a b/",    // a blank opens a "re" list only
        "!str re#ab#x",  // a literal must be followed by a blank or the end
        "!str ",         // a "re" list of blanks only
        "!str re/a/",    // '/' is not a "re" delimiter
        "!str re#a",     // unclosed
        "!str re#a'b#",  // apostrophes are never part of a pattern
        "!str/a'b/",
        "!str/a\\'b/",
        "!str/ab",
        "!str/ab\\/",
        "!int[0]",
        "!int[]",
        "!int[0,1",
        "!int[a b,c]",
        "!int[0,1,2]",
        "!int[a',1]",
        "!str{}",
        "!str{a, b}",
        "!str{a",
        "!str{a'}",
        "!str#",
        "!str#x",
        "!str#/a/",
        "!str(",
        "!str(/a/",
        "!str( /a/)",
        "!str(:km)",
        "!str(|x)",
        "!str(x)",
        "!str(..lex[de)",
        "!int?a'b",
        "!int'x",
        "!int|",
        "!int|/x",
        "!int|map<int>",
        "!int!",
        "!int<",
        "!int&",
        "!int)",
        "!int:",
        "!int:?",
        "!int:m s",
        "!int.",
        "!int.num",
        "!int..lex[de",
        "!stré",
        "!é",
    };
    for (auto input : cases) EXPECT_EQ(describe_token(input), "REFUSED") << input;
}

// Canonical and relational signatures write the span word bare after the
// other constraint items; those signatures must read back.
TEST(ParseAnnotation, BareSpanSuffixReadsLikeAGroup) {
    const Case cases[] = {
        {"!int/^[0-9]+$/[0,5]..num", "int P<^[0-9]+$> [0,5] S<..num>"},
        {"!str{a,b}..lex[de]", "str {a,b} S<..lex[de]>"},
        {"!str..lex", "str S<..lex>"},
        {"!str..", "str S<..>"},
        {"!int..num:km?src", "int S<..num> :km ?src"},
        {"!int|float[0,1]..num", "int | float [0,1] S<..num>"},
        {"!date..time", "date S<..time>"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe_token(c.input), c.expected) << c.input;

    // The bare form and the group form give the same record.
    EXPECT_EQ(parse_annotation("!int/^[0-9]+$/[0,5]..num"), parse_annotation("!int(/^[0-9]+$/[0,5]..num)"));
}

TEST(SplitAnnotationLine, Items) {
    const Case cases[] = {
        {"", ""},
        {" \t ", ""},
        {"!str /a b/", "!(str) ; P<a b>"},
        {"!str re#a b#", "!(str) ; P<a b>"},
        {"!int(/a b/) ..num", "!(int P<a b>) ; S<..num>"},
        {"[0,9]{a,b}", "[0,9] ; {a,b}"},
        {"&name!int", "&name ; !(int)"},
        {"&a-b &c", "&a-b ; &c"},
        {"..lex[de-DE] /x/", "S<..lex[de-DE]> ; P<x>"},
        {"..anything{goes}", "S<..anything{goes}>"},
        {"#[1,8]#{2}", "#[1,8] ; #{2}"},
        {"re:a/b: re#c#", "P<a\\/b> ; P<c>"},
        {"!str(/a b/ [0,1])", "REFUSED"},  // no blank between group items
        {"!str(/a b/{x})  !int:km", "!(str P<a b> {x}) ; !(int :km)"},
        {"!int|float:m", "!(int | float :m)"},
        {"!int/^[0-9]+$/[0,5]..num ..num", "!(int P<^[0-9]+$> [0,5] S<..num>) ; S<..num>"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe_line(c.input), c.expected) << c.input;
}

TEST(SplitAnnotationLine, RefusedLines) {
    const std::string_view cases[] = {
        "!int?src",  // provenance is not allowed inside a line
        "!int?",     //
        "{a, b}",    // a member with a blank
        "x[0,1]",    // an unknown item
        "re#a#b",    // a "re" literal must be followed by a blank
        "/x/re#a#",  // and must stand after a blank
        "!nope!",    // a refused token refuses the line
        "&",        "&!int", "#x", "/unclosed", ".x", "[1]", "{}", "'",
    };
    for (auto input : cases) EXPECT_EQ(describe_line(input), "REFUSED") << input;
}

TEST(CompactTimestamp, ShapesAndExpansion) {
    struct TimestampCase {
        std::string_view input;
        bool compact;
        std::string_view expanded;
    };
    const TimestampCase cases[] = {
        {"20240131T235959Z", true, "2024-01-31T23:59:59Z"}, {"2024-01-31T23:59:59Z", true, "2024-01-31T23:59:59Z"},
        {"99999999T999999Z", true, "9999-99-99T99:99:99Z"},  // shape only, no ranges
        {"20240131T235959", false, "20240131T235959"},      {"20240131t235959Z", false, "20240131t235959Z"},
        {"2024013lT235959Z", false, "2024013lT235959Z"},    {"2024-01-31 23:59:59Z", false, "2024-01-31 23:59:59Z"},
        {"20240131T235959Z ", false, "20240131T235959Z "},  {"", false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_compact_timestamp(c.input), c.compact) << c.input;
        EXPECT_EQ(expand_compact_timestamp(c.input), c.expanded) << c.input;
    }
}

}  // namespace
}  // namespace bezo
