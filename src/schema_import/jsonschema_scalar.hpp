// The annotation line of a JSON Schema property that holds one scalar: its
// schema type or type-library type, and the constraints the schema language
// can express (a value set, a pattern, a length range, a numeric range),
// with a note for every constraint keyword it drops.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "interchange/value.hpp"
#include "schema_import/jsonschema_context.hpp"

namespace bezo {

// The annotation of a scalar of JSON type `word` ("string", "integer",
// "number", "boolean" or "null"), its notes written. A string with a known
// "format" becomes the library type ("&email" when required,
// "!null|std/net/email" when not); a required plain string has none.
std::optional<std::string> scalar_annotation(JsonSchemaContext& context, const Value& schema, std::string_view word,
                                             bool required);

// Writes the notes and at most one annotation line of a scalar, as above.
void map_string_format(JsonSchemaContext& context, const Value& schema, std::string_view word, bool required);

// The constraint text of a scalar of JSON type `word` ("{a,b}",
// "/pattern/#[1,5]", "[0,10]", or empty), noting what it drops. The values
// of a numeric property are the pattern of their spellings, which for an
// integer property carries a float member along ("/p/|float/p/"): written
// after the type, the text stays one annotation.
std::string convert_scalar_constraints(JsonSchemaContext& context, const Value& schema, std::string_view word);

// "!null|" + type + constraints: the annotation of a value that may also be
// null.
std::string nullable_annotation(std::string_view type, std::string_view constraints);

// The text of a value as a member of a set constraint; none for a value of
// another kind and for a text the set syntax cannot hold.
std::optional<std::string> enum_member_text(const Value& value);

// The integer a number holds plus `step`, in decimal; none for a fraction,
// an exponent or a value outside the signed 64-bit range.
std::optional<std::string> shift_integer_bound(const Value& value, std::int64_t step);

}  // namespace bezo
