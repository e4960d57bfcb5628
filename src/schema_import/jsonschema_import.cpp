#include "schema_import/jsonschema_import.hpp"

#include <algorithm>

#include "core/utf8.hpp"
#include "interchange/json_reader.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/jsonschema_context.hpp"
#include "schema_import/jsonschema_property.hpp"

namespace bezo {
namespace {

Error failure(std::string message) { return Error::Other(std::move(message)); }

bool types_include_object(const ValueArray& types) {
    return std::ranges::any_of(types, [](const Value& type) {
        const auto* word = type.get_if<StringValue>();
        return word && word->text == "object";
    });
}

// A root "type" must leave room for an object; a root without one does.
bool describes_object(const Value& root) {
    const Value* type = find_member(root, "type");
    if (!type) return true;
    if (const auto* word = type->get_if<StringValue>()) return word->text == "object";
    const auto* words = type->get_if<ValueArray>();
    return words && types_include_object(*words);
}

bool forbids_additional_properties(const Value& root) {
    const Value* additional = find_member(root, "additionalProperties");
    const auto* flag = additional ? additional->get_if<BoolValue>() : nullptr;
    return flag && !flag->value;
}

}  // namespace

Result<std::string> import_jsonschema(std::string_view text, std::string_view name, Utf8State utf8) {
    if (utf8 == Utf8State::Unchecked && !is_valid_utf8(text)) {
        return std::unexpected(failure("input is not valid UTF-8"));
    }
    auto document = parse_json_document(text);
    if (!document) return forward_error(document);
    if (!document->is<ValueObject>()) return std::unexpected(failure("root must be a JSON Schema object"));

    JsonSchemaContext context(*document);
    auto resolved = resolve_local_ref(context, *document);
    if (!resolved) return forward_error(resolved);
    const Value& root = **resolved;
    if (!root.is<ValueObject>()) return std::unexpected(failure("$ref target is not a schema object"));
    if (!describes_object(root)) return std::unexpected(failure("root schema must describe an object"));

    auto converted = convert_object_schema(context, root, "", 0, true);
    if (!converted) return forward_error(converted);
    if (forbids_additional_properties(root)) {
        context.note("additionalProperties: false (bezo strict is document-wide; not emitted)");
    }
    if (auto fits = context.charge_output(); !fits) return forward_error(fits);
    return assemble_imported_schema(name, context.libraries, context.body);
}

Result<std::string> import_jsonschema(std::string_view text, std::string_view name) {
    return import_jsonschema(text, name, Utf8State::Unchecked);
}

}  // namespace bezo
