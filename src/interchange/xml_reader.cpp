#include "interchange/xml_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

#include "core/text.hpp"
#include "core/utf8.hpp"

namespace bezo {
namespace {

std::unexpected<Error> fail_at(std::string_view what, std::size_t pos) {
    return fail(std::string(what) + " at byte " + decimal_text(pos));
}

constexpr bool is_name_start_byte(char c) {
    return is_ascii_letter(c) || c == '_' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

constexpr bool is_name_byte(char c) { return is_name_start_byte(c) || is_ascii_digit(c) || c == '-' || c == '.'; }

// The code point of the digits of a character reference ("65", "x41"), or
// none when a digit is missing or wrong, or the value is not a Unicode
// scalar value.
std::optional<char32_t> character_reference_value(std::string_view digits) {
    int base = 10;
    if (digits.starts_with('x') || digits.starts_with('X')) {
        base = 16;
        digits.remove_prefix(1);
    }
    std::uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (error != std::errc{} || stop != end) return std::nullopt;
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return value;
}

// Appends the text of the reference `&name;`.
Result<void> append_reference(std::string_view name, std::string& out) {
    auto written = [&] { return "&" + quoted_excerpt(name) + ";"; };
    if (name == "lt") {
        out += '<';
    } else if (name == "gt") {
        out += '>';
    } else if (name == "amp") {
        out += '&';
    } else if (name == "apos") {
        out += '\'';
    } else if (name == "quot") {
        out += '"';
    } else if (name.starts_with('#')) {
        auto value = character_reference_value(name.substr(1));
        if (!value) return fail("invalid character reference: " + written());
        if (*value != '\t' && *value != '\n' && *value != '\r' && !is_xml_char_beyond_controls(*value)) {
            return fail("character reference " + written() + " is not a legal XML character");
        }
        append_utf8(*value, out);
    } else {
        return fail("unsupported entity reference: " + written() + " (DTD entities are not supported)");
    }
    return {};
}

Error illegal_character(char32_t c) {
    return Error::Other("character " + code_point_label(c) + " is not a legal XML character");
}

// Bytes copied as they stand: printable ASCII but "&", and in text mode TAB
// and LF.
bool is_plain_byte(unsigned char byte, bool attribute_mode) {
    if (byte >= 0x20 && byte < 0x80) return byte != '&';
    return !attribute_mode && (byte == '\t' || byte == '\n');
}

// Raw text that decodes to itself: no reference, no byte below U+0020 but,
// in text, tab and line feed, and well-formed UTF-8 without U+FFFE or
// U+FFFF. Most character data is such text, found so by fast scans.
bool is_verbatim(std::string_view raw, bool attribute_mode) {
    std::size_t pos = find_byte_below_or_of<0x20, '&'>(raw);
    while (!attribute_mode && pos < raw.size() && (raw[pos] == '\t' || raw[pos] == '\n')) {
        pos = find_byte_below_or_of<0x20, '&'>(raw, pos + 1);
    }
    if (pos < raw.size()) return false;
    // U+FFFE and U+FFFF are EF BF BE and EF BF BF.
    for (std::size_t at = raw.find("\xEF\xBF"); at != std::string_view::npos; at = raw.find("\xEF\xBF", at + 1)) {
        if (at + 2 < raw.size() && static_cast<unsigned char>(raw[at + 2]) >= 0xBE) return false;
    }
    return is_valid_utf8(raw);
}

// Decodes raw character data or an attribute value onto `out`.
Result<void> append_decoded(std::string_view raw, bool attribute_mode, std::string& out) {
    if (is_verbatim(raw, attribute_mode)) {
        out += raw;
        return {};
    }
    auto replace = [&](std::size_t pos, std::string& decoded) -> Result<std::size_t> {
        const char c = raw[pos];
        if (c == '&') {
            std::size_t semicolon = raw.find(';', pos + 1);
            if (semicolon == std::string_view::npos) return fail("unterminated entity reference");
            auto appended = append_reference(raw.substr(pos + 1, semicolon - pos - 1), decoded);
            if (!appended) return forward_error(appended);
            return semicolon + 1;
        }
        if (c == '\r') {
            decoded += attribute_mode ? ' ' : '\n';
            return pos + (pos + 1 < raw.size() && raw[pos + 1] == '\n' ? 2 : 1);
        }
        if (c == '\t' || c == '\n') {
            decoded += ' ';
            return pos + 1;
        }
        return std::unexpected(illegal_character(static_cast<unsigned char>(c)));
    };
    return rewrite_xml_text(
        raw, out, [attribute_mode](unsigned char byte) { return is_plain_byte(byte, attribute_mode); }, replace,
        illegal_character);
}

// The encodings a document may declare: UTF-8, and ASCII, its subset, under
// which every byte must be below 0x80.
enum class DeclaredEncoding { Utf8, Ascii };

// The encoding that a declaration names, when it names one in the form
// `encoding = "..."`; anything else in it is ignored.
Result<DeclaredEncoding> declared_encoding(std::string_view declaration) {
    std::size_t found = declaration.find("encoding");
    if (found == std::string_view::npos) return DeclaredEncoding::Utf8;
    std::string_view rest = trim_leading_unicode_white_space(declaration.substr(found + 8));
    if (!rest.starts_with('=')) return DeclaredEncoding::Utf8;
    rest = trim_leading_unicode_white_space(rest.substr(1));
    if (!rest.starts_with('"') && !rest.starts_with('\'')) return DeclaredEncoding::Utf8;
    std::size_t close = rest.find(rest.front(), 1);
    if (close == std::string_view::npos) return DeclaredEncoding::Utf8;
    std::string_view encoding = rest.substr(1, close - 1);
    if (ascii_iequals(encoding, "utf-8")) return DeclaredEncoding::Utf8;
    if (ascii_iequals(encoding, "us-ascii") || ascii_iequals(encoding, "ascii")) return DeclaredEncoding::Ascii;
    return fail("unsupported encoding: " + quoted_excerpt(encoding) + " (UTF-8 only)");
}

Result<void> check_ascii(std::string_view text) {
    const std::size_t beyond =
        scan_to(text, 0, word_has_non_ascii, [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (beyond == text.size()) return {};
    return fail("non-ASCII byte at byte " + decimal_text(beyond) + " under an ASCII encoding declaration");
}

// Reads an XML declaration ("<?xml" and white space) when the text opens
// with one, and checks the text against the encoding it declares.
Result<void> read_xml_declaration(XmlCursor& cursor) {
    std::string_view rest = cursor.rest();
    if (!rest.starts_with("<?xml") || rest.size() < 6 || !is_xml_space(rest[5])) return {};
    cursor.pos += 5;
    auto declaration = expect_terminator(cursor, "?>");
    if (!declaration) return forward_error(declaration);
    auto encoding = declared_encoding(*declaration);
    if (!encoding) return forward_error(encoding);
    if (*encoding == DeclaredEncoding::Ascii) return check_ascii(cursor.text);
    return {};
}

// Room made for an element's attributes when the first one comes, so that
// elements with a few attributes allocate their list once.
constexpr std::size_t kUsualAttributes = 4;

// Attributes up to this many are each looked for among those before them
// as they are read. Past that, names are checked together, once the start
// tag ends or fails, so that an element with many attributes costs linear
// time; the first attribute that repeats a name is refused either way, and
// before any fault that follows it in the tag.
constexpr std::size_t kScannedAttributes = 16;

// The position of the first attribute that repeats the name of one before
// it, if any.
std::optional<std::size_t> first_repeated_attribute(const std::vector<XmlAttribute>& attributes) {
    if (attributes.size() <= kScannedAttributes) return std::nullopt;
    const std::vector<std::uint32_t> first =
        first_of_each_name(attributes.size(), [&](std::size_t i) { return attributes[i].name; });
    for (std::size_t i = 0; i < first.size(); ++i) {
        if (first[i] != i) return i;
    }
    return std::nullopt;
}

// Reads one element: its start tag, then its content up to the matching end
// tag, its children one level deeper. With `children`, each child's value
// is built as it closes and handed to it; the child elements themselves
// are never held, so a document's elements and its values are not held
// whole at once.
class XmlElementReader {
public:
    XmlElementReader(XmlCursor& cursor, XmlElement& element, XmlChildValues* children)
        : cursor_(cursor), element_(element), children_(children) {}

    Result<void> read(unsigned depth) {
        if (depth > kMaxXmlDepth) return fail("XML nesting too deep");
        if (!cursor_.at_open()) return fail_at("expected `<`", cursor_.pos);
        std::size_t start = cursor_.pos++;
        auto name = parse_xml_name(cursor_);
        if (!name) return forward_error(name);
        element_.name = *name;
        auto closed = read_start_tag();
        if (!closed) return forward_error(closed);
        if (!*closed) {
            if (auto content = read_content(depth); !content) return content;
        }
        element_.source = cursor_.text.substr(start, cursor_.pos - start);
        return {};
    }

private:
    // Reads the attributes and the end of the start tag; true for an empty
    // element ("/>").
    Result<bool> read_start_tag() {
        while (true) {
            cursor_.skip_white_space();
            std::string_view rest = cursor_.rest();
            if (rest.starts_with("/>")) {
                cursor_.pos += 2;
                return check_attribute_names(true);
            }
            if (rest.starts_with('>')) {
                ++cursor_.pos;
                return check_attribute_names(false);
            }
            if (auto attribute = read_attribute(); !attribute) {
                if (auto unique = check_attribute_names(false); !unique) return unique;
                return forward_error(attribute);
            }
        }
    }

    // `closed`, unless an attribute repeats the name of one before it.
    Result<bool> check_attribute_names(bool closed) {
        if (auto repeated = first_repeated_attribute(element_.attributes)) {
            return repeated_attribute(element_.attributes[*repeated].name);
        }
        return closed;
    }

    std::unexpected<Error> repeated_attribute(std::string_view name) const {
        return fail("duplicate attribute " + quoted_excerpt(name) + " on <" + quoted_excerpt(element_.name) + ">");
    }

    Result<void> read_attribute() {
        auto name = parse_xml_name(cursor_);
        if (!name) return forward_error(name);
        cursor_.skip_white_space();
        if (auto equals = expect_xml_token(cursor_, "="); !equals) return equals;
        cursor_.skip_white_space();
        std::string_view rest = cursor_.rest();
        if (!rest.starts_with('"') && !rest.starts_with('\'')) return fail("attribute value must be quoted");
        ++cursor_.pos;
        auto raw = expect_terminator(cursor_, rest.substr(0, 1));
        if (!raw) return forward_error(raw);
        if (raw->find('<') != std::string_view::npos) return fail("`<` in attribute value");
        std::string value;
        if (auto decoded = append_decoded(*raw, true, value); !decoded) return decoded;
        std::vector<XmlAttribute>& attributes = element_.attributes;
        if (attributes.size() < kScannedAttributes &&
            std::ranges::any_of(attributes, [&](const XmlAttribute& read) { return read.name == *name; })) {
            return repeated_attribute(*name);
        }
        if (attributes.empty()) attributes.reserve(kUsualAttributes);
        attributes.push_back(XmlAttribute{*name, std::move(value)});
        return {};
    }

    Result<void> read_content(unsigned depth) {
        while (true) {
            if (cursor_.at_end()) return fail("unclosed element <" + quoted_excerpt(element_.name) + ">");
            if (!cursor_.at_open()) {
                if (auto text = read_character_data(); !text) return text;
                continue;
            }
            std::string_view rest = cursor_.rest();
            if (rest.starts_with("</")) return read_end_tag();
            auto markup = read_markup(rest);
            if (!markup) return forward_error(markup);
            if (*markup) continue;
            if (auto read = read_child(depth + 1); !read) return read;
        }
    }

    Result<void> read_child(unsigned depth) {
        XmlElement child;
        std::optional<XmlChildValues> grandchildren;
        if (children_ != nullptr) grandchildren.emplace(children_->stack());
        XmlElementReader reader(cursor_, child, grandchildren ? &*grandchildren : nullptr);
        if (auto read = reader.read(depth); !read) return read;
        ++element_.child_count;
        if (children_ != nullptr) {
            const std::string_view name = child.name;
            children_->add(name, xml_element_to_value(std::move(child), std::move(*grandchildren)));
        }
        return {};
    }

    Result<void> read_character_data() {
        std::size_t end = cursor_.text.find('<', cursor_.pos);
        if (end == std::string_view::npos) end = cursor_.text.size();
        std::string_view raw = cursor_.text.substr(cursor_.pos, end - cursor_.pos);
        cursor_.pos = end;
        // Once a child has been read, the text counts only for whether it
        // holds something other than white space: blanks between elements,
        // the common case, are not kept.
        if (element_.child_count > 0 && raw.find_first_not_of(" \t\n\r") == std::string_view::npos) return {};
        return append_decoded(raw, false, element_.text);
    }

    // Reads a comment, CDATA section or processing instruction that starts
    // `rest`; false when `rest` starts with none of them.
    Result<bool> read_markup(std::string_view rest) {
        if (rest.starts_with("<!--")) {
            cursor_.pos += 4;
            return skip_to("-->");
        }
        if (rest.starts_with("<![CDATA[")) {
            cursor_.pos += 9;
            auto section = expect_terminator(cursor_, "]]>");
            if (!section) return forward_error(section);
            element_.text += *section;
            return true;
        }
        if (rest.starts_with("<!")) return fail("DOCTYPE/DTD is not supported");
        if (rest.starts_with("<?")) {
            cursor_.pos += 2;
            return skip_to("?>");
        }
        return false;
    }

    Result<bool> skip_to(std::string_view terminator) {
        auto skipped = expect_terminator(cursor_, terminator);
        if (!skipped) return forward_error(skipped);
        return true;
    }

    Result<void> read_end_tag() {
        cursor_.pos += 2;
        auto name = parse_xml_name(cursor_);
        if (!name) return forward_error(name);
        if (*name != element_.name) {
            return fail("mismatched tags: <" + quoted_excerpt(element_.name) + "> \u2026 </" + quoted_excerpt(*name) +
                        ">");
        }
        cursor_.skip_white_space();
        if (auto closed = expect_xml_token(cursor_, ">"); !closed) return closed;
        element_.mixed = element_.child_count > 0 && has_non_white_space(element_.text);
        return {};
    }

    XmlCursor& cursor_;
    XmlElement& element_;
    XmlChildValues* children_;
};

}  // namespace

Result<std::string_view> parse_xml_name(XmlCursor& cursor) {
    std::size_t start = cursor.pos;
    const std::string_view text = cursor.text;
    if (start < text.size() && is_name_start_byte(text[start])) {
        ++cursor.pos;
        while (cursor.pos < text.size() && is_name_byte(text[cursor.pos])) ++cursor.pos;
    }
    if (cursor.pos == start) return fail_at("expected a name", start);
    return text.substr(start, cursor.pos - start);
}

Result<std::string_view> expect_terminator(XmlCursor& cursor, std::string_view terminator) {
    std::size_t found = cursor.text.find(terminator, cursor.pos);
    if (found == std::string_view::npos) {
        return fail("unterminated construct: missing `" + std::string(terminator) + "`");
    }
    std::string_view body = cursor.text.substr(cursor.pos, found - cursor.pos);
    cursor.pos = found + terminator.size();
    return body;
}

Result<void> expect_xml_token(XmlCursor& cursor, std::string_view token) {
    if (!cursor.rest().starts_with(token)) return fail_at("expected `" + std::string(token) + "`", cursor.pos);
    cursor.pos += token.size();
    return {};
}

Result<void> skip_xml_markup(XmlCursor& cursor) {
    while (true) {
        cursor.skip_white_space();
        std::string_view rest = cursor.rest();
        std::string_view terminator;
        if (rest.starts_with("<!--")) {
            cursor.pos += 4;
            terminator = "-->";
        } else if (rest.starts_with("<?")) {
            cursor.pos += 2;
            terminator = "?>";
        } else {
            return {};
        }
        if (auto skipped = expect_terminator(cursor, terminator); !skipped) return forward_error(skipped);
    }
}

Result<XmlElement> parse_xml_element(XmlCursor& cursor, unsigned depth) {
    XmlElement element;
    if (auto read = XmlElementReader(cursor, element, nullptr).read(depth); !read) return forward_error(read);
    return element;
}

Result<std::string> decode_xml_reference(std::string_view raw, bool attribute_mode) {
    std::string out;
    if (auto decoded = append_decoded(raw, attribute_mode, out); !decoded) return forward_error(decoded);
    return out;
}

Result<XmlDocumentElement> parse_xml_document(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    XmlCursor cursor{text};
    if (auto declaration = read_xml_declaration(cursor); !declaration) return forward_error(declaration);
    if (auto skipped = skip_xml_markup(cursor); !skipped) return forward_error(skipped);
    if (cursor.rest().starts_with("<!")) return fail("DOCTYPE/DTD is not supported");
    XmlElement element;
    ValueObject pending_members;
    XmlChildValues children(pending_members);
    if (auto read = XmlElementReader(cursor, element, &children).read(0); !read) return forward_error(read);
    if (auto skipped = skip_xml_markup(cursor); !skipped) return forward_error(skipped);
    if (!cursor.at_end()) return fail("trailing content after the root element");
    std::string name(element.name);
    return XmlDocumentElement{std::move(name), xml_element_to_value(std::move(element), std::move(children))};
}

}  // namespace bezo
