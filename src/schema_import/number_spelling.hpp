// Foreign schemas compare numbers by value: an enumeration of 1 and 2
// takes "1.0", "+01" or "1e0" wherever the format spells numbers so. A set
// constraint compares texts, so a numeric enumeration becomes a pattern that
// matches every spelling of its values instead.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/hash.hpp"

namespace bezo {

// The dialect refuses patterns longer than this.
inline constexpr std::size_t kMaxPatternBytes = 4096;

// How a foreign format spells a number: an optional sign and leading zeros
// always; a fraction (with trailing zeros, "5." and ".5" included) and an
// exponent where the format has them.
struct NumberGrammar {
    bool fraction = true;
    bool exponent = true;
};

// The anchored pattern ("^(...)$") that matches the spellings of the
// members' values under the grammar. A member that is not a number of the
// grammar ("INF", "NaN") is matched as written. Exponent forms are matched
// while the mantissa's point stays within a few places of where the plain
// spelling or the one-digit scientific spelling puts it; the exponents are
// narrowed, down to plain spellings only, until the pattern fits the
// dialect. None when even that does not fit.
std::optional<std::string> numeric_enumeration_pattern(std::span<const std::string_view> members,
                                                       NumberGrammar grammar);

// The patterns of the numeric enumerations of one import, each worked out
// once: a schema repeats an enumeration at every use of its definition.
class NumericPatternCache {
public:
    // `numeric_enumeration_pattern` of the members under the grammar.
    const std::optional<std::string>& pattern(std::span<const std::string_view> members, NumberGrammar grammar);

private:
    TextMap<std::optional<std::string>> patterns_;
};

// The comparison of numbers as text is exact for integers without a sign or
// with "-", and goes through doubles for a "+"-signed one, which past 2^53
// can pass a bound it exceeds. This gives the patterns ("/^(...)$/", each
// between slashes) that a "+"-signed integer text matches only while it lies
// within `low` and `high` (integer texts; empty for an open end); texts
// without "+" match them all. Empty when no bound needs one (a double holds
// it exactly, or it is negative), or when a bound of more than 40 digits
// would make a pattern too long.
std::string plus_sign_bound_patterns(std::string_view low, std::string_view high);

// A pattern (no anchors) of the digit strings, leading zeros allowed, whose
// value is at most `bound` (digits without leading zeros).
std::string digits_at_most(std::string_view bound);

// Whether the text is a number (sign, fraction and exponent allowed) whose
// value is a whole number: "5", "-0.0", "1.5e1".
bool is_whole_number(std::string_view text);

}  // namespace bezo
