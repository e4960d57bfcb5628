#include "schema_import/proto_number.hpp"

#include <vector>

#include "schema_import/number_spelling.hpp"

namespace bezo {
namespace {

// Exponents up to this magnitude are matched exactly; past it, numbers are
// taken whatever their fraction (the range still applies).
constexpr int kExactExponents = 20;

// Patterns longer than this do not fit the dialect.
constexpr std::size_t kMaxPatternBytes = 4096;

// The JSON numbers whose value is whole, as a pattern: zero with any
// exponent; a fraction of zeros; with an exponent E > 0, a fraction whose
// digits after the first E are zeros; with an exponent -E, a whole part
// ending in E zeros and a fraction of zeros. A parser reads such numbers as doubles: one that rounds to a
// whole double is taken too, which those of at most 16 significant digits
// below 2^53 never do. Numbers of 17 or more significant digits and those of
// exponents beyond the exactly matched ones are taken whole.
std::string whole_number_pattern() {
    std::string pattern = R"(/^(-?[0-9]+(\.0*)?([eE][+-]?0+)?|-?0+(\.0*)?[eE][+-]?[0-9]+)";
    for (int exponent = 1; exponent <= kExactExponents; ++exponent) {
        const std::string e = std::to_string(exponent);
        pattern += R"(|-?[0-9]+(\.[0-9]{0,)" + e + R"(}0*)?[eE]\+?0*)" + e;
        pattern += R"(|-?[0-9]*0{)" + e + R"(}(\.0*)?[eE]-0*)" + e;
    }
    pattern += R"(|-?[0.]*[1-9](\.?[0-9]){15,}\.?[1-9][0.]*([eE][+-]?[0-9]+)?)";
    pattern += R"(|-?[0-9.]+[eE][+-]?0*([3-9][0-9]|2[1-9]|[1-9][0-9]{2,}))";
    pattern += ")$/";
    return pattern;
}

const std::string& whole_numbers() {
    static const std::string pattern = whole_number_pattern();
    return pattern;
}

// A quoted integer: a sign, leading zeros, digits.
constexpr std::string_view kQuotedInteger = R"(/^[+-]?[0-9]+$/)";

// A quoted floating number, or a non-finite value as JSON data spells it.
constexpr std::string_view kQuotedFloating =
    R"(/^([+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?|NaN|Infinity|-Infinity)$/)";

std::string bounds(std::string_view low, std::string_view high) {
    return "[" + std::string(low) + "," + std::string(high) + "]";
}

// The int32 range of enum numbers, written in a pattern: quoted numbers
// cannot take a range beside the names, which are no numbers.
std::string quoted_int32_pattern() {
    return R"(\+?)" + digits_at_most("2147483647") + "|-" + digits_at_most("2147483648");
}

// The member of an integral annotation that takes whole numbers spelled
// with a fraction or an exponent, which a parser reads as doubles.
std::string whole_number_member(ProtoIntegerRange range) {
    const std::string whole_range = bounds(range.low, range.high_as_double);
    return "|float(" + whole_numbers() + whole_range + ")";
}

}  // namespace

std::string proto_integer_annotation(ProtoIntegerRange range) {
    const std::string range_item = bounds(range.low, range.high);
    std::string annotation = "!int" + range_item + whole_number_member(range);
    annotation += "|str(";
    annotation += kQuotedInteger;
    annotation += plus_sign_bound_patterns(range.low, range.high);
    annotation += range_item;
    annotation += "..num)";
    return annotation;
}

std::string proto_floating_annotation(std::string_view max) {
    std::string annotation = "!float";
    annotation += bounds("-" + std::string(max), max);
    annotation += "|std/num/inf|std/num/nan|str(";
    annotation += kQuotedFloating;
    annotation += ')';
    return annotation;
}

bool proto_enum_names_fit(const std::vector<std::string_view>& names) {
    std::size_t bytes = quoted_int32_pattern().size() + 8;
    for (const auto name : names) bytes += name.size() + 1;
    return bytes <= kMaxPatternBytes;
}

std::string proto_enum_annotation(const std::vector<std::string_view>& names) {
    std::string annotation =
        "!int" + bounds(kProtoInt32Range.low, kProtoInt32Range.high) + whole_number_member(kProtoInt32Range);
    std::string alternatives;
    alternatives.reserve(kMaxPatternBytes);
    for (const auto name : names) {
        alternatives += name;
        alternatives += '|';
    }
    alternatives += quoted_int32_pattern();
    if (proto_enum_names_fit(names)) return annotation + "|str(/^(" + alternatives + ")$/)";
    annotation += "|str{";
    for (const auto name : names) {
        annotation += name;
        annotation += ',';
    }
    annotation.back() = '}';
    return annotation;
}

}  // namespace bezo
