#include "interchange/canonical_tree.hpp"

#include <algorithm>
#include <cstring>

#include "core/hash.hpp"

namespace bezo {
namespace {

// Whether two keys are equal. Keys of one namespace often share their length
// and start ("key_1", "key_2"), so their last bytes are compared before the
// whole.
bool same_key(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.empty() || a.back() == b.back()) && a == b;
}

}  // namespace

void CanonicalNodes::reserve_first(std::size_t count) {
    capacity_ = std::min(count, kBlockNodes);
    blocks_.push_back(allocate(capacity_));
    free_ = blocks_.front().get();
}

void CanonicalNodes::add_room() {
    if (capacity_ < kBlockNodes && !blocks_.empty()) {
        // The first block, sized for a small tree, grows to a whole one.
        Block whole = allocate(kBlockNodes);
        std::memcpy(static_cast<void*>(whole.get()), blocks_.front().get(), size_ * sizeof(CanonicalNode));
        blocks_.front() = std::move(whole);
        free_ = blocks_.front().get() + size_;
    } else {
        free_ = blocks_.emplace_back(allocate(kBlockNodes)).get();
    }
    capacity_ = blocks_.size() * kBlockNodes;
}

std::uint32_t MemberIndex::hash(CanonicalIndex ns, std::string_view key) {
    return static_cast<std::uint32_t>(KeyedTextHash{}(key) ^ (std::size_t{ns} * 0x9E3779B97F4A7C15ull));
}

CanonicalIndex MemberIndex::find(const CanonicalNodes& nodes, CanonicalIndex ns, std::string_view key,
                                 std::uint32_t hash) const {
    if (slots_.empty()) return 0;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask; slots_[at].member != 0; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.hash == hash && slot.ns == ns && nodes[slot.member].key() == key) return slot.member;
    }
    return 0;
}

void MemberIndex::add(CanonicalIndex ns, CanonicalIndex member, std::uint32_t hash) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    while (slots_[at].member != 0) at = (at + 1) & mask;
    slots_[at] = Slot{member, ns, hash};
    ++used_;
}

void MemberIndex::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(64, old.size() * 2), Slot{});
    used_ = 0;
    for (const Slot& slot : old) {
        if (slot.member != 0) add(slot.ns, slot.member, slot.hash);
    }
}

CanonicalTreeBuilder::CanonicalTreeBuilder(std::size_t text_size) {
    // About one node for each line of a canonical text, which rarely holds
    // fewer than 16 bytes.
    tree_.nodes_.reserve_first(text_size / 16 + 1);
    tree_.nodes_.emplace_back();
}

CanonicalIndex CanonicalTreeBuilder::find_or_add_member(CanonicalIndex ns, std::string_view key, bool key_is_kept) {
    const CanonicalNodes& nodes = tree_.nodes_;
    std::uint32_t hash = 0;
    if (nodes[ns].indexed) {
        hash = MemberIndex::hash(ns, key);
        if (const CanonicalIndex found = members_.find(nodes, ns, key, hash)) return found;
    } else {
        for (CanonicalIndex member = nodes[ns].first_child; member != 0; member = nodes[member].next_sibling) {
            if (same_key(nodes[member].key(), key)) return member;
        }
    }
    return add_child(ns, key_is_kept ? key : store(key), hash);
}

void CanonicalTreeBuilder::note_child(CanonicalIndex parent, CanonicalIndex child, std::uint32_t hash) {
    CanonicalNodes& nodes = tree_.nodes_;
    CanonicalNode& container = nodes[parent];
    if (container.kind == CanonicalKind::Array) {
        elements_[parent].push_back(child);
    } else if (container.indexed) {
        members_.add(parent, child, hash);
    } else {
        container.indexed = true;
        for (CanonicalIndex member = container.first_child; member != 0; member = nodes[member].next_sibling) {
            members_.add(parent, member, MemberIndex::hash(parent, nodes[member].key()));
        }
    }
}

CanonicalIndex CanonicalTreeBuilder::element(CanonicalIndex array, std::size_t position) {
    CanonicalNodes& nodes = tree_.nodes_;
    if (position + 1 == nodes[array].child_count) return nodes[array].last_child;
    if (!nodes[array].indexed) {
        std::vector<CanonicalIndex>& elements = elements_[array];
        elements.reserve(nodes[array].child_count);
        for (CanonicalIndex item = nodes[array].first_child; item != 0; item = nodes[item].next_sibling) {
            elements.push_back(item);
        }
        nodes[array].indexed = true;
    }
    return elements_[array][position];
}

}  // namespace bezo
