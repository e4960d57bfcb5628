#include "pipeline/build.hpp"

#include <utility>

#include "core/text.hpp"
#include "lang/canonical_line.hpp"
#include "lang/resolve.hpp"
#include "pipeline/compiler.hpp"
#include "pipeline/denorm.hpp"
#include "schema/schema_compiler.hpp"

namespace bezo {
namespace {

constexpr std::string_view kSchemaDeclaration = ".!hezo";

// The schema's name: the first word after ".!hezo" on its first line that
// does not begin with a digit (a version).
Result<std::string_view> schema_name(std::string_view schema) {
    std::string_view rest = schema;
    const std::string_view first = take_line(rest);
    if (!first.starts_with(kSchemaDeclaration)) return fail("schema must open with a .!hezo declaration");
    std::string_view words = first.substr(kSchemaDeclaration.size());
    while (!words.empty()) {
        const auto start = words.find_first_not_of(kAsciiWhitespace);
        if (start == std::string_view::npos) break;
        words.remove_prefix(start);
        const std::string_view word = words.substr(0, words.find_first_of(kAsciiWhitespace));
        words.remove_prefix(word.size());
        if (!is_ascii_digit(word.front())) return word;
    }
    return fail("the .!hezo declaration names no schema");
}

bool names_a_schema(std::string_view document) {
    while (!document.empty()) {
        if (trim_leading_blanks(take_line(document)).starts_with(".!schema")) return true;
    }
    return false;
}

// Names the schema in the relational text: a ".!schema:" line first after
// its declaration, where compiling the document with that line at its top
// (or after its ".!bezo" line) puts it. Adding it to the compiled text
// spares a copy of the document, and the compiler's errors count the
// caller's lines.
void add_schema_line(std::string& relational, std::string_view name) {
    std::string line = ".!schema:";
    line.append(name).append("\n");
    relational.insert(relational.find('\n') + 1, line);
}

// Compiles the schema and preloads it, authored and compiled, under its
// name; returns the name.
Result<std::string_view> preload_schema(std::string_view schema, Resolver& resolver, Utf8State utf8) {
    auto name = schema_name(schema);
    if (!name) return name;
    resolver.preload_module_text(*name, "hezo", std::string(schema));
    auto compiled = compile_schema_text(schema, resolver, utf8);
    if (!compiled) return forward_error(compiled);
    resolver.preload_module_text(*name, "whezo", std::move(*compiled));
    return name;
}

}  // namespace

Result<std::string> build_document(std::string_view text, std::optional<std::string_view> schema, Utf8State utf8) {
    Resolver resolver;
    return build_document(text, schema, resolver, utf8);
}

Result<std::string> build_document(std::string_view text, std::optional<std::string_view> schema, Resolver& resolver,
                                   Utf8State utf8) {
    std::optional<std::string_view> added_schema;
    if (schema) {
        auto name = preload_schema(*schema, resolver, utf8);
        if (!name) return forward_error(name);
        if (!names_a_schema(text)) added_schema = *name;
    }
    auto relational = compile_document(text, resolver, utf8);
    if (!relational) return relational;
    if (added_schema) add_schema_line(*relational, *added_schema);
    return denormalize_compiled(std::move(*relational), resolver);
}

}  // namespace bezo
