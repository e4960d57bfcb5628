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

// Writes the notes and at most one annotation line of a scalar of JSON type
// `word` ("string", "integer", "number", "boolean" or "null"). A string
// with a known "format" becomes the library type ("&email" when required,
// "!null|std/net/email" when not); a required plain string writes nothing.
void map_string_format(JsonSchemaContext& context, const Value& schema, std::string_view word, bool required);

// The constraint text of a scalar of JSON type `word` ("{a,b}",
// "/pattern/#[1,5]", "[0,10]", or empty), noting what it drops.
std::string convert_scalar_constraints(JsonSchemaContext& context, const Value& schema, std::string_view word);

// The text of a value as a member of a set constraint; none for a value of
// another kind and for a text the set syntax cannot hold.
std::optional<std::string> enum_member_text(const Value& value);

// The integer a number holds plus `step`, in decimal; none for a fraction,
// an exponent or a value outside the signed 64-bit range.
std::optional<std::string> shift_integer_bound(const Value& value, std::int64_t step);

// A JSON Schema pattern as the text between the slashes of a pattern
// constraint: every "/" not already escaped gets a backslash.
std::string translate_pattern(std::string_view pattern);

bool has_control_char(std::string_view text);

}  // namespace bezo
