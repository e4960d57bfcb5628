// Unit expressions: their grammar and canonical spelling, the built-in units
// with SI prefixes, information units and data-rate aliases, the records of
// user-defined units, the dimension and exact scale of an expression, and the
// exact conversion of a decimal quantity between units (never floating point).
// Every operation is a pure function of its arguments.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "lang/decimal.hpp"

namespace bezo {

// Symbols with their summed integer exponents, ordered by the byte order of
// the symbols. A sum of zero stays in the map and prints as nothing.
struct UnitExpr {
    std::map<std::string, std::int64_t, std::less<>> terms;

    friend bool operator==(const UnitExpr&, const UnitExpr&) = default;
};

// The exact size of an expression relative to the base symbols of its
// dimension: numerator / denominator x 10^exponent.
struct UnitScale {
    Int128 numerator = 1;
    Int128 denominator = 1;
    std::int32_t exponent = 0;

    friend bool operator==(const UnitScale&, const UnitScale&) = default;
};

enum class ConversionFailure : std::uint8_t {
    // A unit does not resolve, the dimensions differ, or the value is not a
    // decimal number: callers leave the value unchanged.
    Incompatible,
    // The exact result cannot be represented: callers report an error.
    Inexact,
};

// One user-defined unit. An alias holds a copy of its target's `unit`,
// `quantity` and `reference` plus the target's name in `alias_of`.
struct UnitDef {
    std::string unit;                      // expression as written, or "$"
    std::optional<std::string> quantity;   // one of this unit is quantity x unit
    std::optional<std::string> reference;  // the name after "@" of a "$" line
    std::optional<std::string> alias_of;

    friend bool operator==(const UnitDef&, const UnitDef&) = default;
};

// User units by name, ordered by the byte order of the names.
using UserUnits = std::map<std::string, UnitDef, std::less<>>;

// The names of user units, for the operations that only ask which exist.
using UnitNames = std::set<std::string, std::less<>>;

// Alias names mapped to the unit each one stands for.
using UnitAliasTable = std::map<std::string, std::string, std::less<>>;

// One parsed unit-definition module.
struct UnitDefs {
    std::string name;
    UserUnits units;

    friend bool operator==(const UnitDefs&, const UnitDefs&) = default;
};

// One dimension line of a unit-definition module: "$" with an optional
// "@reference", or a unit expression and a decimal quantity.
struct QuantityLine {
    std::string unit;
    std::optional<std::string> quantity;
    std::optional<std::string> reference;

    friend bool operator==(const QuantityLine&, const QuantityLine&) = default;
};

// "bps", "kbps", "Mbps", "Gbps" and "Tbps" as whole texts become "b/s",
// "kb/s", ...; any other text comes back unchanged.
std::string_view data_rate_alias(std::string_view text);

// Terms joined by "*" or "/" (each operator binds only the next term), each a
// symbol ("1", letters, or "~" and three capitals) with an optional "^" and a
// non-zero integer exponent.
std::optional<UnitExpr> parse_unit_expression(std::string_view text);

// The canonical spelling: positive terms joined by "*" (or "1"), then "/" and
// each negative term.
std::string merge_unit_terms(const UnitExpr& expr);

// The canonical spelling of a unit text, data-rate aliases applied. Whether
// the symbols exist is not checked.
std::optional<std::string> canonical_unit_text(std::string_view text);

// An unprefixed built-in, an information unit ("kB", "GiB", ...) or an SI
// prefix in front of a prefixable built-in.
bool is_builtin_unit_symbol(std::string_view symbol);

// Every symbol of the expression (data-rate aliases applied) is "1", a "~"
// code, a built-in or one of the user names.
bool is_known_unit(std::string_view text, const UnitNames& user_names);
bool is_known_unit(std::string_view text, const UserUnits& user_units);

// The dimension of a canonical unit text over the base symbols m, kg, s, A,
// K, mol, cd and b. Depth counts nested user definitions (0 for callers).
std::optional<UnitExpr> resolve_unit(std::string_view text, const UserUnits& units, int depth = 0);

// The exact scale of a canonical unit text. Depth as for `resolve_unit`.
std::optional<UnitScale> unit_expression_scale(std::string_view text, const UserUnits& units, int depth = 0);

// The conversion between two units, resolved once and then applied to any
// number of values. The factor between the units is kept reduced: a part
// coprime to 10 over another part coprime to 10 and to the first, times
// powers of 2 and 5 and a shift of the power of ten, so that a value's
// result is found exactly without products wider than the result.
class QuantityConversion {
public:
    // The conversion between the units, or the failure that every value
    // would meet (units that do not resolve or differ in dimension:
    // Incompatible; a reduced factor that overflows: Inexact).
    [[nodiscard]] static std::expected<QuantityConversion, ConversionFailure> between(std::string_view from_unit,
                                                                                      std::string_view to_unit,
                                                                                      const UserUnits& units);

    // The value in the target unit, in canonical decimal text. A text that
    // is no decimal number is Incompatible; a decimal too long to be read
    // exactly, or whose result has no finite decimal expansion or does not
    // fit the 127 bits of a decimal's digits, is Inexact.
    [[nodiscard]] std::expected<std::string, ConversionFailure> apply(std::string_view value) const;

private:
    Int128 multiplier_ = 1;  // coprime to 10 and to the divisor
    Int128 divisor_ = 1;     // coprime to 10
    std::int64_t twos_ = 0;
    std::int64_t fives_ = 0;
    std::int64_t exponent_shift_ = 0;
};

// The value converted exactly from one unit to another, in canonical decimal
// text.
[[nodiscard]] std::expected<std::string, ConversionFailure> convert_quantity(std::string_view value,
                                                                             std::string_view from_unit,
                                                                             std::string_view to_unit,
                                                                             const UserUnits& units);

// The canonical text of the expression with every symbol that is a key of
// `replacements` replaced by its entry, or no value when nothing was replaced
// (or the text does not parse).
std::optional<std::string> substitute_unit_symbols(std::string_view text, const UnitAliasTable& replacements);

// Reads one dimension line of a unit-definition module, or no value.
std::optional<QuantityLine> parse_quantity_line(std::string_view line);

// A deep copy of a definition.
UnitDef clone_unit_def(const UnitDef& def);

}  // namespace bezo
