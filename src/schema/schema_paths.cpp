#include "schema/schema_paths.hpp"

#include <algorithm>

#include "core/text.hpp"
#include "lang/path.hpp"

namespace bezo {
namespace {

std::optional<std::size_t> find_unquoted_text(std::string_view text, std::string_view needle) {
    QuoteTracker quotes;
    for (std::size_t pos = 0; pos < text.size(); pos = quotes.advance(text, pos)) {
        if (!quotes.inside() && text.substr(pos, needle.size()) == needle) return pos;
    }
    return std::nullopt;
}

bool is_quoted_segment(std::string_view text) {
    if (text.size() < 3 || text.front() != '"' || text.back() != '"') return false;
    const std::string_view inner = text.substr(1, text.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] != '"') continue;
        if (i + 1 == inner.size() || inner[i + 1] != '"') return false;
        ++i;
    }
    return true;
}

// The opening quote of the quoted segment that ends a path ending in a
// double quote: walking back from the closing quote, runs of doubled quotes
// stay inside, and the first quote of the first run of odd length opens.
std::optional<std::size_t> quoted_segment_start(std::string_view path) {
    std::size_t pos = path.size() - 1;
    while (pos > 0) {
        if (path[--pos] != '"') continue;
        const std::size_t run_end = pos + 1;
        while (pos > 0 && path[pos - 1] == '"') --pos;
        if ((run_end - pos) % 2 == 1) return pos;
    }
    return std::nullopt;
}

// The first of ascending positions at or after `from`.
std::optional<std::size_t> first_at_or_after(const std::vector<std::size_t>& positions, std::size_t from) {
    const auto it = std::ranges::lower_bound(positions, from);
    if (it == positions.end()) return std::nullopt;
    return *it;
}

void keep_earlier(std::optional<std::size_t>& best, std::optional<std::size_t> found) {
    if (found && (!best || *found < *best)) best = found;
}

}  // namespace

FieldKind schema_field_kind(std::string_view path) {
    if (split_at_entry_separator(path)) return FieldKind::Element;
    if (path.size() >= 2 && path.ends_with("::")) {
        return find_unquoted(path, '@') ? FieldKind::Array : FieldKind::Map;
    }
    return FieldKind::Plain;
}

bool path_matches_schema_path(const SchemaField& field, std::string_view path) {
    const std::string_view own = field.path;
    switch (schema_field_kind(own)) {
        case FieldKind::Element: return is_below_table(path, split_at_entry_separator(own)->table);
        case FieldKind::Array: return path.starts_with(own) && is_ascii_digits(path.substr(own.size()));
        case FieldKind::Map: return is_direct_child_path(own, path);
        case FieldKind::Plain: break;
    }
    return path == own;
}

std::optional<EntrySeparator> split_at_entry_separator(std::string_view path) {
    const auto separator = find_unquoted_text(path, "/::");
    if (!separator) return std::nullopt;
    return EntrySeparator{path.substr(0, *separator), path.substr(*separator + 3)};
}

std::optional<ElementLine> split_element_index(std::string_view path, std::string_view prefix) {
    if (!path.starts_with(prefix)) return std::nullopt;
    const std::string_view rest = path.substr(prefix.size());
    const auto colons = rest.find("::");
    if (colons == std::string_view::npos) return std::nullopt;
    const std::string_view digits = rest.substr(0, colons);
    const std::string_view name = rest.substr(colons + 2);
    if (digits.size() > 1 && digits.front() == '0') return std::nullopt;
    const auto index = parse_ascii_unsigned(digits);
    if (!index) return std::nullopt;
    if (name.starts_with('"') ? !is_quoted_segment(name) : name.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    return ElementLine{*index, name};
}

std::optional<std::uint64_t> entry_index_below(std::string_view path, std::string_view prefix) {
    if (const auto element = split_element_index(path, prefix)) return element->index;
    if (!path.starts_with(prefix)) return std::nullopt;
    const std::string_view rest = path.substr(prefix.size());
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view digits = rest.substr(0, slash);
    if (digits.size() > 1 && digits.front() == '0') return std::nullopt;
    return parse_ascii_unsigned(digits);
}

bool is_path_segment(std::string_view text) {
    if (text.starts_with('"')) return is_quoted_segment(text);
    return !text.empty() && text.find_first_of("\"/") == std::string_view::npos &&
           text.find("::") == std::string_view::npos;
}

bool is_direct_child_path(std::string_view prefix, std::string_view path) {
    return path.starts_with(prefix) && is_path_segment(path.substr(prefix.size()));
}

MapEntrySplits split_map_entry(std::string_view path) {
    MapEntrySplits found;
    const auto add_if_segment = [&](std::size_t key_start) {
        if (is_path_segment(path.substr(key_start))) {
            found.splits[found.count++] = {path.substr(0, key_start), path.substr(key_start)};
        }
    };
    if (path.ends_with('"')) {
        const auto open = quoted_segment_start(path);
        if (open && *open >= 2 && path.substr(*open - 2, 2) == "::") add_if_segment(*open);
        return found;
    }
    const auto colons = path.rfind("::");
    if (colons == std::string_view::npos) return found;
    add_if_segment(colons + 2);
    if (colons > 0 && path[colons - 1] == ':') add_if_segment(colons + 1);
    return found;
}

bool is_below_table(std::string_view path, std::string_view table) {
    return path.size() > table.size() && path.starts_with(table) && path[table.size()] == '/';
}

bool is_table_member(std::string_view path, std::string_view table) {
    return path.starts_with(table) && path.substr(table.size()).starts_with("::") &&
           is_ascii_digits(path.substr(table.size() + 2));
}

void TablePathSet::add(std::string_view table, std::size_t id) {
    ids_[table].push_back(id);
    const auto place = std::ranges::lower_bound(lengths_, table.size());
    if (place == lengths_.end() || *place != table.size()) lengths_.insert(place, table.size());
}

const SchemaScope* find_schema_scope(std::span<const SchemaScope> scopes, std::string_view path) {
    const SchemaScope* best = nullptr;
    for (const SchemaScope& scope : scopes) {
        const std::string_view own = scope.path;
        const bool covers = path.starts_with(own) && (path.size() == own.size() || path[own.size()] == '/' ||
                                                      path.substr(own.size()).starts_with("::"));
        if (covers && (best == nullptr || own.size() >= best->path.size())) best = &scope;
    }
    return best;
}

SchemaFieldIndex::SchemaFieldIndex(std::span<const SchemaField> fields)
    : kinds_(fields.size()),
      element_names_(fields.size()),
      next_plain_(fields.size() + 1, fields.size()),
      run_end_(fields.size()),
      run_of_(fields.size()) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string_view path = fields[i].path;
        kinds_[i] = schema_field_kind(path);
        by_path_[path].push_back(i);
        if (kinds_[i] != FieldKind::Element) continue;
        element_names_[i] = *split_at_entry_separator(path);
        const std::string_view table = element_names_[i].table;
        by_table_.add(table, i);
        const bool continues_run = i > 0 && kinds_[i - 1] == FieldKind::Element && element_table(i - 1) == table;
        if (!continues_run) run_names_.emplace_back();
        run_of_[i] = run_names_.size() - 1;
        run_names_.back()[element_names_[i].name].push_back(i);
    }
    for (std::size_t i = fields.size(); i-- > 0;) {
        next_plain_[i] = kinds_[i] == FieldKind::Plain ? i : next_plain_[i + 1];
        const bool run_goes_on = i + 1 < fields.size() && kinds_[i] == FieldKind::Element &&
                                 kinds_[i + 1] == FieldKind::Element && run_of_[i + 1] == run_of_[i];
        run_end_[i] = run_goes_on ? run_end_[i + 1] : i + 1;
    }
}

std::optional<std::size_t> SchemaFieldIndex::first_match(std::string_view path, std::size_t from) const {
    std::optional<std::size_t> best;
    // Fields with the same path are of the same kind, so one look at the
    // first tells whether any of them can match.
    if (const auto found = by_path_.find(path);
        found != by_path_.end() && kinds_[found->second.front()] == FieldKind::Plain) {
        keep_earlier(best, first_at_or_after(found->second, from));
    }
    keep_earlier(best, first_map_or_array(path, from));
    keep_earlier(best, first_element(path, from));
    return best;
}

std::optional<std::size_t> SchemaFieldIndex::first_map_or_array(std::string_view path, std::size_t from) const {
    std::optional<std::size_t> best;
    for (const MapEntrySplit& split : split_map_entry(path)) {
        const auto found = by_path_.find(split.map_path);
        if (found == by_path_.end()) continue;
        const FieldKind kind = kinds_[found->second.front()];
        if (kind == FieldKind::Map || (kind == FieldKind::Array && is_ascii_digits(split.key))) {
            keep_earlier(best, first_at_or_after(found->second, from));
        }
    }
    return best;
}

std::optional<std::size_t> SchemaFieldIndex::first_element(std::string_view path, std::size_t from) const {
    std::optional<std::size_t> best;
    by_table_.for_each_table_above(path, [&](std::string_view, const TablePathSet::Ids& fields) {
        keep_earlier(best, first_at_or_after(fields, from));
    });
    return best;
}

std::optional<std::size_t> SchemaFieldIndex::exact_field(std::string_view path) const {
    const auto found = by_path_.find(path);
    if (found == by_path_.end()) return std::nullopt;
    return found->second.front();
}

std::optional<std::size_t> SchemaFieldIndex::element_field_named(std::size_t from, std::string_view name) const {
    const auto& names = run_names_[run_of_[from]];
    const auto found = names.find(name);
    if (found == names.end()) return std::nullopt;
    return first_at_or_after(found->second, from);
}

}  // namespace bezo
