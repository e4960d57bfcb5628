#include "interchange/xml_export.hpp"

#include "interchange/canonical_reader.hpp"
#include "interchange/xml_writer.hpp"

namespace bezo {

Result<std::string> export_xml(std::string_view canonical_text) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    // Elements spell their names twice and their depth in blanks where
    // canonical lines spell the whole path and the type: documents come out
    // at about the size of their text, rarely much more, but for the
    // references of markup bytes ("&amp;" for "&"), which make prose with a
    // few of them about a seventh longer. The room for a quarter more spares
    // such text a copy at a doubling of the buffer; pages of the reserve
    // that are not written are never touched.
    const std::size_t size = canonical_text.size();
    return write_xml_document(*tree, size + size / 4 + 64);
}

}  // namespace bezo
