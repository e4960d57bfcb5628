// Reads a canonical document (metadata, an apostrophe, a name path, "=", a
// value on each line) into one CanonicalValue tree whose root is a
// namespace. The declaration is skipped like any other header line; no
// module is resolved and no schema is needed.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"

namespace bezo {

// One step of a name path: its characters with quoting removed, whether a
// double quote occurred in it, and whether it opened with an unquoted "@".
struct NamepathSegment {
    std::string text;
    bool quoted = false;
    bool array = false;
};

// A name path may hold at most this many non-empty segments.
inline constexpr std::size_t kMaxNamepathSegments = 512;

[[nodiscard]] Result<CanonicalValue> canonical_to_tree(std::string_view text);

// Splits a name path at "/" and "::" outside double quotes into `segments`
// (cleared first), dropping empty segments. Fails on a path without
// segments and on one of more than kMaxNamepathSegments, whose split stops
// at the first segment past the limit.
[[nodiscard]] Result<void> split_namepath(std::string_view path, std::vector<NamepathSegment>& segments);

// Places `value` at the non-empty path `segments` inside `root`. The tree
// may have been changed when it fails.
[[nodiscard]] Result<void> insert_namepath(CanonicalNamespace& root, std::span<const NamepathSegment> segments,
                                           CanonicalValue value);

// The text with every "|:|" (taken left to right, without overlap) replaced
// by one line feed.
std::string join_text_lines(std::string_view text);

}  // namespace bezo
