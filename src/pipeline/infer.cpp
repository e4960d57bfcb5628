#include "pipeline/infer.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <queue>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/hash.hpp"
#include "core/text.hpp"
#include "lang/anno.hpp"
#include "lang/canonical_line.hpp"
#include "lang/path.hpp"
#include "lang/schema_name.hpp"
#include "schema/schema_paths.hpp"

namespace bezo {
namespace {

template <class Value>
using ViewMap = std::unordered_map<std::string_view, Value, KeyedTextHash, std::equal_to<>>;

// The keyed text hash over the bytes of an integer, so that crafted element
// indices cannot make every entry of a set collide.
struct KeyedIntegerHash {
    std::size_t operator()(std::uint64_t value) const noexcept {
        return KeyedTextHash{}(std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
    }
};
using IntegerSet = std::unordered_set<std::uint64_t, KeyedIntegerHash>;

// Observed types are numbered in the order they are first seen; a field keeps
// the numbers of its types.
using TypeId = std::uint32_t;
using TypeIds = std::set<TypeId>;

// The type a signature states: its type name ("float" for the unit shorthand
// "!:", as the schema pass spells it), then ":" and the unit when it has one.
std::string observed_type(const Annotation& annotation) {
    std::string type = annotation.name.empty() ? std::string("float") : annotation.name;
    if (annotation.unit) type.append(":").append(*annotation.unit);
    return type;
}

// The observed type of each distinct metadata text, parsed once.
class TypeCatalog {
public:
    // None when the metadata is no annotation.
    std::optional<TypeId> observe(std::string_view metadata) {
        // Lines mostly repeat one of the last few metadata texts.
        for (std::size_t i = 0; i < recent_count_; ++i) {
            if (recent_[i].first == metadata) return recent_[i].second;
        }
        const auto type = lookup(metadata);
        if (type) {
            recent_[recent_next_] = {metadata, *type};
            recent_next_ = (recent_next_ + 1) % recent_.size();
            recent_count_ = std::min(recent_count_ + 1, recent_.size());
        }
        return type;
    }

    // The texts of the types, distinct and in byte order.
    std::vector<std::string_view> texts(const TypeIds& ids) const {
        std::vector<std::string_view> out;
        out.reserve(ids.size());
        for (const TypeId id : ids) out.push_back(texts_[id]);
        std::ranges::sort(out);
        return out;
    }

private:
    std::optional<TypeId> lookup(std::string_view metadata) {
        if (const auto found = by_metadata_.find(metadata); found != by_metadata_.end()) return found->second;
        const auto annotation = parse_annotation(metadata);
        if (!annotation) return std::nullopt;
        const auto [entry, added] =
            by_text_.try_emplace(observed_type(*annotation), static_cast<TypeId>(texts_.size()));
        // Keys of a node-based map keep their place, so the view stays valid.
        if (added) texts_.push_back(entry->first);
        by_metadata_.emplace(metadata, entry->second);
        return entry->second;
    }

    std::array<std::pair<std::string_view, TypeId>, 4> recent_{};
    std::size_t recent_count_ = 0;  // entries of `recent_` filled
    std::size_t recent_next_ = 0;
    ViewMap<TypeId> by_metadata_;
    TextMap<TypeId> by_text_;
    std::vector<std::string_view> texts_;
};

// What a name path stands for.
enum class Shape : std::uint8_t {
    ScalarField,     // no array segment
    ListItem,        // an item of an array that is no record ("T::i")
    ElementField,    // a field of a record of an array ("T/i::f")
    NotExpressible,  // anything deeper
};

// A name path classified: the key of its record and, for an item or an
// element field, the index of its item and the field name. A line nested in
// a record of an array ("T/i/o::k"), which is not expressible, still names
// the item it stands in: `table` is then T and `index` i.
struct PathShape {
    Shape shape;
    std::string_view key;
    std::uint64_t index = 0;
    std::string_view field;
    std::optional<std::string_view> table;
};

// Cuts a name path at every "/" and "::" outside double quotes; empty
// segments are dropped. The views point into `path`.
void split_segments(std::string_view path, std::vector<std::string_view>& segments) {
    segments.clear();
    QuoteTracker quotes;
    std::size_t start = 0;
    std::size_t pos = 0;
    const auto cut = [&](std::size_t end, std::size_t separator) {
        if (end > start) segments.push_back(path.substr(start, end - start));
        start = pos = end + separator;
    };
    while (pos < path.size()) {
        if (!quotes.inside() && path[pos] == '/') {
            cut(pos, 1);
        } else if (!quotes.inside() && path.substr(pos).starts_with("::")) {
            cut(pos, 2);
        } else {
            pos = quotes.advance(path, pos);
        }
    }
    cut(path.size(), 0);
}

// An element index: an optional "+" and decimal digits; anything else
// counts as element 0.
std::uint64_t element_index(std::string_view segment) {
    if (segment.starts_with('+')) segment.remove_prefix(1);
    return parse_ascii_unsigned(segment).value_or(0);
}

PathShape keyed(Shape shape, std::string_view key) { return {shape, key, 0, {}, std::nullopt}; }

PathShape classify(std::string_view path, const std::vector<std::string_view>& segments) {
    std::size_t marked = 0;
    std::size_t at = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (segments[i].starts_with('@') && marked++ == 0) at = i;
    }
    if (marked == 0) return keyed(Shape::ScalarField, path.starts_with("::") ? path.substr(2) : path);
    const std::string_view marked_segment = segments[at];
    const std::string_view array_path =
        path.substr(0, static_cast<std::size_t>(marked_segment.data() + marked_segment.size() - path.data()));
    if (marked == 1 && at + 2 == segments.size() && is_ascii_digits(segments.back())) {
        return {Shape::ListItem, array_path, element_index(segments.back()), {}, std::nullopt};
    }
    if (marked == 1 && at + 3 == segments.size()) {
        return {Shape::ElementField, array_path, element_index(segments[at + 1]), segments.back(), std::nullopt};
    }
    PathShape deeper = keyed(Shape::NotExpressible, path);
    // A line below an item of the array ("T/i/o::k") stands in that item,
    // as validation reads it.
    if (path.size() > array_path.size() && path[array_path.size()] == '/') {
        if (const auto index = entry_index_below(path, path.substr(0, array_path.size() + 1))) {
            deeper.table = array_path;
            deeper.index = *index;
        }
    }
    return deeper;
}

// The distinct indices of the items of an array, as runs of consecutive
// indices: items are numbered in text order, so an array mostly makes one.
class IndexRuns {
public:
    void add(std::uint64_t index) {
        if (!runs_.empty() && runs_.back().last == index) return;
        if (!runs_.empty() && runs_.back().last < index && index - runs_.back().last == 1) {
            runs_.back().last = index;
        } else {
            runs_.push_back({index, index});
        }
    }

    std::uint64_t count() const {
        std::vector<Run> runs = runs_;
        if (!std::ranges::is_sorted(runs)) std::ranges::sort(runs);
        std::uint64_t total = 0;
        std::optional<std::uint64_t> counted;  // the last index counted so far
        for (const Run& run : runs) {
            if (counted && run.last <= *counted) continue;
            const std::uint64_t first = counted && run.first <= *counted ? *counted + 1 : run.first;
            total += run.last - first + 1;
            counted = run.last;
        }
        return total;
    }

private:
    struct Run {
        std::uint64_t first;
        std::uint64_t last;
        friend auto operator<=>(const Run&, const Run&) = default;
    };
    std::vector<Run> runs_;
};

struct TableField {
    std::string_view name;
    TypeIds types;
    std::uint64_t lines = 0;
    // The field that last followed this one inside an element: elements
    // mostly repeat it, so its pair needs no lookup.
    std::optional<std::size_t> last_successor;
};

// The items of an array: the fields of its records in order of first
// appearance, the indices of its items, and which field followed which
// inside one record. Every item counts as an element of the table, a record
// or not (null, a scalar, an embedded value, a record of nested members
// only), so that a field some item lacks is known to be missing there.
struct TableRecord {
    std::vector<TableField> fields;
    ViewMap<std::size_t> positions;
    IndexRuns items;
    // Whether some item is a record: it has fields, or members nested
    // deeper.
    bool records = false;
    std::optional<std::uint64_t> current_element;
    std::size_t last_field = 0;
    // The distinct (field, following field) pairs by field position, in the
    // order first seen.
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    IntegerSet pair_codes;

    void add_line(std::uint64_t element, std::string_view name, TypeId type) {
        const bool same_element = current_element == element;
        if (!same_element) items.add(element);
        records = true;
        // Elements mostly list their fields in the order of the first one.
        const std::size_t field = find_or_add_field(name, same_element ? last_field + 1 : 0);
        if (same_element && last_field != field) note_pair(last_field, field);
        current_element = element;
        last_field = field;
        fields[field].types.insert(type);
        ++fields[field].lines;
    }

    // An item that is no record, or a line nested in a record, which leaves
    // the order of the fields alone.
    void add_item(std::uint64_t element, bool record) {
        items.add(element);
        records = records || record;
    }

    std::size_t find_or_add_field(std::string_view name, std::size_t guess) {
        if (guess < fields.size() && fields[guess].name == name) return guess;
        const auto [entry, added] = positions.try_emplace(name, fields.size());
        if (added) fields.push_back(TableField{name, {}, 0, std::nullopt});
        return entry->second;
    }

    void note_pair(std::size_t first, std::size_t second) {
        if (fields[first].last_successor == second) return;
        fields[first].last_successor = second;
        if (pair_codes.insert((std::uint64_t{first} << 32) | second).second) pairs.emplace_back(first, second);
    }

    // The field positions sorted so that every observed pair keeps its
    // order, the smallest ready position first; none when the pairs form a
    // cycle.
    std::optional<std::vector<std::size_t>> field_order() const {
        std::vector<std::vector<std::size_t>> successors(fields.size());
        std::vector<std::size_t> incoming(fields.size(), 0);
        for (const auto& [first, second] : pairs) {
            successors[first].push_back(second);
            ++incoming[second];
        }
        std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready;
        for (std::size_t field = 0; field < fields.size(); ++field) {
            if (incoming[field] == 0) ready.push(field);
        }
        std::vector<std::size_t> order;
        order.reserve(fields.size());
        while (!ready.empty()) {
            const std::size_t field = ready.top();
            ready.pop();
            order.push_back(field);
            for (const std::size_t next : successors[field]) {
                if (--incoming[next] == 0) ready.push(next);
            }
        }
        if (order.size() != fields.size()) return std::nullopt;
        return order;
    }
};

// What the schema writes for a key.
enum class Kind : std::uint8_t {
    ScalarField,
    Array,  // a list of scalars, or a table when some item is a record
    NotExpressible,
};

struct Record {
    Kind kind;
    std::string_view key;
    TypeIds types;                       // scalar fields, and the items of an array that are no record
    std::unique_ptr<TableRecord> table;  // arrays
};

// A key or field name as a schema line spells it: "re" opens a literal
// there, so that name is quoted.
void append_field_name(std::string_view name, std::string& out) {
    if (name == "re") {
        out.append("\"re\"");
    } else {
        out.append(name);
    }
}

class Inferrer {
public:
    Result<void> read(std::string_view text) {
        const char* const end = text.data() + text.size();
        while (!text.empty()) {
            std::string_view line = take_line(text);
            // A line loses one CR: the one before its LF (gone with the LF),
            // or, on a last line without LF, its final one.
            if (line.data() + line.size() == end && line.ends_with('\r')) line.remove_suffix(1);
            if (auto read = read_line(trim_leading_blanks(line)); !read) return read;
        }
        return {};
    }

    std::string write(std::string_view name) const {
        LibrarySet libraries;
        std::string body;
        for (const Record& record : records_) write_record(record, libraries, body);
        std::string out;
        out.reserve(body.size() + name.size() + 16);
        out.append(".!hezo ").append(name).append("\n");
        for (const std::string& library : libraries) out.append(".!types ").append(library).append("\n");
        out.append("\n").append(body);
        return out;
    }

private:
    Result<void> read_line(std::string_view line) {
        if (is_skipped_line(line)) return {};
        const auto apostrophe = line.find('\'');
        if (apostrophe == std::string_view::npos) return fail("not a canonical line: " + quoted_excerpt(line));
        const auto type = types_.observe(line.substr(0, apostrophe));
        if (!type) return fail("bad metadata prefix: " + quoted_excerpt(line));
        const auto equals = find_unquoted_equals(line, apostrophe);
        if (!equals) return fail("canonical line without =: " + quoted_excerpt(line));
        const std::string_view path = line.substr(apostrophe + 1, *equals - apostrophe - 1);
        split_segments(path, segments_);
        record(classify(path, segments_), *type);
        return {};
    }

    void record(const PathShape& shape, TypeId type) {
        switch (shape.shape) {
            case Shape::ScalarField:
                if (Record* record = find_or_add(Kind::ScalarField, shape.key)) record->types.insert(type);
                return;
            case Shape::ListItem:
                if (Record* record = find_or_add(Kind::Array, shape.key)) {
                    record->types.insert(type);
                    record->table->add_item(shape.index, false);
                }
                return;
            case Shape::ElementField:
                if (Record* record = find_or_add(Kind::Array, shape.key)) {
                    record->table->add_line(shape.index, shape.field, type);
                }
                return;
            case Shape::NotExpressible:
                if (shape.table) {
                    if (Record* record = find_or_add(Kind::Array, *shape.table)) {
                        record->table->add_item(shape.index, true);
                    }
                }
                mark_not_expressible(shape.key);
                return;
        }
    }

    // The record of the key, added when there is none; nullptr when a
    // record of another kind holds the key (the line is then ignored).
    Record* find_or_add(Kind kind, std::string_view key) {
        // Lines of one table or list mostly follow each other.
        if (last_record_ >= records_.size() || records_[last_record_].key != key) {
            const auto [entry, added] = positions_.try_emplace(key, records_.size());
            if (added) {
                records_.push_back(Record{kind, key, {}, nullptr});
                if (kind == Kind::Array) records_.back().table = std::make_unique<TableRecord>();
            }
            last_record_ = entry->second;
        }
        Record& record = records_[last_record_];
        return record.kind == kind ? &record : nullptr;
    }

    // A shape the schema cannot state replaces whatever stood at its key.
    void mark_not_expressible(std::string_view key) {
        const auto [entry, added] = positions_.try_emplace(key, records_.size());
        if (added) records_.emplace_back();
        records_[entry->second] = Record{Kind::NotExpressible, key, {}, nullptr};
    }

    std::string field_type(const TypeIds& ids, LibrarySet& libraries) const {
        const std::vector<std::string_view> texts = types_.texts(ids);
        return write_field_type(texts, libraries);
    }

    void write_record(const Record& record, LibrarySet& libraries, std::string& out) const {
        switch (record.kind) {
            case Kind::ScalarField:
                out.append(field_type(record.types, libraries));
                append_field_name(record.key, out);
                out.append("=\n");
                return;
            case Kind::Array:
                if (record.table->records) {
                    write_table(record, libraries, out);
                } else {
                    out.append(field_type(record.types, libraries)).append(record.key).append(";=\n");
                }
                return;
            case Kind::NotExpressible:
                out.append("// skipped (shape not expressible yet): ").append(record.key).append("\n");
                return;
        }
    }

    void write_table(const Record& record, LibrarySet& libraries, std::string& out) const {
        const TableRecord& table = *record.table;
        // Records of nested members only give the table no field; the
        // comments on those members say what was left out.
        if (table.fields.empty()) return;
        const auto order = table.field_order();
        if (!order) {
            out.append("// skipped (inconsistent element field order): ").append(record.key).append("\n");
            return;
        }
        out.append("[").append(record.key).append("]\n");
        const std::uint64_t elements = table.items.count();
        for (const std::size_t position : *order) {
            const TableField& field = table.fields[position];
            if (field.lines < elements) {
                out.append("// skipped (present on ");
                append_decimal(field.lines, out);
                out.append(" of ");
                append_decimal(elements, out);
                out.append(" elements): ").append(field.name).append("\n");
                continue;
            }
            out.append(field_type(field.types, libraries));
            append_field_name(field.name, out);
            out.append("=\n");
        }
        out.append("[]\n");
    }

    TypeCatalog types_;
    std::vector<Record> records_;
    ViewMap<std::size_t> positions_;
    std::size_t last_record_ = 0;
    std::vector<std::string_view> segments_;
};

// The type name of an observed type, without its unit.
std::string_view type_name_of(std::string_view type) { return type.substr(0, type.find(':')); }

void append_joined(std::span<const std::string_view> names, std::string& out) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += '|';
        out.append(names[i]);
    }
}

}  // namespace

std::string write_field_type(std::span<const std::string_view> types, LibrarySet& libraries) {
    std::vector<std::string_view> names;
    bool nullable = false;
    for (const std::string_view type : types) {
        if (type == "null") {
            nullable = true;
        } else {
            names.push_back(type);
        }
    }
    if (!nullable && names.size() == 2 && names[0] == "float" && names[1] == "int") names.pop_back();
    if (names.empty()) names.push_back("str");
    for (const std::string_view type : names) {
        const std::string_view name = type_name_of(type);
        if (const auto slash = name.rfind('/'); slash != std::string_view::npos) {
            libraries.emplace(name.substr(0, slash));
        }
    }
    std::string line;
    if (nullable) {
        line.append("!null|");
        append_joined(names, line);
    } else if (names.size() == 1 && names[0] == "str") {
        return line;
    } else if (names.size() == 1 && type_name_of(names[0]) == names[0] && names[0].contains('/')) {
        // A library type without a unit is named by reference.
        line.append("&").append(names[0].substr(names[0].rfind('/') + 1));
    } else {
        line.append("!");
        append_joined(names, line);
    }
    line += '\n';
    return line;
}

Result<std::string> infer_main(std::string_view canonical, std::string_view name) {
    if (auto checked = check_schema_name(name, "infer"); !checked) return forward_error(checked);
    Inferrer inferrer;
    if (auto read = inferrer.read(canonical); !read) return forward_error(read);
    return inferrer.write(name);
}

}  // namespace bezo
