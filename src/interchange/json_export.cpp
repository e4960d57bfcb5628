#include "interchange/json_export.hpp"

#include "interchange/canonical_reader.hpp"
#include "interchange/json_writer.hpp"

namespace bezo {

Result<std::string> export_json(std::string_view canonical_text) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    std::string out;
    out.reserve(canonical_text.size() + 2);
    write_canonical_json(*tree, out);
    out += '\n';
    return out;
}

}  // namespace bezo
