#include "interchange/xml_element.hpp"

#include "interchange/base64url.hpp"

namespace bezo {

void XmlChildValues::add(std::string_view name, Value value) {
    const auto known = names_.find_or_add(name);
    if (!known) {
        members_.push_back(ValueMember{std::string(name), std::move(value)});
        repeated_.push_back(false);
        return;
    }
    Value& held = members_[*known].value;
    if (!repeated_[*known]) {
        ValueArray items;
        items.push_back(std::move(held));
        held = Value::array(std::move(items));
        repeated_[*known] = true;
    }
    held.get_if<ValueArray>()->push_back(std::move(value));
}

namespace {

// The text without its leading and trailing white space, taken out of
// `text` rather than copied.
std::string take_trimmed(std::string& text) {
    const std::string_view trimmed = trim_unicode_white_space(text);
    if (trimmed.empty()) return {};
    const auto start = static_cast<std::size_t>(trimmed.data() - text.data());
    text.resize(start + trimmed.size());
    text.erase(0, start);
    return std::move(text);
}

}  // namespace

Value xml_element_to_value(XmlElement&& element, XmlChildValues&& children) {
    if (element.mixed) return Value::typed("std/enc", "xml", base64url_encode(element.source));
    std::string text = take_trimmed(element.text);
    if (element.attributes.empty() && element.child_count == 0) {
        if (text.empty()) return Value::null();
        return Value::string(std::move(text));
    }
    ValueObject child_members = children.take_members();
    // A list of the exact size, even for child elements alone: the
    // children's list grew by doubling, and the tree keeps it to the end.
    ValueObject members;
    members.reserve(element.attributes.size() + 1 + child_members.size());
    for (XmlAttribute& attribute : element.attributes) {
        members.push_back(ValueMember{"@" + std::string(attribute.name), Value::string(std::move(attribute.value))});
    }
    if (!text.empty()) members.push_back(ValueMember{"#text", Value::string(std::move(text))});
    for (ValueMember& member : child_members) members.push_back(std::move(member));
    return Value::object(std::move(members));
}

}  // namespace bezo
