// Which lines of a canonical text a compiled field, a table or a scope
// covers, and an index that finds the fields a line falls under without
// trying every field. The validator and the denormalizer's schema pass share
// these rules.
//
// Field kinds, by the field's path (quotes as in paths: a double quote opens
// and closes a quoted stretch, a doubled one inside stands for a quote):
//   element  "P/::name"   lines "P/{index}::name", one per element of table P
//   map      "P::"        lines "P::{segment}", one per key
//   array    "P/@a::"     lines "P/@a::{digits}", one per member
//   plain    anything else: one line with exactly the field's path
// Element, map and array fields are collection fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/hash.hpp"
#include "schema/compiled.hpp"

namespace bezo {

enum class FieldKind : std::uint8_t { Element, Map, Array, Plain };

FieldKind schema_field_kind(std::string_view path);

// True when the line path falls under the field.
bool path_matches_schema_path(const SchemaField& field, std::string_view path);

// A path cut at its first "/::" outside double quotes: the table path before
// it and the field name after it.
struct EntrySeparator {
    std::string_view table;
    std::string_view name;
};
std::optional<EntrySeparator> split_at_entry_separator(std::string_view path);

// An element line "{prefix}{index}::{name}".
struct ElementLine {
    std::uint64_t index = 0;
    std::string_view name;
};

// The index and field name of an element line under `prefix` (a table path
// followed by "/"): a decimal index without leading zero that fits 64 bits,
// "::", and a name that is empty, a quoted segment, or free of "/".
std::optional<ElementLine> split_element_index(std::string_view path, std::string_view prefix);

// The index of the entry that a line under `prefix` belongs to: that of an
// element line, or the decimal index of a line nested in an entry,
// "{prefix}{index}/...". None for any other line.
std::optional<std::uint64_t> entry_index_below(std::string_view path, std::string_view prefix);

// One path segment: a quoted one (double quotes at both ends, at least one
// character between, every quote between them doubled) or a plain one (no
// double quote, no "/", no "::", not empty).
bool is_path_segment(std::string_view text);

// True when the path is the prefix followed by exactly one segment.
bool is_direct_child_path(std::string_view prefix, std::string_view path);

// The ways a path splits into a map path ending in "::" and one last
// segment, the key. A path has at most two (a plain key after ":::" can be
// read with or without the extra colon).
struct MapEntrySplit {
    std::string_view map_path;  // ends with "::"
    std::string_view key;
};
// Iterate over the returned value itself (not over a view of it), so that a
// range-for keeps the temporary alive.
struct MapEntrySplits {
    MapEntrySplit splits[2];
    std::size_t count = 0;

    const MapEntrySplit* begin() const { return splits; }
    const MapEntrySplit* end() const { return splits + count; }
};
MapEntrySplits split_map_entry(std::string_view path);

// True when the path lies below the table: the table path followed by "/".
bool is_below_table(std::string_view path, std::string_view table);

// True when the path is an item of the table that is no record: the table
// path, "::" and an index ("{}", null, a scalar or a nested array among
// the table's records).
bool is_table_member(std::string_view path, std::string_view table);

// A set of table paths that finds the tables a line path lies below with
// one hash probe per distinct table-path length, however many tables there
// are. Each path carries the ascending numbers it was added with. The views
// must outlive the set.
class TablePathSet {
public:
    using Ids = std::vector<std::size_t>;

    void add(std::string_view table, std::size_t id);

    // Calls visit(table, ids) for every table of the set that the path lies
    // below, shortest first.
    template <class Visit>
    void for_each_table_above(std::string_view path, Visit&& visit) const {
        for (const std::size_t length : lengths_) {
            if (length >= path.size()) return;
            if (path[length] != '/') continue;
            if (const auto found = ids_.find(path.substr(0, length)); found != ids_.end()) {
                visit(found->first, found->second);
            }
        }
    }

private:
    std::unordered_map<std::string_view, Ids, KeyedTextHash, std::equal_to<>> ids_;
    std::vector<std::size_t> lengths_;  // ascending, distinct
};

// The scope whose path covers the line path (equal to it, or followed by
// "::" or "/"); the longest wins, and of equally long ones the later.
const SchemaScope* find_schema_scope(std::span<const SchemaScope> scopes, std::string_view path);

// The fields of a compiled schema, indexed by the lines they match: plain
// fields by their path, map and array fields by their path (which a line
// continues with a key or an index), element fields by their table path.
// A lookup costs a few hash probes, never a walk over the fields. The index
// borrows the fields, which must outlive it.
class SchemaFieldIndex {
public:
    explicit SchemaFieldIndex(std::span<const SchemaField> fields);

    FieldKind kind(std::size_t field) const { return kinds_[field]; }
    std::size_t size() const { return kinds_.size(); }

    // The first field at or after `from` that the line path falls under,
    // in schema order.
    std::optional<std::size_t> first_match(std::string_view path, std::size_t from = 0) const;

    // The first field whose path equals the line path exactly, of any kind.
    std::optional<std::size_t> exact_field(std::string_view path) const;

    // The first field at or after `from` that is not a collection field;
    // size() when there is none.
    std::size_t next_plain_field(std::size_t from) const { return next_plain_[from]; }

    // The table path and field name of an element field.
    std::string_view element_table(std::size_t field) const { return element_names_[field].table; }
    std::string_view element_name(std::size_t field) const { return element_names_[field].name; }

    // The end of the run of element fields that starts at `field`: the
    // position after the last of the consecutive element fields with the
    // same table path.
    std::size_t element_run_end(std::size_t field) const { return run_end_[field]; }

    // The first field of the run [from, element_run_end(from)) whose name
    // is `name`.
    std::optional<std::size_t> element_field_named(std::size_t from, std::string_view name) const;

private:
    using Positions = std::vector<std::size_t>;  // ascending field positions
    using PathIndex = std::unordered_map<std::string_view, Positions, KeyedTextHash, std::equal_to<>>;

    std::optional<std::size_t> first_map_or_array(std::string_view path, std::size_t from) const;
    std::optional<std::size_t> first_element(std::string_view path, std::size_t from) const;

    std::vector<FieldKind> kinds_;
    std::vector<EntrySeparator> element_names_;  // empty views for other kinds
    std::vector<std::size_t> next_plain_;
    std::vector<std::size_t> run_end_;
    std::vector<std::size_t> run_of_;   // the run number of each element field
    PathIndex by_path_;                 // every field by its own path
    TablePathSet by_table_;             // element fields by their table path
    std::vector<PathIndex> run_names_;  // per run, its fields by name
};

}  // namespace bezo
