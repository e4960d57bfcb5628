#include "pipeline/fmt_entries.hpp"

#include <algorithm>
#include <limits>

#include "core/text.hpp"
#include "pipeline/relational.hpp"

namespace bezo {
namespace {

// Counts saturate: a document can ask for more entries than fit (record
// variables doubled again and again), and the compiler refuses it anyway.
std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

template <class Value>
Value lookup(const TextMap<Value>& map, std::string_view name) {
    const auto found = map.find(name);
    return found == map.end() ? Value{} : found->second;
}

// Calls `each` with every piece of `text` split at `separator`.
template <class Each>
void for_each_piece(std::string_view text, char separator, Each&& each) {
    while (true) {
        const auto end = text.find(separator);
        each(text.substr(0, end));
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

std::size_t word_length(std::string_view text) {
    std::size_t length = 0;
    while (length < text.size() &&
           (is_ascii_letter(text[length]) || is_ascii_digit(text[length]) || text[length] == '_')) {
        ++length;
    }
    return length;
}

}  // namespace

std::uint64_t EntryCounter::next_index(PathId array) {
    if (counts_.size() <= array) counts_.resize(paths_.size());
    return counts_[array]++;
}

void EntryCounter::add(PathId array, std::uint64_t count, std::vector<EntryCount>& created) {
    if (count == 0) return;
    if (counts_.size() <= array) counts_.resize(paths_.size());
    counts_[array] = saturating_add(counts_[array], count);
    created.push_back({array, count});
}

// "$@.name" stands for the items of a record variable; any other value is one.
std::uint64_t EntryCounter::record_items(std::string_view value) const {
    if (value.starts_with("$@.")) return lookup(record_variables_, value.substr(3));
    return 1;
}

std::uint64_t EntryCounter::record_list_items(std::string_view value) const {
    std::uint64_t items = 0;
    for_each_piece(value, ';', [&](std::string_view piece) { items = saturating_add(items, record_items(piece)); });
    return items;
}

// The ";" in a value once its text variables are expanded: field references
// never hold one, "$$" is one dollar sign.
std::uint64_t EntryCounter::expanded_semicolons(std::string_view value) const {
    std::uint64_t count = static_cast<std::uint64_t>(std::ranges::count(value, ';'));
    for (std::size_t dollar = value.find('$'); dollar != std::string_view::npos; dollar = value.find('$', dollar)) {
        std::string_view rest = value.substr(dollar + 1);
        if (rest.starts_with('.')) {
            const std::string_view name = rest.substr(1, word_length(rest.substr(1)));
            count = saturating_add(count, lookup(text_semicolons_, name));
        }
        dollar += rest.starts_with('$') ? 2 : 1;
    }
    return count;
}

// The list keys of a splat value: a splat variable's, or those of an inline
// splat «k=v|@list+=v|@list;=a;b».
EntryCounter::ListKeys EntryCounter::splat_list_keys(std::string_view value) {
    if (value.starts_with("$/.")) {
        const ListKeys& keys = splat_variable(value.substr(3));
        return charge_list_keys(keys.size()) ? keys : ListKeys{};
    }
    ListKeys keys;
    for_each_piece(value, '|', [&](std::string_view piece) {
        const auto eq = piece.find('=');
        if (eq == std::string_view::npos) return;
        const std::string_view key = piece.substr(0, eq);
        if (key.size() <= 2 || key.front() != '@' || (key.back() != '+' && key.back() != ';')) return;
        const std::uint64_t count = key.back() == '+' ? 1 : expanded_semicolons(piece.substr(eq + 1)) + 1;
        keys.push_back({"@" + normalize_key(key.substr(1, key.size() - 2)), count});
    });
    return keys;
}

const EntryCounter::ListKeys& EntryCounter::splat_variable(std::string_view name) const {
    static const ListKeys none;
    const auto found = splat_variables_.find(name);
    return found == splat_variables_.end() ? none : found->second;
}

bool EntryCounter::charge_list_keys(std::size_t count) {
    if (count >= list_keys_left_) {
        list_keys_left_ = 0;
        return false;
    }
    list_keys_left_ -= count;
    return true;
}

void EntryCounter::add_list_keys(PathId target, const ListKeys& keys, std::vector<EntryCount>& created) {
    if (!charge_list_keys(keys.size())) return;
    for (const ListKey& key : keys) add(paths_.child(target, key.segment), key.count, created);
}

void EntryCounter::count_content_line(PathId block, std::string_view left, std::string_view value,
                                      std::vector<EntryCount>& created) {
    if (exhausted()) return;
    // The compiler's forms of a left part, in its order.
    if (left.size() > 1) {
        if (left.starts_with("@.") && left.size() > 3 && (left.ends_with('+') || left.ends_with(';'))) {
            std::uint64_t& items = record_variables_[std::string(left.substr(2, left.size() - 3))];
            items = saturating_add(items, left.ends_with('+') ? record_items(value) : record_list_items(value));
            return;
        }
        if (left[0] == '.' && left[1] != '.') {
            text_semicolons_.insert_or_assign(std::string(left.substr(1)), expanded_semicolons(value));
            return;
        }
        if (left.starts_with("/.") && left.ends_with(':')) {
            splat_variables_.insert_or_assign(std::string(left.substr(2, left.size() - 3)), splat_list_keys(value));
            return;
        }
    }
    if (left.ends_with("+:")) {
        const PathId array = paths_.append_path(block, left.substr(0, left.size() - 2));
        const PathId entry = paths_.child(array, decimal_text(next_index(array)));
        created.push_back({array, 1});
        add_list_keys(entry, splat_list_keys(value), created);
    } else if (left.ends_with('+')) {
        add(paths_.append_path(block, left.substr(0, left.size() - 1)), record_items(value), created);
    } else if (left.ends_with(':')) {
        add_list_keys(paths_.append_path(block, left.substr(0, left.size() - 1)), splat_list_keys(value), created);
    } else if (left.ends_with(';')) {
        add(paths_.append_path(block, left.substr(0, left.size() - 1)), record_list_items(value), created);
    }
}

void EntryCounter::count_splat_line(PathId block, std::string_view name, std::vector<EntryCount>& created) {
    add_list_keys(block, splat_variable(name), created);
}

}  // namespace bezo
