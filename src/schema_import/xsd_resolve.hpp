// The types of XSD elements and attributes: a built-in, a complexType or
// simpleType declared at the top of the schema, or an anonymous type inside
// the element. Prefixes of type names are ignored, and only the schema's own
// top-level types are searched: nothing is imported, included or fetched.
#pragma once

#include <string_view>

#include "core/error.hpp"
#include "interchange/value.hpp"
#include "schema_import/xsd_context.hpp"

namespace bezo {

// The type an element declares: none for an element reference ("ref"), else
// its "type" attribute, else its one anonymous complexType or simpleType.
// Fails only when a named type's use goes over the import budget.
Result<XsdType> resolve_element_type(XsdContext& context, const Value& element);

// A type name as written: a built-in first (so "tns:string" is the
// built-in string whatever its prefix), then the first top-level
// complexType, then the first top-level simpleType of its local name.
Result<XsdType> resolve_xsd_type_name(XsdContext& context, std::string_view type_name);

}  // namespace bezo
