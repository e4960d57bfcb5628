#include "schema_import/proto_number.hpp"

#include <vector>

#include "schema_import/number_spelling.hpp"

namespace bezo {
namespace {

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
const std::string& quoted_int32_pattern() {
    static const std::string pattern = R"(\+?)" + digits_at_most("2147483647") + "|-" + digits_at_most("2147483648");
    return pattern;
}

}  // namespace

std::string proto_integer_annotation(ProtoIntegerRange range) {
    const std::string range_item = bounds(range.low, range.high);
    std::string annotation = "!int" + range_item;
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
    std::string annotation = "!int" + bounds(kProtoInt32Range.low, kProtoInt32Range.high);
    if (proto_enum_names_fit(names)) {
        annotation += "|str(/^(";
        for (const auto name : names) {
            annotation += name;
            annotation += '|';
        }
        annotation += quoted_int32_pattern();
        annotation += ")$/)";
        return annotation;
    }
    annotation += "|str{";
    for (const auto name : names) {
        annotation += name;
        annotation += ',';
    }
    annotation.back() = '}';
    return annotation;
}

}  // namespace bezo
