// The conversion of GraphQL object types into authored-schema lines. Scalar
// fields become field lines under an optional type signature, non-null
// object fields become namespace paths, lists of scalars array lines and
// lists of objects sections. What the schema language cannot hold (custom
// scalars, unions, nullable objects, nested lists, recursion, undefined
// types) is left out with a "// dropped:" note.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/error.hpp"
#include "core/hash.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/graphql_parser.hpp"

namespace bezo {

// Object definitions whose fields are open at the moment, from the root
// down; more than this many ends the import.
inline constexpr std::size_t kMaxGraphqlTypeNesting = 32;

// The state of one conversion: the parsed definitions (borrowed), the index
// of the first definition of each name, the output and the budget.
class GraphqlConversion {
public:
    explicit GraphqlConversion(const std::vector<SdlDefinition>& definitions);

    const std::vector<SdlDefinition>& definitions;
    std::string out;             // what the import returns: the header, then the body
    std::size_t body_start = 0;  // where the body begins in `out`
    ImportBudget budget;
    FieldLineCounts lines;  // the field lines written so far

    // Counts one more field or object reached and checks the body's size.
    Result<void> charge_step();
    // Checks the body's size alone.
    Result<void> charge_output() const { return budget.charge_output(out.size() - body_start); }

    // The index of the first definition named `name`.
    std::optional<std::size_t> find(std::string_view name) const;

private:
    std::unordered_map<std::string_view, std::size_t, KeyedTextHash, std::equal_to<>> first_definition_;
};

enum class SdlMappingKind : std::uint8_t { Scalar, Object, Unsupported };

// What a named type becomes.
struct SdlTypeMapping {
    SdlMappingKind kind = SdlMappingKind::Scalar;
    // Scalar: the signature of a built-in type without its "!", empty for
    // String and ID.
    std::string_view signature;
    // Scalar: the values of an enum that has some; its signature is "!str{...}".
    const std::vector<std::string_view>* enum_values = nullptr;
    std::size_t object = 0;  // Object: the definition's index
    std::string reason;      // Unsupported: the note's reason
};

// The built-in scalars first, then the first definition of the name.
SdlTypeMapping map_graphql_named_type(const GraphqlConversion& conversion, std::string_view name);

// Appends the lines of `fields`, the fields of one object definition, under
// the path prefix ("" at the root), and descends into non-null object
// fields. `open_types` holds the indexes of the root and of every object
// whose fields are being written. Fails with "type nesting too deep" or
// "schema too large to import".
Result<void> convert_graphql_type(GraphqlConversion& conversion, const std::vector<SdlField>& fields,
                                  std::string_view prefix, std::vector<std::size_t>& open_types);

}  // namespace bezo
