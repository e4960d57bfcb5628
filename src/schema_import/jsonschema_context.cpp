#include "schema_import/jsonschema_context.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "core/text.hpp"

namespace bezo {
namespace {

Error failure(std::string_view message, std::string_view reference = {}) {
    return Error::Other(std::string(message) + quoted_excerpt(reference));
}

// The definition name of a local reference, or none for any other reference.
std::optional<std::string_view> local_definition_name(std::string_view reference) {
    for (const std::string_view prefix : {"#/$defs/", "#/definitions/"}) {
        if (reference.starts_with(prefix)) return reference.substr(prefix.size());
    }
    return std::nullopt;
}

// The text bytes of a string or number: what reading it may cost.
std::uint64_t text_weight(const Value& value) {
    if (const auto* string = value.get_if<StringValue>()) return string->text.size();
    if (const auto* number = value.get_if<NumberValue>()) return number->text.size();
    return 0;
}

// What converting a schema object may read: its members, and the elements
// and text bytes of their values. Objects below it are charged when they are
// resolved or walked themselves.
std::uint64_t reading_weight(const Value& schema) {
    const auto* members = schema.get_if<ValueObject>();
    if (!members) return 1;
    std::uint64_t weight = 1;
    for (const auto& member : *members) {
        weight += 1 + text_weight(member.value);
        if (const auto* elements = member.value.get_if<ValueArray>()) {
            for (const auto& element : *elements) weight += 1 + text_weight(element);
        }
    }
    return weight;
}

}  // namespace

JsonSchemaContext::JsonSchemaContext(const Value& root) {
    definitions_ = find_member(root, "$defs");
    if (!definitions_) definitions_ = find_member(root, "definitions");
    if (const auto* members = definitions_ ? definitions_->get_if<ValueObject>() : nullptr) {
        definition_index_.reserve(members->size());
        for (const auto& member : *members) definition_index_.emplace(member.key, &member.value);
    }
}

Result<void> JsonSchemaContext::charge_property(std::string_view name) {
    if (auto counted = budget_.charge_step(); !counted) return forward_error(counted);
    if (auto read = budget_.charge_reading(name.size()); !read) return forward_error(read);
    return charge_output();
}

Result<const Value*> JsonSchemaContext::definition(std::string_view name, std::string_view reference) const {
    if (!definitions_) return std::unexpected(failure("$ref to missing definitions: ", reference));
    if (!definitions_->is<ValueObject>()) return std::unexpected(failure("$defs must be an object"));
    const auto found = definition_index_.find(name);
    if (found == definition_index_.end()) return std::unexpected(failure("unresolved $ref: ", reference));
    return found->second;
}

Result<const Value*> resolve_local_ref(JsonSchemaContext& context, const Value& schema) {
    const Value* current = &schema;
    for (unsigned followed = 0;; ++followed) {
        if (followed > kMaxJsonSchemaDepth) return std::unexpected(failure("$ref chain too deep (cycle?)"));
        if (auto read = context.charge_reading(reading_weight(*current)); !read) return forward_error(read);
        const std::string* reference = find_string_member(*current, "$ref");
        if (!reference) return current;
        const auto name = local_definition_name(*reference);
        if (!name) return std::unexpected(failure("unsupported $ref (local #/$defs only): ", *reference));
        auto target = context.definition(*name, *reference);
        if (!target) return forward_error(target);
        current = *target;
    }
}

const Value* find_member(const Value& object, std::string_view key) {
    const auto* members = object.get_if<ValueObject>();
    if (!members) return nullptr;
    for (const auto& member : *members) {
        if (member.key == key) return &member.value;
    }
    return nullptr;
}

const std::string* find_string_member(const Value& object, std::string_view key) {
    const Value* value = find_member(object, key);
    const auto* text = value ? value->get_if<StringValue>() : nullptr;
    return text ? &text->text : nullptr;
}

std::optional<std::uint64_t> find_count_member(const Value& object, std::string_view key) {
    const Value* value = find_member(object, key);
    const auto* number = value ? value->get_if<NumberValue>() : nullptr;
    if (!number) return std::nullopt;
    return parse_ascii_unsigned(number->text);
}

std::vector<std::string_view> schema_type_list(const Value& schema) {
    std::vector<std::string_view> words;
    const Value* type = find_member(schema, "type");
    if (!type) return words;
    if (const auto* word = type->get_if<StringValue>()) {
        words.push_back(word->text);
    } else if (const auto* items = type->get_if<ValueArray>()) {
        for (const auto& item : *items) {
            if (const auto* word = item.get_if<StringValue>()) words.push_back(word->text);
        }
    }
    return words;
}

std::optional<std::string_view> jsonschema_type_keyword(std::string_view word) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kKeywords{{
        {"null", "null"},
        {"integer", "int"},
        {"boolean", "bool"},
        {"string", "str"},
        {"number", "float"},
    }};
    for (const auto& [json_word, schema_word] : kKeywords) {
        if (json_word == word) return schema_word;
    }
    return std::nullopt;
}

RequiredNames::RequiredNames(const Value& schema) {
    const Value* required = find_member(schema, "required");
    names_ = required ? required->get_if<ValueArray>() : nullptr;
    if (!names_ || names_->size() <= kScanLimit) return;
    next_ = names_->begin();
    index_.reserve(names_->size());
    for (const auto& item : *names_) {
        if (const auto* name = item.get_if<StringValue>()) index_.insert(name->text);
    }
}

bool RequiredNames::contains(std::string_view name) {
    if (!names_) return false;
    if (names_->size() > kScanLimit) {
        if (next_ != names_->end()) {
            const auto* listed = next_->get_if<StringValue>();
            if (listed && listed->text == name) {
                ++next_;
                return true;
            }
        }
        return index_.contains(name);
    }
    return std::ranges::any_of(*names_, [name](const Value& item) {
        const auto* listed = item.get_if<StringValue>();
        return listed && listed->text == name;
    });
}

}  // namespace bezo
