#include "pipeline/declared_shapes.hpp"

#include "core/embedded_json.hpp"
#include "core/text.hpp"
#include "core/xml_mark.hpp"
#include "lang/canonical_line.hpp"
#include "lang/path.hpp"
#include "pipeline/expand.hpp"

namespace bezo {
namespace {

constexpr std::string_view kTextKey = "\"#text\"";
constexpr std::string_view kEmbeddedJson = "!std/enc/json";
constexpr std::string_view kNull = "!null";

// The positions of the "/" outside double quotes that end the ancestors of
// a path.
template <class Visit>
void for_each_segment_end(std::string_view path, Visit&& visit) {
    for (auto slash = find_unquoted(path, '/'); slash; slash = find_unquoted(path, '/', *slash + 1)) {
        if (*slash > 0) visit(*slash);
    }
}

// The record path "P/k" that a table or vector path "P/@k" is the list of;
// none when its last segment is no list.
std::optional<std::string> lone_record_of(std::string_view list) {
    std::size_t last = 0;
    for_each_segment_end(list, [&](std::size_t at) { last = at; });
    if (list.substr(last).rfind("/@", 0) != 0) return std::nullopt;
    std::string record(list.substr(0, last + 1));
    record.append(list.substr(last + 2));
    return record;
}

// A decimal entry index as paths spell it: no leading zero.
bool is_entry_index(std::string_view key) { return is_ascii_digits(key) && (key.size() == 1 || key[0] != '0'); }

// Whether the metadata names the type, with or without a provenance.
bool has_type(std::string_view metadata, std::string_view type) {
    return metadata.starts_with(type) && (metadata.size() == type.size() || metadata[type.size()] == '?');
}

}  // namespace

bool has_xml_mark(std::string_view canonical) {
    for (std::string_view rest = canonical; !rest.empty();) {
        const std::string_view line = trim_leading_blanks(take_line(rest));
        if (line == kXmlShapeMark) return true;
        if (!is_skipped_line(line)) return false;
    }
    return false;
}

DeclaredShapes::DeclaredShapes(std::span<const SchemaField> fields, const SchemaFieldIndex& index,
                               std::string_view text)
    : fields_(fields), index_(index), text_(text), from_xml_(has_xml_mark(text)) {}

void DeclaredShapes::index_fields() {
    indexed_ = true;
    for (std::size_t field = 0; field < fields_.size(); ++field) {
        const std::string_view path = fields_[field].path;
        switch (index_.kind(field)) {
            case FieldKind::Plain: {
                const auto separator = find_namespace_separator(path);
                if (!separator || *separator == 0) break;
                const std::string_view record = path.substr(0, *separator);
                add_record_and_ancestors(record);
                if (path.substr(*separator + 2) == kTextKey) record_shape(record).simple_content = true;
                break;
            }
            case FieldKind::Element: {
                const std::string_view table = index_.element_table(field);
                Table& shape = tables_.try_emplace(std::string(table), Table{field}).first->second;
                if (index_.element_name(field) == kTextKey) shape.text_column = true;
                if (const auto record = lone_record_of(table)) {
                    record_shape(*record).table = table;
                    add_list(table);
                    if (lone_lengths_.size() <= record->size()) lone_lengths_.resize(record->size() + 1);
                    lone_lengths_[record->size()] = true;
                    lone_records_.try_emplace(*record, table);
                }
                break;
            }
            case FieldKind::Array: {
                const std::string_view vector = path.substr(0, path.size() - 2);
                if (const auto record = lone_record_of(vector)) {
                    record_shape(*record).vector = vector;
                    add_list(vector);
                }
                break;
            }
            case FieldKind::Map: record_shape(path.substr(0, path.size() - 2)).map = true; break;
        }
    }
}

DeclaredShapes::RecordShape& DeclaredShapes::record_shape(std::string_view record) {
    if (record_lengths_.size() <= record.size()) record_lengths_.resize(record.size() + 1);
    record_lengths_[record.size()] = true;
    return records_[std::string(record)];
}

void DeclaredShapes::add_list(std::string_view list) {
    if (lists_.emplace(list).second && std::ranges::find(list_lengths_, list.size()) == list_lengths_.end()) {
        list_lengths_.push_back(list.size());
    }
}

bool DeclaredShapes::lifts_lone_into(std::string_view list) {
    if (!from_xml_) return false;
    if (!held_lists_) held_lists_ = lists_held();
    return !held_lists_->contains(list);
}

TextSet DeclaredShapes::lists_held() const {
    TextSet held;
    for (std::size_t pos = 0; pos < text_.size();) {
        const std::string_view line = line_with_ending_at(text_, pos);
        pos += line.size();
        const auto path = content_line_name_path(line);
        if (!path) continue;
        for (const std::size_t length : list_lengths_) {
            if (path->size() <= length || ((*path)[length] != '/' && (*path)[length] != ':')) continue;
            const std::string_view list = path->substr(0, length);
            if (lists_.contains(list)) held.emplace(list);
        }
    }
    return held;
}

void DeclaredShapes::add_record_and_ancestors(std::string_view record) {
    for_each_segment_end(record, [&](std::size_t at) { record_shape(record.substr(0, at)).fills = true; });
    record_shape(record).fills = true;
}

std::optional<std::pair<std::size_t, std::string_view>> DeclaredShapes::lone_record_above(std::string_view path) const {
    const std::size_t end = std::min(path.size(), lone_lengths_.size());
    for (std::size_t length = 1; length < end; ++length) {
        if (!lone_lengths_[length]) continue;
        if (path[length] != '/' && !path.substr(length).starts_with("::")) continue;
        const auto found = lone_records_.find(path.substr(0, length));
        if (found != lone_records_.end()) return std::pair{length, found->second};
    }
    return std::nullopt;
}

bool DeclaredShapes::may_lift(std::string_view path) {
    if (!indexed_) index_fields();
    const auto separator = find_namespace_separator(path);
    if (!separator) return false;
    const std::string_view parent = path.substr(0, *separator);
    const std::string_view key = path.substr(*separator + 2);
    if (is_entry_index(key) && tables_.contains(parent)) return true;
    const std::size_t record_length = path.size() - 1;
    if (record_length < record_lengths_.size() && record_lengths_[record_length]) {
        record_.assign(parent).append("/").append(key);
        if (records_.contains(record_)) return true;
    }
    return from_xml_ && lone_record_above(path).has_value();
}

bool DeclaredShapes::lifts(std::string_view line, std::string_view path) {
    if (!may_lift(path)) return false;
    scratch_.clear();
    auto lifted = write_lifted(line, path, scratch_);
    // A lift that fails is reported by the lifting pass.
    return !lifted || *lifted;
}

Result<bool> DeclaredShapes::write_lifted(std::string_view line, std::string_view path, std::string& out) {
    const auto separator = find_namespace_separator(path);
    if (!separator) return false;
    const std::size_t path_begin = static_cast<std::size_t>(path.data() - line.data());
    const std::size_t path_end = path_begin + path.size();
    const std::string_view before_path = line.substr(0, path_begin);  // blanks, metadata and the apostrophe
    const std::string_view after_path = line.substr(path_end);        // "=", the value and the line ending
    const std::string_view metadata = trim_leading_blanks(before_path.substr(0, before_path.size() - 1));
    const std::string_view value = split_line_ending(after_path.substr(1)).body;
    const bool empty_object = has_type(metadata, kEmbeddedJson) && value == kEmptyJsonObject;
    const bool empty_element = from_xml_ && has_type(metadata, kNull) && value.empty();
    const bool plain = !empty_element && !metadata.starts_with(kEmbeddedJson);
    const std::string_view parent = path.substr(0, *separator);
    const std::string_view key = path.substr(*separator + 2);
    const auto write_at = [&](std::initializer_list<std::string_view> pieces) {
        out.append(before_path);
        for (const std::string_view piece : pieces) out.append(piece);
        out.append(after_path);
        return true;
    };

    // An item "T::i" of a table.
    if (is_entry_index(key)) {
        if (const auto table = tables_.find(parent); table != tables_.end()) {
            if (empty_object || empty_element) {
                if (auto written = write_empty_entry(table->second, parent, key, out); !written) {
                    return forward_error(written);
                }
                return true;
            }
            if (table->second.text_column && plain) return write_at({parent, "/", key, "::", kTextKey});
            return false;
        }
    }

    record_.assign(parent).append("/").append(key);
    if (const auto found = records_.find(record_); found != records_.end()) {
        const RecordShape& shape = found->second;
        if (!shape.table.empty() && (plain || empty_element) && lifts_lone_into(shape.table)) {
            const Table& table = tables_.find(shape.table)->second;
            if (empty_element) {
                if (auto written = write_empty_entry(table, shape.table, "0", out); !written) {
                    return forward_error(written);
                }
                return true;
            }
            if (table.text_column) return write_at({shape.table, "/0::", kTextKey});
            return write_at({shape.table, "::0"});
        }
        if (!shape.vector.empty() && (plain || empty_element) && lifts_lone_into(shape.vector)) {
            return write_at({shape.vector, "::0"});
        }
        if ((empty_object || empty_element) && shape.fills) return true;
        if (empty_element && shape.map) {
            // The null's provenance, if any, stays.
            out.append(before_path.substr(0, before_path.size() - metadata.size() - 1)).append(kEmbeddedJson);
            out.append(metadata.substr(kNull.size())).append("'").append(path);
            out.append("=").append(kEmptyJsonObject).append(split_line_ending(after_path).ending);
            return true;
        }
        if (shape.simple_content && plain) return write_at({record_, "::", kTextKey});
    }

    if (from_xml_) {
        if (const auto lone = lone_record_above(path); lone && lifts_lone_into(lone->second)) {
            return write_at({lone->second, "/0", path.substr(lone->first)});
        }
    }
    return false;
}

Result<void> DeclaredShapes::write_empty_entry(const Table& table, std::string_view table_path, std::string_view index,
                                               std::string& out) {
    const std::size_t run_end = index_.element_run_end(table.first_field);
    for (std::size_t field = table.first_field; field < run_end; ++field) {
        if (!fields_[field].optional) return std::unexpected(Error::App(AppErrorKind::RequiredFieldSchema));
        auto added = resolve_field_signature(fields_[field], patterns_);
        if (!added) return forward_error(added);
        out.append(added->signature).append("'").append(table_path).append("/").append(index).append("::");
        out.append(index_.element_name(field)).append("=").append(added->default_value).append(ending_);
    }
    return {};
}

Result<std::optional<std::string>> DeclaredShapes::lift(std::size_t added_limit) {
    const std::string_view text = text_;
    ending_ = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::string out;
    bool lifted = false;
    std::size_t copied = 0;  // the text before it is in `out`
    for (std::size_t pos = 0; pos < text.size();) {
        const std::string_view line = line_with_ending_at(text, pos);
        const std::size_t line_start = pos;
        pos += line.size();
        const auto path = content_line_name_path(line);
        if (!path || !may_lift(*path) || index_.first_match(*path)) continue;
        scratch_.clear();
        auto written = write_lifted(line, *path, scratch_);
        if (!written) return forward_error(written);
        if (!*written) continue;
        lifted = true;
        out.append(text.substr(copied, line_start - copied)).append(scratch_);
        copied = pos;
        if (out.size() > text.size() + added_limit) return std::unexpected(added_defaults_too_large());
    }
    if (!lifted) return std::nullopt;
    out.append(text.substr(copied));
    return out;
}

}  // namespace bezo
