#include "interchange/json_writer.hpp"

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

void write_canonical_json(const CanonicalValue& value, std::string& out) {
    struct Writer {
        std::string& out;
        void operator()(const CanonicalNamespace& ns) const {
            write_sequence(ns.members(), '{', '}', out,
                           [this](const CanonicalMember& member) { write_member(member, out, write_canonical_json); });
        }
        void operator()(const CanonicalArray& items) const {
            write_sequence(items, '[', ']', out,
                           [this](const CanonicalValue& item) { write_canonical_json(item, out); });
        }
        void operator()(const CanonicalJson& json) const { out += json.text; }
        void operator()(const CanonicalLeaf& leaf) const { append_json_string(leaf.literal, out); }
    };
    std::visit(Writer{out}, value.data);
}

}  // namespace bezo
