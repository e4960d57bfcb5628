#include "interchange/xml_element.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <span>
#include <utility>

#include "core/fault.hpp"
#include "core/hash.hpp"
#include "interchange/base64url.hpp"

namespace bezo {

namespace {

// Elements with up to this many distinct child names scan them for each
// child's name.
constexpr std::size_t kScannedNames = 16;

// Elements with up to this many distinct child names look each child's name
// up in a table of at most twice as many slots of eight bytes (64 KiB),
// which stays in cache; beyond that, children wait to be grouped.
constexpr std::size_t kIndexedNames = 4096;

}  // namespace

// Sorts `keys` by their upper 32 bits, keeping the order of keys whose
// upper halves are equal: a least-significant-digit radix sort of three
// digits, which passes over the keys in order. The counts of all digits
// come from one pass; a digit that all keys share costs no pass.
void stable_sort_by_upper_half(std::vector<std::uint64_t>& keys) {
    constexpr std::array<unsigned, 3> kShifts = {32, 43, 54};
    constexpr std::size_t kDigits = 1 << 11;
    std::vector<std::array<std::size_t, kDigits>> starts(kShifts.size());
    for (std::uint64_t key : keys) {
        for (std::size_t pass = 0; pass < kShifts.size(); ++pass) {
            ++starts[pass][(key >> kShifts[pass]) & (kDigits - 1)];
        }
    }
    std::vector<std::uint64_t> sorted(keys.size());
    for (std::size_t pass = 0; pass < kShifts.size(); ++pass) {
        if (std::ranges::find(starts[pass], keys.size()) != starts[pass].end()) continue;
        std::size_t total = 0;
        for (std::size_t& start : starts[pass]) total += std::exchange(start, total);
        for (std::uint64_t key : keys) sorted[starts[pass][(key >> kShifts[pass]) & (kDigits - 1)]++] = key;
        keys.swap(sorted);
    }
}

void XmlChildValues::add(std::string_view name, Value value) {
    if (grouped_) {
        if (auto known = find_member(name)) {
            append_to_member(stack_[base_ + *known], std::move(value));
            return;
        }
        grouped_ = stack_.size() - base_ < kIndexedNames;
        if (!grouped_) slots_ = {};
    }
    stack_.emplace_back(std::string(name), std::move(value));
    if (grouped_) index_last_member();
}

std::optional<std::size_t> XmlChildValues::find_member(std::string_view name) {
    const std::size_t count = stack_.size() - base_;
    if (count == 0) return std::nullopt;
    // Children of one name mostly come in a row.
    if (stack_[base_ + last_found_].key == name) return last_found_;
    std::optional<std::size_t> found;
    if (!slots_.empty()) {
        found = find_in_table(name);
    } else {
        for (std::size_t i = 0; i < count && !found; ++i) {
            if (stack_[base_ + i].key == name) found = i;
        }
    }
    if (found) last_found_ = *found;
    return found;
}

std::optional<std::size_t> XmlChildValues::find_in_table(std::string_view name) const {
    const auto hash = static_cast<std::uint32_t>(KeyedTextHash{}(name));
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.position_plus_one == 0) return std::nullopt;
        if (slot.hash == hash && stack_[base_ + slot.position_plus_one - 1].key == name) {
            return slot.position_plus_one - 1;
        }
    }
}

// Enters the member just added into the table once there are too many to
// scan, building the table anew, twice as large, when it is half full.
void XmlChildValues::index_last_member() {
    const std::size_t count = stack_.size() - base_;
    if (count <= kScannedNames) return;
    if (2 * count <= slots_.size()) {
        index_member(count - 1);
        return;
    }
    slots_.assign(std::max(slots_.size() * 2, 4 * kScannedNames), Slot{});
    for (std::size_t position = 0; position < count; ++position) index_member(position);
}

void XmlChildValues::index_member(std::size_t position) {
    const auto hash = static_cast<std::uint32_t>(KeyedTextHash{}(stack_[base_ + position].key));
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    while (slots_[at].position_plus_one != 0) at = (at + 1) & mask;
    slots_[at] = Slot{static_cast<std::uint32_t>(position + 1), hash};
}

void XmlChildValues::append_to_member(ValueMember& member, Value&& value) {
    Value& held = member.value;
    if (!held.is<ValueArray>()) {
        ValueArray items;
        items.push_back(std::move(held));
        held = Value::array(std::move(items));
    }
    held.get_if<ValueArray>()->push_back(std::move(value));
}

// Gathers the children that wait as members of their own into the member
// of their name's first child, keeping document order.
void XmlChildValues::group_waiting_children() {
    const std::span<ValueMember> members(stack_.begin() + static_cast<std::ptrdiff_t>(base_), stack_.end());
    const std::vector<std::uint32_t> first =
        first_of_each_name(members.size(), [&](std::size_t i) -> std::string_view { return members[i].key; });
    grouped_ = true;
    if (first.empty()) return;
    // The number of values each first member will hold, to size its array
    // once; a member grouped before the children began to wait may already
    // hold an array.
    std::vector<std::uint32_t> count(members.size(), 0);
    for (std::size_t i = 0; i < members.size(); ++i) {
        const ValueArray* items = members[i].value.get_if<ValueArray>();
        count[first[i]] += items != nullptr ? static_cast<std::uint32_t>(items->size()) : 1;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (first[i] == i) {
            if (count[i] > 1 && !members[i].value.is<ValueArray>()) {
                ValueArray items;
                items.reserve(count[i]);
                items.push_back(std::move(members[i].value));
                members[i].value = Value::array(std::move(items));
            } else if (count[i] > 1) {
                members[i].value.get_if<ValueArray>()->reserve(count[i]);
            }
            if (kept != i) members[kept] = std::move(members[i]);
            // The first member's new place, for the children that follow.
            count[i] = static_cast<std::uint32_t>(kept++);
            continue;
        }
        members[count[first[i]]].value.get_if<ValueArray>()->push_back(std::move(members[i].value));
    }
    stack_.resize(base_ + kept);
}

std::size_t XmlChildValues::size() {
    if (!grouped_) group_waiting_children();
    return stack_.size() - base_;
}

void XmlChildValues::move_members_to(ValueObject& out) {
    if (!grouped_) group_waiting_children();
    const auto first = stack_.begin() + static_cast<std::ptrdiff_t>(base_);
    out.insert(out.end(), std::make_move_iterator(first), std::make_move_iterator(stack_.end()));
    drop_members();
}

ValueObject XmlChildValues::take_members() {
    if (!grouped_) group_waiting_children();
    // The stack holds only this element's members when it started empty;
    // it is then handed on whole unless most of it is room to spare.
    if (base_ == 0 && 2 * stack_.size() >= stack_.capacity()) return std::exchange(stack_, ValueObject{});
    ValueObject members;
    members.reserve(stack_.size() - base_);
    move_members_to(members);
    return members;
}

void XmlChildValues::drop_members() { stack_.resize(base_); }

namespace {

// The text without its leading and trailing white space, taken out of
// `text` rather than copied.
std::string take_trimmed(std::string& text) {
    const std::string_view trimmed = trim_unicode_white_space(text);
    if (trimmed.empty()) return {};
    const auto start = static_cast<std::size_t>(trimmed.data() - text.data());
    text.resize(start + trimmed.size());
    text.erase(0, start);
    return std::move(text);
}

}  // namespace

Value xml_element_to_value(XmlElement&& element, XmlChildValues&& children) {
    if (element.mixed) {
        children.drop_members();
        return Value::typed("std/enc", "xml", base64url_encode(element.source));
    }
    std::string text = take_trimmed(element.text);
    if (element.attributes.empty() && element.child_count == 0) {
        if (text.empty()) return Value::null();
        return Value::string(std::move(text));
    }
    if (element.attributes.empty() && text.empty()) return Value::object(children.take_members());
    ValueObject members;
    members.reserve(element.attributes.size() + (text.empty() ? 0 : 1) + children.size());
    for (XmlAttribute& attribute : element.attributes) {
        members.push_back(ValueMember{"@" + std::string(attribute.name), Value::string(std::move(attribute.value))});
    }
    if (!text.empty()) members.push_back(ValueMember{"#text", Value::string(std::move(text))});
    children.move_members_to(members);
    return Value::object(std::move(members));
}

}  // namespace bezo
