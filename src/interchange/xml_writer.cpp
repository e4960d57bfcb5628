#include "interchange/xml_writer.hpp"

#include <optional>

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/base64url.hpp"
#include "interchange/canonical_to_value.hpp"
#include "interchange/xml_reader.hpp"
#include "interchange/xml_text.hpp"

namespace bezo {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

bool is_name_start_char(char32_t c) {
    if (c < 0x80) return is_ascii_letter(static_cast<char>(c)) || c == '_' || c == ':';
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool is_name_char(char32_t c) {
    if (c < 0x80) return is_name_start_char(c) || is_ascii_digit(static_cast<char>(c)) || c == '-' || c == '.';
    return is_name_start_char(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Bytes copied as they stand: printable ASCII but the escaped ones, and in
// text mode TAB and LF.
bool is_plain_byte(unsigned char byte, bool attribute_mode) {
    if (byte == '"') return !attribute_mode;
    if (byte >= 0x20 && byte < 0x80) return byte != '&' && byte != '<' && byte != '>';
    return !attribute_mode && (byte == '\t' || byte == '\n');
}

std::optional<std::string_view> escape_of(unsigned char byte) {
    switch (byte) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '\r': return "&#13;";
        case '"': return "&quot;";
        case '\t': return "&#9;";
        case '\n': return "&#10;";
        default: return std::nullopt;
    }
}

Error unrepresentable(char32_t c) {
    return Error::Other("character " + code_point_label(c) + " has no XML representation");
}

// Appends the escaped text.
Result<void> append_escaped(std::string_view text, bool attribute_mode, std::string& out) {
    auto replace = [&](std::size_t pos, std::string& escaped) -> Result<std::size_t> {
        auto escape = escape_of(static_cast<unsigned char>(text[pos]));
        if (!escape) return std::unexpected(unrepresentable(static_cast<unsigned char>(text[pos])));
        escaped += *escape;
        return pos + 1;
    };
    return rewrite_xml_text(
        text, out, [attribute_mode](unsigned char byte) { return is_plain_byte(byte, attribute_mode); }, replace,
        unrepresentable);
}

// The text of a scalar ("true" or "false", the number, the string, the
// literal; empty for null), or none for an array or object.
std::optional<std::string_view> scalar_text(const Value& value) {
    if (value.is<NullValue>()) return "";
    if (const auto* flag = value.get_if<BoolValue>()) return flag->value ? "true" : "false";
    if (const auto* number = value.get_if<NumberValue>()) return number->text;
    if (const auto* text = value.get_if<StringValue>()) return text->text;
    if (const auto* typed = value.get_if<TypedValue>()) return typed->literal;
    return std::nullopt;
}

bool is_attribute_key(std::string_view key) { return key.starts_with('@'); }

class XmlElementWriter {
public:
    explicit XmlElementWriter(std::string& out) : out_(out) {}

    Result<void> write(std::string_view name, const Value& value, unsigned depth) {
        if (!is_xml_name(name)) return fail("not a valid XML element name: " + quoted_excerpt(name));
        if (value.is<ValueArray>()) {
            return fail("array directly inside an array at " + quoted_excerpt(name) + " has no XML representation");
        }
        if (const auto* members = value.get_if<ValueObject>()) return write_object(name, *members, depth);
        const auto* typed = value.get_if<TypedValue>();
        if (typed && typed->library == "std/enc" && typed->type_name == "xml") {
            return write_payload(name, typed->literal, depth);
        }
        std::string_view text = *scalar_text(value);
        open_tag(name, depth);
        if (text.empty()) {
            out_ += "/>\n";
            return {};
        }
        out_ += '>';
        if (auto escaped = append_escaped(text, false, out_); !escaped) return escaped;
        close_tag(name);
        return {};
    }

private:
    void indent(unsigned depth) { out_.append(2 * std::size_t{depth}, ' '); }

    void open_tag(std::string_view name, unsigned depth) {
        indent(depth);
        out_ += '<';
        out_ += name;
    }

    void close_tag(std::string_view name) {
        out_ += "</";
        out_ += name;
        out_ += ">\n";
    }

    // Copies an embedded element after checking that it is one well-formed
    // element named like its field.
    Result<void> write_payload(std::string_view name, std::string_view literal, unsigned depth) {
        auto bytes = base64url_decode(literal);
        if (!bytes) return fail("invalid base64url payload");
        if (!is_valid_utf8(*bytes)) return fail("std/enc/xml payload is not UTF-8");
        XmlCursor cursor{*bytes};
        cursor.skip_white_space();
        auto element = parse_xml_element(cursor, 0);
        if (!element) return forward_error(element);
        cursor.skip_white_space();
        if (!cursor.at_end()) return fail("std/enc/xml payload is not a single element");
        if (element->name != name) {
            return fail("std/enc/xml payload root <" + quoted_excerpt(element->name) + "> does not match field " +
                        quoted_excerpt(name));
        }
        indent(depth);
        out_ += element->source;
        out_ += '\n';
        return {};
    }

    // What an object holds besides its attributes.
    struct ObjectContent {
        bool text = false;
        bool children = false;
    };

    // Writes the start tag up to its closing ">" with the "@" members as
    // attributes, and escapes the last "#text" member into `element_text_`.
    Result<ObjectContent> write_start_tag(std::string_view name, const ValueObject& members, unsigned depth) {
        ObjectContent content;
        open_tag(name, depth);
        XmlNameIndex attributes;
        for (const ValueMember& member : members) {
            std::string_view key = member.key;
            if (is_attribute_key(key)) {
                auto written = write_attribute(name, key.substr(1), member.value, attributes);
                if (!written) return forward_error(written);
            } else if (key == "#text") {
                auto text = scalar_text(member.value);
                if (!text) return fail("#text holds a container");
                element_text_.clear();
                if (auto escaped = append_escaped(*text, false, element_text_); !escaped) return forward_error(escaped);
                content.text = true;
            } else {
                content.children = true;
            }
        }
        return content;
    }

    Result<void> write_attribute(std::string_view element, std::string_view name, const Value& value,
                                 XmlNameIndex& written) {
        if (!is_xml_name(name)) return fail("not a valid XML attribute name: " + quoted_excerpt(name));
        auto text = scalar_text(value);
        if (!text) return fail("attribute @" + quoted_excerpt(name) + " holds a container");
        out_ += ' ';
        out_ += name;
        out_ += "=\"";
        if (auto escaped = append_escaped(*text, true, out_); !escaped) return escaped;
        out_ += '"';
        // A repeated key would give a repeated attribute, which no XML
        // reader accepts; like the reader, refuse it once its value is read.
        if (written.find_or_add(name)) {
            return fail("duplicate attribute " + quoted_excerpt(name) + " on <" + quoted_excerpt(element) + ">");
        }
        return {};
    }

    Result<void> write_object(std::string_view name, const ValueObject& members, unsigned depth) {
        auto content = write_start_tag(name, members, depth);
        if (!content) return forward_error(content);
        if (!content->children) {
            if (!content->text) {
                out_ += "/>\n";
                return {};
            }
            out_ += '>';
            out_ += element_text_;
            close_tag(name);
            return {};
        }
        out_ += ">\n";
        if (content->text) {
            indent(depth + 1);
            out_ += element_text_;
            out_ += '\n';
        }
        for (const ValueMember& member : members) {
            if (is_attribute_key(member.key) || member.key == "#text") continue;
            if (auto written = write_child(member.key, member.value, depth + 1); !written) return written;
        }
        indent(depth);
        close_tag(name);
        return {};
    }

    // A child member: an array gives one element per item.
    Result<void> write_child(std::string_view name, const Value& value, unsigned depth) {
        if (!value.is<ValueArray>()) return write(name, value, depth);
        for (const Value& item : *value.get_if<ValueArray>()) {
            if (auto written = write(name, item, depth); !written) return written;
        }
        return {};
    }

    std::string& out_;
    std::string element_text_;  // the escaped "#text" of the element being started
};

}  // namespace

bool is_xml_name(std::string_view text) {
    if (text.empty()) return false;
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        auto decoded = utf8_next(text, pos);
        if (!decoded || !(first ? is_name_start_char(*decoded) : is_name_char(*decoded))) return false;
        first = false;
    }
    return true;
}

Result<std::string> write_xml_document(const CanonicalValue& tree) {
    auto value = tree_to_value(tree);
    if (!value) return forward_error(value);
    const auto* members = value->get_if<ValueObject>();
    if (!members) return fail("bezo root is not a namespace");
    std::string out(kDeclaration);
    XmlElementWriter writer(out);
    const bool single_element = members->size() == 1 && !members->front().value.is<ValueArray>();
    auto written = single_element ? writer.write(members->front().key, members->front().value, 0)
                                  : writer.write("root", *value, 0);
    if (!written) return forward_error(written);
    return out;
}

}  // namespace bezo
