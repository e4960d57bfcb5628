#include "interchange/json_import.hpp"

#include "core/utf8.hpp"
#include "interchange/authored_writer.hpp"
#include "interchange/json_reader.hpp"

namespace bezo {

Result<std::string> import_json(std::string_view text, bool embed_containers) {
    if (!is_valid_utf8(text)) return std::unexpected(Error::Other("input is not valid UTF-8"));
    auto document = parse_json_document(text);
    if (!document) return forward_error(document);
    const auto* members = document->get_if<ValueObject>();
    if (!members) return std::unexpected(Error::Other("root must be a JSON object"));
    return tree_to_authored(*members, embed_containers);
}

Result<std::string> import_json_entry(std::string_view text) { return import_json(text, false); }

}  // namespace bezo
