// Canonical documents as indented XML: members whose keys begin with "@"
// become attributes, "#text" character data, arrays repeated elements, and
// std/enc xml payloads are read again and copied as written.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/value.hpp"

namespace bezo {

// A canonical document as an XML document: a declaration line, then the
// root's only member as the document element, or the whole root as an
// element named "root".
[[nodiscard]] Result<std::string> export_xml(std::string_view canonical_text);
[[nodiscard]] Result<std::string> xml_export_root(const CanonicalValue& tree);

// Appends one element, indented two spaces per level of `depth`, with its
// content, each line ending in a line feed.
[[nodiscard]] Result<void> write_xml_element(std::string& out, std::string_view name, const Value& value,
                                             unsigned depth);

// Escapes "&", "<", ">" and CR, and in attribute mode also the double quote,
// TAB and LF; characters that XML cannot carry are refused.
[[nodiscard]] Result<std::string> escape_xml_text(std::string_view text, bool attribute_mode);

// Whether the text is an XML 1.0 Name (NameStartChar, then NameChar).
bool is_xml_name(std::string_view text);

}  // namespace bezo
