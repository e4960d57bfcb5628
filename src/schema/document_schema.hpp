// Loading the schema a document names. Its ".!schema" directives name
// compiled schemas for the whole document or for the subtree under a path;
// each is loaded through the call's resolver, the lines of subtree schemas
// are re-rooted under their paths, and everything is merged by key into one
// compiled schema, later directives winning. Each subtree schema that serves
// a delegation keeps its own strictness and provenance requirement as a
// scope, and every delegation must be served by exactly one directive.
#pragma once

#include <optional>
#include <string_view>

#include "core/error.hpp"
#include "lang/resolve.hpp"
#include "schema/compiled.hpp"

namespace bezo {

// The merged schema of the document's directives; no value when the
// document names no schema.
Result<std::optional<CompiledSchema>> resolve_document_schema(std::string_view document, Resolver& resolver);

}  // namespace bezo
