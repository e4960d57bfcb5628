#include "interchange/canonical_to_value.hpp"

#include "interchange/canonical_reader.hpp"
#include "interchange/json_reader.hpp"

namespace bezo {
namespace {

[[nodiscard]] Result<Value> node_value(const CanonicalTree& tree, const CanonicalNode& node) {
    switch (node.kind) {
        case CanonicalKind::Namespace: {
            ValueObject members;
            members.reserve(node.child_count);
            for (const CanonicalNode& member : tree.children(node)) {
                auto converted = node_value(tree, member);
                if (!converted) return converted;
                members.push_back(ValueMember{std::string(member.key), std::move(*converted)});
            }
            return Value::object(std::move(members));
        }
        case CanonicalKind::Array: {
            ValueArray items;
            items.reserve(node.child_count);
            for (const CanonicalNode& item : tree.children(node)) {
                auto converted = node_value(tree, item);
                if (!converted) return converted;
                items.push_back(std::move(*converted));
            }
            return Value::array(std::move(items));
        }
        case CanonicalKind::Leaf:
            return Value::typed(std::string(node.library()), std::string(node.type_name()), std::string(node.text));
        case CanonicalKind::Json: break;
    }
    switch (node.spelling) {
        case JsonSpelling::String: return Value::string(std::string(node.text));
        case JsonSpelling::TextLines: return Value::string(join_text_lines(node.text));
        case JsonSpelling::Verbatim: break;
    }
    return parse_json_document(node.text);
}

}  // namespace

Result<Value> tree_to_value(const CanonicalTree& tree) { return node_value(tree, tree.root()); }

}  // namespace bezo
