// Relational text, the compiler's output: a ".!lezo" line, the document's
// header lines, the ".!schema:" delegation lines, and one content line per
// field: signature "'" path "::" key "=" value.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/text.hpp"
#include "lang/anno.hpp"

namespace bezo {

// The signature of a field: "!", the type name, the constraint items (stably
// sorted by kind: pattern, range, set, length, span), ":" and the unit, and
// "?" with the provenance items. A pending provenance line wins over the
// annotation's own provenance. A map annotation gives "!" + its entry type
// and its provenance unchanged; no annotation gives "!str".
std::string render_type_signature(const Annotation* annotation, const std::optional<std::string>& provenance_line);
void append_type_signature(std::string& out, const Annotation* annotation,
                           const std::optional<std::string>& provenance_line);

// One constraint item as a signature writes it: "/p/", "[lo,hi]", "{a,b}",
// "#" and the inner item, or the span word.
void append_constraint(std::string& out, const Constraint& constraint);

// The provenance items joined by ",", each with its compact timestamp after
// "@" expanded; the part from "#" on is kept as written.
void append_provenance_items(std::string& out, std::string_view text);

// The spelling of a key that comes from a splat or a map entry: a plain
// identifier as is, a well-quoted key by the segment rule, anything else
// double-quoted with inner quotes doubled.
std::string normalize_key(std::string_view key);

// Appends "/" and each segment to a joined path text.
void append_segments(std::string& path, std::span<const std::string> segments);

// The relational text being written. Lines are appended to one buffer; the
// leading header block (the run of ".!" and ".?" lines at the top) is
// tracked so that the delegation lines can be placed after it at the end.
class RelationalText {
public:
    // Makes room for about `bytes` of text, so that a large output grows in
    // few steps.
    void reserve(std::size_t bytes) { text_.reserve(bytes); }
    std::size_t size() const { return text_.size(); }
    std::size_t capacity() const { return text_.capacity(); }

    // Appends a whole line.
    void append_line(std::string_view line);

    // Content lines are written piece by piece into the buffer between these
    // two calls, so that no line is built as a text of its own first.
    std::string& begin_line();
    void end_line();

    // Appends a whole content line, signature "'" path "::" key "=" value
    // and its line feed, with one check of the room left.
    void append_content_line(std::string_view signature, std::string_view path, std::string_view key,
                             std::string_view value) {
        append_pieces(text_, signature, "'", path, "::", key, "=", value, "\n");
        in_header_block_ = false;
    }

    // The finished text: ".!lezo", the header block, the delegation lines,
    // everything else; one line feed after every line.
    std::string finish(std::span<const std::string> delegation_lines) &&;

private:
    static constexpr std::string_view kDeclaration = ".!lezo\n";

    std::string text_{kDeclaration};
    std::size_t header_block_end_ = kDeclaration.size();
    bool in_header_block_ = true;
};

}  // namespace bezo
