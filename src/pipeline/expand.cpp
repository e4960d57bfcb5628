#include "pipeline/expand.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/xml_mark.hpp"
#include "lang/anno.hpp"
#include "lang/canonical_line.hpp"
#include "pipeline/declared_shapes.hpp"
#include "pipeline/schema_order.hpp"
#include "schema/rex_match.hpp"
#include "schema/schema_paths.hpp"

namespace bezo {
namespace {

Error conversion_too_large() {
    return Error::Other("schema expansion too large: converted values grew by more than 1 GiB");
}

// The first annotation item of a field, or nullptr.
const Annotation* first_annotation(const SchemaField& field) {
    for (const AnnotationItem& item : field.items) {
        if (const auto* annotation = std::get_if<Annotation>(&item.value)) return annotation;
    }
    return nullptr;
}

// The type that a field gives the lines it matches: its first annotation
// item when that names one type (no union members).
const Annotation* schema_type(const SchemaField& field) {
    const Annotation* annotation = first_annotation(field);
    return annotation != nullptr && annotation->alternatives.empty() ? annotation : nullptr;
}

// What unit conversion needs of a line's metadata: its annotation, the
// canonical text of its unit, and where the unit suffix stands in the text,
// found for one target unit at a time (the lines under one field share it).
struct MetadataUnit {
    Annotation annotation;
    std::optional<std::string> canonical;
    std::optional<std::string> located_for;  // the target unit of `unit_at`
    std::optional<std::size_t> unit_at;
};

// The parsed metadata of the lines, each distinct text parsed once. Texts
// that differ line by line (a provenance with a timestamp) would fill it
// without end, so it starts again past a bound.
class MetadataUnits {
public:
    // The unit of the metadata; nullptr when the text is no annotation.
    MetadataUnit* find(std::string_view metadata) {
        auto found = parsed_.find(metadata);
        if (found != parsed_.end()) return found->second ? &*found->second : nullptr;
        if (parsed_.size() >= kMaxEntries) parsed_.clear();
        return remember(metadata, read(metadata));
    }

private:
    static constexpr std::size_t kMaxEntries = 4096;

    static std::optional<MetadataUnit> read(std::string_view metadata) {
        auto annotation = parse_annotation(metadata);
        if (!annotation) return std::nullopt;
        MetadataUnit unit;
        unit.annotation = std::move(*annotation);
        if (unit.annotation.unit) unit.canonical = canonical_unit_text(*unit.annotation.unit);
        return unit;
    }

    MetadataUnit* remember(std::string_view metadata, std::optional<MetadataUnit> unit) {
        auto& kept = parsed_.emplace(std::string(metadata), std::move(unit)).first->second;
        return kept ? &*kept : nullptr;
    }

    TextMap<std::optional<MetadataUnit>> parsed_;
};

// Where ":" and the line's unit stand in the metadata as its unit suffix:
// the last occurrence that, rewritten to the target unit, changes nothing
// else the metadata says. The same text inside the provenance, a pattern or
// an alternative's unit is passed over, and so is every occurrence before
// the last few (the line then keeps its unit and its value).
std::optional<std::size_t> unit_suffix_at(std::string_view metadata, MetadataUnit& unit, std::string_view target) {
    constexpr int kMaxCandidates = 8;
    if (unit.located_for == target) return unit.unit_at;
    Annotation expected = unit.annotation;
    expected.unit = canonical_unit_text(target);
    const std::string colon_unit = ":" + *unit.annotation.unit;
    std::string rewritten;
    unit.located_for = std::string(target);
    unit.unit_at.reset();
    auto at = metadata.rfind(colon_unit);
    for (int tries = 0; at != std::string_view::npos && tries < kMaxCandidates; ++tries) {
        rewritten.assign(metadata.substr(0, at)).append(":").append(target);
        rewritten.append(metadata.substr(at + colon_unit.size()));
        if (parse_annotation(rewritten) == expected) {
            unit.unit_at = at;
            break;
        }
        at = at == 0 ? std::string_view::npos : metadata.rfind(colon_unit, at - 1);
    }
    return unit.unit_at;
}

// One line of an element entry, its split under the table's prefix, and the
// first field of the run with its name.
struct EntryLine {
    std::string_view line;
    std::optional<ElementLine> element;
    std::optional<std::size_t> named;
    bool content = true;  // false for a note, a directive, a comment
};

// The lines [begin, end) of an entry: a content line and the lines without
// content before it, which move with it; `field` is the field the content
// line names, plus one, or 0 when it names none.
struct EntryUnit {
    std::size_t begin;
    std::size_t end;
    std::size_t field;
};

// A content line, where it starts and its name path.
struct ContentAt {
    std::size_t pos;
    std::string_view line;
    std::string_view path;
};

// What the merge does at a line that stands before the schema field it
// belongs to, once passed (a line out of schema order, or a repeated one).
enum class OnDisorder : bool {
    Stop,      // gives up, so that the text can be put in schema order first
    CopyRest,  // copies that line and every later matched line unchanged
};

class ExpansionPass {
public:
    // With `shapes`, the merge also stops at a line that takes a shape the
    // schema declares, so that the text can be lifted first.
    ExpansionPass(std::string_view text, const CompiledSchema& schema, const UserUnits& units, std::size_t added_limit,
                  OnDisorder on_disorder, DeclaredShapes* shapes)
        : text_(text),
          on_disorder_(on_disorder),
          shapes_(shapes),
          fields_(schema.fields),
          units_(units),
          index_(schema.fields),
          present_(schema.fields.size(), false),
          first_of_path_(schema.fields.size()),
          entry_marks_(schema.fields.size(), 0),
          first_named_(schema.fields.size()),
          signatures_(schema.fields.size()),
          before_text_(schema.fields.size()),
          added_budget_(added_limit),
          ending_(text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n") {
        // Capacity that is never written costs no memory, and a text that
        // outgrows its buffer is copied whole.
        out_.reserve(text.size() * 2);
        std::size_t run_start = 0;
        for (std::size_t field = 0; field < fields_.size(); ++field) {
            if (index_.kind(field) == FieldKind::Element) {
                if (field == 0 || index_.element_run_end(field - 1) != index_.element_run_end(field)) run_start = field;
                first_named_[field] = *index_.element_field_named(run_start, index_.element_name(field));
            }
            if (index_.kind(field) != FieldKind::Plain) continue;
            first_of_path_[field] = *index_.exact_field(fields_[field].path);
            const std::size_t length = fields_[field].path.size();
            if (plain_lengths_.size() <= length) plain_lengths_.resize(length + 1);
            plain_lengths_[length] = true;
        }
    }

    // The expanded text; no value when the merge stopped at a line out of
    // schema order.
    Result<std::optional<std::string>> run() && {
        mark_present_fields();
        std::size_t pos = 0;
        while (pos < text_.size()) {
            auto next = expand_line(pos);
            if (!next) return forward_error(next);
            pos = *next;
        }
        if (stopped_) return std::nullopt;
        if (auto emitted = emit_fields_until(fields_.size()); !emitted) return forward_error(emitted);
        return std::move(out_);
    }

private:
    // Every plain field whose path is the name path of some line, recorded
    // on the first field of that path. Only paths as long as some plain
    // field's path are looked up.
    void mark_present_fields() {
        if (plain_lengths_.empty()) return;
        for (std::size_t pos = 0; pos < text_.size();) {
            const std::string_view line = line_with_ending_at(text_, pos);
            pos += line.size();
            const auto path = content_line_name_path(line);
            if (!path || path->size() >= plain_lengths_.size() || !plain_lengths_[path->size()]) continue;
            if (const auto field = index_.exact_field(*path)) present_[*field] = true;
        }
    }

    // One line, or a whole element table from it; returns the position of
    // the first line not consumed.
    Result<std::size_t> expand_line(std::size_t pos) {
        const std::string_view line = line_with_ending_at(text_, pos);
        const std::size_t next = pos + line.size();
        const auto path = content_line_name_path(line);
        if (!path) {
            if (!is_xml_mark(line)) out_.append(line);
            return next;
        }
        auto field = index_.first_match(*path);
        if (!field) {
            if (lifts(line, *path)) return stop();
            field = table_opened_by_member(*path);
        }
        if (!field) {
            if (!expand_float_shorthand(line, out_)) out_.append(line);
            return next;
        }
        if (*field < cursor_) field = index_.first_match(*path, cursor_);
        if (!field) {
            // The line belongs to a field already passed (a repeated line, or
            // a document out of schema order): every field still to come is
            // settled now, and from here on every line that a field matches
            // is copied unchanged.
            if (on_disorder_ == OnDisorder::Stop) return stop();
            if (auto emitted = emit_fields_until(fields_.size()); !emitted) return forward_error(emitted);
            out_.append(line);
            return next;
        }
        if (auto emitted = emit_fields_until(*field); !emitted) return forward_error(emitted);
        if (index_.kind(*field) == FieldKind::Element) return expand_table(*field, pos);
        if (auto written = canonicalize_value(*field, line); !written) return forward_error(written);
        // A map or an array stays under the cursor for its further entries.
        if (!fields_[*field].path.ends_with("::")) cursor_ = *field + 1;
        return next;
    }

    // The first field of the table still to come whose first item is the
    // line, an item that is no record ("T::i", which no element field
    // matches), so that the table's records after it are expanded with it.
    std::optional<std::size_t> table_opened_by_member(std::string_view path) {
        const auto colons = path.rfind("::");
        if (colons == std::string_view::npos || !is_ascii_digits(path.substr(colons + 2))) return std::nullopt;
        const std::string_view table = path.substr(0, colons);
        member_probe_.assign(table).append("/");
        const auto field = index_.first_match(member_probe_, cursor_);
        if (!field || index_.kind(*field) != FieldKind::Element || index_.element_table(*field) != table) {
            return std::nullopt;
        }
        return field;
    }

    // Whether the line, which no field matches, is a shape to lift.
    bool lifts(std::string_view line, std::string_view path) {
        return shapes_ != nullptr && shapes_->lifts(line, path);
    }

    // The XML import's mark, which the schema pass reads and drops.
    static bool is_xml_mark(std::string_view line) {
        return split_line_ending(trim_leading_blanks(line)).body == kXmlShapeMark;
    }

    // Ends the merge at a line out of schema order, or at one to lift;
    // returns the end of the text.
    std::size_t stop() {
        stopped_ = true;
        return text_.size();
    }

    // The first content line at or after `pos`, or none.
    std::optional<ContentAt> next_content_line(std::size_t pos) const {
        while (pos < text_.size()) {
            const std::string_view line = line_with_ending_at(text_, pos);
            if (const auto path = content_line_name_path(line)) return ContentAt{pos, line, *path};
            pos += line.size();
        }
        return std::nullopt;
    }

    Result<void> emit_fields_until(std::size_t end) {
        for (; cursor_ < end; ++cursor_) {
            if (auto emitted = emit_canonical_line(cursor_); !emitted) return emitted;
        }
        return {};
    }

    // An absent plain field, written with its default.
    Result<void> emit_canonical_line(std::size_t field) {
        const SchemaField& rule = fields_[field];
        if (index_.kind(field) != FieldKind::Plain || present_[first_of_path_[field]]) return {};
        if (!rule.optional) return std::unexpected(Error::App(AppErrorKind::RequiredFieldSchema));
        auto signature = signature_of(field);
        if (!signature) return forward_error(signature);
        const FieldSignature& added = **signature;
        return append_added_line({added.signature, "'", rule.path, "=", added.default_value});
    }

    // The element table that the line at `pos` opens, entry by entry. A
    // line matches every element field of its table, so `run_start` is the
    // first field of the table's run whichever field the line names. Lines
    // that carry no content (notes, directives, comments) are written where
    // they stand; the table ends at the first content line outside it.
    Result<std::size_t> expand_table(std::size_t run_start, std::size_t pos) {
        const std::string_view table = index_.element_table(run_start);
        // The table's path in the field's path is followed by "/".
        const std::string_view prefix(table.data(), table.size() + 1);
        std::optional<std::uint64_t> last_entry;
        while (pos < text_.size()) {
            const auto content = next_content_line(pos);
            if (!content || !in_table(content->path, table, prefix)) break;
            out_.append(text_.substr(pos, content->pos - pos));
            pos = content->pos;
            // A line nested in an entry ("T/i/o::k") opens the entry too.
            const auto element = split_element_index(content->path, prefix);
            const auto index = element ? element->index : entry_index_below(content->path, prefix);
            if (!index) {
                if (lifts(content->line, content->path)) return stop();
                out_.append(content->line);
                pos += content->line.size();
                continue;
            }
            // Entries are numbered in text order, so an index at or below the
            // last one is an entry split by other lines.
            if (last_entry && *index <= *last_entry && on_disorder_ == OnDisorder::Stop) return stop();
            last_entry = *index;
            auto next = expand_entry(run_start, prefix, {content->line, *index, element}, pos);
            if (!next) return next;
            pos = *next;
        }
        cursor_ = index_.element_run_end(run_start);
        return pos;
    }

    // A line of the table: below it, or an item that is no record ("{}",
    // null, a scalar among the records) that no field matches, which stays
    // where it stands among the records.
    bool in_table(std::string_view path, std::string_view table, std::string_view prefix) const {
        return path.starts_with(prefix) || (is_table_member(path, table) && !index_.first_match(path));
    }

    // The first line of an entry.
    struct EntryStart {
        std::string_view line;
        std::uint64_t index;
        std::optional<ElementLine> element;  // none for a nested line
    };

    // The lines of one entry: its first line and those after it while their
    // paths stay under the prefix without naming another index. Lines that
    // carry no content between them belong to the entry, and are written
    // where they stand.
    void collect_entry(std::size_t run_start, std::string_view prefix, const EntryStart& start, std::size_t pos) {
        entry_.clear();
        ++entry_serial_;
        std::size_t guess = run_start;
        add_entry_line(run_start, guess, start.line, start.element);
        for (pos += start.line.size(); pos < text_.size();) {
            const auto content = next_content_line(pos);
            if (!content || !content->path.starts_with(prefix)) return;
            const auto element = split_element_index(content->path, prefix);
            const auto index = element ? element->index : entry_index_below(content->path, prefix);
            if (index && *index != start.index) return;
            while (pos < content->pos) {
                const std::string_view line = line_with_ending_at(text_, pos);
                entry_.push_back({line, std::nullopt, std::nullopt, false});
                pos += line.size();
            }
            add_entry_line(run_start, guess, content->line, element);
            pos += content->line.size();
        }
    }

    // Puts the lines of the entry that name a field in the order of the
    // run's fields, when they are not: they move among the places they
    // fill, each with the lines without content before it; the lines that
    // name no field of the run stay where they are.
    void order_entry() {
        const auto place = [](const EntryLine& line) { return line.named ? *line.named + 1 : 0; };
        if (matched_in_order(std::span(entry_), place)) return;
        entry_units_.clear();
        std::size_t begin = 0;
        for (std::size_t i = 0; i < entry_.size(); ++i) {
            if (!entry_[i].content) continue;
            entry_units_.push_back({begin, i + 1, place(entry_[i])});
            begin = i + 1;
        }
        order_matched(
            std::span(entry_units_), [](const EntryUnit& unit) { return unit.field; }, moving_units_, unit_places_);
        ordered_entry_.clear();
        for (const EntryUnit& unit : entry_units_) {
            ordered_entry_.insert(ordered_entry_.end(), entry_.begin() + unit.begin, entry_.begin() + unit.end);
        }
        entry_.swap(ordered_entry_);
    }

    // Records one line of the entry and marks the field it names. Entries
    // mostly list their fields in schema order, so the field after the one
    // last named (`guess`) is tried first.
    void add_entry_line(std::size_t run_start, std::size_t& guess, std::string_view line,
                        std::optional<ElementLine> element) {
        const auto named = element
                               ? first_field_named(run_start, index_.element_run_end(run_start), guess, element->name)
                               : std::nullopt;
        if (named) {
            entry_marks_[*named] = entry_serial_;
            guess = *named + 1;
        }
        entry_.push_back({line, element, named});
    }

    // The first field of the run with the name, tried at `guess` first.
    std::optional<std::size_t> first_field_named(std::size_t run_start, std::size_t run_end, std::size_t guess,
                                                 std::string_view name) const {
        if (guess < run_end && first_named_[guess] == guess && index_.element_name(guess) == name) return guess;
        return index_.element_field_named(run_start, name);
    }

    Result<std::size_t> expand_entry(std::size_t run_start, std::string_view prefix, const EntryStart& start,
                                     std::size_t pos) {
        collect_entry(run_start, prefix, start, pos);
        order_entry();
        const std::uint64_t index = start.index;
        const std::size_t run_end = index_.element_run_end(run_start);
        std::size_t run_cursor = run_start;
        for (const EntryLine& entry : entry_) {
            pos += entry.line.size();
            const auto field = field_from(run_cursor, run_end, entry);
            if (!field) {
                out_.append(entry.line);
                continue;
            }
            for (; run_cursor < *field; ++run_cursor) {
                if (auto added = materialize_absent_field(run_cursor, prefix, index); !added) {
                    return forward_error(added);
                }
            }
            if (auto written = canonicalize_value(*field, entry.line); !written) return forward_error(written);
            run_cursor = *field + 1;
        }
        for (; run_cursor < run_end; ++run_cursor) {
            if (auto added = materialize_absent_field(run_cursor, prefix, index); !added) {
                return forward_error(added);
            }
        }
        return pos;
    }

    // The field of the run, from the run cursor on, that the entry line
    // names.
    std::optional<std::size_t> field_from(std::size_t run_cursor, std::size_t run_end, const EntryLine& entry) const {
        if (!entry.named || run_cursor >= run_end) return std::nullopt;
        if (*entry.named >= run_cursor) return entry.named;
        return index_.element_field_named(run_cursor, entry.element->name);
    }

    // An element field absent from the entry, written with its default.
    Result<void> materialize_absent_field(std::size_t field, std::string_view prefix, std::uint64_t index) {
        const std::string_view name = index_.element_name(field);
        if (entry_marks_[first_named_[field]] == entry_serial_) return {};
        if (!fields_[field].optional) return std::unexpected(Error::App(AppErrorKind::RequiredFieldSchema));
        auto signature = signature_of(field);
        if (!signature) return forward_error(signature);
        const FieldSignature& added = **signature;
        index_text_.clear();
        append_decimal(index, index_text_);
        return append_added_line({added.signature, "'", prefix, index_text_, "::", name, "=", added.default_value});
    }

    // The signature of a field, resolved once however many entries add it.
    Result<const FieldSignature*> signature_of(std::size_t field) {
        if (!signatures_[field]) {
            auto resolved = resolve_field_signature(fields_[field], patterns_);
            if (!resolved) return forward_error(resolved);
            signatures_[field] = std::move(*resolved);
        }
        return &*signatures_[field];
    }

    // Appends one added line, on a line of its own, charged to the budget.
    Result<void> append_added_line(std::initializer_list<std::string_view> pieces) {
        const bool after_open_line = !out_.empty() && !out_.ends_with('\n');
        std::size_t size = ending_.size() * (after_open_line ? 2 : 1);
        for (const std::string_view piece : pieces) size += piece.size();
        if (size > added_budget_) return std::unexpected(added_defaults_too_large());
        added_budget_ -= size;
        if (after_open_line) out_.append(ending_);
        for (const std::string_view piece : pieces) out_.append(piece);
        out_.append(ending_);
        return {};
    }

    // A present line under its field: the unit shorthand takes the field's
    // type name, "!str" becomes "!text" under a text field, and a quantity
    // is converted to the field's unit.
    Result<void> canonicalize_value(std::size_t field, std::string_view line) {
        const std::string_view rest = trim_leading_blanks(line);
        const std::string_view blanks = line.substr(0, line.size() - rest.size());
        const Annotation* first = first_annotation(fields_[field]);
        if (first != nullptr && takes_strings_as_text(*first) && is_untyped_string(rest) &&
            !keeps_string(field, *first, rest)) {
            return retype_as_text(blanks, rest);
        }
        const Annotation* type = schema_type(fields_[field]);
        if (type == nullptr) {
            out_.append(line);
            return {};
        }
        // The line with "!:" rewritten, in a buffer reused from line to line.
        std::string_view rewritten = rest;
        if (rest.starts_with("!:")) {
            rewritten_.assign("!").append(type->name).append(":").append(rest.substr(2));
            rewritten = rewritten_;
        }
        if (type->unit) {
            auto converted = convert_line(field, *type->unit, blanks, rewritten);
            if (!converted) return forward_error(converted);
            if (*converted) return {};
        }
        out_.append(blanks).append(rewritten);
        return {};
    }

    static bool is_text(std::string_view name, const std::optional<std::string>& unit) {
        return name == "text" && !unit;
    }

    // A field whose only string member is "text" without a unit, alone or
    // in a union such as "null|text" (which a "str" line would not meet).
    static bool takes_strings_as_text(const Annotation& type) {
        if (type.name == "str" ||
            std::ranges::any_of(type.alternatives, [](const Alternative& member) { return member.name == "str"; })) {
            return false;
        }
        return is_text(type.name, type.unit) || std::ranges::any_of(type.alternatives, [&](const Alternative& member) {
                   return is_text(member.name, member.unit);
               });
    }

    // Whether a "!str" line under a union with a text member stays as it
    // is, asked as validation would judge the line either way: it stays when
    // a member before the text member takes it as a string ("12345" under
    // "int|text#[1,3]"), or when only the string passes ("1.5" under
    // "int|text/^x/|text|float", where a text line meets the first text
    // member). A line that neither passes is retyped, as a lone text field
    // retypes it.
    bool keeps_string(std::size_t field, const Annotation& type, std::string_view rest) {
        if (type.alternatives.empty()) return false;
        const auto value = untyped_string_value(rest);
        if (!value) return false;
        const auto passes = [&](std::span<const AnnotationItem> items, std::string_view type_name) {
            return check_field_value(items, CanonicalLine{type_name, {}, *value, {}, {}, 0}, patterns_).passed();
        };
        const std::vector<AnnotationItem>& before_text = items_before_text(field, type);
        if (!before_text.empty() && passes(before_text, "str")) return true;
        const std::span<const AnnotationItem> items = fields_[field].items;
        return !passes(items, "text") && passes(items, "str");
    }

    // The field's items with its union cut before its first text member;
    // empty when the text member comes first. Made once per field, and kept
    // in place while the pass checks values against it.
    const std::vector<AnnotationItem>& items_before_text(std::size_t field, const Annotation& type) {
        auto& kept = before_text_[field];
        if (kept) return *kept;
        kept.emplace();
        if (is_text(type.name, type.unit)) return *kept;
        Annotation members = type;
        members.alternatives.erase(
            std::ranges::find_if(members.alternatives,
                                 [](const Alternative& member) { return is_text(member.name, member.unit); }),
            members.alternatives.end());
        for (const AnnotationItem& item : fields_[field].items) {
            if (std::get_if<Annotation>(&item.value) == &type) {
                kept->push_back(AnnotationItem{members});
            } else {
                kept->push_back(item);
            }
        }
        return *kept;
    }

    static bool is_untyped_string(std::string_view rest) {
        return rest.starts_with("!str") && rest.size() > 4 && (rest[4] == '?' || rest[4] == '\'');
    }

    // The value of a "!str" line, without its line ending; none when the
    // line has no "=" after its apostrophe.
    static std::optional<std::string_view> untyped_string_value(std::string_view rest) {
        const auto apostrophe = rest.find('\'', 4);
        if (apostrophe == std::string_view::npos) return std::nullopt;
        const auto equals = find_unquoted_equals(rest, apostrophe);
        if (!equals) return std::nullopt;
        return split_line_ending(rest.substr(*equals + 1)).body;
    }

    // "!str" made "!text"; a value holding the text's line-break mark
    // "|:|" would change its meaning, so it is refused.
    Result<void> retype_as_text(std::string_view blanks, std::string_view rest) {
        if (const auto value = untyped_string_value(rest); value && value->find("|:|") != std::string_view::npos) {
            return std::unexpected(Error::App(AppErrorKind::DelimiterCollision));
        }
        out_.append(blanks).append("!text").append(rest.substr(4));
        return {};
    }

    // Writes the line with its value converted into the field's unit and
    // returns true; returns false, writing nothing, when the line carries
    // no unit that converts (no unit, an unknown one, another dimension, a
    // value that is no number).
    Result<bool> convert_line(std::size_t field, std::string_view target, std::string_view blanks,
                              std::string_view rest) {
        if (target.find('~') != std::string_view::npos) return false;
        const auto apostrophe = rest.find('\'');
        if (apostrophe == std::string_view::npos) return false;
        const std::string_view metadata = rest.substr(0, apostrophe);
        MetadataUnit* unit = metadata_units_.find(metadata);
        if (unit == nullptr || !unit->annotation.unit || unit->annotation.unit->find('~') != std::string::npos ||
            !unit->canonical || *unit->canonical == target) {
            return false;
        }
        const auto equals = find_unquoted_equals(rest, apostrophe);
        if (!equals) return false;
        const auto [value, ending] = split_line_ending(rest.substr(*equals + 1));
        const auto& conversion = conversion_between(*unit->canonical, target);
        auto converted = conversion ? conversion->apply(value) : forward_error(conversion);
        if (!converted) {
            if (converted.error() == ConversionFailure::Inexact) {
                return std::unexpected(Error::App(AppErrorKind::UnitConversion));
            }
            return false;
        }
        if (!patterns_accept(fields_[field], *converted)) {
            return std::unexpected(Error::App(AppErrorKind::UnitConversion));
        }
        const auto written = unit_suffix_at(metadata, *unit, target);
        if (!written) return false;
        const std::size_t unit_size = unit->annotation.unit->size() + 1;
        // A short value may convert to thousands of digits ("1e4000"), so
        // the growth is charged like an added line.
        const std::size_t grown = target.size() + 1 + converted->size();
        if (grown > unit_size + value.size()) {
            const std::size_t growth = grown - unit_size - value.size();
            if (growth > added_budget_) return std::unexpected(conversion_too_large());
            added_budget_ -= growth;
        }
        out_.append(blanks)
            .append(metadata.substr(0, *written))
            .append(":")
            .append(target)
            .append(metadata.substr(*written + unit_size))
            .append(rest.substr(apostrophe, *equals + 1 - apostrophe))
            .append(*converted)
            .append(ending);
        return true;
    }

    // The conversion between two units, resolved once per pair.
    const std::expected<QuantityConversion, ConversionFailure>& conversion_between(std::string_view from,
                                                                                   std::string_view to) {
        conversion_key_.assign(from).append("\n").append(to);
        auto found = conversions_.find(conversion_key_);
        if (found == conversions_.end()) {
            found = conversions_.emplace(conversion_key_, QuantityConversion::between(from, to, units_)).first;
        }
        return found->second;
    }

    // Every pattern item of the field accepts the converted value.
    bool patterns_accept(const SchemaField& field, std::string_view value) {
        return std::ranges::all_of(field.items, [&](const AnnotationItem& item) {
            const auto* constraint = std::get_if<Constraint>(&item.value);
            const auto* pattern = constraint ? std::get_if<Constraint::Pattern>(&constraint->value) : nullptr;
            if (pattern == nullptr) return true;
            const RexProgram* program = patterns_.program(pattern->text);
            return program != nullptr && rex_is_match(*program, value);
        });
    }

    std::string_view text_;
    OnDisorder on_disorder_;
    DeclaredShapes* shapes_;
    bool stopped_ = false;  // at a line out of schema order, or at one to lift
    std::span<const SchemaField> fields_;
    const UserUnits& units_;
    SchemaFieldIndex index_;
    std::vector<bool> present_;               // by the first field of each path
    std::vector<std::size_t> first_of_path_;  // of each plain field
    std::vector<bool> plain_lengths_;         // the lengths of the plain fields' paths
    std::size_t cursor_ = 0;                  // the next field in schema order

    std::vector<EntryLine> entry_;  // the lines of the current entry
    std::vector<EntryUnit> entry_units_;
    std::vector<EntryUnit> moving_units_;
    std::vector<std::size_t> unit_places_;
    std::vector<EntryLine> ordered_entry_;
    std::vector<std::uint64_t> entry_marks_;  // by field: the serial of the last entry naming it
    std::vector<std::size_t> first_named_;    // by element field: the first of its run with its name
    std::uint64_t entry_serial_ = 0;

    std::vector<std::optional<FieldSignature>> signatures_;
    std::vector<std::optional<std::vector<AnnotationItem>>> before_text_;  // by field
    PatternCache patterns_;
    MetadataUnits metadata_units_;
    // By source and target unit, joined with a line feed.
    TextMap<std::expected<QuantityConversion, ConversionFailure>> conversions_;
    std::string conversion_key_;
    std::size_t added_budget_;
    std::string_view ending_;  // of added lines
    std::string out_;
    std::string rewritten_;
    std::string index_text_;
    std::string member_probe_;
};

// The default checked against the field's items, for a field whose type is
// not a union.
Result<void> check_default(const SchemaField& field, PatternCache& patterns) {
    if (satisfies_constraints(field.items, field.value, patterns)) return {};
    return std::unexpected(Error::App(AppErrorKind::SchemaOptionalWithoutDefault));
}

}  // namespace

Error added_defaults_too_large() {
    return Error::Other("schema expansion too large: more than 1 GiB of added defaults");
}

bool expand_float_shorthand(std::string_view line, std::string& out) {
    const std::string_view rest = trim_leading_blanks(line);
    if (!rest.starts_with("!:")) return false;
    out.append(line.substr(0, line.size() - rest.size())).append("!float:").append(rest.substr(2));
    return true;
}

Result<FieldSignature> resolve_field_signature(const SchemaField& field, PatternCache& patterns) {
    const Annotation* annotation = first_annotation(field);
    if (annotation == nullptr) {
        if (auto checked = check_default(field, patterns); !checked) return forward_error(checked);
        return FieldSignature{"!str", field.value};
    }
    if (annotation->alternatives.empty()) {
        if (auto checked = check_default(field, patterns); !checked) return forward_error(checked);
        FieldSignature added{"!" + annotation->name, field.value};
        if (annotation->unit) added.signature.append(":").append(*annotation->unit);
        return added;
    }
    const auto member = match_union_alternative(*annotation, field.value, patterns);
    if (!member) return std::unexpected(Error::App(AppErrorKind::SchemaOptionalWithoutDefault));
    const bool null = member->name == "null";
    FieldSignature added{"!" + std::string(member->name), null ? std::string_view{} : std::string_view(field.value)};
    if (member->unit) added.signature.append(":").append(*member->unit);
    return added;
}

Result<std::string> expand_with_schema(std::string_view canonical, const CompiledSchema& schema, const UserUnits& units,
                                       std::size_t added_limit) {
    // Most texts are in schema order and take no declared shape, and the
    // merge finds out cheaply when one does not. Such a text is lifted into
    // the shapes the schema declares and merged again; a text that is not
    // in schema order (or whose merge fails, which a field split from its
    // entry may cause) is put in schema order and merged once more, where a
    // line still out of order (a repeated one) is copied.
    const SchemaFieldIndex index(schema.fields);
    DeclaredShapes shapes(schema.fields, index, canonical);
    auto merged = ExpansionPass(canonical, schema, units, added_limit, OnDisorder::Stop, &shapes).run();
    if (merged && *merged) return std::move(**merged);
    auto lifted = shapes.lift(added_limit);
    if (!lifted) return forward_error(lifted);
    const std::string_view text = *lifted ? std::string_view(**lifted) : canonical;
    if (*lifted) {
        const std::size_t growth = text.size() > canonical.size() ? text.size() - canonical.size() : 0;
        added_limit -= std::min(growth, added_limit);
        merged = ExpansionPass(text, schema, units, added_limit, OnDisorder::Stop, nullptr).run();
        if (merged && *merged) return std::move(**merged);
    }
    const auto ordered = order_by_schema(text, index);
    if (!merged && !ordered) return forward_error(merged);
    auto again =
        ExpansionPass(ordered ? *ordered : text, schema, units, added_limit, OnDisorder::CopyRest, nullptr).run();
    if (!again) return forward_error(again);
    return std::move(**again);
}

}  // namespace bezo
