#include "interchange/xml_export.hpp"

#include "interchange/canonical_reader.hpp"
#include "interchange/xml_writer.hpp"

namespace bezo {

Result<std::string> export_xml(std::string_view canonical_text) {
    auto tree = canonical_to_tree(canonical_text);
    if (!tree) return forward_error(tree);
    return write_xml_document(*tree);
}

}  // namespace bezo
