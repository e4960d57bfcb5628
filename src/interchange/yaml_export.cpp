#include "interchange/yaml_export.hpp"

#include <algorithm>
#include <array>

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/canonical_reader.hpp"
#include "interchange/canonical_to_value.hpp"
#include "interchange/value_keys.hpp"

namespace bezo {
namespace {

// Readers refuse an implicit key longer than 1024 characters; longer keys
// are written as explicit "? key" entries.
constexpr std::size_t kMaxImplicitKeyBytes = 1000;

constexpr unsigned kIndentStep = 2;

// Words that YAML 1.1 or 1.2 readers take for null or a boolean.
constexpr std::array<std::string_view, 25> kReservedWords{
    "null", "Null", "NULL", "true", "True", "TRUE", "false", "False", "FALSE", "yes", "Yes", "YES", "no",
    "No",   "NO",   "on",   "On",   "ON",   "off",  "Off",   "OFF",   "y",     "Y",   "n",   "N"};

// Characters a YAML text may not hold raw: C1 controls, the line and
// paragraph separators (line breaks to YAML 1.1), the byte-order mark and
// the two non-characters at the end of the basic plane.
bool is_unprintable(char32_t code_point) {
    return (code_point >= 0x80 && code_point <= 0x9F) || code_point == 0x2028 || code_point == 0x2029 ||
           code_point == 0xFEFF || code_point == 0xFFFE || code_point == 0xFFFF;
}

bool is_ascii_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

// True when every character outside ASCII may stand raw.
bool has_only_printable_non_ascii(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        auto code_point = utf8_next(text, pos);
        if (!code_point || is_unprintable(*code_point)) return false;
    }
    return true;
}

// A string can be written plain when it starts with a letter, "_", "/" or a
// character beyond ASCII, holds no control character, no ": " and no " #",
// does not end in ":" or a blank, and is no null or boolean word.
bool is_plain(std::string_view text) {
    if (text.empty()) return false;
    auto first = static_cast<unsigned char>(text.front());
    if (!(is_ascii_letter(text.front()) || first == '_' || first == '/' || first >= 0x80)) return false;
    if (text.back() == ':' || text.back() == ' ') return false;
    bool ascii = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (is_ascii_control(c)) return false;
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if ((c == ':' && next == ' ') || (c == ' ' && next == '#')) return false;
        ascii = ascii && c < 0x80;
    }
    if (!ascii && !has_only_printable_non_ascii(text)) return false;
    return std::ranges::find(kReservedWords, text) == kReservedWords.end();
}

void append_hex_escape(char letter, char32_t code_point, int digits, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '\\';
    out += letter;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(code_point >> shift) & 0xF];
}

std::string_view short_escape(unsigned char c) {
    switch (c) {
        case '"': return "\\\"";
        case '\\': return "\\\\";
        case 0x00: return "\\0";
        case 0x07: return "\\a";
        case '\b': return "\\b";
        case '\t': return "\\t";
        case '\n': return "\\n";
        case '\v': return "\\v";
        case '\f': return "\\f";
        case '\r': return "\\r";
        case 0x1B: return "\\e";
        default: return {};
    }
}

void append_escaped_code_point(char32_t code_point, std::string& out) {
    if (code_point == 0x2028) {
        out += "\\L";
    } else if (code_point == 0x2029) {
        out += "\\P";
    } else if (code_point <= 0xFF) {
        append_hex_escape('x', code_point, 2, out);
    } else {
        append_hex_escape('u', code_point, 4, out);
    }
}

// A double-quoted scalar: quotes, backslashes, controls and unprintable
// characters escaped, everything else copied in runs.
void append_double_quoted(std::string_view text, std::string& out) {
    out += '"';
    std::size_t run_start = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        auto c = static_cast<unsigned char>(text[pos]);
        std::size_t start = pos;
        char32_t code_point = c;
        if (c >= 0x80) {
            code_point = utf8_next(text, pos).value_or(0xFFFD);
            if (!is_unprintable(code_point)) continue;
        } else {
            ++pos;
            if (!is_ascii_control(c) && c != '"' && c != '\\') continue;
        }
        out.append(text, run_start, start - run_start);
        run_start = pos;
        std::string_view escape = short_escape(c);
        if (!escape.empty()) {
            out += escape;
        } else {
            append_escaped_code_point(code_point, out);
        }
    }
    out.append(text, run_start);
    out += '"';
}

void append_string(std::string_view text, std::string& out) {
    if (is_plain(text)) {
        out += text;
    } else {
        append_double_quoted(text, out);
    }
}

bool is_block(const Value& value) {
    if (const auto* items = value.get_if<ValueArray>()) return !items->empty();
    if (const auto* members = value.get_if<ValueObject>()) return !members->empty();
    return false;
}

// A number as YAML 1.1 and YAML 1.2 readers both read it, with all its
// digits: an integer in plain decimal, a float with a point in its mantissa
// and a sign in its exponent ("1e300" as "1.0e+300"), which YAML 1.1 needs.
void append_number(std::string_view text, std::string& out) {
    if (auto integer = parse_decimal_i64(text, PlusSign::Accepted)) {
        append_decimal(*integer, out);
        return;
    }
    if (text.starts_with('-')) out += '-';
    if (text.starts_with('-') || text.starts_with('+')) text.remove_prefix(1);
    std::size_t exponent = std::min(text.find_first_of("eE"), text.size());
    std::string_view mantissa = text.substr(0, exponent);
    std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    std::string_view whole = mantissa.substr(0, point);
    if (point == mantissa.size() && exponent == text.size()) {
        // An integer beyond 64 bits, without the leading zeros that would
        // make it octal to YAML 1.1.
        std::size_t first_digit = whole.find_first_not_of('0');
        out += first_digit == std::string_view::npos ? "0" : whole.substr(first_digit);
        return;
    }
    out += whole.empty() ? "0" : whole;
    out += '.';
    std::string_view fraction = mantissa.substr(std::min(point + 1, mantissa.size()));
    out += fraction.empty() ? "0" : fraction;
    if (exponent == text.size()) return;
    out += text[exponent];
    std::string_view power = text.substr(exponent + 1);
    if (!power.starts_with('-') && !power.starts_with('+')) out += '+';
    out += power;
}

// A scalar, or an empty collection in flow style.
void append_flow_value(const Value& value, std::string& out) {
    if (value.is<NullValue>()) {
        out += "null";
    } else if (const auto* flag = value.get_if<BoolValue>()) {
        out += flag->value ? "true" : "false";
    } else if (const auto* number = value.get_if<NumberValue>()) {
        append_number(number->text, out);
    } else if (const auto* string = value.get_if<StringValue>()) {
        append_string(string->text, out);
    } else if (const auto* typed = value.get_if<TypedValue>()) {
        if (typed->library != "std/num") {
            append_string(typed->literal, out);
        } else if (typed->literal == "inf" || typed->literal == "-inf") {
            out += typed->literal == "inf" ? ".inf" : "-.inf";
        } else {
            out += ".nan";
        }
    } else {
        out += value.is<ValueArray>() ? "[]" : "{}";
    }
}

class BlockWriter {
public:
    explicit BlockWriter(std::string& out) : out_(out) {}

    // A value at the start of a line (the document's root), or, with
    // `inline_first`, right after a "- " on the current line.
    Result<void> write_node(const Value& value, unsigned indent, bool inline_first) {
        if (const auto* members = value.get_if<ValueObject>(); members && !members->empty()) {
            return write_mapping(*members, indent, inline_first);
        }
        if (const auto* items = value.get_if<ValueArray>(); items && !items->empty()) {
            return write_sequence(*items, indent, inline_first);
        }
        append_flow_value(value, out_);
        out_ += '\n';
        return {};
    }

private:
    void start_line(unsigned indent, bool& inline_first) {
        if (!inline_first) out_.append(indent, ' ');
        inline_first = false;
    }

    Result<void> write_sequence(const ValueArray& items, unsigned indent, bool inline_first) {
        for (const Value& item : items) {
            start_line(indent, inline_first);
            out_ += "- ";
            if (auto written = write_node(item, indent + kIndentStep, true); !written) return written;
        }
        return {};
    }

    Result<void> write_mapping(const ValueObject& members, unsigned indent, bool inline_first) {
        if (const std::string* repeated = first_repeated_key(members)) {
            return fail("YAML cannot represent the repeated key " + quoted_excerpt(*repeated));
        }
        for (const ValueMember& member : members) {
            start_line(indent, inline_first);
            write_key(member.key, indent);
            if (is_block(member.value)) {
                out_ += '\n';
                if (auto written = write_node(member.value, indent + kIndentStep, false); !written) return written;
            } else {
                out_ += ' ';
                append_flow_value(member.value, out_);
                out_ += '\n';
            }
        }
        return {};
    }

    // Writes the key and its ":"; a key too long for an implicit key becomes
    // "? key" with the ":" on a line of its own.
    void write_key(std::string_view key, unsigned indent) {
        std::size_t start = out_.size();
        append_string(key, out_);
        if (out_.size() - start > kMaxImplicitKeyBytes) {
            out_.insert(start, "? ");
            out_ += '\n';
            out_.append(indent, ' ');
        }
        out_ += ':';
    }

    std::string& out_;
};

}  // namespace

Result<void> value_to_yaml(const Value& value, std::string& out) {
    return BlockWriter(out).write_node(value, 0, false);
}

Result<std::string> yaml_export_body(const CanonicalValue& tree) {
    auto value = tree_to_value(tree);
    if (!value) return forward_error(value);
    std::string out = "---\n";
    if (auto written = value_to_yaml(*value, out); !written) return forward_error(written);
    return out;
}

Result<std::string> export_yaml(std::string_view canonical_text) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    return yaml_export_body(*tree);
}

}  // namespace bezo
