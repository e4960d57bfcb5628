// The numbers of the Protocol Buffers JSON mapping: an integer field takes
// a JSON number whose value is whole ("5", "5.0", "1e2") or a quoted
// integer ("5", "+5", "05"); a floating field takes a number or a quoted
// number ("1.5", "1e5"); an enum field takes a name, a number or a quoted
// number. Parsers read numbers with a fraction or an exponent as doubles.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bezo {

// The bounds of an integral type: as integers, and the largest double the
// type holds (a double past it reads as a number past the bound).
struct ProtoIntegerRange {
    std::string_view low;
    std::string_view high;
    std::string_view high_as_double;
};

// The integral types' bounds; the largest double below 2^63 and 2^64 stands
// for the high bound of the 64-bit types where a number is read as a double.
inline constexpr ProtoIntegerRange kProtoInt32Range{"-2147483648", "2147483647", "2147483647"};
inline constexpr ProtoIntegerRange kProtoInt64Range{"-9223372036854775808", "9223372036854775807",
                                                    "9223372036854774784"};
inline constexpr ProtoIntegerRange kProtoUint32Range{"0", "4294967295", "4294967295"};
inline constexpr ProtoIntegerRange kProtoUint64Range{"0", "18446744073709551615", "18446744073709549568"};

// The annotation of an integral type: its integers, its whole numbers that
// carry a fraction or an exponent, and its quoted integers, all within the
// range.
std::string proto_integer_annotation(ProtoIntegerRange range);

// The annotation of a floating type whose finite numbers lie within
// [-max, max]: numbers in range, quoted numbers, and the non-finite values.
std::string proto_floating_annotation(std::string_view max);

// The annotation of an enum with these value names: the numbers of int32
// (whole numbers with a fraction or an exponent too), the names, and the
// numbers of int32 quoted; when the names are too many for one pattern, the
// names alone.
std::string proto_enum_annotation(const std::vector<std::string_view>& names);

// Whether the names of an enum and its quoted numbers fit one pattern.
bool proto_enum_names_fit(const std::vector<std::string_view>& names);

// What the annotations above leave unchecked of a number that a parser reads
// as a double: whether its value is whole, for numbers it rounds.
inline constexpr std::string_view kRoundedWholeNumbers =
    " (whole value of numbers of 17 or more significant digits or an exponent beyond 20 not checked)";

}  // namespace bezo
