// Schema inheritance and merge: a ".!schema" directive takes over the
// compiled lines of another schema, for the whole document or for the subtree
// under a path. The schema compiler (a parent named by an authored schema) and
// the document-schema loader (the schemas a document names) share what is
// here: reading the directive, re-rooting a compiled line under a path, the
// key of a compiled line, and the keyed merge that lets a later line replace
// an earlier one in place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/budget.hpp"
#include "core/error.hpp"
#include "core/hash.hpp"

namespace bezo {

// What follows ".!schema": an optional path (beginning with "/") and a name.
struct SchemaDirective {
    std::optional<std::string> path;
    std::string name;

    friend bool operator==(const SchemaDirective&, const SchemaDirective&) = default;
};

// Reads the text after ".!schema": « name», «:name» or «:/path name». No
// value when the name is empty.
std::optional<SchemaDirective> parse_schema_directive(std::string_view text);

// True when the last segment of the path begins with "@": the directive's
// schema then describes the fields of every element of that array.
bool is_element_scope(std::string_view path);

// Puts a root scalar field line ("{meta}'::{key}={value}") under an element
// scope: "{meta}'{scope}/::{key}={value}". Every other line is refused.
Result<std::string> inherit_field_line(std::string_view line, std::string_view scope);

// Puts a field or table line under a subtree path; the table paths of a
// table line's references move with it.
Result<std::string> inherit_table_line(std::string_view line, std::string_view path);

// Re-roots a line by the kind of the path: inherit_field_line for an element
// scope, inherit_table_line for any other path.
Result<std::string> reroot_inherited_line(std::string_view line, std::string_view path, bool element_scope);

// The key a compiled line is merged under: a field line's path (without a
// final "?"), or the first word of a table or delegation line.
std::string_view inherited_line_key(std::string_view line);

// The merged lines and, for each key merged so far, the position of its line.
struct KeyedLines {
    std::vector<std::string> lines;
    TextMap<std::size_t> index;
};

// Replaces the line recorded under the key, or appends the line when the
// index does not hold the key. The index is not changed.
void upsert_keyed_line(std::vector<std::string>& lines, const TextMap<std::size_t>& index, std::string_view key,
                       std::string line);

// Merges one line under its own key and records a key new to the index.
void merge_keyed_line(KeyedLines& merged, std::string line);

// Every line followed by one line feed.
std::string join_compiled_lines(const std::vector<std::string>& lines);

// The bytes of schema text one call may load and merge: directives that
// name schemas many times, under many paths, multiply their lines.
class MergeBudget {
public:
    static constexpr std::size_t kLimit = kGrowthLimit;

    // Charges the bytes of one loaded text or merged line; fails once the
    // call has charged more than the limit.
    Result<void> charge(std::size_t bytes);

private:
    std::size_t used_ = 0;
};

}  // namespace bezo
