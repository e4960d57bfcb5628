// The orderings of the comparison domains that range and set constraints
// compare texts in: numbers ("..num"), versions ("..ver"), instants
// ("..time") and the collation domains "..lex[tag]". The bytewise "..lex"
// ordering needs no helper of its own.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace bezo {

// The default domain of a constraint list without a span item.
inline constexpr std::string_view kDefaultDomain = "..lex";

// The locale tag of a collation domain word ("..lex[" tag "]"), or no value
// for every other word.
std::optional<std::string_view> collation_domain_tag(std::string_view domain);

// The value of an optional "+" followed by ASCII digits, or no value for any
// other text and for a number beyond 64 bits.
std::optional<std::uint64_t> read_unsigned_decimal(std::string_view text);

// True when a <= b as numbers. Integers (an optional "-" and digits) compare
// exactly at any length; anything else is read as a double, and a text that
// does not read as a number makes the comparison false.
bool compare_numeric_text(std::string_view a, std::string_view b);

// A text read for numeric comparison: its integer form when it is an
// integer, and its double when it is not one (or when asked for). A bound
// read once this way compares with a value in time independent of the
// bound's digits: magnitudes of different lengths are ordered by length.
struct NumericText {
    std::string_view text;
    bool integer = false;
    bool negative = false;       // an integer below zero ("-0" is not)
    std::string_view magnitude;  // an integer's digits without leading zeros
    std::optional<double> real;  // read for a non-integer; for an integer only with `with_real`
};
NumericText read_numeric_text(std::string_view text, bool with_real = false);

// compare_numeric_text of two texts already read.
bool numeric_less_equal(const NumericText& a, const NumericText& b);

// True when a <= b as versions: "."-separated pieces compared in turn,
// numerically when both read as unsigned 64-bit numbers, bytewise otherwise.
// A version that runs out of pieces first is the smaller one.
bool compare_version_text(std::string_view a, std::string_view b);

// A version text read once: its first pieces split and read as numbers, and
// the text after them when more pieces follow. A bound read this way
// compares with a value in time independent of the bound's length as long as
// the value has no more pieces than were read.
struct VersionText {
    static constexpr std::size_t kReadPieces = 64;
    struct Piece {
        std::string_view text;
        std::optional<std::uint64_t> number;  // when the piece reads as an unsigned 64-bit number
    };
    std::vector<Piece> pieces;
    std::optional<std::string_view> rest;
};
VersionText read_version_text(std::string_view text);

// compare_version_text with one side already read.
bool version_less_equal(const VersionText& a, std::string_view b);
bool version_less_equal(std::string_view a, const VersionText& b);

// A point in time: whole seconds since 1970-01-01T00:00:00 and nanoseconds.
struct DateInstant {
    std::int64_t seconds = 0;
    std::uint32_t nanos = 0;
    friend auto operator<=>(const DateInstant&, const DateInstant&) = default;
};

// Reads a date («2024-01-31»), a date and time with an optional zone
// («2024-01-31T10:00:00.5+02:00», the zone folded into UTC), or a time of
// day alone («10:00:00»). Days up to 31 are accepted in every month and
// roll over into the next one.
std::optional<DateInstant> parse_date_value(std::string_view text);

}  // namespace bezo
