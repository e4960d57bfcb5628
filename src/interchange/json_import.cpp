#include "interchange/json_import.hpp"

#include "core/utf8.hpp"
#include "interchange/authored_writer.hpp"
#include "interchange/json_reader.hpp"

namespace bezo {
namespace {

Result<JsonTree> read_import_tree(std::string_view text, Utf8State state) {
    if (state == Utf8State::Unchecked && !is_valid_utf8(text)) return fail("input is not valid UTF-8");
    auto tree = parse_json_tree(text);
    if (!tree) return tree;
    if (tree->root().kind() != JsonKind::Object) return fail("root must be a JSON object");
    return tree;
}

}  // namespace

Result<std::string> import_json(std::string_view text, bool embed_containers, Utf8State state) {
    auto tree = read_import_tree(text, state);
    if (!tree) return forward_error(tree);
    return json_tree_to_authored(tree->root(), embed_containers, text.size());
}

Result<std::string> import_json_entry(std::string_view text, Utf8State state) {
    return import_json(text, false, state);
}

Result<std::string> import_json_entry(std::string_view text) { return import_json_entry(text, Utf8State::Unchecked); }

}  // namespace bezo
