// One XSD complex type as field lines: attributes and scalar child elements
// become fields under the element's path, a nested complex element fields
// under a longer path, a repeated scalar element a vector line and a
// repeated complex element a table of its scalar members. What the schema
// language cannot say (element references, wildcards, derivation, nested
// model groups, the exclusivity of a choice, occurrence bounds on vectors,
// recursion) is weakened so that the fields accept at least what the XSD
// accepted, and noted.
#pragma once

#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/value.hpp"
#include "schema_import/xsd_context.hpp"

namespace bezo {

// Appends the lines of `complex_type` under `path` ("/Order"), every field
// optional when `optional` is. `type_stack` holds the names of the named
// complex types being expanded, innermost last; more than 32 of them, or
// complex elements nested more than 512 deep below this one, end the import
// with "type nesting too deep".
Result<void> convert_xsd_particle(XsdContext& context, const Value& complex_type, std::string_view path, bool optional,
                                  std::vector<std::string_view>& type_stack);

// Writes one scalar field: its annotation line (widened to admit null when
// the field is optional), then "key=" or "key?=".
void write_xsd_scalar_field(XsdContext& context, const std::optional<std::string>& annotation,
                            std::string_view key_text, bool optional);

}  // namespace bezo
