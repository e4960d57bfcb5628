// Reading lines of the line-per-value texts: canonical documents, relational
// documents and compiled schemas. One content line is
//
//   metadata "'" name-path "=" value
//
// split at its first apostrophe and then at the first "=" outside double
// quotes. Every function here works on views of the caller's text and
// allocates nothing, so that readers of many-megabyte texts can call them
// once per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

#include "core/text.hpp"
#include "lang/path.hpp"

namespace bezo {

// What becomes of a CR that ends the text with no LF after it.
enum class FinalCr : bool { Kept, Dropped };

// The position of the first LF in the text, or its size. Most lines are
// short, so their first bytes are searched inline, which costs less than a
// call; a long line is left to memchr, which is quicker on long runs.
inline std::size_t find_line_feed(std::string_view text) {
    constexpr std::size_t kInlineBytes = 64;
    const std::size_t near = find_first_of_bytes<'\n'>(text.substr(0, kInlineBytes));
    if (near < kInlineBytes || text.size() <= kInlineBytes) return near;
    const auto far = text.find('\n', kInlineBytes);
    return far == std::string_view::npos ? text.size() : far;
}

// Takes the next line off the front of `rest`: up to the next LF, a CR right
// before it dropped with it, or everything left when no LF follows (an empty
// rest gives no further line); a CR that ends that last line stays unless
// `final_cr` drops it.
inline std::string_view take_line(std::string_view& rest, FinalCr final_cr = FinalCr::Kept) {
    const std::size_t lf = find_line_feed(rest);
    std::string_view line = rest.substr(0, lf);
    if (lf == rest.size()) {
        rest = {};
        if (final_cr == FinalCr::Kept) return line;
    } else {
        rest.remove_prefix(lf + 1);
    }
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

// The line of the text that starts at `pos`, its LF included (everything
// left when no LF follows).
inline std::string_view line_with_ending_at(std::string_view text, std::size_t pos) {
    const auto lf = text.find('\n', pos);
    return text.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf + 1 - pos);
}

// A line that carries no content (its leading blanks and tabs already
// removed): empty, or beginning with "#", "//", ".!" or ".?".
inline bool is_skipped_line(std::string_view line) {
    return line.empty() || line.starts_with('#') || line.starts_with("//") || line.starts_with(".!") ||
           line.starts_with(".?");
}

// The position of the first "=" after position `apostrophe` that stands
// outside double quotes (inside quotes a doubled quote is one quote
// character and does not close them), or none.
inline std::optional<std::size_t> find_unquoted_equals(std::string_view text, std::size_t apostrophe) {
    return find_unquoted(text, '=', apostrophe + 1);
}

// The three parts of a content line, as views of the line.
struct ContentLine {
    std::string_view metadata;   // before the first apostrophe
    std::string_view name_path;  // up to the first "=" outside double quotes
    std::string_view value;      // the rest of the line
};

// Why a line is not a content line.
enum class ContentLineFault : std::uint8_t {
    NoApostrophe,
    NoEquals,
};

// Splits a line (without its line ending) at its first apostrophe and at the
// first "=" outside double quotes after it.
std::expected<ContentLine, ContentLineFault> split_content_line(std::string_view line);

// The name path of one line, its line ending included: the reading rule of
// canonical lines (trailing LF and CR removed, leading blanks and tabs
// skipped, skipped lines and lines that do not split give none).
std::optional<std::string_view> content_line_name_path(std::string_view line);

}  // namespace bezo
