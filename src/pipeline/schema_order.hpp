// The lines of a canonical text put in the order in which a compiled schema
// lists its fields, the order that validation scans them in. Members of
// foreign objects (JSON members, XML attributes) carry no order, so a
// document built from one may list its fields in any order.
//
// The order, group by group:
//   - The lines before the first content line (the declaration and the
//     document's header) stay first, and the lines after the last content
//     line stay last.
//   - No line moves above a directive line (".!units", ".!registry", ...)
//     it followed: the compiler reads directives in order, so a line after
//     one may need it. A line above a directive may move below it: each
//     directive, with the lines around it that carry no content, is written
//     just above the first line that followed it in the source.
//   - Every other line that is not a content line (a ".?" note, a comment,
//     a blank line) moves with the content line that follows it.
//   - At the top level the lines that a field matches are ordered by the
//     first field that matches them. A collection moves whole: all lines of
//     one array (its members "A::i", its records "A/i::..." and what lies
//     below them) form one block, standing where the array's first line
//     stood, ordered by the first field that matches any of its lines.
//     Lines of one field (the entries of a map, a repeated line) keep their
//     order.
//   - A collection's lines are ordered by index, and the lines of one
//     record by the element field they name.
//   - A line that no field matches (at the top level) or that names no
//     element field (inside a record) keeps its place in the sequence of
//     its group: only the matched lines move, among the places they fill.
//     So lines the schema does not declare keep their relative order, and a
//     document whose matched lines are in order keeps every line in place.
//     A line below a table that names no index belongs to the record of the
//     table line before it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "schema/schema_paths.hpp"

namespace bezo {

// Whether the elements that `key` gives a place to (a key above 0) already
// stand in the order of their places.
template <class T, class Key>
bool matched_in_order(std::span<T> sequence, Key key) {
    std::uint64_t last = 0;
    return std::ranges::all_of(sequence, [&](const T& element) {
        const std::uint64_t place = key(element);
        if (place == 0) return true;
        if (place < last) return false;
        last = place;
        return true;
    });
}

// Sorts the elements of the sequence that `key` gives a place to (a key
// above 0), stably, among the positions they fill; the others stay where
// they are. The scratch vectors are reused from call to call.
template <class T, class Key>
void order_matched(std::span<T> sequence, Key key, std::vector<T>& moving, std::vector<std::size_t>& places) {
    if (matched_in_order(sequence, key)) return;
    moving.clear();
    places.clear();
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        if (key(sequence[i]) == 0) continue;
        places.push_back(i);
        moving.push_back(sequence[i]);
    }
    std::ranges::stable_sort(moving, {}, key);
    for (std::size_t k = 0; k < places.size(); ++k) sequence[places[k]] = moving[k];
}

// The text in the order of the schema's fields; no value when every line
// already stands in that order. Lines keep their endings; a last line
// without one that no longer ends the text gets the text's line ending (CR
// LF when the text holds one, else LF).
[[nodiscard]] std::optional<std::string> order_by_schema(std::string_view text, const SchemaFieldIndex& fields);

}  // namespace bezo
