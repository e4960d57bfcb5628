#include "interchange/xml_export.hpp"

#include "interchange/canonical_reader.hpp"
#include "interchange/xml_writer.hpp"

namespace bezo {

Result<std::string> export_xml(std::string_view canonical_text) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    // Elements spell their names twice and their depth in blanks where
    // canonical lines spell the whole path and the type: documents come out
    // at about the size of their text, rarely much more.
    return write_xml_document(*tree, canonical_text.size() + canonical_text.size() / 8 + 64);
}

}  // namespace bezo
