// The walk over the properties of a JSON Schema object and the conversion
// of one property into authored schema lines: comments, notes, the
// annotation line and the field line; arrays as element lines or tables,
// nested objects as prefixed fields, object maps as map fields.
#pragma once

#include <string_view>

#include "core/error.hpp"
#include "interchange/value.hpp"
#include "schema_import/jsonschema_context.hpp"

namespace bezo {

// Converts the properties of one object schema in document order. `prefix`
// names the object ("" at the root, "/address" below it) and `depth` counts
// the objects above it. A property is required only when its object lists
// it and the object is present in every document: `object_required` is true
// at the root and for a nested object required all the way up.
Result<void> convert_object_schema(JsonSchemaContext& context, const Value& schema, std::string_view prefix,
                                   unsigned depth, bool object_required);

// Converts one property whose schema has been resolved already.
Result<void> convert_subschema(JsonSchemaContext& context, const Value& schema, std::string_view prefix,
                               std::string_view name, bool required, unsigned depth);

}  // namespace bezo
