#include "interchange/json_writer.hpp"

#include <cstring>
#include <string>
#include <string_view>

#include "core/text.hpp"
#include "interchange/canonical_reader.hpp"
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

bool needs_json_escape(std::string_view text) { return find_json_escape_byte(text, 0) != text.size(); }

// Appends `before`, the text as a JSON string literal, then `after`.
void append_json_string_between(std::string_view before, std::string_view text, std::string_view after,
                                std::string& out) {
    if (needs_json_escape(text)) {
        out += before;
        append_json_string(text, out);
        out += after;
    } else {
        append_pieces(out, before, "\"", text, "\"", after);
    }
}

void write_canonical_node(const CanonicalTree& tree, const CanonicalNode& node, std::string& out) {
    switch (node.kind) {
        case CanonicalKind::Namespace: {
            // Each member's separator (or the opening brace), key and colon
            // go on in one piece.
            std::string_view before = "{";
            for (const CanonicalNode& member : tree.children(node)) {
                append_json_string_between(before, member.key(), ":", out);
                before = ",";
                write_canonical_node(tree, member, out);
            }
            out += node.first_child == 0 ? "{}" : "}";
            return;
        }
        case CanonicalKind::Array:
            write_sequence(tree.children(node), '[', ']', out,
                           [&](const CanonicalNode& item) { write_canonical_node(tree, item, out); });
            return;
        case CanonicalKind::Json: break;
        case CanonicalKind::Leaf: append_json_string_between({}, node.text(), {}, out); return;
    }
    if (is_verbatim(node.spelling)) {
        out += node.text();
    } else if (node.spelling == JsonSpelling::TextLines && has_text_line_breaks(node.text())) {
        append_json_string(join_text_lines(node.text()), out);
    } else {
        append_json_string_between({}, node.text(), {}, out);
    }
}

}  // namespace

void write_canonical_json(const CanonicalTree& tree, std::string& out) { write_canonical_node(tree, tree.root(), out); }

}  // namespace bezo
