// Exact decimals and unit expressions: the input is a value, a unit and a
// second unit, separated by NUL bytes.
#include "fuzz_target.hpp"
#include "lang/decimal.hpp"
#include "lang/unit.hpp"

using namespace bezo;

namespace {

// The canonical text of a decimal reads back to itself when its digits fit
// the reader's 38. Exponent digits are written out, so only exponents a
// caller would print are formatted.
void check_decimal(std::string_view text) {
    const auto value = parse_exact_decimal(text);
    if (!value || value->exponent < -4096 || value->exponent > 4096) return;
    const std::string canonical = format_exact_decimal(value->negative, value->mantissa, value->exponent);
    if (canonical.size() > 38) return;
    const auto again = parse_exact_decimal(canonical);
    fuzz::check(again.has_value(), "a canonical decimal reads back");
    fuzz::check_same(format_exact_decimal(again->negative, again->mantissa, again->exponent), canonical,
                     "a canonical decimal is its own canonical text");
}

// The canonical spelling of a unit is its own canonical spelling.
void check_unit(std::string_view text) {
    (void)parse_quantity_line(text);
    const auto canonical = canonical_unit_text(text);
    if (!canonical) return;
    const auto again = canonical_unit_text(*canonical);
    fuzz::check(again.has_value(), "a canonical unit reads back");
    fuzz::check_same(*again, *canonical, "a canonical unit is its own canonical spelling");
    (void)resolve_unit(*canonical, {});
    (void)unit_expression_scale(*canonical, {});
}

}  // namespace

BEZO_FUZZ_TARGET(input) {
    const auto [value, units] = fuzz::split_at_nul(input);
    const auto [from, to] = fuzz::split_at_nul(units);
    check_decimal(value);
    check_unit(from);
    check_unit(to);
    const auto from_unit = canonical_unit_text(from);
    const auto to_unit = canonical_unit_text(to);
    if (from_unit && to_unit) (void)convert_quantity(value, *from_unit, *to_unit, {});
}
