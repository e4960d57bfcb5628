// Reads a canonical document (metadata, an apostrophe, a name path, "=", a
// value on each line) into one CanonicalTree whose root is a namespace. The
// declaration is skipped like any other header line; no module is resolved
// and no schema is needed.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "lang/path.hpp"

namespace bezo {

// A name path may hold at most this many non-empty segments: as many as a
// compiled field's path and key together.
inline constexpr std::size_t kMaxNamepathSegments = kMaxPathSegments;

// The tree of a canonical text; the tree keeps a copy of the text, which
// its keys and values point into.
Result<CanonicalTree> canonical_to_tree(std::string_view text);

// The same tree without the copy: it points into `text`, which must outlive
// it.
Result<CanonicalTree> canonical_to_tree_borrowing(std::string_view text);

// Whether the text holds a "|:|", which stands for a line feed in a text
// value.
inline bool has_text_line_breaks(std::string_view text) { return text.find("|:|") != std::string_view::npos; }

// The text with every "|:|" (taken left to right, without overlap) replaced
// by one line feed.
std::string join_text_lines(std::string_view text);

}  // namespace bezo
