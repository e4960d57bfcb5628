// A linear pass over a TOML text before the TOML library reads it. The
// library descends once per level of nesting and once per part of a dotted
// key, so a hostile text could exhaust the stack; and it accepts a few forms
// beyond TOML 1.1. This pass refuses both, looking only at what stands
// outside strings and comments, and leaves every other fault to the library.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace bezo {

// A value may stand inside at most this many tables and arrays.
inline constexpr unsigned kMaxTomlDepth = 512;

struct TomlElementRun {
    std::string_view key;
    std::vector<std::size_t> starts;
};

// Sums the levels a value stands at (the parts of its table header, the
// parts of its dotted keys less one, the inline tables and arrays around
// it) and fails with "invalid TOML: nesting deeper than 512 levels" past
// the limit. Also refuses hexadecimal floats and bare keys holding "+" or
// characters beyond ASCII, with "invalid TOML: {} (line L, column C)".
//
// With `elements`, also tells whether the text may be read in pieces: when
// its first table header is "[[A]]" for one bare key A, and every later
// header is "[[A]]" again or names a table under "A.", the text is the
// root's own entries followed by the elements of the array of tables A.
// `elements` then gives A and where each "[[A]]" line starts; otherwise its
// key is empty.
Result<void> prescan_toml(std::string_view text, TomlElementRun* elements = nullptr);

// The error of a text that is no TOML: "invalid TOML: {} (line L, column
// C)" with the problem and a position counted from 1.
Error invalid_toml_at(std::string_view problem, std::size_t line, std::size_t column);

}  // namespace bezo
