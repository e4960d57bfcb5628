// Interned paths for the formatter and unbuild: one node per parent and
// segment, so that fields and open blocks hold a small id instead of a copy
// of their path, and deep nesting costs memory in proportion to the number
// of distinct paths, not to their depth times their number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/arena.hpp"

namespace bezo {

using PathId = std::uint32_t;
inline constexpr PathId kRootPath = 0;

class PathTable {
public:
    PathTable();

    // The path `parent` followed by `segment`; the same id for the same pair.
    PathId child(PathId parent, std::string_view segment);

    // The compiler's reading of a path text below `base`: leading "/" skipped,
    // split at "/" outside double quotes, empty pieces dropped, each segment
    // in its canonical spelling.
    PathId append_path(PathId base, std::string_view text);

    PathId parent(PathId id) const { return nodes_[id].parent; }
    std::string_view segment(PathId id) const { return nodes_[id].segment; }
    std::size_t size() const { return nodes_.size(); }

    // Whether some segment of the path consists of digits only.
    bool has_index_segment(PathId id) const { return nodes_[id].index_segments > 0; }

    // For a path with exactly one segment of digits, which is not its first
    // segment and follows a segment beginning with "@": the path up to that
    // "@" segment (the array of records). None for any other path.
    std::optional<PathId> record_array(PathId id) const;

    // For a path that `record_array` accepts: the path up to its index
    // segment (one record of the array).
    PathId record_entry(PathId id) const { return nodes_[id].index_node; }

    // "/" before every segment: «/a/b»; "" for the root.
    void append_text(PathId id, std::string& out) const;
    std::string text(PathId id) const;

    // The segments of `id` below its ancestor `above`, each after a "/".
    void append_text_below(PathId above, PathId id, std::string& out) const;

private:
    static constexpr PathId kNone = UINT32_MAX;

    struct Node {
        PathId parent = kNone;
        // Segments of digits only on the path, counted up to 2 (many).
        std::uint8_t index_segments = 0;
        // With exactly one such segment, the node that ends with it.
        PathId index_node = kNone;
        std::string_view segment;  // in `arena_`
        std::size_t hash = 0;      // of the parent and the segment
    };

    std::size_t hash_of(PathId parent, std::string_view segment);
    void grow();

    std::vector<Node> nodes_;
    // Open addressing: node ids by hash, linear probing, at most half full.
    std::vector<PathId> slots_;
    // Segment texts.
    TextArena arena_;
    std::string key_;  // scratch for hashing
};

}  // namespace bezo
