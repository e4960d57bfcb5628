#include "interchange/canonical_to_value.hpp"

#include "interchange/canonical_reader.hpp"
#include "interchange/json_reader.hpp"

namespace bezo {
namespace {

Result<Value> node_value(const CanonicalTree& tree, const CanonicalNode& node);

// The converted children of a namespace or an array, each made an element
// of the list by `element`.
template <class List, class Element>
Result<List> converted_children(const CanonicalTree& tree, const CanonicalNode& node, Element element) {
    List list;
    list.reserve(node.child_count);
    for (const CanonicalNode& child : tree.children(node)) {
        auto converted = node_value(tree, child);
        if (!converted) return forward_error(converted);
        list.push_back(element(child, std::move(*converted)));
    }
    return list;
}

Result<Value> node_value(const CanonicalTree& tree, const CanonicalNode& node) {
    switch (node.kind) {
        case CanonicalKind::Namespace: {
            auto members = converted_children<ValueObject>(tree, node, [](const CanonicalNode& member, Value value) {
                return ValueMember{std::string(member.key()), std::move(value)};
            });
            if (!members) return forward_error(members);
            return Value::object(std::move(*members));
        }
        case CanonicalKind::Array: {
            auto items =
                converted_children<ValueArray>(tree, node, [](const CanonicalNode&, Value value) { return value; });
            if (!items) return forward_error(items);
            return Value::array(std::move(*items));
        }
        case CanonicalKind::Leaf:
            return Value::typed(std::string(tree.library(node)), std::string(tree.type_name(node)),
                                std::string(node.text()));
        case CanonicalKind::Json: break;
    }
    switch (node.spelling) {
        case JsonSpelling::Number: return Value::number(std::string(node.text()));
        case JsonSpelling::Boolean: return Value::boolean(node.text() == "true");
        case JsonSpelling::Null: return Value::null();
        case JsonSpelling::String: return Value::string(std::string(node.text()));
        case JsonSpelling::TextLines: return Value::string(join_text_lines(node.text()));
        case JsonSpelling::Document: break;
    }
    return parse_json_document(node.text());
}

}  // namespace

Result<Value> tree_to_value(const CanonicalTree& tree) { return node_value(tree, tree.root()); }

}  // namespace bezo
