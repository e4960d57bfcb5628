#include "interchange/xml_import.hpp"

#include "core/utf8.hpp"
#include "core/xml_mark.hpp"
#include "interchange/authored_writer.hpp"
#include "interchange/xml_reader.hpp"

namespace bezo {

Result<std::string> import_xml(std::string_view text) {
    if (!is_valid_utf8(text)) return fail("input is not valid UTF-8");
    auto document = parse_xml_document(text);
    if (!document) return forward_error(document);
    ValueObject root;
    root.push_back(ValueMember{std::move(document->name), std::move(document->value)});
    auto authored = tree_to_authored(root, false);
    if (!authored) return authored;
    // After the declaration line, before any ".!types" line.
    authored->insert(authored->find('\n') + 1, std::string(kXmlShapeMark) + "\n");
    return authored;
}

}  // namespace bezo
