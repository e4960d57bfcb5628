#include "interchange/toml_export.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/decimal_float.hpp"
#include "core/text.hpp"
#include "interchange/canonical_reader.hpp"
#include "interchange/canonical_to_value.hpp"
#include "interchange/json_text.hpp"
#include "interchange/toml_datetime.hpp"
#include "interchange/value_keys.hpp"

namespace bezo {
namespace {

Error refusal(std::string message) { return Error::Other(std::move(message)); }

// A basic string: the quote, the backslash, DEL and every control character
// but the tab escaped.
void append_basic_string(std::string_view text, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '"';
    std::size_t run_start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (!(c < 0x20 || c == 0x7F || c == '"' || c == '\\') || c == '\t') continue;
        out.append(text, run_start, i - run_start);
        run_start = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
        }
    }
    out.append(text, run_start);
    out += '"';
}

bool is_bare_key(std::string_view key) {
    return !key.empty() && std::ranges::all_of(key, [](char c) {
        return is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '-';
    });
}

void append_key(std::string_view key, std::string& out) {
    if (is_bare_key(key)) {
        out += key;
    } else {
        append_basic_string(key, out);
    }
}

Result<void> check_unique_keys(const ValueObject& members) {
    if (const std::string* repeated = first_repeated_key(members)) {
        return std::unexpected(refusal("TOML cannot represent the repeated key " + quoted_excerpt(*repeated)));
    }
    return {};
}

// The TOML reader takes at most 128 digits in a float, so a float whose
// plain decimals would run longer (a magnitude below about 1e-110) is
// written in exponent form.
constexpr std::size_t kMaxTomlFloatText = 128;

std::string toml_float_text(double number) {
    std::string plain = format_json_float(number);
    return plain.size() <= kMaxTomlFloatText ? plain : format_float_exponent_form(number);
}

// An integer within 64 bits, or a finite float that does not underflow to
// zero, spelled as TOML reads it.
Result<void> append_number(const std::string& text, std::string& out) {
    if (auto integer = parse_decimal_i64(text, PlusSign::Accepted)) {
        append_decimal(*integer, out);
        return {};
    }
    if (std::ranges::all_of(text, [](char c) { return is_ascii_digit(c) || c == '-'; })) {
        return std::unexpected(refusal("TOML cannot represent the integer " + quoted_excerpt(text) + " (exceeds i64)"));
    }
    auto number = parse_decimal_double(text);
    if (!number) return std::unexpected(refusal("bad number: " + quoted_excerpt(text)));
    if (!std::isfinite(*number)) {
        return std::unexpected(refusal("TOML cannot represent the float " + quoted_excerpt(text) + " (overflows f64)"));
    }
    if (*number == 0 && has_nonzero_mantissa(text)) {
        return std::unexpected(
            refusal("TOML cannot represent the float " + quoted_excerpt(text) + " (underflows f64)"));
    }
    out += toml_float_text(*number);
    return {};
}

Result<void> append_typed(const TypedValue& typed, std::string& out) {
    if (typed.library == "std/time") {
        auto datetime = parse_toml_datetime(typed.literal);
        if (!datetime) return std::unexpected(refusal("invalid datetime: " + quoted_excerpt(typed.literal)));
        append_toml_datetime(*datetime, out);
    } else if (typed.library == "std/num") {
        if (typed.literal != "inf" && typed.literal != "-inf" && typed.literal != "nan") {
            return std::unexpected(refusal("invalid std/num marker: " + quoted_excerpt(typed.literal)));
        }
        out += typed.literal;
    } else {
        append_basic_string(typed.literal, out);
    }
    return {};
}

bool is_table(const Value& value) { return value.is<ValueObject>(); }

bool is_array_of_tables(const Value& value) {
    const auto* items = value.get_if<ValueArray>();
    return items && !items->empty() && std::ranges::all_of(*items, is_table);
}

Result<void> append_inline(const Value& value, std::string& out);

// "[a, b]" or "{ k = a, l = b }".
template <class Items, class AppendItem>
Result<void> append_inline_sequence(const Items& items, std::string_view open, std::string_view close, std::string& out,
                                    AppendItem append_item) {
    out += open;
    bool first = true;
    for (const auto& item : items) {
        if (!first) out += ", ";
        first = false;
        if (auto appended = append_item(item); !appended) return appended;
    }
    out += close;
    return {};
}

bool holds_tables(const Value& value) { return is_table(value) || is_array_of_tables(value); }

// "{ k = a, t = { ... } }": the plain values first, then the tables and the
// arrays of tables, each run in member order, as a table written in
// sections lists them. Members are still converted (and refused) in member
// order: the tables are spelled aside and appended after the plain values.
// A table's keys are checked once its values are converted, so a value
// TOML cannot hold is reported before a key repeated around it.
Result<void> append_inline_table(const ValueObject& members, std::string& out) {
    if (members.empty()) {
        out += "{}";
        return {};
    }
    out += "{ ";
    std::string tables;
    bool any_plain = false;
    for (const ValueMember& member : members) {
        const bool table = holds_tables(member.value);
        std::string& target = table ? tables : out;
        if (table ? !tables.empty() : any_plain) target += ", ";
        any_plain = any_plain || !table;
        append_key(member.key, target);
        target += " = ";
        if (auto appended = append_inline(member.value, target); !appended) return appended;
    }
    if (any_plain && !tables.empty()) out += ", ";
    out += tables;
    out += " }";
    return check_unique_keys(members);
}

Result<void> append_inline(const Value& value, std::string& out) {
    if (value.is<NullValue>()) return std::unexpected(refusal("TOML cannot represent null"));
    if (const auto* flag = value.get_if<BoolValue>()) {
        out += flag->value ? "true" : "false";
        return {};
    }
    if (const auto* number = value.get_if<NumberValue>()) return append_number(number->text, out);
    if (const auto* string = value.get_if<StringValue>()) {
        append_basic_string(string->text, out);
        return {};
    }
    if (const auto* typed = value.get_if<TypedValue>()) return append_typed(*typed, out);
    if (const auto* items = value.get_if<ValueArray>()) {
        return append_inline_sequence(*items, "[", "]", out,
                                      [&out](const Value& item) { return append_inline(item, out); });
    }
    return append_inline_table(*value.get_if<ValueObject>(), out);
}

// Writes every table into a section of its own, in the order the tables
// are met: a table's plain values go into its section as they come, its
// sub-tables into new sections after it. So members are converted (and
// refused) in member order, while each table lists its plain values before
// its sub-tables.
class TomlWriter {
public:
    Result<std::string> document(const ValueObject& root) {
        sections_.emplace_back();
        if (auto written = write_table(root, "", 0); !written) return forward_error(written);
        std::string out;
        for (const std::string& section : sections_) {
            if (!out.empty() && !section.empty()) out += '\n';
            out += section;
        }
        return out;
    }

private:
    Result<void> write_table(const ValueObject& members, const std::string& path, std::size_t section) {
        for (const ValueMember& member : members) {
            if (is_table(member.value)) {
                std::string child = child_path(path, member.key);
                auto written = write_table(*member.value.get_if<ValueObject>(), child, open_section("[", child, "]"));
                if (!written) return written;
            } else if (is_array_of_tables(member.value)) {
                std::string child = child_path(path, member.key);
                for (const Value& item : *member.value.get_if<ValueArray>()) {
                    auto written = write_table(*item.get_if<ValueObject>(), child, open_section("[[", child, "]]"));
                    if (!written) return written;
                }
            } else {
                std::string& out = sections_[section];
                append_key(member.key, out);
                out += " = ";
                if (auto written = append_inline(member.value, out); !written) return written;
                out += '\n';
            }
        }
        return check_unique_keys(members);
    }

    static std::string child_path(const std::string& path, std::string_view key) {
        std::string child = path;
        if (!child.empty()) child += '.';
        append_key(key, child);
        return child;
    }

    std::size_t open_section(std::string_view open, std::string_view path, std::string_view close) {
        std::string& section = sections_.emplace_back();
        section += open;
        section += path;
        section += close;
        section += '\n';
        return sections_.size() - 1;
    }

    std::vector<std::string> sections_;
};

}  // namespace

Result<std::string> value_to_toml(const Value& value) {
    const auto* root = value.get_if<ValueObject>();
    if (!root) return std::unexpected(refusal("TOML root must be a table"));
    return TomlWriter().document(*root);
}

Result<std::string> toml_export_body(const CanonicalValue& tree) {
    auto value = tree_to_value(tree);
    if (!value) return forward_error(value);
    return value_to_toml(*value);
}

Result<std::string> export_toml(std::string_view canonical_text) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    return toml_export_body(*tree);
}

}  // namespace bezo
