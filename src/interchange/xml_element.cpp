#include "interchange/xml_element.hpp"

#include <iterator>

#include "interchange/base64url.hpp"

namespace bezo {

void XmlChildValues::add(std::string_view name, Value value) {
    const auto known = names_.find_or_add(name);
    if (!known) {
        stack_.push_back(ValueMember{std::string(name), std::move(value)});
        return;
    }
    Value& held = stack_[base_ + *known].value;
    if (!held.is<ValueArray>()) {
        ValueArray items;
        items.push_back(std::move(held));
        held = Value::array(std::move(items));
    }
    held.get_if<ValueArray>()->push_back(std::move(value));
}

void XmlChildValues::move_members_to(ValueObject& out) {
    const auto first = stack_.begin() + static_cast<std::ptrdiff_t>(base_);
    out.insert(out.end(), std::make_move_iterator(first), std::make_move_iterator(stack_.end()));
    drop_members();
}

void XmlChildValues::drop_members() { stack_.resize(base_); }

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
    if (element.mixed) {
        children.drop_members();
        return Value::typed("std/enc", "xml", base64url_encode(element.source));
    }
    std::string text = take_trimmed(element.text);
    if (element.attributes.empty() && element.child_count == 0) {
        if (text.empty()) return Value::null();
        return Value::string(std::move(text));
    }
    ValueObject members;
    members.reserve(element.attributes.size() + (text.empty() ? 0 : 1) + children.size());
    for (XmlAttribute& attribute : element.attributes) {
        members.push_back(ValueMember{"@" + std::string(attribute.name), Value::string(std::move(attribute.value))});
    }
    if (!text.empty()) members.push_back(ValueMember{"#text", Value::string(std::move(text))});
    children.move_members_to(members);
    return Value::object(std::move(members));
}

}  // namespace bezo
