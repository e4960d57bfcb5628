// The denormalizer: relational text (kind lezo) to canonical text (kind
// nezo). Its first pass rewrites the declaration, drops the ".!verbatim"
// switch and replaces every field reference ("$name", "$path::key") in a
// value by the value of the earlier field it names; then, when the document
// names a schema, the schema pass (pipeline/expand.hpp) rewrites it.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "lang/resolve.hpp"

namespace bezo {

// The reference pass: the relational text checked for its declaration and
// rewritten line by line into canonical text. Lines keep their endings; the
// first error ends the pass and no partial text is returned.
Result<std::string> resolve_references(std::string_view relational);

// Both passes on a relational text the caller hands over, as the compiler
// wrote it, which is freed before the schema step. A text in which the
// reference pass finds nothing to rewrite but its declaration line becomes
// the canonical text in its own buffer, without a second copy, and skips
// the schema step when it holds no ".!schema" at all. Gives what
// `denormalize_document` gives.
Result<std::string> denormalize_compiled(std::string relational, Resolver& resolver);

// The denormalizer's entry: the reference pass, then the document's schema
// through the resolver. A document without a schema gives the reference
// pass's text.
Result<std::string> denormalize_document(std::string_view relational, Resolver& resolver);

// The schema step of `denormalize_document` on the reference pass's text,
// which it takes over so that a caller holding nothing else can let it go:
// the document's schema, the units of its ".!units" modules (loaded with
// its ".!registry" pairs; the first module to define a symbol wins) and the
// expansion. A document without a schema comes back unchanged.
Result<std::string> apply_document_schema(std::string canonical, Resolver& resolver);

}  // namespace bezo
