#include "schema_import/xsd_simple_type.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/text.hpp"
#include "schema_import/number_spelling.hpp"

namespace bezo {
namespace {

// Text values of the data road (XML imports every value as text) meet an
// annotation through its "str" member, so each annotation below whose type
// refuses some valid lexical form ends in a "str" member that admits the
// whole lexical space of the built-in; the typed members still check typed
// values. Patterns are anchored: XSD patterns match the whole value.

// The lexical spaces of the numeric built-ins, whose annotations get their
// "str" member from `with_text_member`. Integers: a sign, leading zeros
// ("+05"). Decimals: also "5." and ".5". Floating-point numbers: also an
// exponent, and INF, -INF, NaN.
constexpr std::string_view kIntegerText = R"re(/^[+-]?[0-9]+$/)re";
constexpr std::string_view kDecimalText = R"re(/^[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)$/)re";
constexpr std::string_view kFloatText = R"re(/^([+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([Ee][+-]?[0-9]+)?|[+-]?INF|NaN)$/)re";
constexpr std::string_view kFloatAnnotation = "!float|std/num/inf|std/num/nan";
constexpr std::string_view kBooleanAnnotation = "!bool|str{true,false,1,0}";
// Dates and times with an optional zone, years of four digits or more.
constexpr std::string_view kDateAnnotation =
    R"re(!std/time/date|str(/^-?[0-9]{4,}-[0-9]{2}-[0-9]{2}(Z|[+-][0-9]{2}:[0-9]{2})?$/))re";
constexpr std::string_view kTimeAnnotation =
    R"re(!std/time/time|str(/^[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?(Z|[+-][0-9]{2}:[0-9]{2})?$/))re";
constexpr std::string_view kDateTimeAnnotation =
    R"re(!std/time/datetime|std/time/localdatetime|str(/^-?[0-9]{4,}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2})re"
    R"re((\.[0-9]+)?(Z|[+-][0-9]{2}:[0-9]{2})?$/))re";
// Relative references are URIs too: text values are not checked.
constexpr std::string_view kUriAnnotation = "!std/net/uri|str";
// The empty value, which an empty element imports as, is valid binary
// data. Standard base64 comes in groups of four, the last one padded, with
// white space ([\x20\x09\x0A\x0D]) around any character; a value of
// several lines arrives as "text", its line ends written "|:|", so both
// members carry the same pattern.
constexpr std::string_view kXsdBase64Annotation =
    R"re(!null|str(/^([\x20\x09\x0A\x0D]|\|:\|)*(([A-Za-z0-9+\/]([\x20\x09\x0A\x0D]|\|:\|)*){4})*(([A-Za-z0-9+\/]([\x20\x09\x0A\x0D]|\|:\|)*){2}[AEIMQUYcgkosw048]([\x20\x09\x0A\x0D]|\|:\|)*=|[A-Za-z0-9+\/]([\x20\x09\x0A\x0D]|\|:\|)*[AQgw]([\x20\x09\x0A\x0D]|\|:\|)*=([\x20\x09\x0A\x0D]|\|:\|)*=)?([\x20\x09\x0A\x0D]|\|:\|)*$/))re"
    R"re(|text(/^([\x20\x09\x0A\x0D]|\|:\|)*(([A-Za-z0-9+\/]([\x20\x09\x0A\x0D]|\|:\|)*){4})*(([A-Za-z0-9+\/]([\x20\x09\x0A\x0D]|\|:\|)*){2}[AEIMQUYcgkosw048]([\x20\x09\x0A\x0D]|\|:\|)*=|[A-Za-z0-9+\/]([\x20\x09\x0A\x0D]|\|:\|)*[AQgw]([\x20\x09\x0A\x0D]|\|:\|)*=([\x20\x09\x0A\x0D]|\|:\|)*=)?([\x20\x09\x0A\x0D]|\|:\|)*$/))re";
constexpr std::string_view kHexAnnotation = "!null|str(/^([0-9A-Fa-f]{2})*$/)";

constexpr std::array<XsdBuiltin, 43> kBuiltins{{
    {"boolean", kBooleanAnnotation, "", "bool", "", ""},
    {"integer", "!int", "", "int", "", ""},
    {"decimal", "!float", "", "float", "", ""},
    {"float", kFloatAnnotation, "std/num", "float", "", ""},
    {"double", kFloatAnnotation, "std/num", "float", "", ""},
    {"long", "!int[-9223372036854775808,9223372036854775807]", "", "int", "-9223372036854775808",
     "9223372036854775807"},
    {"int", "!int[-2147483648,2147483647]", "", "int", "-2147483648", "2147483647"},
    {"short", "!int[-32768,32767]", "", "int", "-32768", "32767"},
    {"byte", "!int[-128,127]", "", "int", "-128", "127"},
    {"unsignedLong", "!int[0,18446744073709551615]", "", "int", "0", "18446744073709551615"},
    {"unsignedInt", "!int[0,4294967295]", "", "int", "0", "4294967295"},
    {"unsignedShort", "!int[0,65535]", "", "int", "0", "65535"},
    {"unsignedByte", "!int[0,255]", "", "int", "0", "255"},
    {"positiveInteger", "!int[1,]", "", "int", "1", ""},
    {"negativeInteger", "!int[,-1]", "", "int", "", "-1"},
    {"nonNegativeInteger", "!int[0,]", "", "int", "0", ""},
    {"nonPositiveInteger", "!int[,0]", "", "int", "", "0"},
    {"date", kDateAnnotation, "std/time", "", "", ""},
    {"time", kTimeAnnotation, "std/time", "", "", ""},
    {"dateTime", kDateTimeAnnotation, "std/time", "", "", ""},
    {"anyURI", kUriAnnotation, "std/net", "", "", "", "URI syntax of anyURI text (relative references admitted)"},
    {"base64Binary", kXsdBase64Annotation, "", "", "", ""},
    {"string", "", "", "str", "", ""},
    {"normalizedString", "", "", "str", "", ""},
    {"token", "", "", "str", "", ""},
    {"language", "", "", "str", "", ""},
    {"Name", "", "", "str", "", ""},
    {"NCName", "", "", "str", "", ""},
    {"QName", "", "", "str", "", ""},
    {"ID", "", "", "str", "", ""},
    {"IDREF", "", "", "str", "", ""},
    {"IDREFS", "", "", "str", "", ""},
    {"ENTITY", "", "", "str", "", ""},
    {"NMTOKEN", "", "", "str", "", ""},
    {"NMTOKENS", "", "", "str", "", ""},
    {"NOTATION", "", "", "str", "", ""},
    {"duration", "", "", "str", "", ""},
    {"gYear", "", "", "str", "", ""},
    {"gYearMonth", "", "", "str", "", ""},
    {"gMonth", "", "", "str", "", ""},
    {"gMonthDay", "", "", "str", "", ""},
    {"gDay", "", "", "str", "", ""},
    {"hexBinary", kHexAnnotation, "", "str", "", ""},
}};

constexpr std::array<std::string_view, 4> kRangeFacets{"minInclusive", "maxInclusive", "minExclusive", "maxExclusive"};
constexpr std::array<std::string_view, 3> kLengthFacets{"length", "minLength", "maxLength"};

// Built-ins whose length facets count octets or list items, not characters.
constexpr std::array<std::string_view, 3> kLengthNotInCharacters{"hexBinary", "NMTOKENS", "IDREFS"};

// The lexical space of a numeric built-in, as the pattern of its "str"
// member; empty for the other built-ins.
std::string_view numeric_text_pattern(const XsdBuiltin& base) {
    if (base.kind == "int") return kIntegerText;
    if (base.name == "decimal") return kDecimalText;
    if (base.kind == "float") return kFloatText;
    return {};
}

// How a numeric built-in spells its numbers: integers have neither a
// fraction nor an exponent, decimals have no exponent.
NumberGrammar number_grammar(const XsdBuiltin& base) {
    if (base.kind == "int") return NumberGrammar{.fraction = false, .exponent = false};
    if (base.name == "decimal") return NumberGrammar{.fraction = true, .exponent = false};
    return NumberGrammar{};
}

// The lexical pattern of a numeric built-in followed, for an integer, by the
// patterns that hold its "+"-signed texts within `low` and `high`.
std::string lexical_patterns(const XsdBuiltin& base, std::string_view low, std::string_view high) {
    std::string patterns(numeric_text_pattern(base));
    if (base.kind == "int") patterns += plus_sign_bound_patterns(low, high);
    return patterns;
}

// The annotation `typed` of a numeric built-in followed by its "str"
// member: the lexical pattern, then the constraint items `checks`, which
// compare text values as numbers.
std::string with_text_member(std::string_view typed, std::string_view lexical, std::string_view checks) {
    std::string annotation(typed);
    annotation += "|str(";
    annotation += lexical;
    annotation += checks;
    if (!checks.empty()) annotation += "..num";
    annotation += ')';
    return annotation;
}

std::string_view without_plus(std::string_view number) { return number.starts_with('+') ? number.substr(1) : number; }

std::string_view without_sign(std::string_view number) {
    return number.starts_with('-') ? number.substr(1) : without_plus(number);
}

// An optional sign, then digits.
bool is_integer_number(std::string_view text) { return is_ascii_digits(without_sign(text)); }

// An optional sign, digits with at most one "." among or around them, and
// an optional exponent: "e" or "E", an optional sign, digits.
bool is_decimal_number(std::string_view text) {
    std::string_view mantissa = without_sign(text);
    if (const auto mark = mantissa.find_first_of("eE"); mark != std::string_view::npos) {
        if (!is_integer_number(mantissa.substr(mark + 1))) return false;
        mantissa = mantissa.substr(0, mark);
    }
    const auto point = mantissa.find('.');
    if (point == std::string_view::npos) return is_ascii_digits(mantissa);
    const auto whole = mantissa.substr(0, point);
    const auto fraction = mantissa.substr(point + 1);
    const auto digits_or_empty = [](std::string_view part) { return part.empty() || is_ascii_digits(part); };
    return !(whole.empty() && fraction.empty()) && digits_or_empty(whole) && digits_or_empty(fraction);
}

// An XSD pattern in the dialect, unanchored; none when the dialect would
// read it more narrowly than XSD. XSD takes "^" and "$" as plain characters,
// which are escaped here where the dialect reads anchors (outside classes).
// The dialect cannot subtract the class that follows "-[" inside a class,
// and its "\d" has "0" to "9" only where XSD has every decimal digit of
// Unicode (numbers and booleans are written in ASCII digits, so only text
// differs). Classes are delimited as the dialect delimits them: the first
// item after "[" or "[^" is a member even when it is "]". An XSD "."
// matches any character but LF and CR, where the dialect's matches any.
std::optional<std::string> xsd_pattern_in_dialect(std::string_view pattern, std::string_view kind) {
    const bool digits_differ = kind == "str";
    std::string translated;
    translated.reserve(pattern.size() + 4);
    PatternScanner scanner(pattern);
    while (const auto piece = scanner.next()) {
        if (digits_differ && *piece == "\\d") return std::nullopt;
        if (scanner.in_class()) {
            if (*piece == "-" && scanner.rest().starts_with('[')) return std::nullopt;
            translated += *piece;
        } else if (*piece == "^" || *piece == "$") {
            translated += '\\';
            translated += *piece;
        } else {
            translated += *piece == "." ? kAnyButLineEnd : *piece;
        }
    }
    return escape_pattern_slashes(translated);
}

// The facets of one restriction of a built-in, as constraint items.
class FacetConverter {
public:
    FacetConverter(XsdContext& context, const Value& restriction, const XsdBuiltin& base)
        : context_(context), restriction_(restriction), base_(base) {}

    // The annotation of the restriction: the base's kind and the constraint
    // items, then for a numeric base the "str" member that takes text values
    // with the same constraints; empty when no facet can be said.
    std::string annotation() {
        const std::string constraints = convert();
        if (constraints.empty()) return {};
        const std::string_view lexical = numeric_text_pattern(base_);
        std::string typed = "!";
        typed += base_.kind;
        if (lexical.empty()) return typed + constraints;
        // Before another member, a pattern goes in a group: an optional
        // field puts the annotation behind "null|", where a pattern right
        // after the name is put in a group that would swallow the members.
        const bool grouped = constraints.starts_with('/');
        if (grouped) typed += '(';
        typed += constraints;
        if (grouped) typed += ')';
        // A numeric enumeration's pattern admits only numbers already: it
        // stands for the lexical pattern.
        if (enumerated_) return with_text_member(typed, constraints, "");
        return with_text_member(typed, lexical_patterns(base_, low_, high_), constraints);
    }

private:
    // The constraint text: a value set alone, or the pattern, range and
    // length items; empty when no facet can be said.
    std::string convert() {
        if (auto set = enumeration()) return std::move(*set);
        append_patterns();
        append_range();
        append_length();
        for (const std::string_view facet : {"totalDigits", "fractionDigits", "whiteSpace"}) {
            if (facet_value(facet)) note_facet(facet);
        }
        return std::move(constraints_);
    }

    // The "value" of the first child of that facet name.
    std::optional<std::string_view> facet_value(std::string_view facet) const {
        const auto children = context_.children(restriction_, facet);
        if (children.empty()) return std::nullopt;
        return find_attribute(children.front(), "value");
    }

    // The "value" of every child of that facet name that has one.
    std::vector<std::string_view> facet_values(std::string_view facet) const {
        std::vector<std::string_view> values;
        for (const Value& child : context_.children(restriction_, facet)) {
            if (const auto value = find_attribute(child, "value")) values.push_back(*value);
        }
        return values;
    }

    void note_facet(std::string_view facet) { context_.note({facet, " facet"}); }

    std::optional<std::string> enumeration() {
        const auto values = facet_values("enumeration");
        if (values.empty()) return std::nullopt;
        if (!std::ranges::all_of(values, is_spellable_set_member)) {
            context_.note({"enumeration with unspellable members"});
            return std::nullopt;
        }
        if (!numeric_text_pattern(base_).empty()) return numeric_enumeration(values);
        std::string set = "{";
        for (const auto value : values) {
            if (set.size() > 1) set += ',';
            set += value;
        }
        set += '}';
        return set;
    }

    // XSD compares numbers by value: the enumeration becomes the pattern of
    // every spelling of its values.
    std::optional<std::string> numeric_enumeration(const std::vector<std::string_view>& values) {
        const auto& pattern = context_.numeric_patterns.pattern(values, number_grammar(base_));
        if (!pattern) {
            context_.note({"enumeration of numbers too large for a pattern of their spellings"});
            return std::nullopt;
        }
        enumerated_ = true;
        return "/" + *pattern + "/";
    }

    // A pattern in the dialect; none when a constraint line cannot carry it,
    // when it means less in the dialect than in XSD, or when the dialect
    // refuses it.
    std::optional<std::string> pattern_text(std::string_view pattern) {
        if (pattern.find_first_of("'\n\r") != std::string_view::npos) return std::nullopt;
        auto translated = xsd_pattern_in_dialect(pattern, base_.kind);
        if (!translated || !context_.patterns.accepts(*translated)) return std::nullopt;
        return translated;
    }

    // XSD patterns match the whole value, where the dialect searches: the
    // pattern is anchored at both ends, around a group so that alternatives
    // stay inside the anchors. XSD accepts a value that matches any one of
    // several pattern facets: they are joined as alternatives, each in its
    // own group.
    void append_patterns() {
        const auto patterns = facet_values("pattern");
        if (patterns.empty()) return;
        std::string joined;
        bool written = true;
        for (const auto pattern : patterns) {
            const auto translated = pattern_text(pattern);
            if (!translated) {
                written = false;
                break;
            }
            if (patterns.size() == 1) {
                joined = *translated;
                break;
            }
            if (!joined.empty()) joined += '|';
            joined += '(';
            joined += *translated;
            joined += ')';
        }
        const std::string anchored = "^(" + joined + ")$";
        if (written) written = context_.patterns.accepts(anchored);
        if (!written) {
            for (const auto pattern : patterns) context_.note({"pattern outside the bezo regex dialect: ", pattern});
            return;
        }
        constraints_ += '/';
        constraints_ += anchored;
        constraints_ += '/';
    }

    bool is_integer_kind() const { return base_.kind == "int"; }

    // An inclusive bound that is a number of the base's kind; anything else
    // is noted and dropped, which only widens the range.
    std::optional<std::string_view> inclusive_bound(std::string_view facet) {
        const auto value = facet_value(facet);
        if (!value) return std::nullopt;
        if (is_integer_kind() ? is_integer_number(*value) : is_decimal_number(*value)) return without_plus(*value);
        note_facet(facet);
        return std::nullopt;
    }

    // An exclusive bound becomes the next integer inside it; a range of
    // floating-point numbers cannot exclude its end, so it is noted.
    void apply_exclusive_bound(std::string_view facet, std::int64_t step, std::optional<std::string>& bound) {
        const auto value = facet_value(facet);
        if (!value) return;
        if (!is_integer_kind()) {
            context_.note({facet, " (inexact for bezo inclusive ranges)"});
            return;
        }
        bound = shift_decimal_i64(*value, step, PlusSign::Accepted);
        if (!bound) context_.note({facet, " out of i64 range"});
    }

    void append_range() {
        if (base_.kind != "int" && base_.kind != "float") {
            for (const auto facet : kRangeFacets) {
                if (facet_value(facet)) note_facet(facet);
            }
            return;
        }
        std::optional<std::string> low;
        std::optional<std::string> high;
        if (const auto bound = inclusive_bound("minInclusive")) low = std::string(*bound);
        if (const auto bound = inclusive_bound("maxInclusive")) high = std::string(*bound);
        apply_exclusive_bound("minExclusive", 1, low);
        apply_exclusive_bound("maxExclusive", -1, high);
        if (!low && !base_.lower.empty()) low = std::string(base_.lower);
        if (!high && !base_.upper.empty()) high = std::string(base_.upper);
        low_ = low.value_or("");
        high_ = high.value_or("");
        append_bounds("[", low_, high_);
    }

    // A length: digits whose value fits 64 bits; anything else is noted and
    // dropped.
    std::optional<std::string_view> length_bound(std::string_view facet) {
        const auto value = facet_value(facet);
        if (!value) return std::nullopt;
        if (parse_ascii_unsigned(*value)) return value;
        note_facet(facet);
        return std::nullopt;
    }

    void append_length() {
        if (std::ranges::find(kLengthNotInCharacters, base_.name) != kLengthNotInCharacters.end()) {
            for (const auto facet : kLengthFacets) {
                if (facet_value(facet)) note_facet(facet);
            }
            return;
        }
        std::optional<std::string_view> low = length_bound("length");
        std::optional<std::string_view> high = low;
        if (!low) {
            low = length_bound("minLength");
            high = length_bound("maxLength");
        }
        append_bounds("#[", low.value_or(""), high.value_or(""));
    }

    // "[low,high]" behind `opening`, an empty bound being an open end;
    // nothing when both ends are open.
    void append_bounds(std::string_view opening, std::string_view low, std::string_view high) {
        if (low.empty() && high.empty()) return;
        constraints_ += opening;
        constraints_ += low;
        constraints_ += ',';
        constraints_ += high;
        constraints_ += ']';
    }

    XsdContext& context_;
    const Value& restriction_;
    const XsdBuiltin& base_;
    std::string constraints_;
    bool enumerated_ = false;
    // The bounds of the range item, empty for an open end.
    std::string low_;
    std::string high_;
};

// The annotation of a field of the built-in type: for a numeric built-in,
// followed by the "str" member of its texts within its bounds.
std::string field_annotation(const XsdBuiltin& builtin) {
    const std::string_view lexical = numeric_text_pattern(builtin);
    if (lexical.empty()) return std::string(builtin.annotation);
    std::string bounds;
    if (!builtin.lower.empty() || !builtin.upper.empty()) {
        bounds = "[" + std::string(builtin.lower) + "," + std::string(builtin.upper) + "]";
    }
    return with_text_member(builtin.annotation, lexical_patterns(builtin, builtin.lower, builtin.upper), bounds);
}

// `field_annotation` of a built-in of the table, the same in every schema:
// each is built once rather than at every use.
const std::string& builtin_field_annotation(const XsdBuiltin& builtin) {
    static const auto annotations = [] {
        std::array<std::string, kBuiltins.size()> built;
        for (std::size_t i = 0; i < kBuiltins.size(); ++i) built[i] = field_annotation(kBuiltins[i]);
        return built;
    }();
    return annotations[static_cast<std::size_t>(&builtin - kBuiltins.data())];
}

XsdScalar use_builtin(XsdContext& context, const XsdBuiltin& builtin) {
    if (!builtin.library.empty() && !context.libraries.contains(builtin.library)) {
        context.libraries.emplace(builtin.library);
    }
    if (!builtin.unchecked.empty()) context.note({builtin.unchecked});
    if (builtin.annotation.empty()) return XsdScalar{};
    return XsdScalar{builtin_field_annotation(builtin)};
}

}  // namespace

const XsdBuiltin* find_xsd_builtin(std::string_view local_name) {
    const auto found = std::ranges::find(kBuiltins, local_name, &XsdBuiltin::name);
    return found == kBuiltins.end() ? nullptr : &*found;
}

std::optional<XsdScalar> map_xsd_builtin(XsdContext& context, std::string_view local_name) {
    const XsdBuiltin* builtin = find_xsd_builtin(local_name);
    if (!builtin) return std::nullopt;
    return use_builtin(context, *builtin);
}

XsdType convert_xsd_simple_type(XsdContext& context, const Value& simple_type) {
    if (context.has_child(simple_type, "list") || context.has_child(simple_type, "union")) return XsdUnresolved{};
    const auto restrictions = context.children(simple_type, "restriction");
    if (restrictions.size() != 1) return XsdUnresolved{};
    const Value& restriction = restrictions.front();
    const std::string_view base = find_attribute(restriction, "base").value_or("string");
    const XsdBuiltin* builtin = find_xsd_builtin(xsd_local_name(base));
    if (!builtin) {
        context.note({"restriction on non-built-in base ", base});
        return XsdUnresolved{};
    }
    XsdScalar mapped = use_builtin(context, *builtin);
    if (builtin->kind.empty()) {
        context.note({"facets on ", base, " (base type kept)"});
        return mapped;
    }
    std::string annotation = FacetConverter(context, restriction, *builtin).annotation();
    if (annotation.empty()) return mapped;
    return XsdScalar{std::move(annotation)};
}

}  // namespace bezo
