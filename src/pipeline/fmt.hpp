// The formatter model: authored text read through the line lexer into a flat
// list of items (verbatim lines, comments, blank separations and fields),
// which the renderer writes out in the standard spelling. Unbuild builds the
// same list from canonical and relational text.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/utf8.hpp"
#include "pipeline/fmt_entries.hpp"
#include "pipeline/path_table.hpp"

namespace bezo {

enum class FormatItemKind : std::uint8_t {
    Verbatim,  // one output line written exactly as stored
    Comment,   // a comment or doc line, spelled with its marker
    Blank,     // a separation between neighbours
    Field,     // one field of the document
};

// A run of entries in one of the model's side lists.
struct ItemRun {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// One item. Texts are views into the source text or into texts the model
// owns, so a model must not outlive the text it was built from.
struct FormatItem {
    FormatItemKind kind = FormatItemKind::Blank;
    // Field: a list element, whose key is its index in the list.
    bool element = false;
    // Field of a record or list element: the entry was added where the
    // field stands (by a section head, "+:=" or an element of a stream), not
    // addressed by its index, so it may be written as a new entry.
    bool new_entry = false;
    PathId path = kRootPath;  // Field
    // Verbatim and Comment: the line. Field: the value.
    std::string_view text;
    // Field: an identifier, or a list element's index.
    std::string_view key;
    // Field: its annotation lines, in `FormatModel::annotations`.
    ItemRun annotations;
    // Verbatim: the array entries the line creates, in `FormatModel::entries`.
    ItemRun entries;

    // A Verbatim, Comment or Blank item.
    static FormatItem line(FormatItemKind kind, std::string_view text = {}) {
        FormatItem item;
        item.kind = kind;
        item.text = text;
        return item;
    }
};

struct FormatModel {
    std::optional<std::string_view> shebang;
    std::vector<FormatItem> items;
    std::vector<std::string_view> annotations;
    std::vector<EntryCount> entries;
    // The entries each array has once the whole source is compiled, by
    // array path; empty when unknown.
    std::vector<std::uint64_t> entry_totals;
    PathTable paths;
    std::deque<std::string> owned;  // texts spelled anew; a deque keeps them in place

    std::string_view own(std::string text) { return owned.emplace_back(std::move(text)); }
    // «left=value» of a content line: a view of the source when the two
    // stand there around one "=", else a text of the model's own.
    std::string_view content_line(std::string_view left, std::string_view value);

    // A header line in its spelling (`header_line_spelling`).
    std::string_view spell_header(std::string_view line);

    void push_verbatim(std::string_view text) { items.push_back(FormatItem::line(FormatItemKind::Verbatim, text)); }
    // A Blank, unless the list is empty or already ends with one.
    void push_blank();
    // A field with `lines` as its annotation lines.
    FormatItem& push_field(PathId path, std::string_view key, std::string_view value,
                           std::span<const std::string_view> lines);
};

// The model of an authored text; one known to be UTF-8 (a str's) is not
// checked as UTF-8 again.
Result<FormatModel> build_format_model(std::string_view text, Utf8State utf8 = Utf8State::Unchecked);

// The segments of a plain path text: one leading "/" dropped, then pieces
// at "/" that are each an identifier, "@" and an identifier, or digits.
// None for any other text (double quotes, empty pieces, «@12»).
std::optional<std::vector<std::string_view>> split_plain_path(std::string_view text);

// The path of a plain path text below `base`, or none.
std::optional<PathId> intern_plain_path(PathTable& paths, PathId base, std::string_view text);

// The left part of an authored content line, as the formatter sees it.
enum class ContentKeyClass : std::uint8_t {
    Plain,         // «k=v»: an identifier
    Qualified,     // «path::k=v»
    Define,        // «/path:=k=v|…»
    AppendDefine,  // «/path+:=k=v|…»
    Unmodelable,   // anything else, kept as written
};

struct ContentKey {
    ContentKeyClass kind = ContentKeyClass::Unmodelable;
    std::string_view key;   // Plain, Qualified: the key; the defines: the path
    std::string_view path;  // Qualified: the path text before "::"
};

ContentKey classify_content_key(std::string_view left);

struct CompactPair {
    std::string_view key;
    std::string_view value;

    friend bool operator==(const CompactPair&, const CompactPair&) = default;
};

// «k=v|k=v» with identifier keys and no "$" in any value; none otherwise,
// and for "{}" and a value beginning with "$".
std::optional<std::vector<CompactPair>> parse_compact_pairs(std::string_view value);

// A declaration line (".!bezo" and the other kind words) with its words
// joined by one blank and its version word dropped: «.!bezo   1.0» gives
// ".!bezo". Any other header line is returned as it stands.
std::string header_line_spelling(std::string_view line);

}  // namespace bezo
