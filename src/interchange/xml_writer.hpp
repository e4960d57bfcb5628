// Canonical documents as indented XML: members whose keys begin with "@"
// become attributes, "#text" character data, arrays repeated elements, and
// std/enc xml payloads are read again and copied as written.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"

namespace bezo {

// A canonical document as an XML document: a declaration line, then the
// root's only member as the document element, or the whole root as an
// element named "root". The text is first given room for `size_hint` bytes.
Result<std::string> write_xml_document(const CanonicalTree& tree, std::size_t size_hint);

// Whether the text is an XML 1.0 Name (NameStartChar, then NameChar).
bool is_xml_name(std::string_view text);

}  // namespace bezo
