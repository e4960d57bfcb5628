// The shape a compiled schema declares at the place of a canonical line that
// no field matches: a value ("P::k"), a record ("P/k"), a table or vector
// ("P/@k") or a map ("P/k::"). A line that takes another shape than the one
// declared there is refused, because no export could write it in the
// declared shape:
//
//   - a record or list where a value is declared (a plain field, an entry
//     of a map, an element field of a table);
//   - a value where a record with a plain field at or below it is declared
//     (a record of collections only takes one: an empty XML element stands
//     there for the empty record);
//   - a value, null or record where a table or vector is declared; a line
//     beside the lines of a declared table or vector;
//   - a value, null or list where a map is declared;
//   - a list (an empty array included) where a record is declared.
//
// The empty collection passes where one is declared: an embedded empty
// array ("[]") at a table or vector, an embedded empty object ("{}") at a
// map. An absent collection cannot be told from an empty one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/hash.hpp"
#include "schema/check.hpp"
#include "schema/compiled.hpp"
#include "schema/schema_paths.hpp"

namespace bezo {

// Pass, or the verdict of the first violation.
using Verdict = std::expected<void, AppErrorAt>;

class ShapeCheck {
public:
    // Borrows the schema, its field index and the lines, which must outlive
    // it. What the schema declares is worked out at the first check.
    ShapeCheck(const CompiledSchema& schema, const SchemaFieldIndex& index, std::span<const CanonicalLine> lines);

    // A line that no field matches.
    [[nodiscard]] Verdict check_unmatched(const CanonicalLine& line);

    // A line nested in an entry of a table ("T/i/k..." or "T/i/@k...",
    // `prefix` being "T/"), whose element fields begin at `first_field`: a
    // record or list where the table declares the element field k.
    [[nodiscard]] Verdict check_nested_in_entry(std::size_t first_field, std::string_view prefix,
                                                const CanonicalLine& line);

private:
    // The collections; a table or vector has a path "P/@k", a map "P/k"
    // (a map's path holds no "@").
    enum class Shape : std::uint8_t { Table, Vector, Map };
    struct Record {
        bool fills = false;  // a plain field lies at or below it
    };

    void index_schema();
    // Adds the records above the path (each of its prefixes that ends before
    // a "/"), marked as holding a plain field when `fills` is true.
    void add_ancestor_records(std::string_view space, bool fills);
    Record& add_record(std::string_view path);
    static void note_length(std::vector<bool>& lengths, std::size_t length);
    static bool has_length(const std::vector<bool>& lengths, std::size_t length);
    // The path "{parent}{joint}{key}", built in `buffer`; none, building
    // nothing, when no declared record or collection has its length.
    std::optional<std::string_view> declared_path(std::string& buffer, std::string_view parent, std::string_view joint,
                                                  std::string_view key) const;
    // Whether the schema declares the plain field "{parent}::{key}"; leaves
    // its path in path_ when it does.
    bool declares_value(std::string_view parent, std::string_view key);
    [[nodiscard]] Verdict check_value_at_record(const CanonicalLine& line, std::string_view space,
                                                std::string_view key);
    [[nodiscard]] Verdict check_segment(const CanonicalLine& line, std::string_view parent, std::string_view segment);
    [[nodiscard]] Verdict check_value_at_collection(const CanonicalLine& line, std::string_view space,
                                                    std::string_view key);
    static std::string_view shape_name(Shape shape);
    // What the schema declares at a path: a table, vector or map ("P/@k" is
    // a table or vector, "P/k" a map), or a record.
    const Shape* collection(std::string_view path) const;
    const Record* record(std::string_view path) const;
    // Whether the schema declares the table or vector "{parent}/@{key}" and
    // the text holds lines of it; leaves its path in list_ when it does.
    bool holds_list(std::string_view parent, std::string_view key);
    TextSet lists_held() const;

    const CompiledSchema& schema_;
    const SchemaFieldIndex& index_;
    std::span<const CanonicalLine> lines_;
    bool indexed_ = false;
    TextMap<Shape> collections_;         // by the path of the table, vector or map
    TextMap<Record> records_;            // by record path
    std::vector<bool> lengths_;          // the lengths of the paths of both
    std::vector<bool> value_lengths_;    // the lengths of the plain fields' paths
    std::optional<TextSet> held_lists_;  // the declared tables and vectors the text holds lines of
    std::string path_;                   // reused buffers
    std::string list_;
};

}  // namespace bezo
