#include "avro/avsc_model.hpp"

#include <algorithm>

#include "core/text.hpp"
#include "schema_import/jsonschema_context.hpp"

namespace bezo {
namespace {

// The namespace of a full name: what precedes its last dot ("" for none).
std::string_view namespace_of(std::string_view full_name) {
    const std::size_t dot = full_name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : full_name.substr(0, dot);
}

// The full name of the named type `name` declared by `object` inside the
// namespace `enclosing`: a dotted name is full already; else the type's own
// "namespace" ("" meaning none), else the enclosing one.
std::string declared_full_name(std::string_view name, const Value& object, std::string_view enclosing) {
    if (name.find('.') != std::string_view::npos) return std::string(name);
    const std::string* space = find_string_member(object, "namespace");
    return join_dotted_name(space ? std::string_view(*space) : enclosing, name);
}

Result<std::string_view> named_schema_name(const Value& object) {
    const std::string* name = find_string_member(object, "name");
    if (!name) return fail("named schema without a name");
    return *name;
}

// A JSON number that is an unsigned integer of 64 bits, optionally after
// "+"; none for any other number.
std::optional<std::uint64_t> unsigned_number(const NumberValue& number) {
    std::string_view text = number.text;
    if (text.starts_with('+')) text.remove_prefix(1);
    return parse_ascii_unsigned(text);
}

Result<std::uint64_t> decimal_scale(const Value& object) {
    const Value* scale = find_member(object, "scale");
    if (!scale) return 0;
    const auto* number = scale->get_if<NumberValue>();
    if (!number) return fail("bad decimal scale");
    const auto digits = unsigned_number(*number);
    if (!digits) return fail("bad decimal scale: " + quoted_excerpt(number->text));
    return *digits;
}

// The nodes, fields and symbols of a schema, and the bytes of its names and
// symbols: what a copy of it creates.
void measure(const AvroSchema& schema, std::uint64_t& steps, std::size_t& bytes) {
    ++steps;
    if (const auto* array = schema.get_if<AvroArray>()) {
        measure(*array->items, steps, bytes);
    } else if (const auto* map = schema.get_if<AvroMap>()) {
        measure(*map->values, steps, bytes);
    } else if (const auto* enumeration = schema.get_if<AvroEnum>()) {
        steps += enumeration->symbols.size();
        for (const std::string& symbol : enumeration->symbols) bytes += symbol.size();
    } else if (const auto* record = schema.get_if<AvroRecord>()) {
        steps += record->fields.size();
        bytes += record->name.size();
        for (const AvroField& field : record->fields) {
            bytes += field.name.size();
            measure(field.schema, steps, bytes);
        }
    } else if (const auto* united = schema.get_if<AvroUnion>()) {
        for (const AvroSchema& branch : united->branches) measure(branch, steps, bytes);
    }
}

// Symbols are Avro names, each once: they are written between the braces of
// a set constraint, where a line break, comma or brace would change it.
Result<AvroSchema> convert_enum(const Value& object) {
    const Value* listed = find_member(object, "symbols");
    const auto* symbols = listed ? listed->get_if<ValueArray>() : nullptr;
    if (!symbols) return fail("enum schema without symbols");
    AvroEnum enumeration;
    TextSet seen;
    for (const Value& symbol : *symbols) {
        const auto* text = symbol.get_if<StringValue>();
        if (!text) return fail("enum symbol is not a string");
        if (!is_plain_identifier(text->text))
            return fail("invalid Avro enum symbol: " + quoted_excerpt(name_debug_form(text->text)));
        if (!seen.insert(text->text).second)
            return fail("duplicate Avro enum symbol: " + quoted_excerpt(name_debug_form(text->text)));
        enumeration.symbols.push_back(text->text);
    }
    return AvroSchema{std::move(enumeration)};
}

Result<AvroSchema> convert_fixed(const Value& object, const std::string* logical_type) {
    const Value* size_member = find_member(object, "size");
    const auto* size_number = size_member ? size_member->get_if<NumberValue>() : nullptr;
    if (!size_number) return fail("fixed schema without size");
    const auto size = unsigned_number(*size_number);
    if (!size) return fail("bad fixed size: " + quoted_excerpt(size_number->text));
    if (!logical_type || *logical_type != "decimal") return AvroSchema{AvroFixed{*size}};
    auto scale = decimal_scale(object);
    if (!scale) return forward_error(scale);
    return AvroSchema{AvroDecimal{*size, *scale, 0, false}};
}

class AvscConverter {
public:
    explicit AvscConverter(AvscRegistry& registry) : registry_(registry) {}

    Result<AvroSchema> convert(const Value& value) {
        if (const auto* text = value.get_if<StringValue>()) return convert_name(text->text);
        if (const auto* branches = value.get_if<ValueArray>()) return convert_union(*branches);
        const Value* schema = &value;
        while (schema->is<ValueObject>()) {
            const Value* type = find_member(*schema, "type");
            if (!type) return fail("schema object without a type");
            if (const auto* word = type->get_if<StringValue>()) return convert_typed(*schema, word->text);
            if (const auto* branches = type->get_if<ValueArray>()) return convert_union(*branches);
            schema = type;
        }
        return fail("unsupported schema JSON shape");
    }

private:
    // A primitive name, or the name of a type completed before: a name
    // without a dot in the enclosing namespace, then the name as written
    // (a full name, or a name in no namespace), then, leniently, the first
    // type of that own name in any namespace.
    Result<AvroSchema> convert_name(std::string_view name) {
        if (auto primitive = avro_primitive(name)) return std::move(*primitive);
        struct Candidate {
            std::string name;
            bool by_short_name;
        };
        std::vector<Candidate> candidates;
        if (name.find('.') == std::string_view::npos && !space_.empty()) {
            candidates.push_back({join_dotted_name(space_, name), false});
        }
        candidates.push_back({std::string(name), false});
        candidates.push_back({std::string(name), true});
        for (const auto& [candidate, by_short_name] : candidates) {
            auto found = find_named(candidate, by_short_name);
            if (!found) return forward_error(found);
            if (*found) return std::move(**found);
        }
        return fail("unresolved (or recursive) type reference: " + quoted_excerpt(name));
    }

    // A copy of the type completed under `name` (its full name, or its own
    // name after the last dot), else a recursive reference to the record
    // of that name whose fields are being converted; none for neither.
    Result<std::optional<AvroSchema>> find_named(std::string_view name, bool by_short_name) {
        auto copy = by_short_name ? registry_.copy_of_short_name(name) : registry_.copy_of(name);
        if (!copy || *copy) return copy;
        const auto open = by_short_name ? std::ranges::find(open_records_, name, last_dotted_component)
                                        : std::ranges::find(open_records_, name);
        if (open == open_records_.end()) return std::nullopt;
        return AvroSchema{AvroRecursiveRef{*open}};
    }

    Result<AvroSchema> convert_union(const ValueArray& branches) {
        AvroUnion united;
        for (const Value& branch : branches) {
            auto converted = convert(branch);
            if (!converted) return forward_error(converted);
            united.branches.push_back(std::move(*converted));
        }
        return AvroSchema{std::move(united)};
    }

    // The schema of the child member `key` ("items" or "values"); fails
    // with `missing` when there is none.
    Result<AvroSchema> convert_member(const Value& object, std::string_view key, std::string_view missing) {
        const Value* child = find_member(object, key);
        if (!child) return fail(std::string(missing));
        return convert(*child);
    }

    Result<AvroSchema> convert_typed(const Value& object, std::string_view type) {
        const std::string* logical_type = find_string_member(object, "logicalType");
        if (logical_type && (type == "int" || type == "long")) {
            if (const auto kind = time_kind_of(type, *logical_type)) return AvroSchema{AvroTime{*kind}};
        }
        if (type == "bytes" && logical_type && *logical_type == "decimal") {
            auto scale = decimal_scale(object);
            if (!scale) return forward_error(scale);
            return AvroSchema{AvroDecimal{std::nullopt, *scale, 0, false}};
        }
        if (type == "array" || type == "map") {
            auto child = type == "array" ? convert_member(object, "items", "array schema without items")
                                         : convert_member(object, "values", "map schema without values");
            if (!child) return forward_error(child);
            return type == "array" ? avro_array_of(std::move(*child)) : avro_map_of(std::move(*child));
        }
        if (type == "enum" || type == "fixed" || type == "record" || type == "error") {
            return convert_named(object, type, logical_type);
        }
        return convert_name(type);
    }

    // An enum, fixed or record, registered under its full name once
    // complete. The types declared inside a record take its namespace.
    Result<AvroSchema> convert_named(const Value& object, std::string_view type, const std::string* logical_type) {
        const std::string* declared = find_string_member(object, "name");
        const std::string full_name = declared ? declared_full_name(*declared, object, space_) : std::string();
        std::string enclosing = std::move(space_);
        space_ = declared ? std::string(namespace_of(full_name)) : enclosing;
        const bool record = type == "record" || type == "error";
        if (record && declared) open_records_.push_back(full_name);
        auto named = type == "enum"    ? convert_enum(object)
                     : type == "fixed" ? convert_fixed(object, logical_type)
                                       : convert_record(object);
        if (record && declared) open_records_.pop_back();
        space_ = std::move(enclosing);
        if (!named) return named;
        if (auto name = named_schema_name(object); !name) return forward_error(name);
        if (auto added = registry_.add(full_name, *named); !added) return forward_error(added);
        return named;
    }

    Result<AvroSchema> convert_record(const Value& object) {
        const Value* listed = find_member(object, "fields");
        const auto* fields = listed ? listed->get_if<ValueArray>() : nullptr;
        if (!fields) return fail("record schema without fields");
        AvroRecord record;
        // Readers refuse a record that names a field twice, and the schema
        // written from it would hold the key twice.
        TextSet seen;
        for (const Value& field : *fields) {
            if (!field.is<ValueObject>()) return fail("record field is not an object");
            const Value* type = find_member(field, "type");
            const std::string* name = find_string_member(field, "name");
            if (!type || !name) return fail("record field without name/type");
            if (!seen.insert(*name).second)
                return fail("duplicate Avro field name: " + quoted_excerpt(name_debug_form(*name)));
            auto schema = convert(*type);
            if (!schema) return forward_error(schema);
            record.fields.push_back(AvroField{*name, std::move(*schema)});
        }
        auto name = named_schema_name(object);
        if (!name) return forward_error(name);
        record.name = *name;
        return AvroSchema{std::move(record)};
    }

    AvscRegistry& registry_;
    std::string space_;  // the enclosing namespace; "" for none
    // The full names of the records whose fields are being converted,
    // outermost first: a reference to one of them is recursive.
    std::vector<std::string> open_records_;
};

}  // namespace

Result<void> AvscRegistry::charge(std::uint64_t steps, std::size_t bytes) {
    for (std::uint64_t i = 0; i < steps; ++i) {
        if (auto charged = budget_.charge_step(); !charged) return charged;
    }
    copied_bytes_ += bytes;
    return budget_.charge_output(copied_bytes_);
}

Result<void> AvscRegistry::add(std::string_view full_name, const AvroSchema& schema) {
    const std::string_view short_name = last_dotted_component(full_name);
    const bool new_full = !full_names_.contains(full_name);
    const bool new_short = !short_names_.contains(short_name);
    if (!new_full && !new_short) return {};
    Entry entry{AvroSchema{AvroNull{}}, 0, 0};
    measure(schema, entry.steps, entry.bytes);
    if (auto charged = charge(entry.steps, entry.bytes); !charged) return charged;
    entry.schema = clone_avro_schema(schema);
    if (new_full) full_names_.emplace(std::string(full_name), entries_.size());
    if (new_short) short_names_.emplace(std::string(short_name), entries_.size());
    entries_.push_back(std::move(entry));
    return {};
}

Result<std::optional<AvroSchema>> AvscRegistry::copy_at(const TextMap<std::size_t>& positions, std::string_view name) {
    const auto found = positions.find(name);
    if (found == positions.end()) return std::nullopt;
    const Entry& entry = entries_[found->second];
    if (auto charged = charge(entry.steps, entry.bytes); !charged) return forward_error(charged);
    return clone_avro_schema(entry.schema);
}

Result<std::optional<AvroSchema>> AvscRegistry::copy_of(std::string_view full_name) {
    return copy_at(full_names_, full_name);
}

Result<std::optional<AvroSchema>> AvscRegistry::copy_of_short_name(std::string_view name) {
    return copy_at(short_names_, name);
}

Result<AvroSchema> avsc_to_schema_model(const Value& value, AvscRegistry& registry) {
    return AvscConverter(registry).convert(value);
}

}  // namespace bezo
