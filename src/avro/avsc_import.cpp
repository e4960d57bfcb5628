#include "avro/avsc_import.hpp"

#include <algorithm>
#include <optional>

#include "avro/avsc_model.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/json_reader.hpp"
#include "schema_import/conventions.hpp"

namespace bezo {
namespace {

constexpr std::string_view kFloatWithNonFinite = "float|std/num/inf|std/num/nan";

std::string join_path(std::string_view prefix, std::string_view separator, std::string_view name) {
    std::string path;
    path.reserve(prefix.size() + separator.size() + name.size());
    path.append(prefix).append(separator).append(name);
    return path;
}

bool is_binary(const AvroSchema& schema) { return schema.is<AvroBytes>() || schema.is<AvroFixed>(); }

// The recursive reference a field's type stands for: the type itself, a
// branch of its union, or the items or values under it; none for others.
const AvroRecursiveRef* recursive_reference(const AvroSchema& schema) {
    if (const auto* reference = schema.get_if<AvroRecursiveRef>()) return reference;
    if (const auto* array = schema.get_if<AvroArray>()) return recursive_reference(*array->items);
    if (const auto* map = schema.get_if<AvroMap>()) return recursive_reference(*map->values);
    if (const auto* united = schema.get_if<AvroUnion>()) {
        for (const AvroSchema& branch : united->branches) {
            if (const auto* reference = recursive_reference(branch)) return reference;
        }
    }
    return nullptr;
}

// The entry type of a map annotation that says all a value's annotation
// line says: "str" for a line that is empty (a string, or binary text), the
// type for a line naming a primitive alone; none for any other line.
std::optional<std::string_view> map_entry_type(std::string_view line) {
    if (line.empty()) return "str";
    for (const std::string_view primitive : {"bool", "int", "float", "str", "null"}) {
        if (line.substr(1) == primitive && line.front() == '!') return primitive;
    }
    return std::nullopt;
}

// The body of one import: schema and note lines, and the type libraries
// they use.
class AvscWriter {
public:
    explicit AvscWriter(ImportBudget& budget) : budget_(budget) {}

    std::string body;
    LibrarySet libraries;

    // The lines of one record's fields; `prefix` is "" for the root record
    // and "/key/key..." below it.
    Result<void> write_fields(const std::vector<AvroField>& fields, std::string_view prefix, unsigned depth) {
        if (depth > kMaxAvscRecordDepth) return fail("record nesting too deep");
        for (const AvroField& field : fields) {
            const auto key = property_key(field.name);
            if (!key) {
                note_unrepresentable(field.name);
            } else if (auto written = write_keyed_field(field, *key, prefix, depth); !written) {
                return written;
            }
            // Checked at every field: a nested field's line repeats the keys
            // of every record around it.
            if (auto charged = budget_.charge_output(body.size()); !charged) return charged;
        }
        return {};
    }

private:
    // The lines of one field whose name has a key.
    Result<void> write_keyed_field(const AvroField& field, std::string_view key, std::string_view prefix,
                                   unsigned depth) {
        const std::string location = join_path(prefix.empty() ? "root" : prefix, "/", field.name);
        const std::string path = prefix.empty() ? std::string(key) : join_path(prefix, "::", key);
        if (note_recursive(field.schema, location)) return {};
        if (const auto* record = field.schema.get_if<AvroRecord>())
            return write_record(*record, prefix, key, location, depth);
        if (const auto* array = field.schema.get_if<AvroArray>()) {
            write_array(*array->items, prefix, key, location);
        } else if (const auto* map = field.schema.get_if<AvroMap>()) {
            write_map(*map->values, prefix, key, location);
        } else if (write_field(field.schema, path, location)) {
            lines_.count_field(true);
        } else {
            const bool empty = field.schema.get_if<AvroUnion>()->branches.empty();
            avro_note_dropped(body,
                              (empty ? "union without branches at " : "union with a non-scalar branch at ") + location);
        }
        return {};
    }

    // A record field's fields under its key; every record field is required.
    Result<void> write_record(const AvroRecord& record, std::string_view prefix, std::string_view key,
                              std::string_view location, unsigned depth) {
        const std::string nested = join_path(prefix, "/", key);
        const FieldLineCounts before = lines_;
        if (auto written = write_fields(record.fields, nested, depth + 1); !written) return written;
        for (const auto& note : record_notes(before, lines_, true, location)) avro_note_dropped(body, note);
        return {};
    }

    // A field whose type refers to a record around it has no finite
    // spelling as nested fields: it is noted and left without a type, as
    // every importer leaves a recursive type.
    bool note_recursive(const AvroSchema& schema, std::string_view location) {
        const AvroRecursiveRef* reference = recursive_reference(schema);
        if (!reference) return false;
        avro_note_dropped(body, "recursive type " + reference->name + " at " + std::string(location));
        return true;
    }

    void note_unrepresentable(std::string_view name) {
        avro_note_dropped(body, "unrepresentable field name: " + name_debug_form(name));
    }

    // The type line of a field (if any), then "path=". False, with nothing
    // written, when the type has no annotation. `location` names the field
    // in notes.
    bool write_field(const AvroSchema& schema, std::string_view path, std::string_view location) {
        const auto line = type_line(schema, location);
        if (!line) return false;
        if (!line->empty()) body.append(*line).append("\n");
        body.append(path).append("=\n");
        return true;
    }

    void write_array(const AvroSchema& items, std::string_view prefix, std::string_view key,
                     std::string_view location) {
        const auto* record = items.get_if<AvroRecord>();
        if (!record) {
            if (!write_field(items, join_path(prefix, "/@", key) + ";", location)) {
                avro_note_dropped(body, "array element type at " + std::string(location) + " has no bezo spelling");
            }
            return;
        }
        body.append("[").append(prefix).append("/@").append(key).append("]\n");
        for (const AvroField& field : record->fields) {
            const auto item_key = property_key(field.name);
            if (!item_key) {
                note_unrepresentable(field.name);
            } else if (const std::string item_location = join_path(location, "/", field.name);
                       !note_recursive(field.schema, item_location) &&
                       !write_field(field.schema, *item_key, item_location)) {
                avro_note_dropped(body, "non-scalar element field " + field.name + " at " + std::string(location));
            }
        }
        body += "[]\n";
    }

    // "!map<T>" where the value type is T alone; a map block whose entries
    // take the value type's annotation where that says more (a range, a
    // set, a library type).
    void write_map(const AvroSchema& values, std::string_view prefix, std::string_view key, std::string_view location) {
        const auto line = values.is<AvroArray>() || values.is<AvroMap>() || values.is<AvroRecord>()
                              ? std::nullopt
                              : type_line(values, location);
        if (!line) {
            avro_note_dropped(body, "map value type at " + std::string(location) + " has no bezo spelling");
            return;
        }
        if (const auto entry = map_entry_type(*line)) {
            body.append("!map<").append(*entry).append(">\n").append(join_field_key(prefix, key)).append("=\n");
            return;
        }
        write_map_block(body, prefix, key, *line);
    }

    // The annotation line of a field type: "" for a string (no line), none
    // for a type no annotation names.
    std::optional<std::string> type_line(const AvroSchema& schema, std::string_view location) {
        if (schema.is<AvroString>()) return std::string();
        if (is_binary(schema)) {
            note_binary_text(schema, location);
            return std::string();
        }
        if (const auto* time = schema.get_if<AvroTime>()) {
            libraries.emplace("std/time");
            return "&" + std::string(time_kind_std_time_type(time->kind));
        }
        if (const auto* united = schema.get_if<AvroUnion>()) {
            // No value fits a union without branches, and "!" alone is no annotation.
            if (united->branches.empty()) return std::nullopt;
            if (std::ranges::any_of(united->branches, is_binary)) {
                // Binary text can hold anything a JSON string can, and a
                // text that holds a line break is no "str": the field takes
                // every value.
                avro_note_dropped(
                    body, "union with a bytes or fixed branch at " + std::string(location) + " (field left untyped)");
                return std::string();
            }
            std::string line = "!";
            for (std::size_t i = 0; i < united->branches.size(); ++i) {
                const auto name = scalar_type_name(united->branches[i]);
                if (!name) return std::nullopt;
                if (i > 0) line += '|';
                line += *name;
            }
            return line;
        }
        const auto name = scalar_type_name(schema);
        if (!name) return std::nullopt;
        return "!" + *name;
    }

    // The type of one scalar inside an annotation; none for arrays, maps,
    // records and unions.
    std::optional<std::string> scalar_type_name(const AvroSchema& schema) {
        if (schema.is<AvroNull>()) return "null";
        if (schema.is<AvroBoolean>()) return "bool";
        if (schema.is<AvroString>()) return "str";
        if (schema.is<AvroInt>()) return "int[-2147483648,2147483647]";
        if (schema.is<AvroLong>()) return "int[-9223372036854775808,9223372036854775807]";
        if (schema.is<AvroFloat>() || schema.is<AvroDouble>()) return library_type("std/num", kFloatWithNonFinite);
        if (const auto* decimal = schema.get_if<AvroDecimal>()) return decimal->scale == 0 ? "int" : "float";
        if (const auto* time = schema.get_if<AvroTime>()) {
            return library_type("std/time", "std/time/" + std::string(time_kind_std_time_type(time->kind)));
        }
        if (const auto* enumeration = schema.get_if<AvroEnum>()) return enum_type(*enumeration);
        return std::nullopt;
    }

    // Bytes and fixed values travel in JSON data as text, one code point
    // U+0000-U+00FF per byte. Such a text may hold a line break, which no
    // "str" takes, so the field is left plain text and the note says what
    // goes unchecked.
    void note_binary_text(const AvroSchema& schema, std::string_view location) {
        std::string note;
        if (const auto* fixed = schema.get_if<AvroFixed>()) {
            const std::string size = decimal_text(fixed->size);
            note = "fixed size " + size + " at " + std::string(location) + " (text of " + size + " code points";
        } else {
            note = "bytes at " + std::string(location) + " (text of code points";
        }
        note += " U+0000-U+00FF; not checked)";
        avro_note_dropped(body, note);
    }

    std::string library_type(std::string_view library, std::string_view type) {
        libraries.emplace(library);
        return std::string(type);
    }

    static std::string enum_type(const AvroEnum& enumeration) {
        if (enumeration.symbols.empty()) return "str";
        std::string type = "str{";
        for (std::size_t i = 0; i < enumeration.symbols.size(); ++i) {
            if (i > 0) type += ',';
            type += enumeration.symbols[i];
        }
        type += '}';
        return type;
    }

    ImportBudget& budget_;
    FieldLineCounts lines_;  // the field lines written so far
};

}  // namespace

Result<std::string> import_avsc(std::string_view text, std::string_view name, Utf8State utf8) {
    if (utf8 == Utf8State::Unchecked && !is_valid_utf8(text)) return fail("input is not valid UTF-8");
    auto document = parse_json_document(text);
    if (!document) return forward_error(document);
    ImportBudget budget;
    AvscRegistry registry(budget);
    auto schema = avsc_to_schema_model(*document, registry);
    if (!schema) return forward_error(schema);
    const auto* root = schema->get_if<AvroRecord>();
    if (!root) return fail("the root Avro schema must be a record");
    AvscWriter writer(budget);
    if (auto written = writer.write_fields(root->fields, "", 0); !written) return forward_error(written);
    return assemble_imported_schema(name, writer.libraries, writer.body);
}

Result<std::string> import_avsc(std::string_view text, std::string_view name) {
    return import_avsc(text, name, Utf8State::Unchecked);
}

}  // namespace bezo
