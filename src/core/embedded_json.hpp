// How a canonical line holds an embedded JSON value (what import writes for
// an empty array or object, or an array in an array): the line's type name,
// and the base64url values of the two empty shapes.
#pragma once

#include <string_view>

namespace bezo {

inline constexpr std::string_view kEmbeddedJsonType = "std/enc/json";
inline constexpr std::string_view kEmptyJsonArray = "W10";   // "[]"
inline constexpr std::string_view kEmptyJsonObject = "e30";  // "{}"

}  // namespace bezo
