#include "schema/shape_check.hpp"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "core/embedded_json.hpp"
#include "core/text.hpp"
#include "lang/path.hpp"

namespace bezo {
namespace {

bool is_embedded(const CanonicalLine& line, std::string_view json) {
    return line.type_name == kEmbeddedJsonType && line.value == json;
}

// What a value line holds, as a refusal names it.
std::string_view held_shape(const CanonicalLine& line) {
    if (line.type_name == "null") return "null";
    if (is_embedded(line, kEmptyJsonObject)) return "a record";
    if (is_embedded(line, kEmptyJsonArray)) return "a list";
    return "a value";
}

std::unexpected<AppErrorAt> shape_violation(const CanonicalLine& line, std::string_view held, std::string_view declared,
                                            std::string_view path) {
    return std::unexpected(AppErrorAt{
        AppErrorKind::TypeMismatch, line.line,
        concat({quoted_excerpt(line.path), " holds ", held, " where the schema declares the ", declared, " ", path})});
}

std::unexpected<AppErrorAt> beside_list(const CanonicalLine& line, std::string_view list) {
    return std::unexpected(
        AppErrorAt{AppErrorKind::TypeMismatch, line.line,
                   concat({quoted_excerpt(line.path), " stands beside the lines of the list ", list})});
}

// The declared value's path is spelled as the line spells it (its map entry
// keys and element indices), so it too is quoted as a short excerpt.
std::unexpected<AppErrorAt> container_at_value(const CanonicalLine& line, std::string_view value) {
    return shape_violation(line, "a record or list", "value", quoted_excerpt(value));
}

// The key of the value that a record segment "k" or a list segment "@k"
// would stand beside; none for an entry index.
std::optional<std::string_view> value_key(std::string_view segment) {
    if (segment.starts_with('@')) segment.remove_prefix(1);
    if (segment.empty() || is_ascii_digits(segment)) return std::nullopt;
    return segment;
}

// Calls visit(parent, segment) for each segment of a path "/s1/s2...", the
// parent being the path before the segment ("" for the first).
template <class Visit>
Verdict for_each_segment(std::string_view space, Visit&& visit) {
    for (std::size_t start = 0; start < space.size();) {
        const std::size_t end = find_unquoted(space, '/', start + 1).value_or(space.size());
        if (auto checked = visit(space.substr(0, start), space.substr(start + 1, end - start - 1)); !checked) {
            return checked;
        }
        start = end;
    }
    return {};
}

}  // namespace

ShapeCheck::ShapeCheck(const CompiledSchema& schema, const SchemaFieldIndex& index,
                       std::span<const CanonicalLine> lines)
    : schema_(schema), index_(index), lines_(lines) {}

void ShapeCheck::index_schema() {
    indexed_ = true;
    const auto add_collection = [&](std::string_view path, Shape shape) {
        if (path.empty()) return;
        collections_.try_emplace(std::string(path), shape);
        note_length(lengths_, path.size());
        add_ancestor_records(path, false);
    };
    for (std::size_t field = 0; field < index_.size(); ++field) {
        const std::string_view path = schema_.fields[field].path;
        switch (index_.kind(field)) {
            case FieldKind::Plain: {
                note_length(value_lengths_, path.size());
                const auto separator = find_namespace_separator(path);
                if (!separator || *separator == 0) break;
                const std::string_view space = path.substr(0, *separator);
                add_ancestor_records(space, true);
                add_record(space).fills = true;
                break;
            }
            case FieldKind::Element: add_collection(index_.element_table(field), Shape::Table); break;
            case FieldKind::Array: add_collection(path.substr(0, path.size() - 2), Shape::Vector); break;
            case FieldKind::Map: add_collection(path.substr(0, path.size() - 2), Shape::Map); break;
        }
    }
    for (const TableConstraint& table : schema_.tables) {
        if (find_unquoted(table.path, '@')) add_collection(table.path, Shape::Table);
    }
}

void ShapeCheck::add_ancestor_records(std::string_view space, bool fills) {
    for (auto slash = find_unquoted(space, '/', 1); slash; slash = find_unquoted(space, '/', *slash + 1)) {
        add_record(space.substr(0, *slash)).fills |= fills;
    }
}

ShapeCheck::Record& ShapeCheck::add_record(std::string_view path) {
    note_length(lengths_, path.size());
    return records_[std::string(path)];
}

void ShapeCheck::note_length(std::vector<bool>& lengths, std::size_t length) {
    if (lengths.size() <= length) lengths.resize(length + 1);
    lengths[length] = true;
}

bool ShapeCheck::has_length(const std::vector<bool>& lengths, std::size_t length) {
    return length < lengths.size() && lengths[length];
}

std::string_view ShapeCheck::shape_name(Shape shape) {
    switch (shape) {
        case Shape::Table: return "table";
        case Shape::Vector: return "vector";
        case Shape::Map: return "map";
    }
    return {};
}

const ShapeCheck::Shape* ShapeCheck::collection(std::string_view path) const {
    if (!has_length(lengths_, path.size())) return nullptr;
    const auto found = collections_.find(path);
    return found == collections_.end() ? nullptr : &found->second;
}

const ShapeCheck::Record* ShapeCheck::record(std::string_view path) const {
    if (!has_length(lengths_, path.size())) return nullptr;
    const auto found = records_.find(path);
    return found == records_.end() ? nullptr : &found->second;
}

Verdict ShapeCheck::check_unmatched(const CanonicalLine& line) {
    const auto separator = find_namespace_separator(line.path);
    if (!separator) return {};
    if (!indexed_) index_schema();
    const std::string_view space = line.path.substr(0, *separator);
    const std::string_view key = line.path.substr(*separator + 2);
    if (auto checked = check_value_at_record(line, space, key); !checked) return checked;
    // A record or list where a value is declared, a record beside the lines
    // of a declared table or vector.
    auto checked = for_each_segment(space, [&](std::string_view parent, std::string_view segment) -> Verdict {
        const auto value = value_key(segment);
        if (!value) return {};
        if (declares_value(parent, *value)) return container_at_value(line, path_);
        if (!segment.starts_with('@') && holds_list(parent, *value)) return beside_list(line, list_);
        return {};
    });
    if (!checked) return checked;
    if (value_key(key) && holds_list(space, key)) return beside_list(line, list_);
    if (lengths_.empty()) return {};
    checked = for_each_segment(
        space, [&](std::string_view parent, std::string_view segment) { return check_segment(line, parent, segment); });
    if (!checked) return checked;
    return check_value_at_collection(line, space, key);
}

std::optional<std::string_view> ShapeCheck::declared_path(std::string& buffer, std::string_view parent,
                                                          std::string_view joint, std::string_view key) const {
    if (!has_length(lengths_, parent.size() + joint.size() + key.size())) return std::nullopt;
    buffer.assign(parent).append(joint).append(key);
    return buffer;
}

// A record of collections only takes a value or null: see the header.
Verdict ShapeCheck::check_value_at_record(const CanonicalLine& line, std::string_view space, std::string_view key) {
    const auto path = declared_path(path_, space, "/", key);
    if (!path) return {};
    const Record* found = record(*path);
    if (!found) return {};
    if (found->fills) return shape_violation(line, "a value", "record", *path);
    if (is_embedded(line, kEmptyJsonArray)) return shape_violation(line, "a list", "record", *path);
    return {};
}

bool ShapeCheck::declares_value(std::string_view parent, std::string_view key) {
    if (!has_length(value_lengths_, parent.size() + 2 + key.size())) return false;
    path_.assign(parent).append("::").append(key);
    const auto field = index_.exact_field(path_);
    return field && index_.kind(*field) == FieldKind::Plain;
}

Verdict ShapeCheck::check_segment(const CanonicalLine& line, std::string_view parent, std::string_view segment) {
    const auto key = value_key(segment);
    if (!key) return {};
    // A record or list as the entry of a map.
    if (const Shape* map = collection(parent); map && *map == Shape::Map) {
        return container_at_value(line, path_.assign(parent).append("::").append(*key));
    }
    const auto path = declared_path(path_, parent, "/", *key);
    const auto list_path = declared_path(list_, parent, "/@", *key);
    const Shape* list = list_path ? collection(*list_path) : nullptr;
    if (segment.starts_with('@')) {
        // A list where a map or a record is declared (unless the list is
        // declared too).
        if (list || !path) return {};
        if (const Shape* shape = collection(*path); shape && *shape == Shape::Map) {
            return shape_violation(line, "a list", "map", *path);
        }
        if (record(*path)) return shape_violation(line, "a list", "record", *path);
        return {};
    }
    // A record where a table or vector is declared (unless the record is
    // declared too).
    if (!list || (path && record(*path))) return {};
    return shape_violation(line, "a record", shape_name(*list), *list_path);
}

Verdict ShapeCheck::check_value_at_collection(const CanonicalLine& line, std::string_view space, std::string_view key) {
    if (!value_key(key)) return {};
    if (const auto list = declared_path(list_, space, "/@", key)) {
        if (const Shape* shape = collection(*list)) {
            if (is_embedded(line, kEmptyJsonArray)) return {};
            return shape_violation(line, held_shape(line), shape_name(*shape), *list);
        }
    }
    if (const auto map = declared_path(path_, space, "/", key)) {
        if (const Shape* shape = collection(*map); shape && *shape == Shape::Map) {
            if (is_embedded(line, kEmptyJsonObject)) return {};
            return shape_violation(line, held_shape(line), "map", *map);
        }
    }
    return {};
}

Verdict ShapeCheck::check_nested_in_entry(std::size_t first_field, std::string_view prefix, const CanonicalLine& line) {
    const std::string_view rest = line.path.substr(prefix.size());
    const std::string_view space = rest.substr(0, find_namespace_separator(rest).value_or(rest.size()));
    const auto slash = find_unquoted(space, '/');
    if (!slash) return {};
    const std::size_t end = find_unquoted(space, '/', *slash + 1).value_or(space.size());
    const auto key = value_key(space.substr(*slash + 1, end - *slash - 1));
    if (!key || !index_.element_field_named(first_field, *key)) return {};
    path_.assign(line.path.substr(0, prefix.size() + *slash)).append("::").append(*key);
    return container_at_value(line, path_);
}

bool ShapeCheck::holds_list(std::string_view parent, std::string_view key) {
    const auto list = declared_path(list_, parent, "/@", key);
    if (!list || !collection(*list)) return false;
    if (!held_lists_) held_lists_ = lists_held();
    return held_lists_->contains(list_);
}

// The declared tables and vectors that lines lie in: a member "L::i" or a
// line below an entry "L/...".
TextSet ShapeCheck::lists_held() const {
    TextSet held;
    for (const CanonicalLine& line : lines_) {
        for (auto at = line.path.find("/@"); at != std::string_view::npos; at = line.path.find("/@", at + 2)) {
            const std::size_t end = std::min(line.path.find('/', at + 2), line.path.find("::", at + 2));
            if (end == std::string_view::npos) break;
            const std::string_view list = line.path.substr(0, end);
            if (collection(list)) held.emplace(list);
        }
    }
    return held;
}

}  // namespace bezo
