#include "interchange/xml_import.hpp"

#include "core/utf8.hpp"
#include "core/xml_mark.hpp"
#include "interchange/authored_writer.hpp"
#include "interchange/xml_reader.hpp"

namespace bezo {

Result<std::string> import_xml(std::string_view text, Utf8State state) {
    if (state == Utf8State::Unchecked && !is_valid_utf8(text)) return fail("input is not valid UTF-8");
    auto document = parse_xml_document(text);
    if (!document) return forward_error(document);
    ValueObject root;
    root.push_back(ValueMember{std::move(document->name), std::move(document->value)});
    return tree_to_authored(root, false, text.size(), kXmlShapeMark);
}

Result<std::string> import_xml(std::string_view text) { return import_xml(text, Utf8State::Unchecked); }

}  // namespace bezo
