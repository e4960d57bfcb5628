// The texts of the six standard type libraries, compiled into the module.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace bezo {

struct BuiltinLibraryText {
    std::string_view name;  // the full library name, e.g. "std/core"
    std::string_view text;  // the library text, declaration line first
};

inline constexpr std::size_t kBuiltinLibraryCount = 6;

// The six standard libraries: std/enc, std/net, std/num, std/core, std/math
// and std/time, in that order.
std::span<const BuiltinLibraryText, kBuiltinLibraryCount> builtin_library_texts();

}  // namespace bezo
