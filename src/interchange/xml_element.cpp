#include "interchange/xml_element.hpp"

#include "interchange/base64url.hpp"
#include "interchange/xml_text.hpp"

namespace bezo {
namespace {

// Appends one member per distinct child name, in order of first
// occurrence: the child's value, or an array of the values of all children
// of that name when it occurs more than once. Each child is released once
// its value is built, so the elements and the values of a large document
// are not held whole at once.
Result<void> append_child_members(std::vector<XmlElement>& children, ValueObject& members) {
    // First the group of every child, so that each value is built once and
    // moved straight to its place.
    XmlNameIndex names;
    std::vector<std::size_t> group_of;
    std::vector<std::size_t> group_sizes;
    group_of.reserve(children.size());
    for (const XmlElement& child : children) {
        auto known = names.find_or_add(child.name);
        if (!known) group_sizes.push_back(0);
        group_of.push_back(known ? *known : group_sizes.size() - 1);
        ++group_sizes[group_of.back()];
    }
    // Then the members: a repeated name gets its array once all its values
    // are gathered.
    const std::size_t first_member = members.size();
    std::vector<ValueArray> repeated(group_sizes.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        const std::string_view name = children[i].name;
        auto value = xml_element_to_value(std::move(children[i]));
        if (!value) return forward_error(value);
        children[i] = XmlElement{};
        const std::size_t group = group_of[i];
        const bool first = group == members.size() - first_member;
        if (group_sizes[group] == 1) {
            members.push_back(ValueMember{std::string(name), std::move(*value)});
            continue;
        }
        if (first) {
            members.push_back(ValueMember{std::string(name), Value::null()});
            repeated[group].reserve(group_sizes[group]);
        }
        repeated[group].push_back(std::move(*value));
    }
    for (std::size_t group = 0; group < group_sizes.size(); ++group) {
        if (group_sizes[group] > 1) members[first_member + group].value = Value::array(std::move(repeated[group]));
    }
    return {};
}

}  // namespace

Result<Value> xml_element_to_value(XmlElement&& element) {
    if (element.mixed) return Value::typed("std/enc", "xml", base64url_encode(element.source));
    std::string_view text = trim_unicode_white_space(element.text);
    if (element.attributes.empty() && element.children.empty()) {
        if (text.empty()) return Value::null();
        return Value::string(std::string(text));
    }
    ValueObject members;
    members.reserve(element.attributes.size() + 1 + element.children.size());
    for (XmlAttribute& attribute : element.attributes) {
        members.push_back(ValueMember{"@" + std::string(attribute.name), Value::string(std::move(attribute.value))});
    }
    if (!text.empty()) members.push_back(ValueMember{"#text", Value::string(std::string(text))});
    if (auto added = append_child_members(element.children, members); !added) return forward_error(added);
    return Value::object(std::move(members));
}

}  // namespace bezo
