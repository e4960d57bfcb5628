// Schema expansion, the denormalizer's last pass: the canonical text of the
// reference pass merged with the field list of the document's compiled
// schema, both in their own order. Each content line that a field matches
// is rewritten under it (a unit-only signature takes the field's type name,
// a "!str" value under a "!text" field becomes "!text", a quantity is
// converted exactly to the field's unit), and every absent field that has a
// default is written where the schema puts it: a top-level field before the
// next present field, an element field inside each entry of its table.
// Imported data is first given the shapes the schema declares where import
// could not know them (pipeline/declared_shapes.hpp). A text whose lines do
// not follow the schema's order is put in that order first
// (pipeline/schema_order.hpp), so that the result lists every field where
// validation looks for it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/budget.hpp"
#include "core/error.hpp"
#include "lang/unit.hpp"
#include "schema/check.hpp"
#include "schema/compiled.hpp"

namespace bezo {

// The most bytes one expansion adds to its input, in added lines and in the
// growth of converted values; defaults multiply (entries x element fields x
// default length) and a short value may convert to thousands of digits, so a
// small document could otherwise ask for any amount of text.
inline constexpr std::size_t kAddedDefaultsLimit = kGrowthLimit;

// The error of an expansion that would add more than its limit.
Error added_defaults_too_large();

// What an added field is written with: its signature ("!str", "!" + type
// name + ":" + unit, or the chosen union member) and its default value
// (empty when the default chooses the "null" member of a union).
struct FieldSignature {
    std::string signature;
    std::string_view default_value;  // a view of the field's value
};

// The signature and default of a field that the expansion adds. A default
// that the field's constraints, or every member of its union, refuse is a
// SchemaOptionalWithoutDefault error.
Result<FieldSignature> resolve_field_signature(const SchemaField& field, PatternCache& patterns);

// The canonical text rewritten under the schema, with the user units of the
// document's unit modules. The first error ends the pass; no partial text is
// returned. `added_limit` bounds the bytes added to the text.
Result<std::string> expand_with_schema(std::string_view canonical, const CompiledSchema& schema, const UserUnits& units,
                                       std::size_t added_limit = kAddedDefaultsLimit);

// When the line (its ending included) begins, after blanks and tabs, with
// the unit shorthand "!:", appends it with "!float:" in its place and
// returns true; otherwise appends nothing and returns false.
bool expand_float_shorthand(std::string_view line, std::string& out);

}  // namespace bezo
