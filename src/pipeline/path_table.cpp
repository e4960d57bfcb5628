#include "pipeline/path_table.hpp"

#include <algorithm>
#include <cstring>

#include "core/fault.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "lang/path.hpp"

namespace bezo {
PathTable::PathTable() : slots_(64, kNone) { nodes_.push_back(Node{}); }

std::size_t PathTable::hash_of(PathId parent, std::string_view segment) {
    key_.assign(reinterpret_cast<const char*>(&parent), sizeof parent);
    key_ += segment;
    return KeyedTextHash{}(key_);
}

void PathTable::grow() {
    std::vector<PathId> slots(slots_.size() * 2, kNone);
    const std::size_t mask = slots.size() - 1;
    for (PathId id = 1; id < nodes_.size(); ++id) {
        std::size_t slot = nodes_[id].hash & mask;
        while (slots[slot] != kNone) slot = (slot + 1) & mask;
        slots[slot] = id;
    }
    slots_ = std::move(slots);
}

PathId PathTable::child(PathId parent, std::string_view segment) {
    const std::size_t hash = hash_of(parent, segment);
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    for (; slots_[slot] != kNone; slot = (slot + 1) & mask) {
        const Node& node = nodes_[slots_[slot]];
        if (node.hash == hash && node.parent == parent && node.segment == segment) return slots_[slot];
    }
    if (nodes_.size() >= kNone) raise_fault("too many distinct paths to intern");

    const auto id = static_cast<PathId>(nodes_.size());
    const Node& above = nodes_[parent];
    Node node;
    node.parent = parent;
    node.segment = arena_.store(segment);
    node.hash = hash;
    const bool index_segment = is_ascii_digits(segment);
    node.index_segments = static_cast<std::uint8_t>(std::min(2, above.index_segments + (index_segment ? 1 : 0)));
    if (node.index_segments == 1) node.index_node = index_segment ? id : above.index_node;
    nodes_.push_back(node);
    slots_[slot] = id;
    if (nodes_.size() * 2 > slots_.size()) grow();
    return id;
}
PathId PathTable::append_path(PathId base, std::string_view text) {
    while (text.starts_with('/')) text.remove_prefix(1);
    PathId id = base;
    while (true) {
        const auto slash = find_unquoted(text, '/');
        const std::string_view piece = text.substr(0, slash.value_or(text.size()));
        if (piece.find('"') != std::string_view::npos) {
            id = child(id, normalize_segment(piece));
        } else if (!piece.empty()) {
            id = child(id, piece);
        }
        if (!slash) return id;
        text.remove_prefix(*slash + 1);
    }
}

std::optional<PathId> PathTable::record_array(PathId id) const {
    const Node& node = nodes_[id];
    if (node.index_segments != 1) return std::nullopt;
    const PathId array = nodes_[node.index_node].parent;
    if (array == kRootPath || !nodes_[array].segment.starts_with('@')) return std::nullopt;
    return array;
}

void PathTable::append_text_below(PathId above, PathId id, std::string& out) const {
    // Measure first, then fill from the end: no recursion and no stack of
    // ids, however deep the path.
    std::size_t length = 0;
    for (PathId at = id; at != above; at = nodes_[at].parent) length += 1 + nodes_[at].segment.size();
    const std::size_t start = out.size();
    out.resize(start + length);
    std::size_t end = out.size();
    for (PathId at = id; at != above; at = nodes_[at].parent) {
        const std::string_view segment = nodes_[at].segment;
        end -= segment.size();
        std::memcpy(out.data() + end, segment.data(), segment.size());
        out[--end] = '/';
    }
}

void PathTable::append_text(PathId id, std::string& out) const { append_text_below(kRootPath, id, out); }

std::string PathTable::text(PathId id) const {
    std::string out;
    append_text(id, out);
    return out;
}

}  // namespace bezo
