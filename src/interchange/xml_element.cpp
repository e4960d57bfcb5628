#include "interchange/xml_element.hpp"

#include "interchange/base64url.hpp"
#include "interchange/xml_text.hpp"

namespace bezo {
namespace {

// The children of one element gathered by name: each group becomes one
// member, an array when its name occurs more than once.
class ChildGroups {
public:
    Result<void> add_all(const std::vector<XmlElement>& children) {
        values_.reserve(children.size());
        group_of_.reserve(children.size());
        for (const XmlElement& child : children) {
            auto value = xml_element_to_value(child);
            if (!value) return forward_error(value);
            values_.push_back(std::move(*value));
            auto known = names_.find_or_add(child.name);
            if (known) {
                ++sizes_[*known];
            } else {
                first_child_.push_back(group_of_.size());
                sizes_.push_back(1);
            }
            group_of_.push_back(known ? *known : sizes_.size() - 1);
        }
        return {};
    }

    // Appends one member per group, in order of first occurrence.
    void move_into(const std::vector<XmlElement>& children, ValueObject& members) {
        std::vector<ValueArray> repeated(sizes_.size());
        for (std::size_t child = 0; child < values_.size(); ++child) {
            std::size_t group = group_of_[child];
            if (sizes_[group] == 1) continue;
            if (repeated[group].empty()) repeated[group].reserve(sizes_[group]);
            repeated[group].push_back(std::move(values_[child]));
        }
        for (std::size_t group = 0; group < sizes_.size(); ++group) {
            std::size_t first = first_child_[group];
            Value value = sizes_[group] == 1 ? std::move(values_[first]) : Value::array(std::move(repeated[group]));
            members.push_back(ValueMember{std::string(children[first].name), std::move(value)});
        }
    }

private:
    XmlNameIndex names_;
    std::vector<Value> values_;             // one per child, in source order
    std::vector<std::size_t> group_of_;     // the group of each child
    std::vector<std::size_t> first_child_;  // the first child of each group
    std::vector<std::size_t> sizes_;        // the number of children in each group
};

}  // namespace

Result<Value> xml_element_to_value(const XmlElement& element) {
    if (element.mixed) return Value::typed("std/enc", "xml", base64url_encode(element.source));
    std::string_view text = trim_unicode_white_space(element.text);
    if (element.attributes.empty() && element.children.empty()) {
        if (text.empty()) return Value::null();
        return Value::string(std::string(text));
    }
    ChildGroups groups;
    if (auto added = groups.add_all(element.children); !added) return forward_error(added);
    ValueObject members;
    members.reserve(element.attributes.size() + 1 + element.children.size());
    for (const XmlAttribute& attribute : element.attributes) {
        members.push_back(ValueMember{"@" + std::string(attribute.name), Value::string(attribute.value)});
    }
    if (!text.empty()) members.push_back(ValueMember{"#text", Value::string(std::string(text))});
    groups.move_into(element.children, members);
    return Value::object(std::move(members));
}

}  // namespace bezo
