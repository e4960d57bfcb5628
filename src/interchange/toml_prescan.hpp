// A linear pass over a TOML text before the TOML library reads it. The
// library descends once per level of nesting and once per part of a dotted
// key, so a hostile text could exhaust the stack; and it accepts a few forms
// beyond TOML 1.1. This pass refuses both, looking only at what stands
// outside strings and comments, and leaves every other fault to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace bezo {

// A value may stand inside at most this many tables and arrays.
inline constexpr unsigned kMaxTomlDepth = 512;

// How a piece of the text begins where the previous one ends.
enum class TomlCutKind : std::uint8_t {
    Statement,  // a root entry or a table header whose first key no header before it shares
    Element,    // a "[[A]]" line that goes on with the elements of the array of tables A
    Item,       // the items of a long array after one of its commas
};

// A place where the text may be cut: the text before it and the text from
// it on read alone, and the root's members of the two together are those
// of each, one after the other, unless a key stands in both (checked by
// whoever joins them). After an Element or Item cut, the first member of
// the later piece goes on with the array that ends the earlier one.
struct TomlCut {
    std::size_t start;  // the first byte of the later piece; for Item, the byte after the comma
    TomlCutKind kind;
    std::string_view array_key;  // Item: the bare key of the long array
};

// The library's tree takes several times the memory of the text it holds;
// a text is read in pieces of about this many bytes.
inline constexpr std::size_t kTomlPieceBytes = 16 * 1024;

// Sums the levels a value stands at (the parts of its table header, the
// parts of its dotted keys less one, the inline tables and arrays around
// it) and fails with "invalid TOML: nesting deeper than 512 levels" past
// the limit. Also refuses hexadecimal floats and bare keys holding "+" or
// characters beyond ASCII, with "invalid TOML: {} (line L, column C)".
//
// With `cuts`, also gives the places where the text may be cut, at least
// `piece_bytes` apart: before root entries, before a header whose first key
// is bare and differs from that of the header before it, before a "[[A]]"
// line among the headers of the array of tables A that such a "[[A]]"
// began, and after a comma between the items of an array that is the value
// of a root entry with one bare key.
Result<void> prescan_toml(std::string_view text, std::vector<TomlCut>* cuts = nullptr,
                          std::size_t piece_bytes = kTomlPieceBytes);

// The error of a text that is no TOML: "invalid TOML: {} (line L, column
// C)" with the problem and a position counted from 1.
Error invalid_toml_at(std::string_view problem, std::size_t line, std::size_t column);

}  // namespace bezo
