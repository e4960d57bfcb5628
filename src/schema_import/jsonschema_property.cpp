#include "schema_import/jsonschema_property.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/text.hpp"
#include "interchange/value_keys.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/jsonschema_scalar.hpp"

namespace bezo {
namespace {

// Keywords of a property schema that the schema language has no form for.
constexpr std::array<std::string_view, 11> kUnsupportedKeywords{
    "multipleOf",
    "prefixItems",
    "if",
    "not",
    "allOf",
    "dependentRequired",
    "dependentSchemas",
    "uniqueItems",
    "patternProperties",
    "minProperties",
    "maxProperties",
};

// The members of a schema's "properties" object (none when it has no such
// object). Two properties of one name would become two lines of one key,
// so a repeated name is refused.
Result<const ValueObject*> property_members(const Value& schema) {
    const Value* properties = find_member(schema, "properties");
    const auto* members = properties ? properties->get_if<ValueObject>() : nullptr;
    if (!members) return nullptr;
    if (const std::string* repeated = first_repeated_key(*members)) {
        return fail("duplicate property name " + quoted_excerpt(*repeated));
    }
    return members;
}

// The JSON type word of one enum or const value; none for null, arrays
// and objects.
std::optional<std::string_view> scalar_type_word(const Value& value) {
    if (value.is<BoolValue>()) return "boolean";
    if (value.is<StringValue>()) return "string";
    if (const auto* number = value.get_if<NumberValue>()) {
        return number->text.find_first_of(".eE") == std::string::npos ? "integer" : "number";
    }
    return std::nullopt;
}

// The one JSON type word that every value of a non-empty list shares, with
// integers and numbers together read as numbers.
std::optional<std::string_view> shared_type_word(const std::vector<const Value*>& values) {
    std::optional<std::string_view> shared;
    for (const Value* value : values) {
        const auto word = scalar_type_word(*value);
        if (!word) return std::nullopt;
        if (!shared || *shared == *word) {
            shared = word;
        } else if ((*shared == "integer" || *shared == "number") && (*word == "integer" || *word == "number")) {
            shared = "number";
        } else {
            return std::nullopt;
        }
    }
    return shared;
}

// The values of "enum" (or, without one, of "const" as a list of one); empty
// when neither gives a non-empty list.
std::vector<const Value*> enumerated_values(const Value& schema) {
    std::vector<const Value*> values;
    if (const Value* enumeration = find_member(schema, "enum")) {
        if (const auto* items = enumeration->get_if<ValueArray>()) {
            values.reserve(items->size());
            for (const auto& item : *items) values.push_back(&item);
        }
    } else if (const Value* constant = find_member(schema, "const")) {
        values.push_back(constant);
    }
    return values;
}

// "["a", "b"]": a type list as notes quote it.
std::string type_list_debug_form(const std::vector<std::string_view>& words) {
    std::string out = "[";
    for (const auto word : words) {
        if (out.size() > 1) out += ", ";
        append_name_debug_form(word, out);
    }
    out += ']';
    return out;
}

// The non-null word of a pair of type words of which one is "null".
std::optional<std::string_view> nullable_pair_word(const std::vector<std::string_view>& words) {
    if (words.size() != 2) return std::nullopt;
    if (words[0] == "null" && jsonschema_type_keyword(words[1])) return words[1];
    if (words[1] == "null" && jsonschema_type_keyword(words[0])) return words[0];
    return std::nullopt;
}

// The text after "=" for a "default", or none when the value cannot stand
// there.
std::optional<std::string> default_text(const Value& value) {
    if (const auto* flag = value.get_if<BoolValue>()) return flag->value ? "true" : "false";
    if (const auto* number = value.get_if<NumberValue>()) return number->text;
    const auto* string = value.get_if<StringValue>();
    if (!string) return std::nullopt;
    const std::string& text = string->text;
    if (text.starts_with('$') || text.find_first_of(std::string_view("\0\n\r|", 4)) != std::string::npos) {
        return std::nullopt;
    }
    return text;
}

// One property on its way to lines: its resolved schema, where it stands
// and its key.
class PropertyConverter {
public:
    PropertyConverter(JsonSchemaContext& context, const Value& schema, std::string_view prefix, std::string_view name,
                      std::string key, bool required, unsigned depth)
        : context_(context),
          schema_(schema),
          prefix_(prefix),
          name_(name),
          key_(std::move(key)),
          required_(required),
          depth_(depth) {}

    Result<void> convert() {
        write_comment("title");
        write_comment("description");
        const auto words = schema_type_list(schema_);
        if (words.empty()) {
            auto unioned = write_union();
            if (!unioned) return forward_error(unioned);
            if (*unioned) {
                write_field_line();
                return {};
            }
        }
        note_unsupported_keywords(schema_, position());
        return convert_by_type(words);
    }

private:
    std::string position() const { return jsonschema_path(prefix_, name_); }
    // The prefix of what the property holds: its object's fields, or the
    // fields of its table's entries, as notes name them.
    std::string nested_prefix() const {
        std::string prefix(prefix_);
        prefix += '/';
        prefix += key_;
        return prefix;
    }
    void note_at(std::string_view what) { context_.note(std::string(what) + " at " + position()); }

    // The keywords of `schema` (the property's own, or that of its items,
    // values or element fields) that no line can carry.
    void note_unsupported_keywords(const Value& schema, std::string_view at) {
        for (const auto keyword : kUnsupportedKeywords) {
            if (find_member(schema, keyword)) context_.note(std::string(keyword) + " at " + std::string(at));
        }
    }
    std::string_view optional_mark() const { return required_ ? "" : "?"; }

    void write_comment(std::string_view keyword) {
        const std::string* text = find_string_member(schema_, keyword);
        // The lexer ends a comment line at LF and refuses NUL and a lone CR.
        if (!text || holds_nul_or_line_break(*text)) return;
        context_.body += "// ";
        context_.body += *text;
        context_.body += '\n';
    }

    // The annotation of an "anyOf" (or "oneOf") whose branches are all plain
    // scalar types; false, writing nothing, for any other union.
    Result<bool> write_union() {
        const Value* branches = find_member(schema_, "anyOf");
        if (!branches) branches = find_member(schema_, "oneOf");
        const auto* items = branches ? branches->get_if<ValueArray>() : nullptr;
        if (!items || items->empty()) return false;
        std::vector<std::string_view> types;
        types.reserve(items->size());
        for (const auto& branch : *items) {
            auto resolved = resolve_local_ref(context_, branch);
            if (!resolved) return forward_error(resolved);
            const std::string* word = find_string_member(**resolved, "type");
            const auto type = word ? jsonschema_type_keyword(*word) : std::nullopt;
            if (!type) return false;
            types.push_back(*type);
        }
        std::string& body = context_.body;
        body += '!';
        if (!required_ && std::ranges::find(types, "null") == types.end()) body += "null|";
        for (std::size_t i = 0; i < types.size(); ++i) {
            if (i > 0) body += '|';
            body += types[i];
        }
        body += '\n';
        return true;
    }

    Result<void> convert_by_type(const std::vector<std::string_view>& words) {
        if (words.empty()) {
            convert_untyped();
            return {};
        }
        if (const auto other = nullable_pair_word(words)) {
            write_nullable(*other);
            return {};
        }
        if (words.size() == 1) {
            if (words[0] == "array") return convert_array();
            if (words[0] == "object") return convert_object();
            if (jsonschema_type_keyword(words[0])) {
                map_string_format(context_, schema_, words[0], required_);
                write_field_line();
                return {};
            }
        }
        note_at("type " + type_list_debug_form(words));
        return {};
    }

    // Without "type", the type that every "enum" (or "const") value shares.
    void convert_untyped() {
        const auto values = enumerated_values(schema_);
        const auto word = values.empty() ? std::nullopt : shared_type_word(values);
        if (!word) {
            note_at("untyped property");
            return;
        }
        map_string_format(context_, schema_, *word, required_);
        write_field_line();
    }

    void write_nullable(std::string_view word) {
        std::string constraints = convert_scalar_constraints(context_, schema_, word);
        if (has_blank_or_tab(constraints)) {
            context_.note("whitespace-bearing constraints on nullable " + position() +
                          " (union items are whitespace-free)");
            constraints.clear();
        }
        context_.body += nullable_annotation(*jsonschema_type_keyword(word), constraints);
        context_.body += '\n';
        write_field_line();
    }

    Result<void> convert_array() {
        const Value* items = find_member(schema_, "items");
        if (!items) {
            note_at("untyped array");
            return {};
        }
        auto resolved = resolve_local_ref(context_, *items);
        if (!resolved) return forward_error(resolved);
        const Value& element = **resolved;
        if (!element.is<ValueObject>()) {
            note_at("non-object items");
            return {};
        }
        const auto words = schema_type_list(element);
        if (words.size() == 1 && words[0] == "object") return write_table(element);
        if (words.size() == 1 && jsonschema_type_keyword(words[0])) {
            if (find_member(schema_, "minItems")) note_at("minItems");
            if (find_member(schema_, "maxItems")) note_at("maxItems");
            note_unsupported_keywords(element, position());
            // Every element of an array is present, so its annotation never
            // admits null.
            map_string_format(context_, element, words[0], true);
            context_.body += prefix_;
            context_.body += "/@";
            context_.body += key_;
            context_.body += ";=\n";
            return {};
        }
        note_at("array items");
        return {};
    }

    // " min=" and " max=" of a table head. A minimum binds only a table that
    // is present whenever the document is: an absent optional table has no
    // rows.
    void append_table_bound(std::string_view keyword, std::string_view head_item, bool applies, std::string& head) {
        if (!find_member(schema_, keyword)) return;
        const auto count = applies ? find_count_member(schema_, keyword) : std::nullopt;
        if (!count) {
            note_at(keyword);
            return;
        }
        head += head_item;
        append_decimal(*count, head);
        // A table that must hold entries is one whose absence is refused.
        if (head_item == " min=" && *count > 0) ++context_.lines.required;
    }

    Result<void> write_table(const Value& element) {
        std::string head = "[";
        head += prefix_;
        head += "/@";
        head += key_;
        append_table_bound("minItems", " min=", required_, head);
        append_table_bound("maxItems", " max=", true, head);
        head += "]\n";
        context_.body += head;
        RequiredNames required(element);
        auto fields = property_members(element);
        if (!fields) return forward_error(fields);
        if (*fields) {
            for (const auto& field : **fields) {
                if (auto charged = context_.charge_property(field.key); !charged) return forward_error(charged);
                auto resolved = resolve_local_ref(context_, field.value);
                if (!resolved) return forward_error(resolved);
                write_table_field(field.key, **resolved, required.contains(field.key));
            }
        }
        context_.body += "[]\n";
        return {};
    }

    void write_table_field(std::string_view name, const Value& field, bool required) {
        const auto words = schema_type_list(field);
        if (words.size() != 1 || !jsonschema_type_keyword(words[0])) {
            context_.note("non-scalar element field " + std::string(name) + " at " + position());
            return;
        }
        const auto key = property_key(name);
        if (!key) {
            context_.note("unrepresentable element field name at " + position() + ": " + name_debug_form(name));
            return;
        }
        note_unsupported_keywords(field, jsonschema_path(nested_prefix(), name));
        map_string_format(context_, field, words[0], required);
        context_.body += *key;
        context_.body += required ? "=\n" : "?=\n";
    }

    Result<void> convert_object() {
        const Value* properties = find_member(schema_, "properties");
        if (properties && properties->is<ValueObject>()) {
            // A definition that holds itself, directly or further down, has
            // no finite spelling as nested fields: the property is left
            // without a type, as every importer leaves a recursive type.
            if (std::ranges::find(context_.open_objects, &schema_) != context_.open_objects.end()) {
                note_at("recursive reference");
                return {};
            }
            const std::string prefix = nested_prefix();
            if (auto read = context_.charge_reading(prefix.size()); !read) return forward_error(read);
            const FieldLineCounts before = context_.lines;
            auto converted = convert_object_schema(context_, schema_, prefix, depth_ + 1, required_);
            if (!converted) return forward_error(converted);
            for (const auto& note : record_notes(before, context_.lines, required_, position())) context_.note(note);
            return {};
        }
        const Value* additional = find_member(schema_, "additionalProperties");
        if (!additional) {
            note_at("untyped object");
            return {};
        }
        auto resolved = resolve_local_ref(context_, *additional);
        if (!resolved) return forward_error(resolved);
        const std::string* word = find_string_member(**resolved, "type");
        const auto type = word ? jsonschema_type_keyword(*word) : std::nullopt;
        if (!type) {
            note_at("untyped object");
            return {};
        }
        write_map(**resolved, *word, *type);
        return {};
    }

    // A map whose values are scalars of JSON type `word`: "!map<T>" when
    // the value type is T alone, else a map block whose entries take the
    // value's whole annotation (constraints, a library type). Every entry
    // holds a value, so the annotation never admits null for want of one.
    void write_map(const Value& values, std::string_view word, std::string_view type) {
        note_unsupported_keywords(values, position());
        const auto annotation = scalar_annotation(context_, values, word, true);
        std::string& body = context_.body;
        if (annotation && annotation->substr(1) != type) {
            write_map_block(body, prefix_, key_, *annotation);
            return;
        }
        body += "!map<";
        body += type;
        body += ">\n";
        body += join_field_key(prefix_, key_);
        body += optional_mark();
        body += "=\n";
    }

    void write_field_line() {
        std::string value;
        if (const Value* fallback = find_member(schema_, "default")) {
            if (auto text = default_text(*fallback)) {
                value = std::move(*text);
            } else {
                context_.note("default at " + jsonschema_path(prefix_, key_));
            }
        }
        std::string& body = context_.body;
        body += join_field_key(prefix_, key_);
        body += optional_mark();
        body += '=';
        body += value;
        body += '\n';
        context_.lines.count_field(required_);
    }

    JsonSchemaContext& context_;
    const Value& schema_;
    std::string_view prefix_;
    std::string_view name_;
    std::string key_;
    bool required_;
    unsigned depth_;
};

// One property of an object schema: resolved, then converted.
Result<void> convert_member(JsonSchemaContext& context, const ValueMember& member, std::string_view prefix,
                            unsigned depth, bool required) {
    if (auto charged = context.charge_property(member.key); !charged) return forward_error(charged);
    auto resolved = resolve_local_ref(context, member.value);
    if (!resolved) return forward_error(resolved);
    return convert_subschema(context, **resolved, prefix, member.key, required, depth);
}

}  // namespace

Result<void> convert_object_schema(JsonSchemaContext& context, const Value& schema, std::string_view prefix,
                                   unsigned depth, bool object_required) {
    if (depth > kMaxJsonSchemaDepth) return fail("schema nesting too deep");
    RequiredNames required(schema);
    auto members = property_members(schema);
    if (!members) return forward_error(members);
    if (*members) {
        context.open_objects.push_back(&schema);
        for (const auto& member : **members) {
            const bool listed = required.contains(member.key);
            // A member required only while its optional object is present
            // is written optional: an absent object has no members.
            if (listed && !object_required) {
                context.note(requirement_under_optional_parent_note("presence", jsonschema_path(prefix, member.key)));
            }
            auto converted = convert_member(context, member, prefix, depth, object_required && listed);
            if (!converted) return forward_error(converted);
        }
        context.open_objects.pop_back();
        return {};
    }
    if (const Value* additional = find_member(schema, "additionalProperties")) {
        auto resolved = resolve_local_ref(context, *additional);
        if (!resolved) return forward_error(resolved);
        context.note("additionalProperties at root");
    }
    return {};
}

Result<void> convert_subschema(JsonSchemaContext& context, const Value& schema, std::string_view prefix,
                               std::string_view name, bool required, unsigned depth) {
    if (!schema.is<ValueObject>()) {
        context.note("non-object subschema at " + jsonschema_path(prefix, name));
        return {};
    }
    auto key = property_key(name);
    if (!key) {
        context.note("unrepresentable property name at " + std::string(prefix.empty() ? "root" : prefix) + ": " +
                     name_debug_form(name));
        return {};
    }
    return PropertyConverter(context, schema, prefix, name, std::move(*key), required, depth).convert();
}

}  // namespace bezo
