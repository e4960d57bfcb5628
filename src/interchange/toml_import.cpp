#include "interchange/toml_import.hpp"

// The TOML library is compiled here and nowhere else, header-only, without
// exceptions, with TOML 1.1 enabled. The prescan bounds nesting to 512
// levels; the library's own bound on nested values must not be lower.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_UNRELEASED_FEATURES 1
#define TOML_MAX_NESTED_VALUES 1024
#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/authored_writer.hpp"
#include "interchange/json_text.hpp"
#include "interchange/toml_datetime.hpp"
#include "interchange/toml_prescan.hpp"

namespace bezo {
namespace {

Value float_value(double number) {
    if (std::isfinite(number)) return Value::number(format_json_float(number));
    if (std::isnan(number)) return Value::typed("std/num", "nan", "nan");
    return Value::typed("std/num", "inf", number < 0 ? "-inf" : "inf");
}

// The nanoseconds as fraction digits without trailing zeros.
std::string fraction_digits(std::uint32_t nanoseconds) {
    if (nanoseconds == 0) return {};
    std::string digits;
    append_zero_padded(nanoseconds, 9, digits);
    digits.erase(digits.find_last_not_of('0') + 1);
    return digits;
}

TomlDate date_of(const toml::date& date) { return TomlDate{date.year, date.month, date.day}; }

TomlTime time_of(const toml::time& time) {
    return TomlTime{time.hour, time.minute, time.second, fraction_digits(time.nanosecond)};
}

TomlOffset offset_of(const toml::time_offset& offset) {
    if (offset.minutes == 0) return TomlOffset{true};
    int magnitude = std::abs(offset.minutes);
    return TomlOffset{false, offset.minutes < 0, magnitude / 60, magnitude % 60};
}

Value datetime_value(const TomlDateTime& datetime) {
    std::string literal;
    append_toml_datetime(datetime, literal);
    return Value::typed("std/time", std::string(toml_datetime_type(datetime)), std::move(literal));
}

Value toml_to_value(toml::node& node);

// The library keeps a table's keys sorted; document order comes back from
// where each key was first written.
ValueObject table_members(toml::table& table) {
    std::vector<std::pair<const toml::key*, toml::node*>> entries;
    entries.reserve(table.size());
    for (auto&& [key, node] : table) entries.emplace_back(&key, &node);
    std::ranges::sort(entries, {}, [](const auto& entry) { return entry.first->source().begin; });
    ValueObject members;
    members.reserve(entries.size());
    for (auto& [key, node] : entries) members.push_back(ValueMember{std::string(key->str()), toml_to_value(*node)});
    return members;
}

Value array_to_value(toml::array& array) {
    ValueArray items;
    items.reserve(array.size());
    for (toml::node& item : array) items.push_back(toml_to_value(item));
    return Value::array(std::move(items));
}

Value toml_to_value(toml::node& node) {
    switch (node.type()) {
        case toml::node_type::table: return Value::object(table_members(*node.as_table()));
        case toml::node_type::array: return array_to_value(*node.as_array());
        case toml::node_type::string: return Value::string(std::move(node.as_string()->get()));
        case toml::node_type::integer: return Value::number(decimal_text(node.as_integer()->get()));
        case toml::node_type::floating_point: return float_value(node.as_floating_point()->get());
        case toml::node_type::boolean: return Value::boolean(node.as_boolean()->get());
        case toml::node_type::date: return datetime_value(TomlDateTime{date_of(node.as_date()->get()), {}, {}});
        case toml::node_type::time: return datetime_value(TomlDateTime{{}, time_of(node.as_time()->get()), {}});
        case toml::node_type::date_time: {
            const toml::date_time& value = node.as_date_time()->get();
            TomlDateTime datetime{date_of(value.date), time_of(value.time), {}};
            if (value.offset) datetime.offset = offset_of(*value.offset);
            return datetime_value(datetime);
        }
        case toml::node_type::none: break;
    }
    return Value::null();
}

Error parse_failure(const toml::parse_error& error) {
    const toml::source_position& at = error.source().begin;
    return invalid_toml_at(error.description(), at.line, at.column);
}

}  // namespace

Result<std::string> import_toml(std::string_view text) {
    if (!is_valid_utf8(text)) return std::unexpected(Error::Other("input is not valid UTF-8"));
    if (auto scanned = prescan_toml(text); !scanned) return forward_error(scanned);
    toml::parse_result parsed = toml::parse(text);
    if (!parsed) return std::unexpected(parse_failure(parsed.error()));
    return tree_to_authored(table_members(parsed.table()), false);
}

}  // namespace bezo
