#include "schema_import/graphql_convert.hpp"

#include <array>
#include <variant>

namespace bezo {
namespace {

struct BuiltinScalar {
    std::string_view name;
    std::string_view signature;  // without its "!"; empty when the type takes none
};

constexpr std::array<BuiltinScalar, 5> kBuiltinScalars{{
    {"Float", "float"},
    {"Int", "int[-2147483648,2147483647]"},
    {"Boolean", "bool"},
    {"String", ""},
    {"ID", ""},
}};

SdlTypeMapping scalar_mapping(std::string_view signature, const std::vector<std::string_view>* enum_values) {
    SdlTypeMapping mapping;
    mapping.signature = signature;
    mapping.enum_values = enum_values;
    return mapping;
}

SdlTypeMapping object_mapping(std::size_t index) {
    SdlTypeMapping mapping;
    mapping.kind = SdlMappingKind::Object;
    mapping.object = index;
    return mapping;
}

SdlTypeMapping unsupported_mapping(std::string_view what, std::string_view name) {
    SdlTypeMapping mapping;
    mapping.kind = SdlMappingKind::Unsupported;
    mapping.reason = what;
    mapping.reason += name;
    return mapping;
}

// The line above a scalar's field or array line: "!sig" for a non-null
// value, "!null|sig" for a nullable one, "!null|str" for a nullable value
// without a signature, nothing for a non-null one without.
void append_signature_line(std::string& out, const SdlTypeMapping& scalar, bool non_null) {
    if (scalar.signature.empty() && !scalar.enum_values) {
        if (!non_null) out += "!null|str\n";
        return;
    }
    out += non_null ? "!" : "!null|";
    if (scalar.enum_values) {
        out += "str{";
        for (std::size_t i = 0; i < scalar.enum_values->size(); ++i) {
            if (i > 0) out += ',';
            out += (*scalar.enum_values)[i];
        }
        out += '}';
    } else {
        out += scalar.signature;
    }
    out += '\n';
}

bool is_open(const std::vector<std::size_t>& open_types, std::size_t index) {
    for (const std::size_t open : open_types) {
        if (open == index) return true;
    }
    return false;
}

// A description is written only when it fits one comment line that the
// lexer reads back.
bool writes_as_comment(const std::optional<std::string_view>& description) {
    return description && !description->empty() && !holds_nul_or_line_break(*description);
}

class FieldWriter {
public:
    FieldWriter(GraphqlConversion& conversion, std::string_view prefix, std::vector<std::size_t>& open_types)
        : conversion_(conversion), out_(conversion.out), prefix_(prefix), open_types_(open_types) {}

    // The fields of the innermost open object, under the current prefix.
    Result<void> write(const std::vector<SdlField>& fields) {
        if (open_types_.size() > kMaxGraphqlTypeNesting) return fail("type nesting too deep");
        for (const SdlField& field : fields) {
            auto key = visit(field);
            if (!key) return forward_error(key);
            if (!*key) continue;
            if (writes_as_comment(field.description)) {
                out_ += "// ";
                out_ += *field.description;
                out_ += '\n';
            }
            Result<void> written;
            if (const auto* named = std::get_if<SdlNamedType>(&field.type.form)) {
                written = write_named(field, **key, *named);
            } else {
                written = write_list(field, **key, std::get<SdlListType>(field.type.form));
            }
            if (!written) return forward_error(written);
        }
        return {};
    }

private:
    // Counts a field reached and gives its key; none, after a note, for a
    // name that cannot be a key.
    Result<std::optional<std::string>> visit(const SdlField& field) {
        if (auto charged = conversion_.charge_step(); !charged) return forward_error(charged);
        auto key = property_key(field.name);
        if (!key) {
            std::string text = "unrepresentable field name: ";
            append_name_debug_form(field.name, text);
            note(text);
        }
        return key;
    }

    void note(std::string_view text) { graphql_note_dropped(out_, text); }

    void note_at(std::string_view what, std::string_view field_name, std::string_view after = {}) {
        std::string text(what);
        text += jsonschema_path(prefix_, field_name);
        text += after;
        note(text);
    }

    void note_unsupported(const SdlTypeMapping& mapping, std::string_view field_name) {
        note_at(mapping.reason + " at ", field_name);
    }

    void append_array_path(std::string_view key) {
        out_ += prefix_;
        out_ += "/@";
        out_ += key;
    }

    Result<void> write_named(const SdlField& field, std::string_view key, const SdlNamedType& type) {
        const SdlTypeMapping mapping = map_graphql_named_type(conversion_, type.name);
        switch (mapping.kind) {
            case SdlMappingKind::Scalar:
                append_signature_line(out_, mapping, type.non_null);
                out_ += join_field_key(prefix_, key);
                out_ += type.non_null ? "=\n" : "?=\n";
                conversion_.lines.count_field(type.non_null);
                return {};
            case SdlMappingKind::Unsupported: note_unsupported(mapping, field.name); return {};
            case SdlMappingKind::Object: break;
        }
        if (is_open(open_types_, mapping.object)) {
            note_at("recursive type at ", field.name);
            return {};
        }
        if (!type.non_null) {
            note_at("nullable object field ", field.name, " (bezo cannot express conditional namespace presence)");
            return {};
        }
        if (auto charged = conversion_.charge_step(); !charged) return forward_error(charged);
        const std::string location = jsonschema_path(prefix_, field.name);
        const std::size_t prefix_size = prefix_.size();
        prefix_ += '/';
        prefix_ += key;
        open_types_.push_back(mapping.object);
        const FieldLineCounts before = conversion_.lines;
        auto nested = write(conversion_.definitions[mapping.object].fields);
        if (nested) {
            for (const auto& text : record_notes(before, conversion_.lines, true, location)) note(text);
        }
        open_types_.pop_back();
        prefix_.resize(prefix_size);
        return nested;
    }

    Result<void> write_list(const SdlField& field, std::string_view key, const SdlListType& list) {
        // A vector or a table refuses null, and nothing says that a
        // collection may be null instead: the field is left undeclared.
        if (!list.non_null) {
            note_at("nullable list ", field.name, " (bezo cannot express a collection that may be null)");
            return {};
        }
        const auto* element = std::get_if<SdlNamedType>(&list.element->form);
        if (!element) {
            note_at("nested list at ", field.name);
            return {};
        }
        const SdlTypeMapping mapping = map_graphql_named_type(conversion_, element->name);
        switch (mapping.kind) {
            case SdlMappingKind::Scalar:
                append_signature_line(out_, mapping, element->non_null);
                append_array_path(key);
                out_ += ";=\n";
                return {};
            case SdlMappingKind::Unsupported: note_unsupported(mapping, field.name); return {};
            case SdlMappingKind::Object: break;
        }
        if (is_open(open_types_, mapping.object)) {
            note_at("recursive type at ", field.name);
        } else if (!element->non_null) {
            note_at("nullable list element ", field.name, " (bezo arrays cannot hold null elements)");
        } else {
            return write_section(field.name, key, conversion_.definitions[mapping.object].fields);
        }
        return {};
    }

    // A list of objects: a section holding the scalar fields of the element
    // type, each under its key alone; nothing nested is followed.
    Result<void> write_section(std::string_view list_name, std::string_view list_key,
                               const std::vector<SdlField>& element_fields) {
        out_ += '[';
        append_array_path(list_key);
        out_ += "]\n";
        for (const SdlField& field : element_fields) {
            auto key = visit(field);
            if (!key) return forward_error(key);
            if (!*key) continue;
            const auto* named = std::get_if<SdlNamedType>(&field.type.form);
            const auto mapping = named ? map_graphql_named_type(conversion_, named->name) : SdlTypeMapping{};
            if (!named || mapping.kind != SdlMappingKind::Scalar) {
                note_at("non-scalar element field " + std::string(field.name) + " at ", list_name);
                continue;
            }
            append_signature_line(out_, mapping, named->non_null);
            out_ += **key;
            out_ += named->non_null ? "=\n" : "?=\n";
        }
        out_ += "[]\n";
        return {};
    }

    GraphqlConversion& conversion_;
    std::string& out_;
    std::string prefix_;  // grows by "/key" while a nested object is written
    std::vector<std::size_t>& open_types_;
};

}  // namespace

GraphqlConversion::GraphqlConversion(const std::vector<SdlDefinition>& definitions) : definitions(definitions) {
    first_definition_.reserve(definitions.size());
    for (std::size_t i = 0; i < definitions.size(); ++i) first_definition_.emplace(definitions[i].name, i);
}

Result<void> GraphqlConversion::charge_step() {
    if (auto counted = budget.charge_step(); !counted) return forward_error(counted);
    return charge_output();
}

std::optional<std::size_t> GraphqlConversion::find(std::string_view name) const {
    const auto found = first_definition_.find(name);
    if (found == first_definition_.end()) return std::nullopt;
    return found->second;
}

SdlTypeMapping map_graphql_named_type(const GraphqlConversion& conversion, std::string_view name) {
    for (const BuiltinScalar& builtin : kBuiltinScalars) {
        if (builtin.name == name) return scalar_mapping(builtin.signature, nullptr);
    }
    const auto index = conversion.find(name);
    if (!index) return unsupported_mapping("undefined type ", name);
    const SdlDefinition& definition = conversion.definitions[*index];
    switch (definition.kind) {
        case SdlDefinitionKind::Object: return object_mapping(*index);
        case SdlDefinitionKind::Enum:
            return scalar_mapping({}, definition.enum_values.empty() ? nullptr : &definition.enum_values);
        case SdlDefinitionKind::Scalar: return unsupported_mapping("custom scalar ", name);
        case SdlDefinitionKind::Union: break;
    }
    return unsupported_mapping("union type ", name);
}

Result<void> convert_graphql_type(GraphqlConversion& conversion, const std::vector<SdlField>& fields,
                                  std::string_view prefix, std::vector<std::size_t>& open_types) {
    return FieldWriter(conversion, prefix, open_types).write(fields);
}

}  // namespace bezo
