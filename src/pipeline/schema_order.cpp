#include "pipeline/schema_order.hpp"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/hash.hpp"
#include "core/text.hpp"
#include "lang/canonical_line.hpp"

namespace bezo {
namespace {

constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);

// The array a line lies in and the index it names there.
struct CollectionLine {
    std::string_view array;              // the path up to and including the "@" segment
    std::optional<std::uint64_t> index;  // none when the index is out of range
};

// The end of the path segment that starts at `pos`: the next "/" or "::"
// outside double quotes, or the end of the text.
std::size_t segment_end(std::string_view path, std::size_t pos) {
    bool quoted = false;
    for (; pos < path.size(); ++pos) {
        const char c = path[pos];
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '/' || path.substr(pos).starts_with("::")) return pos;
    }
    return pos;
}

// The outermost array of a name path that the line is a member of ("A::i")
// or lies below an entry of ("A/i::...", "A/i/..."); none when the path
// names no array index.
std::optional<CollectionLine> collection_of(std::string_view path) {
    for (std::size_t pos = 0; pos < path.size() && path[pos] == '/';) {
        const std::size_t end = segment_end(path, pos + 1);
        const bool array = pos + 1 < path.size() && path[pos + 1] == '@';
        const std::string_view after = path.substr(end);
        if (after.starts_with("::")) {
            const std::string_view key = after.substr(2);
            if (array && is_ascii_digits(key)) return CollectionLine{path.substr(0, end), parse_ascii_unsigned(key)};
            return std::nullopt;
        }
        if (array && after.starts_with('/')) {
            const std::size_t index_end = segment_end(path, end + 1);
            const std::string_view index = path.substr(end + 1, index_end - end - 1);
            if (is_ascii_digits(index) && index_end < path.size()) {
                return CollectionLine{path.substr(0, end), parse_ascii_unsigned(index)};
            }
        }
        pos = end;
    }
    return std::nullopt;
}

bool is_directive_line(std::string_view line) { return trim_leading_blanks(line).starts_with(".!"); }

// One content line and the lines before it that carry no content.
struct Unit {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint64_t top = 0;        // the first field that matches the line, plus one; 0 when none does
    std::uint64_t entry = 0;      // of a line in a collection: its index
    std::uint64_t field = 0;      // of a record line: the element field it names, plus one; 0 when none
    std::string_view collection;  // the array (or table) the line lies in; empty when none
    bool splits = false;          // the line names an index of its collection
    std::size_t segment = 0;      // the number of directive gaps before the line
};

// A collection's lines, in text order, and the first field that matches
// any of them, plus one.
struct Block {
    std::vector<std::size_t> units;
    std::uint64_t top = 0;
};

// One place of the top-level sequence: a unit, or a whole collection.
struct Item {
    std::uint64_t top = 0;
    std::size_t block = kNoBlock;
    std::size_t unit = 0;
};

class SchemaOrder {
public:
    SchemaOrder(std::string_view text, const SchemaFieldIndex& fields) : text_(text), fields_(fields) {}

    std::optional<std::string> run() && {
        read_units();
        if (units_.empty()) return std::nullopt;
        order_.reserve(units_.size());
        order_units();
        for (std::size_t i = 0; i < order_.size(); ++i) {
            if (order_[i] != i) return write();
        }
        return std::nullopt;
    }

private:
    // The units in text order, and where a directive starts a new segment.
    // A directive, the lines without content before it and those before
    // the first content line after it belong to no unit: they move as one
    // piece, the gap of the segment they open.
    void read_units() {
        std::optional<std::size_t> pending;
        segment_starts_.push_back(0);
        for (std::size_t pos = 0; pos < text_.size();) {
            const std::string_view line = line_with_ending_at(text_, pos);
            const std::size_t next = pos + line.size();
            if (const auto path = content_line_name_path(line)) {
                Unit unit = place_of(*path);
                unit.segment = segment_starts_.size() - 1;
                unit.begin = pending.value_or(pos);
                unit.end = next;
                units_.push_back(unit);
                pending = next;
            } else if (is_directive_line(line)) {
                pending.reset();
                if (segment_starts_.back() != units_.size()) segment_starts_.push_back(units_.size());
            }
            pos = next;
        }
    }

    Unit place_of(std::string_view path) {
        Unit unit;
        const auto field = fields_.first_match(path);
        if (field) unit.top = *field + 1;
        if (const auto collection = collection_of(path)) {
            unit.collection = collection->array;
            unit.splits = collection->index.has_value();
            unit.entry = collection->index.value_or(0);
            if (!field) unit.top = table_top(collection->array);
        }
        if (!field || fields_.kind(*field) != FieldKind::Element) return unit;
        // A table whose path names no array keeps its lines together too.
        const std::string_view table = fields_.element_table(*field);
        const auto element = split_element_index(path, path.substr(0, table.size() + 1));
        if (unit.collection.empty()) {
            unit.collection = table;
            unit.splits = element.has_value();
            if (element) unit.entry = element->index;
        }
        if (element && unit.collection == table) {
            // The first field of a table is the first of its run, whichever
            // field the line names.
            if (const auto named = fields_.element_field_named(*field, element->name)) unit.field = *named + 1;
        }
        return unit;
    }

    // The first field of the table at the array path, plus one; 0 when the
    // schema declares no table there. An item of a table that is no record
    // ("{}", null, a scalar) matches no field but moves with the table.
    std::uint64_t table_top(std::string_view array) {
        probe_.assign(array).append("/");
        const auto field = fields_.first_match(probe_);
        if (!field || fields_.kind(*field) != FieldKind::Element || fields_.element_table(*field) != array) return 0;
        return *field + 1;
    }

    // All units: units and collections, each collection gathered where its
    // first line stood, the matched ones ordered among their places.
    // Directives do not bound the order: write() puts each one back above
    // every line that followed it.
    void order_units() {
        for (std::size_t u = 0; u < units_.size(); ++u) {
            Unit& unit = units_[u];
            if (unit.collection.empty()) {
                items_.push_back({unit.top, kNoBlock, u});
                continue;
            }
            const auto [found, added] = block_of_.try_emplace(unit.collection, blocks_.size());
            if (added) {
                blocks_.emplace_back();
                items_.push_back({0, found->second, u});
            }
            Block& block = blocks_[found->second];
            if (!unit.splits && !block.units.empty()) unit.entry = units_[block.units.back()].entry;
            if (unit.top != 0 && (block.top == 0 || unit.top < block.top)) block.top = unit.top;
            block.units.push_back(u);
        }
        for (Item& item : items_) {
            if (item.block != kNoBlock) item.top = blocks_[item.block].top;
        }
        order_matched(
            std::span(items_), [](const Item& item) { return item.top; }, moving_items_, places_);
        for (const Item& item : items_) {
            if (item.block != kNoBlock) {
                append_block(blocks_[item.block].units);
            } else {
                order_.push_back(item.unit);
            }
        }
    }

    // A collection's lines, index by index, each record's lines in the
    // order of the element fields they name.
    void append_block(std::vector<std::size_t>& lines) {
        const auto entry_of = [&](std::size_t unit) { return units_[unit].entry; };
        if (!std::ranges::is_sorted(lines, {}, entry_of)) std::ranges::stable_sort(lines, {}, entry_of);
        const auto field_of = [&](std::size_t unit) { return units_[unit].field; };
        for (auto start = lines.begin(); start != lines.end();) {
            const std::uint64_t entry = entry_of(*start);
            const auto stop =
                std::find_if(start, lines.end(), [&](std::size_t unit) { return entry_of(unit) != entry; });
            order_matched(std::span(start, stop), field_of, moving_units_, places_);
            order_.insert(order_.end(), start, stop);
            start = stop;
        }
    }

    // The text with the units in their new order. The gap of each directive
    // (the directive with the lines around it that belong to no unit) is
    // written just above the first unit that followed it in the source, so
    // no line moves above a directive it followed; a line that stood above
    // a directive may move below it.
    std::string write() const {
        const std::string_view ending = text_.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
        std::string out;
        out.reserve(text_.size() + ending.size());
        out.append(text_.substr(0, units_.front().begin));
        std::size_t next_gap = 1;
        for (const std::size_t u : order_) {
            const Unit& unit = units_[u];
            for (; next_gap <= unit.segment; ++next_gap) append_line(out, segment_gap(next_gap), ending);
            append_line(out, text_.substr(unit.begin, unit.end - unit.begin), ending);
        }
        out.append(text_.substr(units_.back().end));
        return out;
    }

    // The text between the last unit before the segment and its first unit.
    std::string_view segment_gap(std::size_t segment) const {
        const std::size_t first = segment_starts_[segment];
        const std::size_t from = units_[first - 1].end;
        return text_.substr(from, units_[first].begin - from);
    }

    // Only the text's last line can lack its ending; it gets one when
    // anything follows it.
    static void append_line(std::string& out, std::string_view piece, std::string_view ending) {
        if (piece.empty()) return;
        if (!out.empty() && !out.ends_with('\n')) out.append(ending);
        out.append(piece);
    }

    std::string_view text_;
    const SchemaFieldIndex& fields_;
    std::vector<Unit> units_;                  // in text order
    std::vector<std::size_t> segment_starts_;  // the first unit of each segment
    std::vector<std::size_t> order_;           // the units in the order written
    std::vector<Item> items_;
    std::vector<Block> blocks_;
    std::unordered_map<std::string_view, std::size_t, KeyedTextHash, std::equal_to<>> block_of_;
    std::vector<Item> moving_items_;
    std::vector<std::size_t> moving_units_;
    std::vector<std::size_t> places_;
    std::string probe_;
};

}  // namespace

std::optional<std::string> order_by_schema(std::string_view text, const SchemaFieldIndex& fields) {
    return SchemaOrder(text, fields).run();
}

}  // namespace bezo
