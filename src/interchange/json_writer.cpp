#include "interchange/json_writer.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "core/text.hpp"
#include "interchange/json_text.hpp"

namespace bezo {
namespace {

// Writes "[a,b]" or "{"k":a,"k":b}": `write_item` appends one element or
// member.
template <class Items, class WriteItem>
void write_sequence(const Items& items, char open, char close, std::string& out, WriteItem write_item) {
    out += open;
    bool first = true;
    for (const auto& item : items) {
        if (!first) out += ',';
        first = false;
        write_item(item);
    }
    out += close;
}

template <class Member, class WriteValue>
void write_member(const Member& member, std::string& out, WriteValue write_value) {
    append_json_string(member.key, out);
    out += ':';
    write_value(member.value, out);
}

}  // namespace

void write_json_value(const Value& value, std::string& out) {
    struct Writer {
        std::string& out;
        void operator()(const NullValue&) const { out += "null"; }
        void operator()(const BoolValue& b) const { out += b.value ? "true" : "false"; }
        void operator()(const NumberValue& n) const { out += n.text; }
        void operator()(const StringValue& s) const { append_json_string(s.text, out); }
        void operator()(const TypedValue& t) const { append_json_string(t.literal, out); }
        void operator()(const ValueArray& items) const {
            write_sequence(items, '[', ']', out, [this](const Value& item) { write_json_value(item, out); });
        }
        void operator()(const ValueObject& members) const {
            write_sequence(members, '{', '}', out,
                           [this](const ValueMember& member) { write_member(member, out, write_json_value); });
        }
    };
    std::visit(Writer{out}, value.data);
}

void write_json_node(const JsonNode& node, std::string& out) {
    switch (node.kind()) {
        case JsonKind::Null: out += "null"; return;
        case JsonKind::False: out += "false"; return;
        case JsonKind::True: out += "true"; return;
        case JsonKind::Number: out += node.text(); return;
        case JsonKind::String: append_json_string(node.text(), out); return;
        case JsonKind::Array:
            write_sequence(JsonItems(node), '[', ']', out,
                           [&out](const JsonNode& item) { write_json_node(item, out); });
            return;
        case JsonKind::Object:
            write_sequence(JsonMembers(node), '{', '}', out,
                           [&out](const JsonMember& member) { write_member(member, out, write_json_node); });
            return;
    }
}

namespace {

// Writes a canonical tree's JSON through a cursor into the output's own
// storage, which the caller sized from an estimate. Each piece makes room for
// its plain form with one comparison; the storage grows only when escapes,
// which make a text up to six times as long, outrun the estimate.
class CanonicalJsonWriter {
public:
    CanonicalJsonWriter(const CanonicalTree& tree, std::string& out) : tree_(tree), out_(out) {
        // The output's spare capacity becomes room to write in; what it held
        // stays in front.
        const std::size_t start = out_.size();
        out_.resize_and_overwrite(out_.capacity(), [](char*, std::size_t size) { return size; });
        at_ = out_.data() + start;
        end_ = out_.data() + out_.size();
    }
    CanonicalJsonWriter(const CanonicalJsonWriter&) = delete;
    CanonicalJsonWriter& operator=(const CanonicalJsonWriter&) = delete;
    // Leaves the output holding what was written and nothing more.
    ~CanonicalJsonWriter() { out_.resize(written()); }

    void write(const CanonicalNode& node) {
        switch (node.kind) {
            case CanonicalKind::Namespace: write_namespace(node); return;
            case CanonicalKind::Array: write_array(node); return;
            case CanonicalKind::Json: write_json(node); return;
            case CanonicalKind::Leaf: write_string(node.text()); return;
        }
    }

private:
    std::size_t written() const { return static_cast<std::size_t>(at_ - out_.data()); }

    // The cursor, with room for at least `bytes` more.
    char* room(std::size_t bytes) {
        if (static_cast<std::size_t>(end_ - at_) < bytes) grow(bytes);
        return at_;
    }

    [[gnu::noinline]] void grow(std::size_t bytes) {
        const std::size_t used = written();
        // Only what was written is carried over.
        out_.resize(used);
        out_.resize_and_overwrite(std::max(2 * used, used + bytes), [](char*, std::size_t size) { return size; });
        at_ = out_.data() + used;
        end_ = out_.data() + out_.size();
    }

    void put(std::string_view text) { at_ = copy_text(text, room(text.size())); }
    void put(char c) {
        *room(1) = c;
        ++at_;
    }

    void write_namespace(const CanonicalNode& node) {
        if (node.first_child == 0) return put(text_piece("{}"));
        char separator = '{';
        for (CanonicalIndex i = node.first_child; i != 0;) {
            const CanonicalNode& member = tree_.node(i);
            write_key(separator, member.key());
            separator = ',';
            write(member);
            i = member.next_sibling;
        }
        put('}');
    }

    // The separator, the quoted key and the colon.
    void write_key(char separator, std::string_view key) {
        put(separator);
        write_string<':'>(key);
    }

    void write_array(const CanonicalNode& node) {
        if (node.first_child == 0) return put(text_piece("[]"));
        char separator = '[';
        for (CanonicalIndex i = node.first_child; i != 0;) {
            const CanonicalNode& element = tree_.node(i);
            put(separator);
            separator = ',';
            write(element);
            i = element.next_sibling;
        }
        put(']');
    }

    void write_json(const CanonicalNode& node) {
        if (is_verbatim(node.spelling)) return put(node.text());
        if (node.spelling == JsonSpelling::TextLines) return write_text_lines(node.text());
        write_string(node.text());
    }

    // The JSON string literal of a text, then the bytes `after`.
    template <char... after>
    void write_string(std::string_view text) {
        char* at = room(text.size() + 2 + sizeof...(after));
        *at++ = '"';
        at = copy_plain_json_text(text, at);
        if (at == nullptr) {
            ++at_;
            write_escaped(text);
            return (put('"'), ..., put(after));
        }
        *at++ = '"';
        ((*at++ = after), ...);
        at_ = at;
    }

    // A text as it stands inside a string literal.
    void write_string_content(std::string_view text) {
        char* at = copy_plain_json_text(text, room(text.size()));
        if (at == nullptr) return write_escaped(text);
        at_ = at;
    }

    // A text that needs escapes, as it stands inside a string literal.
    [[gnu::noinline]] void write_escaped(std::string_view text) {
        for_each_json_escape_run(
            text, [this](std::string_view run) { put(run); },
            [this](unsigned char byte) { at_ = write_json_escape(byte, room(kMaxJsonEscape)); });
    }

    // The string literal of a text whose every "|:|" (left to right, without
    // overlap) stands for a line feed.
    void write_text_lines(std::string_view text) {
        put('"');
        std::size_t piece_start = 0;
        for (std::size_t at = text.find("|:|"); at != std::string_view::npos; at = text.find("|:|", piece_start)) {
            write_string_content(text.substr(piece_start, at - piece_start));
            put(text_piece("\\n"));
            piece_start = at + 3;
        }
        write_string_content(text.substr(piece_start));
        put('"');
    }

    const CanonicalTree& tree_;
    std::string& out_;
    char* at_ = nullptr;
    char* end_ = nullptr;
};

}  // namespace

void write_canonical_json(const CanonicalTree& tree, std::string& out) {
    CanonicalJsonWriter(tree, out).write(tree.root());
}

}  // namespace bezo
