#include "interchange/canonical_to_value.hpp"

#include "interchange/json_reader.hpp"

namespace bezo {

Result<Value> tree_to_value(const CanonicalValue& value) {
    if (const auto* json = value.get_if<CanonicalJson>()) return parse_json_document(json->text);
    if (const auto* leaf = value.get_if<CanonicalLeaf>()) {
        return Value::typed(leaf->library, leaf->type_name, leaf->literal);
    }
    if (const auto* items = value.get_if<CanonicalArray>()) {
        ValueArray converted;
        converted.reserve(items->size());
        for (const CanonicalValue& item : *items) {
            auto element = tree_to_value(item);
            if (!element) return element;
            converted.push_back(std::move(*element));
        }
        return Value::array(std::move(converted));
    }
    const auto& ns = std::get<CanonicalNamespace>(value.data);
    ValueObject members;
    members.reserve(ns.members().size());
    for (const CanonicalMember& member : ns.members()) {
        auto converted = tree_to_value(member.value);
        if (!converted) return converted;
        members.push_back(ValueMember{member.key, std::move(*converted)});
    }
    return Value::object(std::move(members));
}

}  // namespace bezo
