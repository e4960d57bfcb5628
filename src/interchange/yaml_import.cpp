#include "interchange/yaml_import.hpp"

#include <algorithm>
#include <span>

#include "core/budget.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/authored_writer.hpp"
#include "interchange/yaml_reader.hpp"

namespace bezo {
namespace {

// Copying aliases can multiply a small text into an enormous tree. The
// conversion stops past this many nodes, or ten times the nodes written
// when that is more; and past this many bytes of tree, or this many times
// the YAML text's bytes when that is more, counting each node as a member
// and its text, so that the tree stays a small multiple of its text.
constexpr std::size_t kMinAliasBudget = 1'000'000;
constexpr std::size_t kAliasBudgetPerWritten = 10;
constexpr std::size_t kMinTreeBytes = (std::size_t{64} << 20) / kSizeLimitDivisor;
constexpr std::size_t kTreeBytesPerInputByte = 32;
constexpr std::size_t kBytesPerNode = sizeof(ValueMember);

Error unsupported_node() { return Error::Other("unsupported YAML node"); }

bool is_collection(const YamlNode& node) { return node.kind == YamlKind::Array || node.kind == YamlKind::Hash; }

class YamlConverter {
public:
    YamlConverter(const YamlDocument& document, std::size_t text_size)
        : doc_(document),
          node_budget_(std::max(kMinAliasBudget, kAliasBudgetPerWritten * document.written())),
          byte_budget_(std::max(kMinTreeBytes, kTreeBytesPerInputByte * text_size)) {}

    Result<Value> yaml_to_value(std::size_t index, unsigned depth) {
        const YamlNode& node = doc_.node(index);
        if (auto counted = count_node(node, depth); !counted) return forward_error(counted);
        if (node.kind == YamlKind::Array) return array_to_value(node, depth);
        if (node.kind == YamlKind::Hash) {
            auto members = yaml_mapping_to_value(node, depth);
            if (!members) return forward_error(members);
            return Value::object(std::move(*members));
        }
        if (auto scalar = yaml_scalar_value(node.kind, node.truth, doc_.text(node))) return std::move(*scalar);
        return std::unexpected(unsupported_node());
    }

private:
    // Counts work against the alias budgets: nodes converted or moved, and
    // the bytes of tree they and the scalar texts copied take.
    Result<void> spend(std::size_t nodes, std::size_t text_bytes) {
        converted_ += nodes;
        converted_bytes_ += nodes * kBytesPerNode + text_bytes;
        if (converted_ > node_budget_ || converted_bytes_ > byte_budget_) {
            return fail("YAML alias expansion too large");
        }
        return {};
    }

    // Counts one more converted node and its text, and refuses a collection
    // nested (through aliases) deeper than the reader allows.
    Result<void> count_node(const YamlNode& node, unsigned depth) {
        if (auto spent = spend(1, is_collection(node) ? 0 : node.count); !spent) return spent;
        if (is_collection(node) && depth >= kMaxYamlDepth) return fail("YAML nesting too deep");
        return {};
    }

    Result<Value> array_to_value(const YamlNode& node, unsigned depth) {
        ValueArray items;
        items.reserve(node.count);
        for (std::size_t child : doc_.children(node)) {
            auto item = yaml_to_value(child, depth + 1);
            if (!item) return item;
            items.push_back(std::move(*item));
        }
        return Value::array(std::move(items));
    }

    bool is_merge_key(std::size_t index) const { return doc_.node(index).merge_key; }

    // Members in mapping order. Explicit keys always win over merged ones;
    // among merge sources the first that supplies a key wins, and merged
    // members stand where their "<<" entry stands.
    Result<ValueObject> yaml_mapping_to_value(const YamlNode& node, unsigned depth) {
        auto entries = doc_.children(node);
        std::size_t count = entries.size() / 2;
        // Every key is checked before any value is converted; the explicit
        // members take their keys here and their values below.
        ValueObject members;
        members.reserve(count);
        bool merges = false;
        for (std::size_t i = 0; i < count; ++i) {
            if (is_merge_key(entries[2 * i])) {
                merges = true;
                continue;
            }
            auto key = yaml_key_text(entries[2 * i], depth + 1);
            if (!key) return forward_error(key);
            members.push_back(ValueMember{std::move(*key), Value::null()});
        }
        if (merges) return merged_mapping(entries, std::move(members), depth);
        for (std::size_t i = 0; i < count; ++i) {
            auto value = yaml_to_value(entries[2 * i + 1], depth + 1);
            if (!value) return forward_error(value);
            members[i].value = std::move(*value);
        }
        return members;
    }

    // `explicit_members` holds the keys of the entries that are not merge
    // keys, in mapping order.
    Result<ValueObject> merged_mapping(std::span<const std::size_t> entries, ValueObject explicit_members,
                                       unsigned depth) {
        TextSet explicit_keys;
        for (const ValueMember& member : explicit_members) explicit_keys.insert(member.key);
        TextSet merged_keys;
        ValueObject members;
        members.reserve(explicit_members.size());
        auto next_explicit = explicit_members.begin();
        for (std::size_t i = 0; i < entries.size() / 2; ++i) {
            if (!is_merge_key(entries[2 * i])) {
                auto value = yaml_to_value(entries[2 * i + 1], depth + 1);
                if (!value) return forward_error(value);
                members.push_back(ValueMember{std::move(next_explicit->key), std::move(*value)});
                ++next_explicit;
                continue;
            }
            auto sources = merge_sources(entries[2 * i + 1]);
            for (std::size_t source : sources) {
                const YamlNode& source_node = doc_.node(source);
                if (source_node.kind != YamlKind::Hash) return std::unexpected(bad_merge_value());
                if (auto counted = count_node(source_node, depth + 1); !counted) return forward_error(counted);
                auto source_members = yaml_mapping_to_value(source_node, depth + 1);
                if (!source_members) return forward_error(source_members);
                // Merges of merges move members up once per level.
                if (auto spent = spend(source_members->size(), 0); !spent) return forward_error(spent);
                for (ValueMember& member : *source_members) {
                    if (explicit_keys.contains(member.key) || !merged_keys.insert(member.key).second) continue;
                    members.push_back(std::move(member));
                }
            }
        }
        return members;
    }

    static Error bad_merge_value() {
        return Error::Other("YAML merge key value must be a mapping or a sequence of mappings");
    }

    // The mappings a merge key's value supplies: itself, or the items of a
    // sequence (checked one by one as they are reached). Any other value
    // gives one non-mapping source, which fails.
    std::span<const std::size_t> merge_sources(const std::size_t& value) const {
        const YamlNode& node = doc_.node(value);
        if (node.kind == YamlKind::Array) return doc_.children(node);
        return std::span<const std::size_t>(&value, 1);
    }

    Result<std::string> yaml_key_text(std::size_t index, unsigned depth) {
        const YamlNode& node = doc_.node(index);
        if (auto counted = count_node(node, depth); !counted) return forward_error(counted);
        if (!is_collection(node)) {
            if (auto key = yaml_scalar_key(node.kind, node.truth, doc_.text(node))) return std::move(*key);
        }
        std::string form;
        if (auto written = append_debug_form(index, depth, form); !written) return forward_error(written);
        return fail("unsupported YAML mapping key: " + quoted_excerpt(form));
    }

    // The node as the reader's debug form shows it, e.g. `Null` or
    // `Array([Integer(1), String("a")])`.
    Result<void> append_debug_form(std::size_t index, unsigned depth, std::string& out) {
        const YamlNode& node = doc_.node(index);
        if (auto counted = count_node(node, depth); !counted) return forward_error(counted);
        switch (node.kind) {
            case YamlKind::Null: out += "Null"; return {};
            case YamlKind::BadValue: out += "BadValue"; return {};
            case YamlKind::Boolean: out += node.truth ? "Boolean(true)" : "Boolean(false)"; return {};
            case YamlKind::Integer: out += "Integer(" + std::string(doc_.text(node)) + ")"; return {};
            case YamlKind::Real: return append_quoted_debug_form("Real(", node, out);
            case YamlKind::String: return append_quoted_debug_form("String(", node, out);
            case YamlKind::Alias: return append_quoted_debug_form("Alias(", node, out);
            case YamlKind::Array: return append_debug_children("Array([", "])", 1, node, depth, out);
            case YamlKind::Hash: return append_debug_children("Hash({", "})", 2, node, depth, out);
        }
        return {};
    }

    Result<void> append_quoted_debug_form(std::string_view open, const YamlNode& node, std::string& out) const {
        out += open;
        append_debug_string(doc_.text(node), out);
        out += ')';
        return {};
    }

    // Items joined by ", ", or for a Hash each key and value joined by ": ".
    Result<void> append_debug_children(std::string_view open, std::string_view close, std::size_t stride,
                                       const YamlNode& node, unsigned depth, std::string& out) {
        out += open;
        auto children = doc_.children(node);
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (i > 0) out += i % stride == 0 ? ", " : ": ";
            if (auto written = append_debug_form(children[i], depth + 1, out); !written) return written;
        }
        out += close;
        return {};
    }

    const YamlDocument& doc_;
    std::size_t node_budget_;
    std::size_t byte_budget_;
    std::size_t converted_ = 0;
    std::size_t converted_bytes_ = 0;
};

}  // namespace

Result<std::string> import_yaml(std::string_view text, Utf8State state) {
    if (state == Utf8State::Unchecked && !is_valid_utf8(text)) return fail("input is not valid UTF-8");
    // Most documents are read straight into a JsonTree; the others are read
    // into their nodes and converted.
    auto simple = read_simple_yaml_tree(text);
    if (!simple) return forward_error(simple);
    if (*simple) {
        const JsonNode& root = (*simple)->root();
        if (root.kind() != JsonKind::Object) return fail("root must be a YAML mapping");
        return json_tree_to_authored(root, false, text.size());
    }
    auto document = read_yaml_document(text);
    if (!document) return forward_error(document);
    auto root = YamlConverter(*document, text.size()).yaml_to_value(document->root(), 0);
    if (!root) return forward_error(root);
    const auto* members = root->get_if<ValueObject>();
    if (!members) return fail("root must be a YAML mapping");
    return tree_to_authored(*members, false, text.size());
}

Result<std::string> import_yaml(std::string_view text) { return import_yaml(text, Utf8State::Unchecked); }

}  // namespace bezo
