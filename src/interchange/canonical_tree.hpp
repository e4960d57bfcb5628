// The canonical value tree: a canonical document read into nested
// namespaces and arrays, each value converted by its type name.
//
// The tree is an array of small nodes, kept in blocks. Keys and values are
// views into the canonical text it was read from, which must outlive the
// tree, or into the tree's own store (keys whose quotes had to be removed,
// decoded embedded documents); a value that JSON writes as a string keeps
// its text as written and is quoted only when it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "core/arena.hpp"

namespace bezo {

enum class CanonicalKind : std::uint8_t {
    Namespace,  // named values in the order their keys first appeared; keys are unique
    Array,      // a contiguous array of Json, Leaf or Namespace values
    Json,       // one JSON value
    Leaf,       // a typed scalar of "std/time", "std/num" or "std/enc", kept as written
};

// How the text of a Json value stands for its JSON.
// The first four are JSON as they stand; the reader has checked each, so
// exporters take them by their spelling and never read them as JSON again,
// but for an embedded document.
enum class JsonSpelling : std::uint8_t {
    Number,     // a JSON number
    Boolean,    // "true" or "false"
    Null,       // "null"
    Document,   // an embedded JSON document, kept with its own formatting
    String,     // a text, whose JSON is its string literal
    TextLines,  // a text whose every "|:|" stands for a line feed
};

// Whether a Json value's text is its JSON as it stands.
constexpr bool is_verbatim(JsonSpelling spelling) {
    return spelling != JsonSpelling::String && spelling != JsonSpelling::TextLines;
}

// Nodes refer to one another by their position in the tree; 0, the root's
// position, also stands for "none", since the root is nobody's child.
using CanonicalIndex = std::uint32_t;

// One node of a tree: 48 bytes, since a tree holds about one for each line
// of its text. Texts are held as a pointer and a 32-bit size: a tree is read
// only from a text of less than 4 GiB, and every text of a node is part of
// that text or no longer than it.
class CanonicalNode {
public:
    // The member's key; empty for array elements and the root.
    std::string_view key() const { return {key_data_, key_size_}; }
    // A Json value's text, or a Leaf's literal.
    std::string_view text() const { return {text_data_, text_size_}; }

    void set_key(std::string_view key) {
        key_data_ = key.data();
        key_size_ = static_cast<std::uint32_t>(key.size());
    }
    void set_text(std::string_view text) {
        text_data_ = text.data();
        text_size_ = static_cast<std::uint32_t>(text.size());
    }

    CanonicalIndex first_child = 0;
    CanonicalIndex last_child = 0;
    CanonicalIndex next_sibling = 0;
    CanonicalIndex child_count = 0;
    // A Leaf's whole type name ("std/time/date"), by its position among the
    // tree's leaf types, and the length of its library ("std/time").
    std::uint32_t leaf_type = 0;
    std::uint8_t library_length = 0;
    CanonicalKind kind = CanonicalKind::Namespace;
    JsonSpelling spelling = JsonSpelling::Null;
    // A namespace whose members, or an array whose elements, are found
    // through an index rather than by walking its children.
    bool indexed = false;

private:
    const char* key_data_ = nullptr;
    const char* text_data_ = nullptr;
    std::uint32_t key_size_ = 0;
    std::uint32_t text_size_ = 0;
};
static_assert(sizeof(CanonicalNode) == 48);

// The nodes of a tree, by position, in blocks of a fixed number of nodes.
// Blocks never move, so a tree grows without copying its nodes; and each
// block stays small enough for the allocator to hand out memory that an
// earlier call gave back, where one array for a large tree would be mapped
// afresh, page by page, on every call. A tree of a few nodes starts with a
// block of its own size, grown to a whole block when more come.
class CanonicalNodes {
public:
    static constexpr unsigned kBlockShift = 15;
    static constexpr std::size_t kBlockNodes = std::size_t{1} << kBlockShift;

    const CanonicalNode& operator[](CanonicalIndex index) const {
        return blocks_[index >> kBlockShift][index & (kBlockNodes - 1)];
    }
    CanonicalNode& operator[](CanonicalIndex index) { return blocks_[index >> kBlockShift][index & (kBlockNodes - 1)]; }
    std::size_t size() const { return size_; }

    // Room for `count` nodes in the first block, which is not yet there.
    void reserve_first(std::size_t count);
    // Appends a new node and gives it.
    CanonicalNode& emplace_back() {
        if (size_ == capacity_) add_room();
        ++size_;
        return *new (free_++) CanonicalNode;
    }

private:
    struct FreeBlock {
        void operator()(CanonicalNode* block) const { ::operator delete(block); }
    };
    using Block = std::unique_ptr<CanonicalNode[], FreeBlock>;

    static Block allocate(std::size_t count) {
        return Block(static_cast<CanonicalNode*>(::operator new(count * sizeof(CanonicalNode))));
    }
    void add_room();

    std::vector<Block> blocks_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    CanonicalNode* free_ = nullptr;  // where the next node goes
};
// Blocks hold nodes that are copied bytewise and never destroyed one by one.
static_assert(std::is_trivially_copyable_v<CanonicalNode> && std::is_trivially_destructible_v<CanonicalNode>);

class CanonicalTree;

// The children of a namespace (its members) or an array (its elements), in
// order.
class CanonicalChildren {
public:
    class iterator {
    public:
        iterator(const CanonicalTree& tree, CanonicalIndex at) : tree_(&tree), at_(at) {}
        const CanonicalNode& operator*() const;
        iterator& operator++();
        friend bool operator==(const iterator& a, const iterator& b) { return a.at_ == b.at_; }

    private:
        const CanonicalTree* tree_;
        CanonicalIndex at_;
    };

    CanonicalChildren(const CanonicalTree& tree, const CanonicalNode& node) : tree_(tree), node_(node) {}
    iterator begin() const { return iterator(tree_, node_.first_child); }
    iterator end() const { return iterator(tree_, 0); }
    std::size_t size() const { return node_.child_count; }
    bool empty() const { return node_.child_count == 0; }

private:
    const CanonicalTree& tree_;
    const CanonicalNode& node_;
};

class CanonicalTree {
public:
    // The root namespace.
    const CanonicalNode& root() const { return nodes_[0]; }
    const CanonicalNode& node(CanonicalIndex index) const { return nodes_[index]; }
    // A Leaf's library ("std/time", "std/num" or "std/enc") and its type
    // name within it ("date").
    std::string_view library(const CanonicalNode& leaf) const {
        return leaf_types_[leaf.leaf_type].substr(0, leaf.library_length);
    }
    std::string_view type_name(const CanonicalNode& leaf) const {
        return leaf_types_[leaf.leaf_type].substr(leaf.library_length + 1);
    }
    // The nodes that were given an embedded document, in the order they
    // were given it; a later value at the same place may have replaced it.
    const std::vector<CanonicalIndex>& embedded_documents() const { return embedded_documents_; }
    CanonicalChildren children(const CanonicalNode& node) const { return CanonicalChildren(*this, node); }

private:
    friend class CanonicalTreeBuilder;

    CanonicalNodes nodes_;
    std::vector<std::string_view> leaf_types_;
    std::vector<CanonicalIndex> embedded_documents_;
    TextArena store_;
};

// The name the tree had when it was a tree of values, kept for callers that
// spell it so.
using CanonicalValue = CanonicalTree;

// The positions of the members of every namespace grown past a few
// members, found by key in constant time: open addressing over node
// positions, hashed by the namespace and the keyed hash of the key. Each
// slot keeps 32 bits of its member's hash, so that probing and growing touch
// no node but the one that matches.
class MemberIndex {
public:
    static std::uint32_t hash(CanonicalIndex ns, std::string_view key);

    // The member `key` of `ns`, whose hash is `hash`, or 0.
    CanonicalIndex find(const CanonicalNodes& nodes, CanonicalIndex ns, std::string_view key, std::uint32_t hash) const;
    void add(CanonicalIndex ns, CanonicalIndex member, std::uint32_t hash);

private:
    struct Slot {
        CanonicalIndex member = 0;  // 0 marks an empty slot
        CanonicalIndex ns = 0;
        std::uint32_t hash = 0;
    };

    void grow();

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

// Grows a tree node by node: members are found or added by key, elements by
// position. Namespaces of a few members are scanned; larger ones are found
// through a MemberIndex, and arrays read at other positions than their last
// keep a list of their elements.
class CanonicalTreeBuilder {
public:
    // The largest number of nodes a tree may hold.
    static constexpr std::size_t kMaxNodes = CanonicalIndex(-1);

    // A tree holding an empty root, for a text of `text_size` bytes.
    explicit CanonicalTreeBuilder(std::size_t text_size);

    CanonicalNode& node(CanonicalIndex index) { return tree_.nodes_[index]; }
    // How many nodes the tree holds; the next node added takes this
    // position.
    std::size_t node_count() const { return tree_.nodes_.size(); }

    // The member `key` of namespace `ns`; a new empty namespace when there
    // is none, whose key is `key` itself when `key_is_kept` (a view that
    // lives as long as the tree), else a stored copy.
    CanonicalIndex find_or_add_member(CanonicalIndex ns, std::string_view key, bool key_is_kept);
    // Adds the member `key` to namespace `ns`, which the caller knows holds
    // none of that key, keyed as find_or_add_member keys it.
    CanonicalIndex add_member(CanonicalIndex ns, std::string_view key, bool key_is_kept) {
        const std::uint32_t hash = tree_.nodes_[ns].indexed ? MemberIndex::hash(ns, key) : 0;
        return add_child(ns, key_is_kept ? key : store(key), hash);
    }
    // Appends an element, an empty namespace, to an array.
    CanonicalIndex add_element(CanonicalIndex array) { return add_child(array, {}, 0); }
    // The element at `position` of an array, which holds more than that.
    CanonicalIndex element(CanonicalIndex array, std::size_t position);

    // The position of a new leaf type, a text that lives as long as the tree.
    std::uint32_t add_leaf_type(std::string_view type) {
        tree_.leaf_types_.push_back(type);
        return static_cast<std::uint32_t>(tree_.leaf_types_.size() - 1);
    }

    // Notes that `node` was given an embedded document.
    void note_embedded_document(CanonicalIndex node) { tree_.embedded_documents_.push_back(node); }

    // A copy of `text` kept with the tree.
    std::string_view store(std::string_view text) { return tree_.store_.store(text); }

    CanonicalTree finish() && { return std::move(tree_); }

private:
    // Namespaces up to this many members are scanned member by member: most
    // namespaces are small, and a scan of a few dozen keys, screened by
    // length and last byte, beats hashing one (measured on namespaces of 10
    // to 30).
    static constexpr CanonicalIndex kScannedMembers = 32;

    // Appends a child, an empty namespace, to a namespace or an array.
    CanonicalIndex add_child(CanonicalIndex parent, std::string_view key, std::uint32_t hash) {
        CanonicalNodes& nodes = tree_.nodes_;
        const auto child = static_cast<CanonicalIndex>(nodes.size());
        nodes.emplace_back().set_key(key);
        CanonicalNode& container = nodes[parent];
        if (container.first_child == 0) {
            container.first_child = child;
        } else {
            nodes[container.last_child].next_sibling = child;
        }
        container.last_child = child;
        ++container.child_count;
        const bool listed = container.kind == CanonicalKind::Array
                                ? container.indexed
                                : container.indexed || container.child_count > kScannedMembers;
        if (listed) note_child(parent, child, hash);
        return child;
    }
    // Enters a new child in its container's index: an array's list of
    // elements or a namespace's member index, which the namespace starts
    // when it grows past kScannedMembers.
    void note_child(CanonicalIndex parent, CanonicalIndex child, std::uint32_t hash);

    CanonicalTree tree_;
    MemberIndex members_;
    std::unordered_map<CanonicalIndex, std::vector<CanonicalIndex>> elements_;
};

inline const CanonicalNode& CanonicalChildren::iterator::operator*() const { return tree_->node(at_); }

inline CanonicalChildren::iterator& CanonicalChildren::iterator::operator++() {
    at_ = tree_->node(at_).next_sibling;
    return *this;
}

}  // namespace bezo
