#include "pipeline/schema_order.hpp"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "lang/canonical_line.hpp"

namespace bezo {
namespace {

// One content line and the lines before it that carry no content.
struct Unit {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint64_t top = 0;    // the first field that matches the line, plus one; 0 when none does
    std::uint64_t entry = 0;  // of a table line: its entry index
    std::uint64_t field = 0;  // of a table line: the element field it names, plus one; 0 when none
    bool table = false;       // the line lies below a table of the schema
    bool splits = false;      // the table line names an entry index
};

// One place of the top-level sequence: a unit, or a whole table.
struct Item {
    std::uint64_t top = 0;
    bool table = false;
    std::size_t id = 0;  // the unit, or the table
};

class SchemaOrder {
public:
    SchemaOrder(std::string_view text, const SchemaFieldIndex& fields) : text_(text), fields_(fields) {}

    std::optional<std::string> run() && {
        read_units();
        if (units_.empty()) return std::nullopt;
        order_top_level();
        for (std::size_t i = 0; i < order_.size(); ++i) {
            if (order_[i] != i) return write();
        }
        return std::nullopt;
    }

private:
    void read_units() {
        for (std::size_t pos = 0; pos < text_.size();) {
            const std::string_view line = line_with_ending_at(text_, pos);
            const std::size_t next = pos + line.size();
            if (const auto path = content_line_name_path(line)) {
                Unit unit = place_of(*path);
                unit.begin = units_.empty() ? pos : units_.back().end;
                unit.end = next;
                units_.push_back(unit);
            }
            pos = next;
        }
    }

    Unit place_of(std::string_view path) const {
        Unit unit;
        const auto field = fields_.first_match(path);
        if (!field) return unit;
        unit.top = *field + 1;
        if (fields_.kind(*field) != FieldKind::Element) return unit;
        // The first field of a table is the first of its run, whichever
        // field the line names.
        unit.table = true;
        const std::string_view prefix = path.substr(0, fields_.element_table(*field).size() + 1);
        const auto element = split_element_index(path, prefix);
        if (!element) return unit;
        unit.splits = true;
        unit.entry = element->index;
        if (const auto named = fields_.element_field_named(*field, element->name)) unit.field = *named + 1;
        return unit;
    }

    // The top level: units and tables, each table gathered where its first
    // line stood, the matched ones ordered among their places.
    void order_top_level() {
        std::vector<Item> items;
        std::unordered_map<std::uint64_t, std::size_t> table_of_top;
        for (std::size_t u = 0; u < units_.size(); ++u) {
            Unit& unit = units_[u];
            if (!unit.table) {
                items.push_back({unit.top, false, u});
                continue;
            }
            const auto [found, added] = table_of_top.try_emplace(unit.top, tables_.size());
            if (added) {
                tables_.emplace_back();
                items.push_back({unit.top, true, found->second});
            }
            std::vector<std::size_t>& lines = tables_[found->second];
            if (!unit.splits && !lines.empty()) unit.entry = units_[lines.back()].entry;
            lines.push_back(u);
        }
        std::vector<Item> moving;
        order_matched(
            std::span(items), [](const Item& item) { return item.top; }, moving, places_);
        order_.reserve(units_.size());
        for (const Item& item : items) {
            if (item.table) {
                append_table(tables_[item.id]);
            } else {
                order_.push_back(item.id);
            }
        }
    }

    // A table's lines, entry by entry in index order, each entry's lines in
    // the order of the element fields they name.
    void append_table(std::vector<std::size_t>& lines) {
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

    std::string write() const {
        const std::string_view ending = text_.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
        std::string out;
        out.reserve(text_.size() + ending.size());
        out.append(text_.substr(0, units_.front().begin));
        for (std::size_t i = 0; i < order_.size(); ++i) {
            const Unit& unit = units_[order_[i]];
            out.append(text_.substr(unit.begin, unit.end - unit.begin));
            // Only the text's last line can lack its ending.
            if (!out.ends_with('\n') && i + 1 < order_.size()) out.append(ending);
        }
        out.append(text_.substr(units_.back().end));
        return out;
    }

    std::string_view text_;
    const SchemaFieldIndex& fields_;
    std::vector<Unit> units_;                       // in text order
    std::vector<std::vector<std::size_t>> tables_;  // the units of each table, in text order
    std::vector<std::size_t> order_;                // the units in the order written
    std::vector<std::size_t> moving_units_;
    std::vector<std::size_t> places_;
};

}  // namespace

std::optional<std::string> order_by_schema(std::string_view text, const SchemaFieldIndex& fields) {
    return SchemaOrder(text, fields).run();
}

}  // namespace bezo
