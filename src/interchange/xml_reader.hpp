// A small non-validating XML reader of our own: elements, attributes,
// comments, processing instructions and CDATA sections, the five predefined
// entities and character references. It refuses document type declarations
// and encodings other than UTF-8, so no entity beyond those is ever
// expanded and nothing is fetched. Prefixed names are ordinary names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "interchange/value.hpp"
#include "interchange/xml_element.hpp"
#include "interchange/xml_text.hpp"

namespace bezo {

// A position in an XML document; messages count bytes from the start of
// `text`, which begins behind a byte-order mark.
struct XmlCursor {
    std::string_view text;
    std::size_t pos = 0;

    std::string_view rest() const { return text.substr(pos); }
    bool at_end() const { return pos >= text.size(); }
    bool at_open() const { return pos < text.size() && text[pos] == '<'; }
    void skip_white_space() {
        while (pos < text.size() && is_xml_space(text[pos])) ++pos;
    }
};

// Elements may nest this many levels below the document element.
inline constexpr unsigned kMaxXmlDepth = 512;

// The document element's name and its value.
struct XmlDocumentElement {
    std::string name;
    Value value;
};

// Reads a whole document: an optional byte-order mark and declaration,
// comments and processing instructions around exactly one element. The text
// must be valid UTF-8.
Result<XmlDocumentElement> parse_xml_document(std::string_view text);

// Reads the element at the cursor, at `depth` below the document element,
// and leaves the cursor just behind it. Its children are checked and
// counted, not kept.
Result<XmlElement> parse_xml_element(XmlCursor& cursor, unsigned depth);

// Decodes references and line ends of raw character data (TAB and LF kept,
// every line end one LF) or of a raw attribute value (TAB and every line end
// one space), refusing characters that XML does not allow.
Result<std::string> decode_xml_reference(std::string_view raw, bool attribute_mode);

// Reads a name: an ASCII letter, "_", ":" or any character above U+007F,
// then also ASCII digits, "-" and ".".
Result<std::string_view> parse_xml_name(XmlCursor& cursor);

// The text up to the first `terminator`, leaving the cursor behind it.
Result<std::string_view> expect_terminator(XmlCursor& cursor, std::string_view terminator);

// Moves past `token`, which must stand at the cursor.
Result<void> expect_xml_token(XmlCursor& cursor, std::string_view token);

// Skips white space, comments and processing instructions.
Result<void> skip_xml_markup(XmlCursor& cursor);

}  // namespace bezo
