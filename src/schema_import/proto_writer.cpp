#include "schema_import/proto_writer.hpp"

#include <algorithm>

#include "schema_import/proto_number.hpp"

namespace bezo {
namespace {

// The largest finite values of double and float, as parsers read them.
constexpr std::string_view kDoubleMax = "1.7976931348623157e308";
constexpr std::string_view kFloatMax = "3.4028234663852886e38";

// The annotation of a type whose annotation is the same in every schema.
const std::string& fixed_annotation(ProtoTypeKind kind) {
    static const std::string int32 = proto_integer_annotation(kProtoInt32Range);
    static const std::string int64 = proto_integer_annotation(kProtoInt64Range);
    static const std::string uint32 = proto_integer_annotation(kProtoUint32Range);
    static const std::string uint64 = proto_integer_annotation(kProtoUint64Range);
    static const std::string double_annotation = proto_floating_annotation(kDoubleMax);
    static const std::string float_annotation = proto_floating_annotation(kFloatMax);
    switch (kind) {
        case ProtoTypeKind::Int32:
        case ProtoTypeKind::Sint32:
        case ProtoTypeKind::Sfixed32: return int32;
        case ProtoTypeKind::Int64:
        case ProtoTypeKind::Sint64:
        case ProtoTypeKind::Sfixed64: return int64;
        case ProtoTypeKind::Uint32:
        case ProtoTypeKind::Fixed32: return uint32;
        case ProtoTypeKind::Uint64:
        case ProtoTypeKind::Fixed64: return uint64;
        case ProtoTypeKind::Float: return float_annotation;
        default: return double_annotation;
    }
}

// A bytes field as the JSON mapping writes it: base64 in the standard or
// the URL-safe alphabet, its padding optional. Unlike XSD base64 text (see
// the XSD importer), it admits no white space and no line breaks.
constexpr std::string_view kJsonMappingBase64Annotation =
    R"(!str/^([A-Za-z0-9+\/_-]{4})*([A-Za-z0-9+\/_-]{2}(==)?|[A-Za-z0-9+\/_-]{3}=?)?$/)";

bool on_stack(const std::vector<std::size_t>& stack, std::size_t message) {
    return std::ranges::find(stack, message) != stack.end();
}

void note(ProtoWriteContext& context, std::string_view text) { proto_note_dropped(context.body, text); }

// A note naming the field `name` under `prefix`: what, where, then why.
void note_at(ProtoWriteContext& context, std::string_view what, std::string_view prefix, std::string_view name,
             std::string_view why = {}) {
    std::string text(what);
    text += jsonschema_path(prefix, name);
    text += why;
    note(context, text);
}

Result<void> charge_step(ProtoWriteContext& context) {
    if (auto counted = context.budget.charge_step(); !counted) return forward_error(counted);
    return context.budget.charge_output(context.body.size());
}

// The key of a field, or none after the note for a name no key can hold.
std::optional<std::string> field_key(ProtoWriteContext& context, std::string_view name) {
    auto key = property_key(name);
    if (!key) note(context, "unrepresentable field name: " + name_debug_form(name));
    return key;
}

void write_annotation_line(std::string_view annotation, bool nullable, std::string& out) {
    if (nullable) {
        make_nullable_annotation(annotation, out);
    } else {
        out += annotation;
    }
    out += '\n';
}

std::vector<std::string_view> enum_names(const ProtoEnum& enumeration) {
    std::vector<std::string_view> names;
    names.reserve(enumeration.values.size());
    for (const auto& value : enumeration.values) names.emplace_back(value.name);
    return names;
}

// What the annotation of a scalar field at `location` leaves unchecked.
// Bytes travel in JSON data as base64 text: the field admits that text by
// its alphabet and padding, and the bytes go unchecked. An enum of many
// names takes its quoted numbers only where the names fit one pattern.
void note_scalar(ProtoWriteContext& context, ProtoType type, std::string_view location) {
    if (type.kind == ProtoTypeKind::Bytes) {
        note(context, "bytes at " + std::string(location) + " (base64 text; the decoded bytes are not checked)");
    }
    if (type.kind == ProtoTypeKind::Enum && !proto_enum_names_fit(enum_names(context.file.enums[type.index]))) {
        note(context, "quoted numbers of the enum at " + std::string(location) + " (too many names for one pattern)");
    }
}

// Writes "!map<T>" and the field line, or only notes when the value type has
// no word a map annotation can take. Numbers and enums take what a field of
// their type takes, which no single entry type names: they are a map block
// whose key line carries that annotation.
void write_map_field(ProtoWriteContext& context, const ProtoField& field, std::string_view name,
                     std::string_view prefix, std::string_view key) {
    const auto [key_type, value_type] = *field.map;
    if (key_type.kind != ProtoTypeKind::String) {
        note_at(context, "map key type of ", prefix, name, " (bezo map keys are names; keys stringify)");
    }
    std::string& out = context.body;
    std::string_view entry_type;
    switch (value_type.kind) {
        case ProtoTypeKind::Message: note_at(context, "message-valued map at ", prefix, name); return;
        case ProtoTypeKind::Bool: entry_type = "bool"; break;
        case ProtoTypeKind::String: entry_type = "str"; break;
        case ProtoTypeKind::Bytes:
            note_at(context, "map value type of ", prefix, name, " (untyped map emitted)");
            entry_type = "str";
            break;
        default: break;  // numbers and enums
    }
    if (entry_type.empty()) {
        note_scalar(context, value_type, jsonschema_path(prefix, name));
        write_map_block(out, prefix, key, *map_proto_scalar(context, value_type));
        return;
    }
    out += "!map<";
    out += entry_type;
    out += ">\n";
    out += join_field_key(prefix, key);
    out += "?=\n";
}

// The names a JSON name of a message's field cannot be declared under:
// the declared names of its fields, and the JSON names two of its fields
// share (a parser gives such a name to one of them only). `json_aliases`
// holds the JSON names that differ from their fields' own names: data
// that gives one of them means that field, whichever field is declared
// under the name.
struct TakenNames {
    TextSet declared;
    TextSet shared_json;
    TextSet json_aliases;
};

TakenNames taken_names(const std::vector<ProtoField>& fields) {
    TakenNames taken;
    TextSet json_names;
    for (const ProtoField& field : fields) {
        taken.declared.emplace(field.name);
        if (!json_names.emplace(field.json_name).second) taken.shared_json.emplace(field.json_name);
        if (field.json_name != field.name) taken.json_aliases.emplace(field.json_name);
    }
    return taken;
}

// The name JSON data may give a field besides its own, when it differs and
// can be declared: not when it holds an escape, nor when it is taken; a
// note says why where it cannot.
std::optional<std::string_view> json_alias(ProtoWriteContext& context, const ProtoField& field, const TakenNames& taken,
                                           std::string_view location) {
    const std::string_view alias = field.json_name;
    if (alias == field.name) return std::nullopt;
    if (alias.find('\\') != std::string_view::npos) {
        note(context, "JSON name of " + std::string(location) + " holds an escape (not declared)");
        return std::nullopt;
    }
    const bool declared = taken.declared.contains(alias);
    if (declared || taken.shared_json.contains(alias)) {
        note(context, "JSON name " + name_debug_form(alias) + " of " + std::string(location) +
                          (declared ? " is another field's name" : " is another field's JSON name too") +
                          " (not declared)");
        return std::nullopt;
    }
    return alias;
}

// One name a field is written under, and the spelling of the names of the
// fields of a message under it.
struct SpelledName {
    std::string_view name;
    ProtoSpelling below;
};

// The names a field is written under in `spelling`: its declared name, its
// JSON name, or (where both are taken) each of them, with the notes for
// what the schema then leaves unchecked. A declared name that is another
// field's JSON name is left out: data under it may mean either field.
std::vector<SpelledName> spelled_names(ProtoWriteContext& context, const ProtoField& field, const TakenNames& taken,
                                       std::string_view location, ProtoSpelling spelling) {
    const bool declared_usable = !taken.json_aliases.contains(field.name);
    if (!declared_usable) note(context, std::string(location) + " is another field's JSON name (not declared)");
    const auto alias = spelling == ProtoSpelling::Declared ? std::nullopt : json_alias(context, field, taken, location);
    if (!alias) {
        if (!declared_usable) return {};
        return {{field.name, spelling}};
    }
    if (spelling == ProtoSpelling::Json || !declared_usable) return {{*alias, ProtoSpelling::Json}};
    // Both names are declared alike; that data sets at most one of them is
    // a rule the schema cannot state.
    note(context, "JSON name " + name_debug_form(*alias) + " of " + std::string(location) +
                      " declared beside it (at most one of the two set: not checked)");
    if (field.type.kind == ProtoTypeKind::Message && !field.map) {
        // A printer spells every name one way; below each name, the fields
        // are declared in that spelling only.
        note(context, "fields below " + std::string(location) + " spelled partly by JSON names (not checked)");
    }
    return {{field.name, ProtoSpelling::Declared}, {*alias, ProtoSpelling::Json}};
}

// The lines of one scalar element field inside its section, under `name`.
void write_element_field(ProtoWriteContext& context, const ProtoField& element, std::string_view name,
                         std::string_view location) {
    const auto element_key = field_key(context, name);
    if (!element_key) return;
    note_scalar(context, element.type, std::string(location) + "/" + std::string(name));
    if (const auto annotation = map_proto_scalar(context, element.type)) {
        write_annotation_line(*annotation, true, context.body);
    }
    context.body += *element_key;
    context.body += "?=\n";
}

// The section of a repeated message: one line per scalar field of the
// element, notes for the others. The element is not expanded further.
Result<void> write_repeated_message(ProtoWriteContext& context, const ProtoField& field, std::string_view name,
                                    std::string_view prefix, std::string_view key, ProtoSpelling spelling) {
    std::string& out = context.body;
    out += '[';
    out += prefix;
    out += "/@";
    out += key;
    out += "]\n";
    const std::string location = jsonschema_path(prefix, name);
    const auto& elements = context.file.messages[field.type.index].fields;
    const TakenNames taken = taken_names(elements);
    for (const ProtoField& element : elements) {
        if (auto charged = charge_step(context); !charged) return forward_error(charged);
        if (element.type.kind == ProtoTypeKind::Message || element.map || element.repeated) {
            note(context, "non-scalar element field " + element.name + " at " + location);
            continue;
        }
        for (const SpelledName& spelled :
             spelled_names(context, element, taken, location + "/" + element.name, spelling)) {
            write_element_field(context, element, spelled.name, location);
        }
    }
    out += "[]\n";
    return {};
}

// The lines of one field under one of its names.
Result<void> write_field_as(ProtoWriteContext& context, const ProtoField& field, SpelledName spelled,
                            std::string_view prefix, std::vector<std::size_t>& stack) {
    const std::string_view name = spelled.name;
    const auto key = field_key(context, name);
    if (!key) return {};
    if (field.map) {
        write_map_field(context, field, name, prefix, *key);
        return {};
    }
    std::string& out = context.body;
    if (field.type.kind != ProtoTypeKind::Message) {
        note_scalar(context, field.type, jsonschema_path(prefix, name));
        if (const auto annotation = map_proto_scalar(context, field.type)) {
            write_annotation_line(*annotation, !field.repeated, out);
        }
        if (field.repeated) {
            out += prefix;
            out += "/@";
            out += *key;
            out += ";=\n";
        } else {
            out += join_field_key(prefix, *key);
            out += "?=\n";
            context.lines.count_field(false);
        }
        return {};
    }
    const std::size_t message = field.type.index;
    if (on_stack(stack, message)) {
        note_at(context, "recursive message at ", prefix, name);
        return {};
    }
    if (field.repeated) return write_repeated_message(context, field, name, prefix, *key, spelled.below);
    // A singular message: its fields stand in place under the longer prefix.
    if (auto charged = charge_step(context); !charged) return forward_error(charged);
    std::string nested_prefix(prefix);
    nested_prefix += '/';
    nested_prefix += *key;
    stack.push_back(message);
    const FieldLineCounts before = context.lines;
    auto written = write_proto_message(context, message, nested_prefix, stack, spelled.below);
    stack.pop_back();
    if (!written) return written;
    for (const auto& text : record_notes(before, context.lines, false, jsonschema_path(prefix, name)))
        note(context, text);
    return {};
}

void record_library(ProtoWriteContext& context, std::string_view library) {
    if (!context.libraries.contains(library)) context.libraries.emplace(library);
}

}  // namespace

Result<void> write_proto_message(ProtoWriteContext& context, std::size_t message, std::string_view prefix,
                                 std::vector<std::size_t>& stack, ProtoSpelling spelling) {
    if (stack.size() > kMaxProtoExpansionDepth) return fail("message nesting too deep");
    const auto& fields = context.file.messages[message].fields;
    const TakenNames taken = taken_names(fields);
    for (const ProtoField& field : fields) {
        if (auto charged = charge_step(context); !charged) return forward_error(charged);
        const std::string location = jsonschema_path(prefix, field.name);
        for (const SpelledName& spelled : spelled_names(context, field, taken, location, spelling)) {
            if (auto written = write_field_as(context, field, spelled, prefix, stack); !written) {
                return forward_error(written);
            }
        }
    }
    return {};
}

std::optional<std::string_view> map_proto_scalar(ProtoWriteContext& context, ProtoType type) {
    switch (type.kind) {
        case ProtoTypeKind::Double:
        case ProtoTypeKind::Float: record_library(context, "std/num"); return fixed_annotation(type.kind);
        case ProtoTypeKind::Int32:
        case ProtoTypeKind::Sint32:
        case ProtoTypeKind::Sfixed32:
        case ProtoTypeKind::Int64:
        case ProtoTypeKind::Sint64:
        case ProtoTypeKind::Sfixed64:
        case ProtoTypeKind::Uint32:
        case ProtoTypeKind::Fixed32:
        case ProtoTypeKind::Uint64:
        case ProtoTypeKind::Fixed64: return fixed_annotation(type.kind);
        case ProtoTypeKind::Bool: return "!bool";
        case ProtoTypeKind::String: return std::nullopt;
        case ProtoTypeKind::Bytes: return kJsonMappingBase64Annotation;
        case ProtoTypeKind::Enum: {
            std::string& annotation = context.enum_annotations[type.index];
            if (annotation.empty()) annotation = proto_enum_annotation(enum_names(context.file.enums[type.index]));
            return annotation;
        }
        case ProtoTypeKind::Message: break;
    }
    return std::nullopt;  // message fields are written by the steps that expand them
}

void make_nullable_annotation(std::string_view annotation, std::string& out) {
    if (annotation.starts_with('!') && !annotation.starts_with("!null")) {
        out += "!null|";
        out += annotation.substr(1);
    } else {
        out += annotation;
    }
}

}  // namespace bezo
