#include "schema_import/graphql_import.hpp"

#include <vector>

#include "core/utf8.hpp"
#include "lang/schema_name.hpp"
#include "schema_import/graphql_convert.hpp"
#include "schema_import/graphql_parser.hpp"

namespace bezo {
namespace {

Error failure(std::string message) { return Error::Other(std::move(message)); }

// The first definition named `message`, which must be an object type.
Result<std::size_t> named_root(const GraphqlConversion& conversion, std::string_view message) {
    const auto index = conversion.find(message);
    if (!index) return std::unexpected(failure("no type named " + quoted_excerpt(message) + " in the document"));
    if (conversion.definitions[*index].kind != SdlDefinitionKind::Object) {
        return std::unexpected(failure(quoted_excerpt(message) + " is not an object type"));
    }
    return *index;
}

// The document's one object type.
Result<std::size_t> only_object(const std::vector<SdlDefinition>& definitions) {
    std::vector<std::size_t> objects;
    for (std::size_t i = 0; i < definitions.size(); ++i) {
        if (definitions[i].kind == SdlDefinitionKind::Object) objects.push_back(i);
    }
    if (objects.empty()) return std::unexpected(failure("the document defines no object types"));
    if (objects.size() == 1) return objects.front();
    ListedNames names;
    for (const std::size_t object : objects) names.add(definitions[object].name);
    return std::unexpected(failure("the document has several object types (" + names.text() + "); pass --message"));
}

}  // namespace

Result<std::string> import_graphql(std::string_view text, std::optional<std::string_view> message,
                                   std::string_view name, Utf8State utf8) {
    if (utf8 == Utf8State::Unchecked && !is_valid_utf8(text)) {
        return std::unexpected(failure("input is not valid UTF-8"));
    }
    SdlCursor cursor{text};
    auto definitions = parse_sdl_document(cursor);
    if (!definitions) return forward_error(definitions);

    GraphqlConversion conversion(*definitions);
    auto root = message ? named_root(conversion, *message) : only_object(*definitions);
    if (!root) return forward_error(root);

    // The header goes first, so that the body is written in place behind it.
    if (auto named = check_schema_name(name, "schema"); !named) return forward_error(named);
    conversion.out = ".!hezo ";
    conversion.out += name;
    conversion.out += "\n\n";
    conversion.body_start = conversion.out.size();
    std::vector<std::size_t> open_types{*root};
    auto converted = convert_graphql_type(conversion, (*definitions)[*root].fields, "", open_types);
    if (!converted) return forward_error(converted);
    if (auto fits = conversion.charge_output(); !fits) return forward_error(fits);
    return std::move(conversion.out);
}

Result<std::string> import_graphql(std::string_view text, std::optional<std::string_view> message,
                                   std::string_view name) {
    return import_graphql(text, message, name, Utf8State::Unchecked);
}

}  // namespace bezo
