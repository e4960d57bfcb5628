// An XML element as the reader builds it, and its shape as an interchange
// value: "@" plus the name for each attribute, "#text" for character data,
// repeated child names gathered into an array, and an element with mixed
// content kept whole as a std/enc xml payload of its source text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/fault.hpp"
#include "core/hash.hpp"
#include "interchange/value.hpp"
#include "interchange/xml_text.hpp"

namespace bezo {

struct XmlAttribute {
    std::string_view name;  // as written, prefix included
    std::string value;      // decoded, line ends and tabs turned into spaces
};

// The views borrow the document text, which must outlive the element.
// Child elements are not kept: the reader hands each one's value to its
// parent's XmlChildValues as it closes.
struct XmlElement {
    std::vector<XmlAttribute> attributes;  // in source order, names unique
    // The element's own character data, decoded, and its CDATA sections as
    // written, in source order; the text of children is not included.
    std::string text;
    std::string_view name;    // the tag name as written
    std::string_view source;  // from the "<" of the start tag to the final ">"
    std::size_t child_count = 0;
    // At least one child element and a character of text that is not
    // Unicode white space.
    bool mixed = false;
};

// Sorts `keys` by their upper 32 bits, keeping the order of keys whose
// upper halves are equal.
void stable_sort_by_upper_half(std::vector<std::uint64_t>& keys);

// For each of `count` names, `name_of(i)` the i-th, the position of the
// first name equal to it; empty when all are distinct. The names' hashes
// are sorted, with each name's position, so that equal names stand together
// in order; each run of one hash is then split by name. Sorting passes over
// the names in order where a table probed name by name would outgrow the
// cache for many names, each probe a miss.
template <class NameOf>
std::vector<std::uint32_t> first_of_each_name(std::size_t count, NameOf name_of) {
    // More names than 32 bits count would take far more memory than a
    // process can have.
    if (count >= UINT32_MAX) raise_fault("more than 2^32 XML names to group");
    std::vector<std::uint64_t> keys(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys[i] = std::uint64_t{static_cast<std::uint32_t>(KeyedTextHash{}(name_of(i)))} << 32 | i;
    }
    // The positions make every key distinct, so that sorting whole keys
    // also keeps order among equal hashes; for few keys, that costs less
    // than counting digits.
    constexpr std::size_t kFewKeys = 1024;
    if (keys.size() < kFewKeys) {
        std::ranges::sort(keys);
    } else {
        stable_sort_by_upper_half(keys);
    }
    auto same_hash = [](std::uint64_t a, std::uint64_t b) { return a >> 32 == b >> 32; };
    // Stays empty while no name repeats: every name met until then is its
    // own first, which is what each position is set to when one does. Runs
    // of one hash are mostly single names, which need no look.
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> firsts_of_run;  // one per distinct name among equal hashes
    for (std::size_t run = 0, end = 1; run < keys.size(); run = end++) {
        if (end == keys.size() || !same_hash(keys[end], keys[run])) continue;
        firsts_of_run.clear();
        for (end = run; end < keys.size() && same_hash(keys[end], keys[run]); ++end) {
            const auto at = static_cast<std::uint32_t>(keys[end]);
            auto known =
                std::ranges::find_if(firsts_of_run, [&](std::uint32_t i) { return name_of(i) == name_of(at); });
            if (known == firsts_of_run.end()) {
                firsts_of_run.push_back(at);
                continue;
            }
            if (first.empty()) {
                first.resize(count);
                std::iota(first.begin(), first.end(), std::uint32_t{0});
            }
            first[at] = *known;
        }
    }
    return first;
}

// The values of an element's children as they close, one member per
// distinct child name in order of first occurrence: the child's value, or
// the array of the values of all children of that name once a second one
// comes (no element's own value is an array). The members wait on a stack
// that the elements of one document share, above those of the element's
// ancestors, so that no element grows a list of its own.
//
// While an element has few distinct child names, each child's name is
// looked up among them as it comes: scanned while they are very few, then
// hashed into a table small enough to stay in cache. Past that, children
// wait as members of their own and are grouped by name once the element
// closes, by sorting their names' hashes: a table that looked each name up
// as it came would outgrow the cache on wide elements, each lookup a miss.
class XmlChildValues {
public:
    explicit XmlChildValues(ValueObject& stack) : stack_(stack), base_(stack.size()) {}

    void add(std::string_view name, Value value);
    // The number of members the element's value gets from its children.
    std::size_t size();
    // Moves the members onto the end of `out` and off the stack.
    void move_members_to(ValueObject& out);
    // The members, taken off the stack.
    ValueObject take_members();
    void drop_members();
    ValueObject& stack() { return stack_; }

private:
    // A slot of the table of member names: 32 bits of the name's hash pick
    // the slot and screen comparisons.
    struct Slot {
        std::uint32_t position_plus_one = 0;  // 0 for an empty slot
        std::uint32_t hash = 0;
    };

    std::optional<std::size_t> find_member(std::string_view name);
    std::optional<std::size_t> find_in_table(std::string_view name) const;
    void index_last_member();
    void index_member(std::size_t position);
    void append_to_member(ValueMember& member, Value&& value);
    void group_waiting_children();

    ValueObject& stack_;
    std::size_t base_;  // where this element's members start on the stack
    std::size_t last_found_ = 0;
    std::vector<Slot> slots_;  // empty while names are scanned; else a power of two
    // Whether each distinct name has one member; false while children wait
    // to be grouped.
    bool grouped_ = true;
};

// The element's value: a typed std/enc xml payload when mixed, null or the
// trimmed text when it has neither attributes nor children, else an object
// of attributes, "#text" and the children's members. The element is taken
// apart as its value is built, and its children's members leave the stack.
Value xml_element_to_value(XmlElement&& element, XmlChildValues&& children);

}  // namespace bezo
