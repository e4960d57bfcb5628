#include "schema_import/xsd_context.hpp"

namespace bezo {
namespace {

std::uint64_t reading_weight(const Value& value) {
    std::uint64_t weight = 1;
    if (const auto* text = value.get_if<StringValue>()) {
        weight += text->text.size();
    } else if (const auto* items = value.get_if<ValueArray>()) {
        for (const Value& item : *items) weight += reading_weight(item);
    } else if (const auto* members = value.get_if<ValueObject>()) {
        for (const auto& member : *members) weight += reading_weight(member.value);
    }
    return weight;
}

}  // namespace

XsdContext::XsdContext(std::string_view prefix, const Value& schema)
    : prefix_(prefix),
      schema_(schema),
      complex_types_(index_named("complexType")),
      simple_types_(index_named("simpleType")) {}

bool XsdContext::is_vocabulary_name(std::string_view key, std::string_view local) const {
    if (prefix_.empty()) return key == local;
    return key.size() == prefix_.size() + 1 + local.size() && key.starts_with(prefix_) && key[prefix_.size()] == ':' &&
           key.ends_with(local);
}

std::span<const Value> XsdContext::children(const Value& element, std::string_view local) const {
    const auto* members = element.get_if<ValueObject>();
    if (!members) return {};
    for (const auto& member : *members) {
        if (!is_vocabulary_name(member.key, local)) continue;
        if (const auto* items = member.value.get_if<ValueArray>()) return *items;
        return {&member.value, 1};
    }
    return {};
}

XsdContext::TypeIndex XsdContext::index_named(std::string_view local) const {
    TypeIndex index;
    const auto types = children(schema_, local);
    index.reserve(types.size());
    for (const Value& type : types) {
        const auto name = find_attribute(type, "name");
        if (!name) continue;
        if (const auto [entry, added] = index.try_emplace(*name, NamedType{&type, 0}); added) {
            entry->second.reading_weight = reading_weight(type);
        }
    }
    return index;
}

Result<const Value*> XsdContext::use_named_type(const TypeIndex& index, std::string_view name) {
    const auto found = index.find(name);
    if (found == index.end()) return nullptr;
    if (auto read = budget_.charge_reading(found->second.reading_weight); !read) return forward_error(read);
    return found->second.type;
}

Result<const Value*> XsdContext::named_complex_type(std::string_view name) {
    return use_named_type(complex_types_, name);
}

Result<const Value*> XsdContext::named_simple_type(std::string_view name) {
    return use_named_type(simple_types_, name);
}

void XsdContext::note(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const auto part : parts) text += part;
    xsd_note_dropped(body, text);
}

Result<void> XsdContext::charge_step() {
    if (auto counted = budget_.charge_step(); !counted) return forward_error(counted);
    return charge_output();
}

std::optional<std::string_view> find_attribute(const Value& element, std::string_view name) {
    const auto* members = element.get_if<ValueObject>();
    if (!members) return std::nullopt;
    for (const auto& member : *members) {
        // Attributes come first, before "#text" and the children.
        const std::string_view key = member.key;
        if (!key.starts_with('@')) break;
        if (key.size() != name.size() + 1 || key.substr(1) != name) continue;
        const auto* text = member.value.get_if<StringValue>();
        if (!text) return std::nullopt;
        return text->text;
    }
    return std::nullopt;
}

std::string_view xsd_local_name(std::string_view name) {
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view path_or_root(std::string_view path) { return path.empty() ? std::string_view("root") : path; }

std::string xsd_location(std::string_view path, std::string_view name) {
    std::string location(path_or_root(path));
    location += '/';
    location += name;
    return location;
}

}  // namespace bezo
