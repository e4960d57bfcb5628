// The one JSON parser of the system: strict JSON with 0-based byte positions
// in its messages, a nesting limit and no limit on sizes. Numbers are
// validated and held as their lexeme, never converted.
//
// A text is read once into a JsonTree: one small node per value, in
// document order, whose texts are views into the JSON text (or, for strings
// with escapes, into the tree's own store). The Value tree of a document is
// built from it with every list sized exactly; import reads the JsonTree
// itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/arena.hpp"
#include "core/error.hpp"
#include "interchange/value.hpp"

namespace bezo {

// A position in a JSON text; messages count bytes from the start of `text`.
struct JsonCursor {
    std::string_view text;
    std::size_t pos = 0;
};

// One value read without building it. Composites are kept as the slice of
// text from the opening bracket to its matching closing bracket, already
// validated.
struct JsonSpan {
    struct Null {};
    struct Bool {
        bool value;
    };
    struct Number {
        std::string_view lexeme;
    };
    struct String {
        std::string text;
    };
    struct Raw {
        std::string_view slice;
    };
    std::variant<Null, Bool, Number, String, Raw> data;
};

// A value may stand inside at most this many containers.
inline constexpr unsigned kMaxJsonDepth = 512;

enum class JsonKind : std::uint8_t { Null, False, True, Number, String, Array, Object };

// One value of a JsonTree. The nodes of a container's children follow it
// directly; an object's members are each a String node (the key) followed
// by the member's value.
class JsonNode {
public:
    // A container starts empty, its subtree itself alone, until it is closed.
    JsonNode(JsonKind kind, std::string_view text, bool plain = false)
        : data_(reinterpret_cast<std::uintptr_t>(text.data())), size_(text.size()), kind_(kind), plain_(plain) {
        if (is_container()) close(0, 1);
    }

    JsonKind kind() const { return kind_; }
    bool is_container() const { return kind_ == JsonKind::Array || kind_ == JsonKind::Object; }
    // A number's lexeme or a string's decoded text; empty for other values.
    [[gnu::always_inline]] std::string_view text() const {
        if (is_container()) return {};
        return std::string_view(reinterpret_cast<const char*>(data_), size_);
    }
    // A string read as it stands in the JSON text, so without escapes and
    // control characters, that holds no "$" either.
    bool is_plain_string() const { return plain_; }
    // The elements of an array or the members of an object.
    std::size_t child_count() const { return is_container() ? data_ : 0; }
    // The nodes of the value's subtree, itself included: the next sibling
    // stands this far on.
    std::size_t extent() const { return is_container() ? size_ : 1; }

    // The first child of a container that has one.
    const JsonNode* first_child() const { return this + 1; }
    const JsonNode* next_sibling() const { return this + extent(); }

private:
    friend class JsonTreeBuilder;
    friend class YamlTreeBuilder;
    friend class TomlTreeBuilder;

    // Completes a container once its last child is read.
    void close(std::size_t children, std::size_t extent) {
        data_ = children;
        size_ = extent;
    }

    std::uint64_t data_;       // the address of the text, or the child count of a container
    std::uint64_t size_ : 60;  // of the text, or the extent of a container
    JsonKind kind_ : 3;
    bool plain_ : 1;
};
static_assert(sizeof(JsonNode) == 16);

// One member of an object node.
struct JsonMember {
    std::string_view key;
    const JsonNode& value;
};

// The children of a container node, in document order, as `Step` reads
// them: an array's elements, or an object's members (a key node and the
// value's subtree each).
template <class Step>
class JsonChildren {
public:
    class iterator {
    public:
        explicit iterator(const JsonNode* at) : at_(at) {}
        decltype(auto) operator*() const { return Step::read(at_); }
        iterator& operator++() {
            at_ = Step::next(at_);
            return *this;
        }
        friend bool operator==(const iterator&, const iterator&) = default;

    private:
        const JsonNode* at_;
    };

    explicit JsonChildren(const JsonNode& container) : container_(container) {}
    iterator begin() const { return iterator(container_.first_child()); }
    iterator end() const { return iterator(container_.next_sibling()); }
    std::size_t size() const { return container_.child_count(); }
    bool empty() const { return size() == 0; }

private:
    const JsonNode& container_;
};

struct JsonItemStep {
    static const JsonNode& read(const JsonNode* item) { return *item; }
    static const JsonNode* next(const JsonNode* item) { return item->next_sibling(); }
};

struct JsonMemberStep {
    static JsonMember read(const JsonNode* key) { return JsonMember{key->text(), *(key + 1)}; }
    static const JsonNode* next(const JsonNode* key) { return (key + 1)->next_sibling(); }
};

// The elements of an array node.
using JsonItems = JsonChildren<JsonItemStep>;
// The members of an object node (repeated keys stay separate members).
using JsonMembers = JsonChildren<JsonMemberStep>;

// A JSON text read into nodes. Its texts point into the JSON text, which must
// outlive the tree, and into the tree's own store. A tree the YAML reader
// builds holds all its texts in its store.
class JsonTree {
public:
    const JsonNode& root() const { return nodes_.front(); }

private:
    friend class JsonTreeBuilder;
    friend class YamlTreeBuilder;
    friend class TomlTreeBuilder;

    std::vector<JsonNode> nodes_;
    TextArena decoded_;
};

// One value, optionally surrounded by whitespace, read into a JsonTree.
Result<JsonTree> parse_json_tree(std::string_view text);

// One value, optionally surrounded by whitespace, built as a Value tree.
Result<Value> parse_json_document(std::string_view text);

// Reads one value at `depth` (the document root is read at 0, every element
// and member value at its container's depth plus one) and leaves the cursor
// just after it.
Result<JsonSpan> parse_json_value(JsonCursor& cursor, unsigned depth);

// Advances the cursor past blanks, tabs, line feeds and carriage returns.
void skip_json_whitespace(JsonCursor& cursor);

// Advances the cursor past one number lexeme starting at the cursor.
Result<void> parse_json_number(JsonCursor& cursor);

// True when the whole text is one JSON number lexeme.
bool is_whole_json_number(std::string_view text);

// Reads the four hex digits after "\u".
Result<std::uint16_t> read_hex4(JsonCursor& cursor);

Result<Value> build_json_value(const JsonSpan& span);

// The Value of one node of a tree and its subtree.
Value json_node_value(const JsonNode& node);

}  // namespace bezo
