// The numbers of the Protocol Buffers JSON mapping: an integer field takes
// an integer or a quoted integer ("5", "+5", "05"); a floating field takes a
// number or a quoted number ("1.5", "1e5") and the non-finite values; an
// enum field takes a name, a number or a quoted number.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bezo {

// The bounds of an integral type.
struct ProtoIntegerRange {
    std::string_view low;
    std::string_view high;
};

inline constexpr ProtoIntegerRange kProtoInt32Range{"-2147483648", "2147483647"};
inline constexpr ProtoIntegerRange kProtoInt64Range{"-9223372036854775808", "9223372036854775807"};
inline constexpr ProtoIntegerRange kProtoUint32Range{"0", "4294967295"};
inline constexpr ProtoIntegerRange kProtoUint64Range{"0", "18446744073709551615"};

// The annotation of an integral type: its integers and its quoted integers,
// both within the range.
std::string proto_integer_annotation(ProtoIntegerRange range);

// The annotation of a floating type whose finite numbers lie within
// [-max, max]: numbers in range, quoted numbers, and the non-finite values.
std::string proto_floating_annotation(std::string_view max);

// The annotation of an enum with these value names: the numbers of int32,
// the names, and the numbers of int32 quoted; when the names are too many
// for one pattern, the names alone.
std::string proto_enum_annotation(const std::vector<std::string_view>& names);

// Whether the names of an enum and its quoted numbers fit one pattern.
bool proto_enum_names_fit(const std::vector<std::string_view>& names);

}  // namespace bezo
