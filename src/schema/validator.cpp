#include "schema/validator.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>

#include "core/text.hpp"
#include "lang/anno.hpp"
#include "lang/canonical_line.hpp"
#include "lang/lexer.hpp"
#include "lang/path.hpp"
#include "lang/table.hpp"
#include "schema/rex_match.hpp"
#include "schema/schema_paths.hpp"

namespace bezo {
namespace {

std::unexpected<AppErrorAt> violation(AppErrorKind kind, std::uint64_t line, std::string context) {
    return std::unexpected(AppErrorAt{kind, line, std::move(context)});
}

Error unreadable_line(std::string_view problem, std::uint64_t number, std::string_view text) {
    return Error::Other(concat({problem, " (line ", decimal_text(number), "): ", quoted_excerpt(text)}));
}

// The key of a map entry as its key pattern sees it: a quoted key without
// its outer quotes and with each doubled quote made single.
std::string_view pattern_key(std::string_view key, std::string& unquoted) {
    if (key.size() < 2 || key.front() != '"' || key.back() != '"') return key;
    unquoted.clear();
    const std::string_view inner = key.substr(1, key.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        unquoted += inner[i];
        if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') ++i;
    }
    return unquoted;
}

std::string bounds_text(const TableHead& head) {
    std::string out;
    if (head.min) out.append("min=").append(decimal_text(*head.min));
    if (head.min && head.max) out += ' ';
    if (head.max) out.append("max=").append(decimal_text(*head.max));
    return out;
}

Verdict check_count(const TableConstraint& table, std::uint64_t count, std::string_view noun) {
    const TableHead& head = table.head;
    if ((head.min && *head.min > count) || (head.max && *head.max < count)) {
        return violation(
            AppErrorKind::CardinalityViolation, 0,
            concat({table.path, " has ", decimal_text(count), " ", noun, ", schema requires ", bounds_text(head)}));
    }
    return {};
}

std::string_view provenance_requirement(ProvenanceLevel level) {
    switch (level) {
        case ProvenanceLevel::Required: return "requires source and timestamp on every line";
        case ProvenanceLevel::Source: return "requires a source on every line";
        case ProvenanceLevel::Prohibited: return "prohibits provenance";
        case ProvenanceLevel::Undeclared: break;
    }
    return {};
}

bool provenance_meets(ProvenanceLevel level, std::optional<std::string_view> provenance) {
    switch (level) {
        case ProvenanceLevel::Required: return provenance && provenance->find('@') != std::string_view::npos;
        case ProvenanceLevel::Source: return provenance.has_value();
        case ProvenanceLevel::Prohibited: return !provenance;
        case ProvenanceLevel::Undeclared: break;
    }
    return true;
}

// One column of a unique key or reference, read from the elements of a
// table. A head holds a column's name unquoted («a b»), while element lines
// spell it as a path segment, quoted unless it is a plain name («"a b"»);
// both spellings are looked up.
class ColumnReader {
public:
    explicit ColumnReader(std::string_view name) : name_(name), quoted_(quote_column_name(name)) {}

    std::string_view name() const { return name_; }

    // The element's value for the column, or none when it has no line for it.
    std::optional<std::string_view> find_in(const ElementFields& element) const {
        auto found = element.find(name_);
        if (found == element.end() && quoted_ != name_) found = element.find(quoted_);
        if (found == element.end()) return std::nullopt;
        return found->second;
    }

    // The element's value, empty when it has no line for the column.
    std::string_view value_in(const ElementFields& element) const { return find_in(element).value_or(""); }

private:
    std::string_view name_;
    std::string quoted_;
};

// What the table phase gathers of one table in its pass over the lines.
struct TableTally {
    const TableConstraint* table = nullptr;
    bool array = false;
    // Map entries ("T::" and a segment), or array members ("T::" and an index).
    std::uint64_t entries = 0;
    // The element indices of an array table that no unique key or reference
    // needs the values of; sorted and deduplicated before they are counted.
    std::vector<std::uint64_t> element_indices;
    std::optional<RexProgram> key_pattern;
    bool key_pattern_refused = false;
    std::optional<AppErrorAt> first_bad_key;
};

// The table rules: entry and element counts, key patterns, unique keys and
// references, checked in that order.
class TablePhase {
public:
    TablePhase(const CompiledSchema& schema, std::span<const CanonicalLine> lines) : lines_(lines) {
        for (const TableConstraint& table : schema.tables) {
            const std::size_t id = tallies_.size();
            TableTally& tally = tallies_.emplace_back();
            tally.table = &table;
            tally.array = find_unquoted(table.path, '@').has_value();
            by_path_[table.path].push_back(id);
            if (direct_lengths_.size() <= table.path.size()) direct_lengths_.resize(table.path.size() + 1);
            direct_lengths_[table.path.size()] = true;
            if (!tally.array) {
                compile_key_pattern(tally);
            } else if (table.head.groups.empty()) {
                counted_elements_.add(table.path, id);
            } else {
                element_table_of_[id] = indexed_.size();
                indexed_.push_back(table.path);
                add_reference_targets(table);
            }
        }
    }

    [[nodiscard]] Verdict run() {
        tally_lines();
        elements_ = build_reference_index(lines_, indexed_);
        for (std::size_t i = 0; i < indexed_.size(); ++i) elements_by_path_.try_emplace(indexed_[i], i);
        for (const bool arrays : {false, true}) {
            for (std::size_t id = 0; id < tallies_.size(); ++id) {
                if (tallies_[id].array != arrays) continue;
                if (auto checked = check_count(*tallies_[id].table, count(id), arrays ? "elements" : "entries");
                    !checked) {
                    return checked;
                }
            }
        }
        for (TableTally& tally : tallies_) {
            if (tally.key_pattern_refused) {
                return violation(AppErrorKind::ConstraintViolation, 0,
                                 concat({tally.table->path, ": key pattern outside the dialect: /",
                                         *tally.table->head.key_pattern, "/"}));
            }
            if (tally.first_bad_key) return std::unexpected(std::move(*tally.first_bad_key));
        }
        for (const auto& [id, elements] : element_table_of_) {
            for (const auto& group : tallies_[id].table->head.groups) {
                for (const HeadItem& item : group) {
                    if (auto checked = check_item(*tallies_[id].table, elements_[elements], item); !checked) {
                        return checked;
                    }
                }
            }
        }
        return {};
    }

private:
    static void compile_key_pattern(TableTally& tally) {
        if (const auto& pattern = tally.table->head.key_pattern) {
            auto program = rex_compile(*pattern);
            tally.key_pattern_refused = !program;
            if (program) tally.key_pattern = std::move(*program);
        }
    }

    void add_reference_targets(const TableConstraint& table) {
        for (const auto& group : table.head.groups) {
            for (const HeadItem& item : group) {
                if (const auto* reference = std::get_if<HeadItem::Reference>(&item.rule)) {
                    indexed_.push_back(reference->table);
                }
            }
        }
    }

    std::uint64_t count(std::size_t id) {
        TableTally& tally = tallies_[id];
        if (const auto found = element_table_of_.find(id); found != element_table_of_.end()) {
            return tally.entries + elements_[found->second].size();
        }
        std::ranges::sort(tally.element_indices);
        const auto repeated = std::ranges::unique(tally.element_indices);
        return tally.entries + static_cast<std::uint64_t>(repeated.begin() - tally.element_indices.begin());
    }

    // One pass over the lines: the entries of map tables (with each key
    // tried against the table's key pattern), the members of array tables,
    // and the element indices of array tables counted without their values.
    void tally_lines() {
        if (by_path_.empty()) return;
        std::string unquoted;
        for (const CanonicalLine& line : lines_) {
            for (const MapEntrySplit& split : split_map_entry(line.path)) {
                const std::string_view table = split.map_path.substr(0, split.map_path.size() - 2);
                if (table.size() >= direct_lengths_.size() || !direct_lengths_[table.size()]) continue;
                const auto found = by_path_.find(table);
                if (found == by_path_.end()) continue;
                for (const std::size_t id : found->second) tally_entry(tallies_[id], split.key, line, unquoted);
            }
            counted_elements_.for_each_table_above(
                line.path, [&](std::string_view table, const TablePathSet::Ids& ids) {
                    // An entry that holds only nested members counts too.
                    const auto index = entry_index_below(line.path, line.path.substr(0, table.size() + 1));
                    if (!index) return;
                    for (const std::size_t id : ids) {
                        auto& indices = tallies_[id].element_indices;
                        if (indices.empty() || indices.back() != *index) indices.push_back(*index);
                    }
                });
        }
    }

    static void tally_entry(TableTally& tally, std::string_view key, const CanonicalLine& line, std::string& unquoted) {
        if (tally.array) {
            if (is_ascii_digits(key)) ++tally.entries;
            return;
        }
        ++tally.entries;
        if (!tally.key_pattern || tally.first_bad_key) return;
        const std::string_view pattern_text = pattern_key(key, unquoted);
        if (rex_is_match(*tally.key_pattern, pattern_text)) return;
        tally.first_bad_key =
            AppErrorAt{AppErrorKind::ConstraintViolation, line.line,
                       concat({tally.table->path, ": entry key ", quoted_excerpt(pattern_text),
                               " does not match the key pattern /", *tally.table->head.key_pattern, "/"})};
    }

    [[nodiscard]] Verdict check_item(const TableConstraint& table, const ElementTable& elements,
                                     const HeadItem& item) const {
        if (const auto* unique = std::get_if<HeadItem::UniqueKey>(&item.rule)) {
            return check_unique(table, elements, *unique);
        }
        return check_reference(table, elements, std::get<HeadItem::Reference>(item.rule));
    }

    [[nodiscard]] static Verdict check_unique(const TableConstraint& table, const ElementTable& elements,
                                              const HeadItem::UniqueKey& unique) {
        const std::vector<ColumnReader> columns(unique.columns.begin(), unique.columns.end());
        TextSet keys;
        std::string key;
        for (const auto& [index, element] : elements) {
            key.clear();
            for (const ColumnReader& column : columns) {
                const std::string_view value = column.value_in(element);
                append_decimal(value.size(), key);
                key.append(":").append(value);
            }
            if (keys.insert(key).second) continue;
            std::string values;
            std::string names;
            for (const ColumnReader& column : columns) {
                if (!names.empty()) {
                    values.append(", ");
                    names.append(", ");
                }
                values.append(column.value_in(element));
                names.append(column.name());
            }
            return violation(
                AppErrorKind::UniquenessViolation, 0,
                concat({table.path, ": duplicate value (", quoted_excerpt(values), ") for unique key (", names, ")"}));
        }
        return {};
    }

    [[nodiscard]] Verdict check_reference(const TableConstraint& table, const ElementTable& elements,
                                          const HeadItem::Reference& reference) const {
        std::unordered_set<std::string_view, KeyedTextHash, std::equal_to<>> allowed;
        const std::size_t targets = elements_by_path_.find(std::string_view(reference.table))->second;
        const ColumnReader target_column(reference.target);
        for (const auto& [index, target] : elements_[targets]) {
            if (const auto value = target_column.find_in(target)) allowed.insert(*value);
        }
        const ColumnReader column(reference.column);
        for (const auto& [index, element] : elements) {
            const std::string_view value = column.value_in(element);
            if (allowed.contains(value)) continue;
            return violation(AppErrorKind::ReferentialIntegrity, 0,
                             concat({table.path, ": ", reference.column, "=", quoted_excerpt(value),
                                     " has no match in ", reference.table, "/*::", reference.target}));
        }
        return {};
    }

    std::span<const CanonicalLine> lines_;
    std::vector<TableTally> tallies_;  // in the schema's order
    std::unordered_map<std::string_view, std::vector<std::size_t>, KeyedTextHash, std::equal_to<>> by_path_;
    std::vector<bool> direct_lengths_;  // the lengths of the table paths
    TablePathSet counted_elements_;     // array tables without unique keys or references
    // The tables whose element values are read: the array tables with unique
    // keys or references, and the tables their references name.
    std::vector<std::string_view> indexed_;
    std::map<std::size_t, std::size_t> element_table_of_;  // array table -> its position in indexed_
    std::vector<ElementTable> elements_;
    std::unordered_map<std::string_view, std::size_t, KeyedTextHash, std::equal_to<>> elements_by_path_;
};

// The scan of the lines against the fields in schema order.
class FieldScan {
public:
    FieldScan(const CompiledSchema& schema, std::span<const CanonicalLine> lines)
        : schema_(schema),
          lines_(lines),
          index_(schema.fields),
          shapes_(schema, index_, lines),
          seen_(schema.fields.size()) {}

    [[nodiscard]] Verdict run() {
        std::size_t at = 0;
        while (at < lines_.size()) {
            auto next = scan_line(at);
            if (!next) return forward_error(next);
            at = *next;
        }
        const std::size_t missing = index_.next_plain_field(cursor_);
        if (missing < index_.size()) {
            return violation(AppErrorKind::RequiredFieldSchema, 0,
                             concat({"declared field ", field_path(missing), " missing at end of document"}));
        }
        return {};
    }

private:
    using Step = std::expected<std::size_t, AppErrorAt>;  // the next line to scan

    std::string_view field_path(std::size_t field) const { return schema_.fields[field].path; }

    bool strict_at(std::string_view path) const {
        const SchemaScope* scope = find_schema_scope(schema_.scopes, path);
        return scope ? scope->strict : schema_.strict;
    }

    static std::unexpected<AppErrorAt> undefined(const CanonicalLine& line) {
        return violation(AppErrorKind::UndefinedFieldStrictSchema, line.line,
                         concat({quoted_excerpt(line.path), " is not defined in the strict schema"}));
    }

    static std::unexpected<AppErrorAt> duplicate(const CanonicalLine& line) {
        return violation(AppErrorKind::DuplicateKeySchema, line.line,
                         concat({"second entry for schema field ", quoted_excerpt(line.path)}));
    }

    [[nodiscard]] Verdict check_value(std::size_t field, const CanonicalLine& line) {
        const SchemaField& rule = schema_.fields[field];
        const CheckResult result = check_field_value(rule.items, line, patterns_);
        if (result.failed()) return std::unexpected(type_violation_message(result.kind(), rule, line));
        return {};
    }

    [[nodiscard]] Step scan_line(std::size_t at) {
        const CanonicalLine& line = lines_[at];
        if (const auto exact = index_.exact_field(line.path)) {
            if (seen_[*exact]) return duplicate(line);
            seen_[*exact] = true;
        }
        const auto field = index_.first_match(line.path, cursor_);
        const auto earlier = field ? field : index_.first_match(line.path);
        if (!earlier) {
            if (auto item = check_table_item(line); !item) return forward_error(item);
            if (auto shape = shapes_.check_unmatched(line); !shape) return forward_error(shape);
            return strict_at(line.path) ? Step(undefined(line)) : Step(at + 1);
        }
        // The fields from the cursor on are tried in order up to the line's
        // field (or to the end when it lies before the cursor): a plain field
        // passed over is missing.
        if (const std::size_t missing = index_.next_plain_field(cursor_); missing < field.value_or(index_.size())) {
            return violation(AppErrorKind::RequiredFieldSchema, line.line,
                             concat({"declared field ", field_path(missing), " missing (scan reached ",
                                     quoted_excerpt(line.path), ")"}));
        }
        if (!field) return scan_out_of_order(*earlier, at);
        if (index_.kind(*field) == FieldKind::Element) {
            cursor_ = index_.element_run_end(*field);
            return scan_elements(*field, at);
        }
        if (auto checked = check_value(*field, line); !checked) return forward_error(checked);
        // Further entries of a map or array may follow; a plain field is done.
        cursor_ = index_.kind(*field) == FieldKind::Plain ? *field + 1 : *field;
        return at + 1;
    }

    // A line whose fields all lie before the cursor. Under a strict schema it
    // is undefined; otherwise it is checked against the first of them while
    // the cursor stays, so that the lines after it are still checked against
    // the fields still to come.
    [[nodiscard]] Step scan_out_of_order(std::size_t field, std::size_t at) {
        const CanonicalLine& line = lines_[at];
        if (strict_at(line.path)) return undefined(line);
        if (index_.kind(field) == FieldKind::Element) return scan_elements(field, at);
        if (auto checked = check_value(field, line); !checked) return forward_error(checked);
        return at + 1;
    }

    // The lines of an element table from `at` on, element by element, each
    // expected to list the run of element fields from `first_field` in
    // schema order.
    [[nodiscard]] Step scan_elements(std::size_t first_field, std::size_t at) {
        const std::string_view table = index_.element_table(first_field);
        const std::size_t end = index_.element_run_end(first_field);
        const bool strict = strict_at(table);
        const std::string_view prefix = lines_[at].path.substr(0, table.size() + 1);
        std::optional<std::uint64_t> element;
        std::size_t expected = first_field;
        for (; at < lines_.size(); ++at) {
            const CanonicalLine& line = lines_[at];
            if (!is_below_table(line.path, table)) {
                // An item that is no record stands among the records as the
                // main scan would take it: no field matches it, and it lacks
                // the fields an entry requires.
                if (!is_table_member(line.path, table) || index_.first_match(line.path)) break;
                if (auto item = check_table_item(line); !item) return forward_error(item);
                if (strict) return undefined(line);
                continue;
            }
            // A line nested in an entry names no field, but opens its entry,
            // whose fields are then still required.
            const auto split = split_element_index(line.path, prefix);
            const auto index = split ? split->index : entry_index_below(line.path, prefix);
            if (index && element != *index) {
                if (element && expected < end) return missing_in_element(table, *element, expected);
                element = *index;
                expected = first_field;
            }
            if (!split) {
                if (auto nested = shapes_.check_nested_in_entry(first_field, prefix, line); !nested) {
                    return forward_error(nested);
                }
                if (strict) return undefined(line);
                continue;
            }
            const auto field = index_.element_field_named(first_field, split->name);
            if (!field) {
                if (strict) return undefined(line);
            } else if (*field == expected) {
                if (auto checked = check_value(*field, line); !checked) {
                    return forward_error(checked);
                }
                ++expected;
            } else if (*field < expected) {
                return duplicate(line);
            } else {
                return violation(AppErrorKind::RequiredFieldSchema, line.line,
                                 concat({"element ", table, "/", decimal_text(*element), " missing declared field ",
                                         field_path(expected), " (scan reached ", line.path, ")"}));
            }
        }
        if (element && expected < end) return missing_in_element(table, *element, expected);
        return at;
    }

    // An item "T::i" of a table whose entries require a field: a value that
    // is not a record (null, a scalar, an embedded empty object) lacks it.
    [[nodiscard]] Verdict check_table_item(const CanonicalLine& line) {
        if (!required_columns_) required_columns_ = first_required_columns();
        if (required_columns_->empty()) return {};
        const auto colons = line.path.rfind("::");
        if (colons == std::string_view::npos) return {};
        const auto index = parse_ascii_unsigned(line.path.substr(colons + 2));
        if (!index) return {};
        const auto found = required_columns_->find(line.path.substr(0, colons));
        if (found == required_columns_->end()) return {};
        return missing_in_element(found->first, *index, found->second);
    }

    // The first required element field of each table, by table path.
    TextMap<std::size_t> first_required_columns() const {
        TextMap<std::size_t> columns;
        for (std::size_t field = 0; field < index_.size(); ++field) {
            if (index_.kind(field) != FieldKind::Element || schema_.fields[field].optional) continue;
            columns.try_emplace(std::string(index_.element_table(field)), field);
        }
        return columns;
    }

    std::unexpected<AppErrorAt> missing_in_element(std::string_view table, std::uint64_t element,
                                                   std::size_t field) const {
        return violation(
            AppErrorKind::RequiredFieldSchema, 0,
            concat({"element ", table, "/", decimal_text(element), " missing declared field ", field_path(field)}));
    }

    const CompiledSchema& schema_;
    std::span<const CanonicalLine> lines_;
    SchemaFieldIndex index_;
    ShapeCheck shapes_;
    std::vector<bool> seen_;  // by the first field of each exact path
    std::size_t cursor_ = 0;
    PatternCache patterns_;
    // Built at the first line that no field matches.
    std::optional<TextMap<std::size_t>> required_columns_;
};

Verdict check_provenance(const CompiledSchema& schema, std::span<const CanonicalLine> lines) {
    for (const CanonicalLine& line : lines) {
        const SchemaScope* scope = find_schema_scope(schema.scopes, line.path);
        const ProvenanceLevel level = scope ? scope->provenance : schema.provenance;
        if (provenance_meets(level, line.provenance)) continue;
        return violation(AppErrorKind::ProvenanceSchema, line.line,
                         concat({quoted_excerpt(line.path), ": schema ", provenance_requirement(level)}));
    }
    return {};
}

}  // namespace

Result<CanonicalLines> parse_canonical_lines(std::string_view text) {
    CanonicalLines read;
    read.lines_.reserve(static_cast<std::size_t>(std::ranges::count(text, '\n')) + 1);
    std::uint64_t number = 0;
    for (std::string_view rest = text; !rest.empty();) {
        const std::string_view line = trim_leading_blanks(take_line(rest));
        ++number;
        if (is_skipped_line(line)) continue;
        const auto parts = split_content_line(line);
        if (!parts) {
            const bool no_apostrophe = parts.error() == ContentLineFault::NoApostrophe;
            return std::unexpected(
                unreadable_line(no_apostrophe ? "canonical line without '" : "canonical line without =", number, line));
        }
        auto found = read.metadata_.find(parts->metadata);
        if (found == read.metadata_.end()) {
            auto annotation = parse_annotation(parts->metadata);
            if (!annotation) return std::unexpected(unreadable_line("bad metadata prefix", number, parts->metadata));
            CanonicalLines::Metadata metadata{std::move(annotation->name), std::move(annotation->unit),
                                              std::move(annotation->provenance)};
            found = read.metadata_.emplace(parts->metadata, std::move(metadata)).first;
        }
        const CanonicalLines::Metadata& metadata = found->second;
        read.lines_.push_back(CanonicalLine{metadata.type_name, parts->name_path, parts->value, metadata.unit,
                                            metadata.provenance, number});
    }
    return read;
}

Verdict validate_stream(std::string_view text, const CompiledSchema& schema) {
    const FormatDeclaration declaration = check_format_declaration(text, "nezo");
    if (!declaration.accepted) {
        return violation(AppErrorKind::FormatKind, declaration.line,
                         "stream does not open with the .!nezo declaration");
    }
    auto lines = parse_canonical_lines(text);
    if (!lines) return violation(AppErrorKind::ConstraintViolation, 0, error_display(lines.error()));
    if (auto checked = check_provenance(schema, lines->lines()); !checked) return checked;
    if (auto checked = FieldScan(schema, lines->lines()).run(); !checked) return checked;
    return TablePhase(schema, lines->lines()).run();
}

std::vector<ElementTable> build_reference_index(std::span<const CanonicalLine> lines,
                                                std::span<const std::string_view> tables) {
    std::vector<ElementTable> elements(tables.size());
    if (tables.empty()) return elements;
    TablePathSet set;
    for (std::size_t i = 0; i < tables.size(); ++i) set.add(tables[i], i);
    for (const CanonicalLine& line : lines) {
        set.for_each_table_above(line.path, [&](std::string_view table, const TablePathSet::Ids& ids) {
            const auto split = split_element_index(line.path, line.path.substr(0, table.size() + 1));
            if (!split) return;
            for (const std::size_t id : ids) elements[id][split->index].try_emplace(split->name, line.value);
        });
    }
    return elements;
}

}  // namespace bezo
