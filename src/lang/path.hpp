// Path text: splitting paths into segments, testing segment forms, splitting a
// key path from its key at "::", and the one canonical spelling of a segment.
//
// Quoting is the same everywhere: a double quote opens or closes a quoted
// stretch, and inside one two double quotes in a row stand for one quote
// character and do not close it. Separators count only outside quotes.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bezo {

// A path, the key included, may hold at most this many segments: the
// compiler writes no longer path and the canonical reader reads no longer
// one.
inline constexpr std::size_t kMaxPathSegments = 512;

// Tracks whether a walk over a text stands inside a double-quoted stretch.
// Use: check the byte at `pos` against a separator while `!inside()`, then
// move on with `pos = tracker.advance(text, pos)`.
class QuoteTracker {
public:
    bool inside() const { return inside_; }

    // Takes in the byte at `pos` and returns the position of the next byte to
    // look at: a doubled quote inside quotes is stepped over as one unit.
    std::size_t advance(std::string_view text, std::size_t pos) {
        if (text[pos] != '"') return pos + 1;
        if (inside_ && pos + 1 < text.size() && text[pos + 1] == '"') return pos + 2;
        inside_ = !inside_;
        return pos + 1;
    }

private:
    bool inside_ = false;
};

// The position of the first `c` at or after `from` that stands outside double
// quotes (the walk starts outside quotes at `from`), or none.
std::optional<std::size_t> find_unquoted(std::string_view text, char c, std::size_t from = 0);

// How many `c` stand outside double quotes.
std::size_t count_unquoted(std::string_view text, char c);

// Splits at every "/" outside double quotes. Every piece is kept, empty ones
// included; the piece after the last "/" is always present. The views point
// into `path`.
std::vector<std::string_view> split_path(std::string_view path);

// One path segment: optional "@", optional ".", then an identifier, a
// decimal index without leading zero, or a non-empty double-quoted name.
bool is_valid_segment(std::string_view segment);

// A namespace-head path: "/" and then valid segments only ("/" alone fails).
bool is_path_line(std::string_view text);

// A section-head path: an optional leading "/", valid segments only, the last
// one starting with "@".
bool is_section_head_path(std::string_view text);

// The canonical spelling of a segment: prefixes as written, and the quotes of
// a quoted plain identifier dropped. Anything else comes back unchanged.
std::string normalize_segment(std::string_view segment);

// Appends the canonical spelling of a segment.
void append_normalized_segment(std::string& out, std::string_view segment);

// The canonical spellings of the non-empty segments, in order.
std::vector<std::string> normalize_segments(std::span<const std::string_view> segments);

// The position of the last "::" outside double quotes, or none. After each
// "::" found the scan goes on behind it, so ":::" is found at its first two
// colons.
std::optional<std::size_t> find_namespace_separator(std::string_view text);

// The length of the field reference at the start of `text` (the text after
// a "$"): ASCII letters, digits, "_" and "/", "::", and "@" at the start or
// right after "/"; trailing "/", ":" and "@" are not part of it. 0 when no
// reference starts there.
std::size_t field_reference_length(std::string_view text);

// A key path split into its path segments (canonical spelling) and its key.
struct KeyPath {
    std::vector<std::string> segments;
    std::string key;

    friend bool operator==(const KeyPath&, const KeyPath&) = default;
};

// Appends "/" and the canonical spelling of each non-empty segment of the
// path part of a key path (the text before its last "::"), one leading "/"
// dropped: what parse_key_path gives as segments, without building them.
void append_key_path_segments(std::string& out, std::string_view path);

// Splits at the last "::" outside double quotes; without one the path is
// empty and the whole text is the key. One leading "/" of the path part is
// dropped.
KeyPath parse_key_path(std::string_view text);

}  // namespace bezo
