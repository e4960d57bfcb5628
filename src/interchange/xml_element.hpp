// An XML element as the reader builds it, and its shape as an interchange
// value: "@" plus the name for each attribute, "#text" for character data,
// repeated child names gathered into an array, and an element with mixed
// content kept whole as a std/enc xml payload of its source text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/value.hpp"

namespace bezo {

struct XmlAttribute {
    std::string_view name;  // as written, prefix included
    std::string value;      // decoded, line ends and tabs turned into spaces
};

// The views borrow the document text, which must outlive the element.
struct XmlElement {
    std::vector<XmlAttribute> attributes;  // in source order, names unique
    std::vector<XmlElement> children;      // child elements in source order
    // The element's own character data, decoded, and its CDATA sections as
    // written, in source order; the text of children is not included.
    std::string text;
    std::string_view name;    // the tag name as written
    std::string_view source;  // from the "<" of the start tag to the final ">"
    // At least one child element and a character of text that is not
    // Unicode white space.
    bool mixed = false;
};

// The element's value: a typed std/enc xml payload when mixed, null or the
// trimmed text when it has neither attributes nor children, else an object
// of attributes, "#text" and children grouped by name in order of first
// occurrence. The element is taken apart as its value is built.
Result<Value> xml_element_to_value(XmlElement&& element);

}  // namespace bezo
