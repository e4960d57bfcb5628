#include "schema_import/jsonschema_scalar.hpp"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <span>
#include <vector>

#include "core/fault.hpp"
#include "core/text.hpp"
#include "schema_import/number_spelling.hpp"

namespace bezo {
namespace {

// String formats that a type-library type carries.
struct FormatType {
    std::string_view format;
    std::string_view library;
    std::string_view type;
};

constexpr std::array<FormatType, 5> kFormatTypes{{
    {"uri", "std/net", "uri"},
    {"email", "std/net", "email"},
    {"hostname", "std/net", "hostname"},
    {"date", "std/time", "date"},
    {"date-time", "std/time", "datetime"},
}};

const FormatType* find_format_type(std::string_view format) {
    const auto found = std::ranges::find(kFormatTypes, format, &FormatType::format);
    return found == kFormatTypes.end() ? nullptr : &*found;
}

// String formats written as a pattern, where no library type admits every
// value of the format: a "time" carries an offset ("12:00:00Z",
// "12:00:00.5+02:00") that the local time of std/time refuses. The pattern
// admits the time with and without its offset.
struct FormatPattern {
    std::string_view format;
    std::string_view pattern;
};

constexpr std::array<FormatPattern, 1> kFormatPatterns{{
    {"time", R"(/^\d{2}:\d{2}:\d{2}(\.\d+)?([Zz]|[+-]\d{2}:\d{2})?$/)"},
}};

const FormatPattern* find_format_pattern(std::string_view format) {
    const auto found = std::ranges::find(kFormatPatterns, format, &FormatPattern::format);
    return found == kFormatPatterns.end() ? nullptr : &*found;
}

bool has_any_member(const Value& schema, std::initializer_list<std::string_view> keys) {
    return std::ranges::any_of(keys, [&](std::string_view key) { return find_member(schema, key) != nullptr; });
}

void note_string_only_constraints(JsonSchemaContext& context, const Value& schema, std::string_view word) {
    if (has_any_member(schema, {"pattern", "minLength", "maxLength"})) {
        context.note("string-only constraints on a " + std::string(word) + " property");
    }
}

void note_numeric_bounds(JsonSchemaContext& context, const Value& schema, std::string_view word) {
    if (has_any_member(schema, {"minimum", "maximum", "exclusiveMinimum", "exclusiveMaximum"})) {
        context.note("numeric bounds on a " + std::string(word) + " property");
    }
}

// The library type (or the pattern) of a string with a known format; none
// when the format is absent or unknown (an unknown one is noted) and
// conversion goes on as for a plain string.
std::optional<std::string> format_annotation(JsonSchemaContext& context, const Value& schema, bool required) {
    const std::string* format = find_string_member(schema, "format");
    if (!format) return std::nullopt;
    if (const FormatPattern* pattern = find_format_pattern(*format)) {
        std::string annotation = required ? "!str" : "!null|str";
        annotation += pattern->pattern;
        return annotation;
    }
    const FormatType* type = find_format_type(*format);
    if (!type) {
        context.note("format: " + *format);
        return std::nullopt;
    }
    std::string annotation;
    if (required) {
        if (!context.libraries.contains(type->library)) context.libraries.emplace(type->library);
        annotation += '&';
    } else {
        annotation += "!null|";
        annotation += type->library;
        annotation += '/';
    }
    annotation += type->type;
    return annotation;
}

std::optional<std::string> member_set(const ValueArray& members) {
    if (members.empty()) return std::nullopt;
    std::string set = "{";
    for (const auto& member : members) {
        const auto text = enum_member_text(member);
        if (!text) return std::nullopt;
        if (set.size() > 1) set += ',';
        set += *text;
    }
    set += '}';
    return set;
}

// The texts of the numbers among the values of a numeric property (JSON
// type `word`): another value never passes the type, and an integer property
// takes whole numbers only. None for another type and when no value is such
// a number.
std::optional<std::vector<std::string_view>> numeric_member_texts(std::span<const Value> values,
                                                                  std::string_view word) {
    if (word != "integer" && word != "number") return std::nullopt;
    std::vector<std::string_view> texts;
    for (const Value& value : values) {
        const auto* number = value.get_if<NumberValue>();
        if (number && (word == "number" || is_whole_number(number->text))) texts.push_back(number->text);
    }
    if (texts.empty()) return std::nullopt;
    return texts;
}

// JSON Schema compares numbers by value ("enum": [1] takes 1.0 and 1e0), so
// the numbers of a numeric property are matched by the pattern of every
// spelling of their values. An integer property takes a whole number
// spelled as a float (1.0) as well: its float member carries the same
// pattern. None, noted, when the pattern does not fit the dialect.
std::optional<std::string> numeric_value_pattern(JsonSchemaContext& context, std::span<const std::string_view> texts,
                                                 std::string_view word) {
    const auto& pattern = context.numeric_patterns.pattern(texts, NumberGrammar{});
    if (!pattern) {
        context.note("enum of numbers too large for a pattern of their spellings");
        return std::nullopt;
    }
    std::string constraints = "/" + *pattern + "/";
    if (word == "integer") constraints += "|float" + constraints;
    return constraints;
}

// The set constraint of "enum" (or, without an enum array, "const"), or the
// pattern of numbers above; none when the schema has neither. One it cannot
// spell is noted.
std::optional<std::string> value_set(JsonSchemaContext& context, const Value& schema, std::string_view word) {
    const Value* enumeration = find_member(schema, "enum");
    const Value* constant = find_member(schema, "const");
    if (!enumeration && !constant) return std::nullopt;
    const auto* members = enumeration ? enumeration->get_if<ValueArray>() : nullptr;
    const std::span<const Value> values = members    ? std::span<const Value>(*members)
                                          : constant ? std::span<const Value>(constant, 1)
                                                     : std::span<const Value>();
    if (const auto texts = numeric_member_texts(values, word)) return numeric_value_pattern(context, *texts, word);
    std::optional<std::string> set;
    if (members) {
        set = member_set(*members);
    } else if (constant) {
        if (const auto text = enum_member_text(*constant)) set = "{" + *text + "}";
    }
    if (!set) context.note("enum/const with unspellable members");
    return set;
}

void append_pattern(JsonSchemaContext& context, const Value& schema, std::string& constraints) {
    const std::string* pattern = find_string_member(schema, "pattern");
    if (!pattern) return;
    const auto translated = pattern_constraint_text(*pattern, context.patterns);
    if (!translated) {
        context.note("pattern outside the bezo regex dialect: " + *pattern);
        return;
    }
    constraints += '/';
    constraints += *translated;
    constraints += '/';
}

void append_optional_decimal(std::optional<std::uint64_t> value, std::string& out) {
    if (value) append_decimal(*value, out);
}

void append_length_range(const Value& schema, std::string& constraints) {
    const auto low = find_count_member(schema, "minLength");
    const auto high = find_count_member(schema, "maxLength");
    if (!low && !high) return;
    constraints += "#[";
    append_optional_decimal(low, constraints);
    constraints += ',';
    append_optional_decimal(high, constraints);
    constraints += ']';
}

// The text of the first member named `key` when it is a number; else empty.
std::string number_member_text(const Value& schema, std::string_view key) {
    const Value* value = find_member(schema, key);
    const auto* number = value ? value->get_if<NumberValue>() : nullptr;
    return number ? number->text : std::string();
}

// Replaces an inclusive bound by the integer next to an exclusive one, or
// notes that the exclusive bound cannot be said exactly.
void apply_exclusive_bound(JsonSchemaContext& context, const Value& schema, std::string_view word, std::string_view key,
                           std::int64_t step, std::string& bound) {
    const Value* exclusive = find_member(schema, key);
    if (!exclusive) return;
    auto shifted = word == "integer" ? shift_integer_bound(*exclusive, step) : std::nullopt;
    if (shifted) {
        bound = std::move(*shifted);
    } else {
        context.note(std::string(key) + " (inexact for bezo inclusive ranges)");
    }
}

void append_numeric_range(JsonSchemaContext& context, const Value& schema, std::string_view word,
                          std::string& constraints) {
    std::string low = number_member_text(schema, "minimum");
    std::string high = number_member_text(schema, "maximum");
    apply_exclusive_bound(context, schema, word, "exclusiveMinimum", 1, low);
    apply_exclusive_bound(context, schema, word, "exclusiveMaximum", -1, high);
    if (low.empty() && high.empty()) return;
    constraints += '[';
    constraints += low;
    constraints += ',';
    constraints += high;
    constraints += ']';
}

// Whether constraints written right after a union member's name would be
// read as part of the name: a '/' followed by a name character extends the
// name into a type path, so "str/ab/" names the type "str/ab".
bool would_extend_member_name(std::string_view constraints) {
    if (constraints.size() < 2 || constraints[0] != '/') return false;
    const char next = constraints[1];
    return is_ascii_letter(next) || is_ascii_digit(next) || next == '-' || next == '_';
}

}  // namespace

std::string nullable_annotation(std::string_view type, std::string_view constraints) {
    std::string annotation = "!null|";
    annotation += type;
    // A group holds the pattern apart from the member's name.
    const bool grouped = would_extend_member_name(constraints);
    if (grouped) annotation += '(';
    annotation += constraints;
    if (grouped) annotation += ')';
    return annotation;
}

std::optional<std::string> scalar_annotation(JsonSchemaContext& context, const Value& schema, std::string_view word,
                                             bool required) {
    if (word == "string") {
        if (auto annotation = format_annotation(context, schema, required)) return annotation;
    }
    const auto type = jsonschema_type_keyword(word);
    if (!type) raise_fault("scalar annotation asked for the JSON type " + std::string(word));
    std::string constraints = convert_scalar_constraints(context, schema, word);
    if (!required && has_blank_or_tab(constraints)) {
        context.note("whitespace-bearing constraints on a nullable field (union items are whitespace-free)");
        constraints.clear();
    }
    if (*type == "str" && constraints.empty()) return std::nullopt;
    if (!required) return nullable_annotation(*type, constraints);
    std::string annotation = "!";
    annotation += *type;
    annotation += constraints;
    return annotation;
}

void map_string_format(JsonSchemaContext& context, const Value& schema, std::string_view word, bool required) {
    const auto annotation = scalar_annotation(context, schema, word, required);
    if (!annotation) return;
    context.body += *annotation;
    context.body += '\n';
}

std::string convert_scalar_constraints(JsonSchemaContext& context, const Value& schema, std::string_view word) {
    if (auto set = value_set(context, schema, word)) return std::move(*set);
    std::string constraints;
    if (word == "string") {
        append_pattern(context, schema, constraints);
        append_length_range(schema, constraints);
        note_numeric_bounds(context, schema, word);
    } else if (word == "integer" || word == "number") {
        append_numeric_range(context, schema, word, constraints);
        note_string_only_constraints(context, schema, word);
    } else {
        note_string_only_constraints(context, schema, word);
        note_numeric_bounds(context, schema, word);
    }
    return constraints;
}

std::optional<std::string> enum_member_text(const Value& value) {
    std::string text;
    if (const auto* flag = value.get_if<BoolValue>()) {
        text = flag->value ? "true" : "false";
    } else if (const auto* number = value.get_if<NumberValue>()) {
        text = number->text;
    } else if (const auto* string = value.get_if<StringValue>()) {
        text = string->text;
    } else {
        return std::nullopt;
    }
    if (!is_spellable_set_member(text)) return std::nullopt;
    return text;
}

std::optional<std::string> shift_integer_bound(const Value& value, std::int64_t step) {
    const auto* number = value.get_if<NumberValue>();
    if (!number) return std::nullopt;
    return shift_decimal_i64(number->text, step, PlusSign::Refused);
}

}  // namespace bezo
