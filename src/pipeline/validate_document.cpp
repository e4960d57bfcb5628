#include "pipeline/validate_document.hpp"

#include "core/utf8.hpp"
#include "lang/resolve.hpp"
#include "schema/compiled.hpp"
#include "schema/schema_compiler.hpp"
#include "schema/validator.hpp"

namespace bezo {
namespace {

bool is_compiled_schema_text(std::string_view schema) {
    return trim_leading_unicode_white_space(schema.substr(0, schema.find('\n'))).starts_with(".!whezo");
}

Result<CompiledSchema> read_schema(std::string_view schema, Resolver& resolver, Utf8State utf8) {
    if (is_compiled_schema_text(schema)) return load_compiled_schema(schema);
    return compile_schema(schema, resolver, utf8);
}

}  // namespace

std::expected<void, ValidationFailure> validate_document(std::string_view document, std::string_view schema,
                                                         Utf8State utf8) {
    Resolver resolver;
    return validate_document(document, schema, resolver, utf8);
}

std::expected<void, ValidationFailure> validate_document(std::string_view document, std::string_view schema,
                                                         Resolver& resolver, Utf8State utf8) {
    const auto compiled = read_schema(schema, resolver, utf8);
    if (!compiled) return std::unexpected(SchemaFailure{compiled.error()});
    if (auto verdict = validate_stream(document, *compiled); !verdict) return forward_error(verdict);
    return {};
}

}  // namespace bezo
