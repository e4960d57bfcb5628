#include "interchange/xml_writer.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/base64url.hpp"
#include "interchange/export_view.hpp"
#include "interchange/xml_reader.hpp"
#include "interchange/xml_text.hpp"

namespace bezo {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// Whether the byte may stand in an XML name (`first`: at its start), for
// ASCII bytes.
constexpr bool is_ascii_name_byte(char c, bool first) {
    if (is_ascii_letter(c) || c == '_' || c == ':') return true;
    return !first && (is_ascii_digit(c) || c == '-' || c == '.');
}

bool is_name_start_char(char32_t c) {
    if (c < 0x80) return is_ascii_name_byte(static_cast<char>(c), true);
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool is_name_char(char32_t c) {
    if (c < 0x80) return is_ascii_name_byte(static_cast<char>(c), false);
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

#ifdef __SSE2__
// Whether the bytes of the text from `pos`, fewer than sixteen, are all
// printable ASCII that no markup stands for: most short values are.
bool is_plain_tail(std::string_view text, std::size_t pos) {
    if (pos + 8 <= text.size()) {
        if (!is_plain_xml_word(load_word(text.data() + pos))) return false;
        pos += 8;
    }
    return is_plain_xml_word(load_padded_tail(text, pos));
}

// Appends the escaped text when it is well-formed UTF-8 of characters XML
// allows, sixteen bytes at a time; gives false, with part of the text
// appended, at anything else, which the exact loop then reports.
bool append_escaped_checked_text(std::string_view text, bool attribute_mode, std::string& out) {
    XmlUtf8Check check;
    const __m128i quote = _mm_set1_epi8(attribute_mode ? '"' : '&');
    std::size_t run = 0;
    for (std::size_t pos = 0;; pos += 16) {
        const std::size_t length = std::min<std::size_t>(16, text.size() - pos);
        __m128i chunk;
        if (length == 16) {
            chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
        } else if (check.at_sequence_end() && is_plain_tail(text, pos)) {
            break;
        } else {
            // The last few bytes, padded with spaces: a sequence cut off by
            // the end of the text meets a space where it needs a
            // continuation byte.
            std::array<char, 16> tail;
            tail.fill(' ');
            if (length > 0) std::memcpy(tail.data(), text.data() + pos, length);
            chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tail.data()));
        }
        if (!check.accepts(chunk)) return false;
        unsigned stops = xml_markup_bytes(chunk, quote) & ((1u << length) - 1);
        for (; stops != 0; stops &= stops - 1) {
            const std::size_t at = pos + static_cast<std::size_t>(std::countr_zero(stops));
            const auto byte = static_cast<unsigned char>(text[at]);
            if (is_plain_byte(byte, attribute_mode)) continue;
            const auto escape = escape_of(byte);
            if (!escape) return false;
            append_pieces(out, text.substr(run, at - run), *escape);
            run = at + 1;
        }
        if (length < 16) break;
    }
    out.append(text, run);
    return true;
}
#endif

// Appends the escaped text.
Result<void> append_escaped(std::string_view text, bool attribute_mode, std::string& out) {
#ifdef __SSE2__
    const std::size_t start = out.size();
    if (append_escaped_checked_text(text, attribute_mode, out)) return {};
    // The exact loop starts over, so that it reports the first fault in the
    // order of the text.
    out.resize(start);
#endif
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
// literal; empty for null), or none for an array or object. A text value's
// line breaks are made line feeds in `scratch`.
std::optional<std::string_view> scalar_text(const ExportView& value, std::string& scratch) {
    switch (value.kind()) {
        case ExportKind::Null: return "";
        case ExportKind::Bool: return value.boolean() ? "true" : "false";
        case ExportKind::Number:
        case ExportKind::Typed: return value.text();
        case ExportKind::String: return value.string_text(scratch);
        case ExportKind::Array:
        case ExportKind::Object: break;
    }
    return std::nullopt;
}

bool is_embedded_xml(const ExportView& value) {
    return value.kind() == ExportKind::Typed && value.library() == "std/enc" && value.type_name() == "xml";
}

bool is_attribute_key(std::string_view key) { return key.starts_with('@'); }

// Spaces that indentation is cut from; deeper elements append the rest.
constexpr auto kSpaces = [] {
    std::array<char, 128> spaces{};
    spaces.fill(' ');
    return spaces;
}();

class XmlElementWriter {
public:
    explicit XmlElementWriter(std::string& out) : out_(out) {}

    Result<void> write(std::string_view name, const ExportView& value, unsigned depth) {
        if (!is_xml_name(name)) return fail("not a valid XML element name: " + quoted_excerpt(name));
        if (value.kind() == ExportKind::Array) {
            return fail("array directly inside an array at " + quoted_excerpt(name) + " has no XML representation");
        }
        if (value.kind() == ExportKind::Object) return write_object(name, value, depth);
        if (is_embedded_xml(value)) return write_payload(name, value.text(), depth);
        std::string_view text = *scalar_text(value, scratch_);
        if (text.empty()) {
            append_indented(depth, "<", name, "/>\n");
            return {};
        }
        append_indented(depth, "<", name, ">");
        if (auto escaped = append_escaped(text, false, out_); !escaped) return escaped;
        close_tag(name);
        return {};
    }

private:
    // Appends the indentation of `depth` and then the pieces.
    template <class... Pieces>
    void append_indented(unsigned depth, const Pieces&... pieces) {
        std::size_t width = 2 * std::size_t{depth};
        if (width > kSpaces.size()) {
            out_.append(width - kSpaces.size(), ' ');
            width = kSpaces.size();
        }
        append_pieces(out_, std::string_view(kSpaces.data(), width), pieces...);
    }

    void close_tag(std::string_view name) { append_pieces(out_, "</", name, ">\n"); }

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
        append_indented(depth, element->source, "\n");
        return {};
    }

    // What an object holds besides its attributes.
    struct ObjectContent {
        bool text = false;
        bool children = false;
    };

    // Writes the start tag up to its closing ">" with the "@" members as
    // attributes, and escapes the last "#text" member into `element_text_`.
    Result<ObjectContent> write_start_tag(std::string_view name, const ExportView& object, unsigned depth) {
        ObjectContent content;
        append_indented(depth, "<", name);
        XmlNameIndex attributes;
        auto written = object.each_member([&](std::string_view key, const ExportView& value) -> Result<void> {
            if (is_attribute_key(key)) return write_attribute(name, key.substr(1), value, attributes);
            if (key != "#text") {
                content.children = true;
                return {};
            }
            auto text = scalar_text(value, scratch_);
            if (!text) return fail("#text holds a container");
            element_text_.clear();
            content.text = true;
            return append_escaped(*text, false, element_text_);
        });
        if (!written) return forward_error(written);
        return content;
    }

    Result<void> write_attribute(std::string_view element, std::string_view name, const ExportView& value,
                                 XmlNameIndex& written) {
        if (!is_xml_name(name)) return fail("not a valid XML attribute name: " + quoted_excerpt(name));
        auto text = scalar_text(value, scratch_);
        if (!text) return fail("attribute @" + quoted_excerpt(name) + " holds a container");
        append_pieces(out_, " ", name, "=\"");
        if (auto escaped = append_escaped(*text, true, out_); !escaped) return escaped;
        out_ += '"';
        // A repeated key would give a repeated attribute, which no XML
        // reader accepts; like the reader, refuse it once its value is read.
        if (written.find_or_add(name)) {
            return fail("duplicate attribute " + quoted_excerpt(name) + " on <" + quoted_excerpt(element) + ">");
        }
        return {};
    }

    Result<void> write_object(std::string_view name, const ExportView& object, unsigned depth) {
        auto content = write_start_tag(name, object, depth);
        if (!content) return forward_error(content);
        if (!content->children) {
            if (!content->text) {
                out_ += "/>\n";
                return {};
            }
            append_pieces(out_, ">", element_text_, "</", name, ">\n");
            return {};
        }
        out_ += ">\n";
        if (content->text) append_indented(depth + 1, element_text_, "\n");
        auto written = object.each_member([&](std::string_view key, const ExportView& value) -> Result<void> {
            if (is_attribute_key(key) || key == "#text") return {};
            return write_child(key, value, depth + 1);
        });
        if (!written) return written;
        append_indented(depth, "</", name, ">\n");
        return {};
    }

    // A child member: an array gives one element per item.
    Result<void> write_child(std::string_view name, const ExportView& value, unsigned depth) {
        if (value.kind() != ExportKind::Array) return write(name, value, depth);
        return value.each_item([&](const ExportView& item) { return write(name, item, depth); });
    }

    std::string& out_;
    std::string element_text_;  // the escaped "#text" of the element being started
    std::string scratch_;       // a text value with its line breaks made line feeds
};

}  // namespace

bool is_xml_name(std::string_view text) {
    if (text.empty()) return false;
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            if (!is_ascii_name_byte(text[pos], first)) return false;
            ++pos;
            first = false;
            continue;
        }
        auto decoded = utf8_next(text, pos);
        if (!decoded || !(first ? is_name_start_char(*decoded) : is_name_char(*decoded))) return false;
        first = false;
    }
    return true;
}

Result<std::string> write_xml_document(const CanonicalTree& tree, std::size_t size_hint) {
    auto document = ExportDocument::of(tree);
    if (!document) return forward_error(document);
    const ExportView root = document->root();
    std::string out;
    out.reserve(size_hint);
    out += kDeclaration;
    XmlElementWriter writer(out);
    std::optional<std::pair<std::string_view, ExportView>> single;
    if (root.size() == 1) {
        (void)root.each_member([&](std::string_view key, const ExportView& value) -> Result<void> {
            if (value.kind() != ExportKind::Array) single.emplace(key, value);
            return {};
        });
    }
    auto written = single ? writer.write(single->first, single->second, 0) : writer.write("root", root, 0);
    if (!written) return forward_error(written);
    return out;
}

}  // namespace bezo
