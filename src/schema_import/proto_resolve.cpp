#include "schema_import/proto_resolve.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "core/hash.hpp"
#include "core/text.hpp"

namespace bezo {
namespace {

Error failure(std::string message) { return Error::Other(std::move(message)); }

// The JSON name protobuf gives a field without a "json_name" option: each
// "_" dropped and the letter after it made upper case (user_id: userId).
std::string proto_json_name(std::string_view name) {
    std::string json_name;
    json_name.reserve(name.size());
    bool capitalize = false;
    for (const char c : name) {
        if (c == '_') {
            capitalize = true;
        } else {
            json_name += capitalize && is_ascii_lower(c) ? static_cast<char>(c - 'a' + 'A') : c;
            capitalize = false;
        }
    }
    return json_name;
}

constexpr std::array<std::pair<std::string_view, ProtoTypeKind>, 15> kScalarWords{{
    {"double", ProtoTypeKind::Double},
    {"float", ProtoTypeKind::Float},
    {"int32", ProtoTypeKind::Int32},
    {"int64", ProtoTypeKind::Int64},
    {"uint32", ProtoTypeKind::Uint32},
    {"uint64", ProtoTypeKind::Uint64},
    {"sint32", ProtoTypeKind::Sint32},
    {"sint64", ProtoTypeKind::Sint64},
    {"fixed32", ProtoTypeKind::Fixed32},
    {"fixed64", ProtoTypeKind::Fixed64},
    {"sfixed32", ProtoTypeKind::Sfixed32},
    {"sfixed64", ProtoTypeKind::Sfixed64},
    {"bool", ProtoTypeKind::Bool},
    {"string", ProtoTypeKind::String},
    {"bytes", ProtoTypeKind::Bytes},
}};

std::optional<ProtoType> scalar_type(std::string_view word) {
    for (const auto& [scalar_word, kind] : kScalarWords) {
        if (scalar_word == word) return ProtoType{kind};
    }
    return std::nullopt;
}

bool is_map_key_kind(ProtoTypeKind kind) { return kind >= ProtoTypeKind::Int32 && kind <= ProtoTypeKind::String; }

// One dotted component of a name, with its keyed hash.
struct NamePart {
    std::size_t hash = 0;
    std::string_view text;
};

// Calls `visit` with each dotted component of a text, empty ones included.
template <class Visit>
void for_each_part(std::string_view dotted, Visit visit) {
    for (;;) {
        const std::size_t dot = dotted.find('.');
        const std::string_view text = dotted.substr(0, dot);
        visit(NamePart{KeyedTextHash{}(text), text});
        if (dot == std::string_view::npos) return;
        dotted.remove_prefix(dot + 1);
    }
}

// The declared names of a file as a tree of dotted components, built once:
// a candidate name "scope.N" is then found by following N's components from
// the scope's node, at a cost that does not grow with the scope's length.
// The edges of the tree live in one open-addressed array, so that finding a
// child reads one run of adjacent slots; the slots follow the keyed hash of
// the component, so a text cannot make its names crowd one run.
class ProtoTypeIndex {
public:
    ProtoTypeIndex(const ProtoFile& file, std::string_view package);

    // The type that `type_text` names inside the message `scope`: a scalar
    // word; a fully qualified name; or the first of scope.N, each shorter
    // scope.N, N alone and package.N that a message (first) or an enum
    // declares.
    Result<ProtoType> resolve(std::string_view type_text, std::size_t scope);

private:
    static constexpr std::uint32_t kRoot = 0;

    struct Node {
        std::uint32_t parent = kRoot;
        std::uint32_t label_size = 0;
        std::size_t label_start = 0;        // in `labels_`
        std::optional<ProtoType> declared;  // the first message, else the first enum, of this full name
        bool has_children = false;          // most messages declare nothing inside, so need no lookup
    };

    struct Edge {
        std::size_t hash = 0;  // of the child's label
        std::uint32_t parent = 0;
        std::uint32_t child = 0;  // 0 (the root, never a child) marks a free slot
    };

    // Adds the nodes of a full name; the first declaration of a name keeps it.
    std::uint32_t declare(std::string_view full_name, ProtoType type);
    // Sets `path_` to the components of a dotted text.
    void split_path(std::string_view dotted);
    // The node that the components in `path_` lead to from `node`, and what
    // it declares.
    std::optional<std::uint32_t> node_below(std::uint32_t node) const;
    std::optional<ProtoType> declared_below(std::uint32_t node) const;
    // The slot of the edge from `parent` to its child labelled `part`, or
    // the free slot where that edge belongs.
    std::size_t edge_slot(std::uint32_t parent, const NamePart& part) const;
    std::uint32_t add_child(std::uint32_t parent, const NamePart& part);
    void grow_edges();

    std::string_view label(const Node& node) const {
        return std::string_view(labels_).substr(node.label_start, node.label_size);
    }

    std::vector<Node> nodes_{Node{}};
    // The labels of the nodes side by side: a lookup compares the label it
    // finds without reaching into the names of the file.
    std::string labels_;
    std::vector<Edge> edges_ = std::vector<Edge>(64);
    std::vector<std::uint32_t> message_nodes_;
    std::optional<std::uint32_t> package_node_;
    std::vector<NamePart> path_;
    // The components and nodes of the last declared name: declarations come
    // in text order, so a name mostly shares its scope with the one before.
    std::vector<std::pair<std::string_view, std::uint32_t>> last_declared_;
};

ProtoTypeIndex::ProtoTypeIndex(const ProtoFile& file, std::string_view package) {
    message_nodes_.reserve(file.messages.size());
    for (std::size_t i = 0; i < file.messages.size(); ++i) {
        message_nodes_.push_back(
            declare(file.messages[i].full_name, {ProtoTypeKind::Message, static_cast<std::uint32_t>(i)}));
    }
    for (std::size_t i = 0; i < file.enums.size(); ++i) {
        declare(file.enums[i].full_name, {ProtoTypeKind::Enum, static_cast<std::uint32_t>(i)});
    }
    if (!package.empty()) {
        split_path(package);
        package_node_ = node_below(kRoot);
    }
}

std::uint32_t ProtoTypeIndex::declare(std::string_view full_name, ProtoType type) {
    std::uint32_t node = kRoot;
    std::size_t depth = 0;
    for_each_part(full_name, [&](const NamePart& part) {
        if (depth < last_declared_.size() && last_declared_[depth].first == part.text) {
            node = last_declared_[depth++].second;
            return;
        }
        const std::size_t slot = edge_slot(node, part);
        node = edges_[slot].child != kRoot ? edges_[slot].child : add_child(node, part);
        last_declared_.resize(depth++);
        last_declared_.emplace_back(part.text, node);
    });
    last_declared_.resize(depth);
    if (!nodes_[node].declared) nodes_[node].declared = type;
    return node;
}

std::size_t ProtoTypeIndex::edge_slot(std::uint32_t parent, const NamePart& part) const {
    const std::size_t mask = edges_.size() - 1;
    std::size_t slot = (part.hash ^ parent * 0x9E3779B97F4A7C15u) & mask;
    for (;; slot = (slot + 1) & mask) {
        const Edge& edge = edges_[slot];
        if (edge.child == kRoot) return slot;
        if (edge.hash == part.hash && edge.parent == parent && label(nodes_[edge.child]) == part.text) return slot;
    }
}

std::uint32_t ProtoTypeIndex::add_child(std::uint32_t parent, const NamePart& part) {
    const auto child = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back(Node{parent, static_cast<std::uint32_t>(part.text.size()), labels_.size(), std::nullopt, false});
    nodes_[parent].has_children = true;
    labels_ += part.text;
    if (nodes_.size() * 2 > edges_.size()) grow_edges();
    edges_[edge_slot(parent, part)] = Edge{part.hash, parent, child};
    return child;
}

void ProtoTypeIndex::grow_edges() {
    std::vector<Edge> old(edges_.size() * 2);
    old.swap(edges_);
    for (const Edge& edge : old) {
        if (edge.child != kRoot) edges_[edge_slot(edge.parent, {edge.hash, label(nodes_[edge.child])})] = edge;
    }
}

void ProtoTypeIndex::split_path(std::string_view dotted) {
    path_.clear();
    for_each_part(dotted, [&](const NamePart& part) { path_.push_back(part); });
}

std::optional<std::uint32_t> ProtoTypeIndex::node_below(std::uint32_t node) const {
    for (const NamePart& part : path_) {
        if (!nodes_[node].has_children) return std::nullopt;
        node = edges_[edge_slot(node, part)].child;
        if (node == kRoot) return std::nullopt;
    }
    return node;
}

std::optional<ProtoType> ProtoTypeIndex::declared_below(std::uint32_t node) const {
    const auto found = node_below(node);
    return found ? nodes_[*found].declared : std::nullopt;
}

Result<ProtoType> ProtoTypeIndex::resolve(std::string_view type_text, std::size_t scope) {
    if (const auto scalar = scalar_type(type_text)) return *scalar;
    const bool qualified = type_text.starts_with('.');
    split_path(qualified ? type_text.substr(1) : type_text);
    if (qualified) {
        if (const auto found = declared_below(kRoot)) return *found;
    } else {
        // The scope's own node, each shorter scope, then the root (N alone).
        for (std::uint32_t node = message_nodes_[scope];; node = nodes_[node].parent) {
            if (const auto found = declared_below(node)) return *found;
            if (node == kRoot) break;
        }
        if (package_node_) {
            if (const auto found = declared_below(*package_node_)) return *found;
        }
    }
    return std::unexpected(failure("unresolved type in .proto: " + quoted_excerpt(type_text)));
}

// The position of the first declaration whose number an earlier one of the
// same message already has; none when the numbers are distinct. `numbers` is
// scratch space.
std::optional<std::size_t> first_repeated_number(const std::vector<ProtoFieldDecl>& declarations,
                                                 std::vector<std::uint32_t>& numbers) {
    numbers.clear();
    for (const auto& declaration : declarations) numbers.push_back(declaration.number);
    std::ranges::sort(numbers);
    if (std::ranges::adjacent_find(numbers) == numbers.end()) return std::nullopt;
    // Some number repeats: find where it first does, in declaration order.
    const auto repeated = std::ranges::unique(numbers);
    numbers.erase(repeated.begin(), repeated.end());
    std::vector<bool> seen(numbers.size());
    for (std::size_t i = 0;; ++i) {
        const auto slot = std::ranges::lower_bound(numbers, declarations[i].number) - numbers.begin();
        if (seen[slot]) return i;
        seen[slot] = true;
    }
}

}  // namespace

Result<void> resolve_proto_fields(ProtoFile& file, const std::vector<ProtoPendingFields>& pending,
                                  std::string_view package) {
    ProtoTypeIndex index(file, package);
    std::vector<std::uint32_t> numbers;
    for (const auto& [message, declarations] : pending) {
        const std::string& scope = file.messages[message].full_name;
        // Each field's number is tested before its type is resolved.
        const auto repeated_at = first_repeated_number(declarations, numbers);
        std::vector<ProtoField> fields;
        fields.reserve(declarations.size());
        // Two fields of one name would become two lines of one key.
        TextSet names;
        for (const auto& declaration : declarations) {
            if (fields.size() == repeated_at) {
                return std::unexpected(failure("duplicate field number " + decimal_text(declaration.number) + " in " +
                                               quoted_excerpt(scope)));
            }
            if (!names.emplace(declaration.name).second) {
                return std::unexpected(failure("duplicate field name " + quoted_excerpt(declaration.name) + " in " +
                                               quoted_excerpt(scope)));
            }
            ProtoField field{
                {},
                std::nullopt,
                std::string(declaration.name),
                declaration.number,
                declaration.repeated,
                declaration.json_name ? std::string(*declaration.json_name) : proto_json_name(declaration.name)};
            if (const auto& texts = declaration.map_types) {
                auto key = index.resolve(texts->key, message);
                if (!key) return forward_error(key);
                if (!is_map_key_kind(key->kind))
                    return std::unexpected(failure("invalid map key type in " + quoted_excerpt(scope)));
                auto value = index.resolve(texts->value, message);
                if (!value) return forward_error(value);
                field.map = ProtoMapTypes{*key, *value};
            } else {
                auto type = index.resolve(declaration.type_text, message);
                if (!type) return forward_error(type);
                field.type = *type;
            }
            fields.push_back(std::move(field));
        }
        file.messages[message].fields = std::move(fields);
    }
    return {};
}

}  // namespace bezo
