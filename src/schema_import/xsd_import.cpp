#include "schema_import/xsd_import.hpp"

#include <span>
#include <vector>

#include "core/utf8.hpp"
#include "interchange/xml_reader.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/xsd_context.hpp"
#include "schema_import/xsd_particle.hpp"
#include "schema_import/xsd_resolve.hpp"

namespace bezo {
namespace {

constexpr std::string_view kXmlSchemaNamespace = "http://www.w3.org/2001/XMLSchema";

Error failure(std::string message) { return Error::Other(std::move(message)); }

bool is_schema_namespace(const Value& value) {
    const auto* text = value.get_if<StringValue>();
    return text && text->text == kXmlSchemaNamespace;
}

// The prefix of the XML Schema vocabulary: the first "xmlns:" declaration
// of its namespace, else an unprefixed declaration of it, else the prefix of
// a document element named "schema". The name is not checked when a
// declaration settles the prefix.
std::optional<std::string_view> schema_prefix(const XmlDocumentElement& document) {
    if (const auto* members = document.value.get_if<ValueObject>()) {
        constexpr std::string_view kPrefixed = "@xmlns:";
        for (const auto& member : *members) {
            if (member.key.starts_with(kPrefixed) && is_schema_namespace(member.value)) {
                return std::string_view(member.key).substr(kPrefixed.size());
            }
        }
        for (const auto& member : *members) {
            if (member.key != "@xmlns") continue;
            if (is_schema_namespace(member.value)) return std::string_view();
            break;
        }
    }
    const std::string_view element_name = document.name;
    const auto colon = element_name.find(':');
    if (colon == std::string_view::npos) {
        if (element_name == "schema") return std::string_view();
        return std::nullopt;
    }
    if (element_name.substr(colon + 1) != "schema") return std::nullopt;
    return element_name.substr(0, colon);
}

// The names of the top-level elements that have one, as a message lists them.
std::string listed_names(std::span<const Value> elements) {
    ListedNames names;
    for (const Value& element : elements) {
        if (const auto name = find_attribute(element, "name")) names.add(*name);
    }
    return names.text();
}

Result<const Value*> choose_root(std::span<const Value> elements, std::optional<std::string_view> message) {
    if (message) {
        for (const Value& element : elements) {
            if (element.is<ValueObject>() && find_attribute(element, "name") == *message) return &element;
        }
        return std::unexpected(failure("no top-level element named " + quoted_excerpt(*message)));
    }
    if (elements.empty()) return std::unexpected(failure("the schema declares no top-level elements"));
    if (elements.size() > 1) {
        return std::unexpected(
            failure("the schema has several top-level elements (" + listed_names(elements) + "); pass --message"));
    }
    return &elements.front();
}

// Only the one text is read: a schema it takes from another document (an
// include, import, redefine or override) is left out, and said so; the
// elements that need its types get notes of their own.
void note_other_documents(XsdContext& context) {
    for (const std::string_view kind : {"include", "import", "redefine", "override"}) {
        for (const Value& child : context.children(context.schema(), kind)) {
            const auto location = find_attribute(child, "schemaLocation");
            context.note({kind, " of ", location ? *location : std::string_view("an unnamed schema"),
                          " (another document is not read)"});
        }
    }
}

}  // namespace

Result<std::string> import_xsd(std::string_view text, std::optional<std::string_view> message, std::string_view name,
                               Utf8State utf8) {
    if (utf8 == Utf8State::Unchecked && !is_valid_utf8(text)) {
        return std::unexpected(failure("input is not valid UTF-8"));
    }
    auto document = parse_xml_document(text);
    if (!document) return forward_error(document);
    const auto prefix = schema_prefix(*document);
    if (!prefix) return std::unexpected(failure("the document root is not an XSD schema element"));
    if (!document->value.is<ValueObject>()) return std::unexpected(failure("empty schema document"));

    XsdContext context(*prefix, document->value);
    note_other_documents(context);
    auto root = choose_root(context.children(context.schema(), "element"), message);
    if (!root) return forward_error(root);
    auto type = resolve_element_type(context, **root);
    if (!type) return forward_error(type);
    if (std::holds_alternative<XsdUnresolved>(*type)) {
        return std::unexpected(failure("the root element has no resolvable type"));
    }
    const auto root_name = find_attribute(**root, "name");
    if (!root_name) return std::unexpected(failure("the root element has no name"));
    const auto key = property_key(*root_name);
    if (!key)
        return std::unexpected(
            failure("unrepresentable root element name: " + quoted_excerpt(name_debug_form(*root_name))));
    const auto* complex = std::get_if<XsdComplex>(&*type);
    if (!complex) return std::unexpected(failure("the root element is scalar; nothing to convert"));

    // The root's own type is not stacked: it is expanded once whatever it is.
    std::vector<std::string_view> type_stack;
    auto converted = convert_xsd_particle(context, *complex->type, "/" + *key, false, type_stack);
    if (!converted) return forward_error(converted);
    if (auto fits = context.charge_output(); !fits) return forward_error(fits);
    return assemble_imported_schema(name, context.libraries, context.body);
}

Result<std::string> import_xsd(std::string_view text, std::optional<std::string_view> message, std::string_view name) {
    return import_xsd(text, message, name, Utf8State::Unchecked);
}

}  // namespace bezo
