// Table and section heads: splitting head text into fields, column names, the
// authored grammar of head arguments (documents and authored schemas), the
// bracketed grammar of compiled schemas, and the renderer of the bracketed
// form. Parsers answer a refused text with no value; callers choose the error.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bezo {

// One table rule of a head.
struct HeadItem {
    // The combined values of these columns must be unique among the entries.
    struct UniqueKey {
        std::vector<std::string> columns;

        friend bool operator==(const UniqueKey&, const UniqueKey&) = default;
    };

    // Each value of `column` must occur as a value of `target` among the rows
    // of `table` (a path starting with "/" and ending in an "@" segment).
    struct Reference {
        std::string column;
        std::string table;
        std::string target;

        friend bool operator==(const Reference&, const Reference&) = default;
    };

    std::variant<UniqueKey, Reference> rule;

    friend bool operator==(const HeadItem&, const HeadItem&) = default;
};

// The arguments of one section or namespace head.
struct TableHead {
    std::optional<std::uint64_t> min;
    std::optional<std::uint64_t> max;
    // One group per argument field; the items of a group are alternatives.
    // Every group is non-empty.
    std::vector<std::vector<HeadItem>> groups;
    // The pattern every entry key must match (compiled form only).
    std::optional<std::string> key_pattern;

    friend bool operator==(const TableHead&, const TableHead&) = default;
};

// Splits at blanks and tabs outside double quotes; empty fields are dropped.
std::vector<std::string_view> split_fields(std::string_view text);

// Splits at every `separator` outside double quotes; empty pieces are kept and
// the piece after the last separator is always present.
std::vector<std::string_view> split_unquoted(std::string_view text, char separator);

// A column name: an identifier (returned as is; "min" and "max" only when
// `allow_min_max`), or a double-quoted name of at least one character with
// inner quotes doubled (returned without its quotes, doubled quotes made
// single).
std::optional<std::string> parse_column_name(std::string_view text, bool allow_min_max);

// The written form of a column name: an identifier unchanged, anything else
// double-quoted with inner quotes doubled.
std::string quote_column_name(std::string_view name);

// The authored grammar: the fields after a head's path ("min=N", "max=N",
// unique keys "a=!,b=!", references "col=/table/@row/*::target",
// alternatives joined by "|"). The result has no key pattern.
std::optional<TableHead> parse_section_head_args(std::span<const std::string_view> fields);

// The table path and target column of an authored reference's right side.
struct RefTarget {
    std::string table;
    std::string column;

    friend bool operator==(const RefTarget&, const RefTarget&) = default;
};

// Reads "/table/@row/*::target": the table path as written and the target
// column ("min" and "max" allowed).
std::optional<RefTarget> parse_ref_target(std::string_view text);

// The bracketed grammar of compiled table lines: "[key::/pattern/]",
// "[unique::a,b]", "[ref::col=/table/@row/*::target]", "[min=N]", "[max=N]",
// alternatives joined by "|".
std::optional<TableHead> parse_head_items(std::string_view text);

// The bracketed text of a head: key pattern, groups, min, max, joined by one
// blank. `parse_head_items` reads it back to the same record.
std::string render_head_items(const TableHead& head);

// The items of one group in bracketed form, joined by "|".
std::string render_ref_items(std::span<const HeadItem> group);

}  // namespace bezo
