#include "schema_import/proto_resolve.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/hash.hpp"
#include "core/text.hpp"

namespace bezo {
namespace {

Error failure(std::string message) { return Error::Other(std::move(message)); }

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

// The keyed text hash over an integer's bytes: field numbers are chosen by
// the text, so they must not be able to crowd one bucket.
struct KeyedIntegerHash {
    std::size_t operator()(std::uint64_t value) const noexcept {
        return KeyedTextHash{}(std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
    }
};

template <class Mapped>
using IntegerMap = std::unordered_map<std::uint64_t, Mapped, KeyedIntegerHash>;

// The declared names of a file as a tree of dotted components, built once:
// a candidate name "scope.N" is then found by following N's components from
// the scope's node, at a cost that does not grow with the scope's length.
class ProtoTypeIndex {
public:
    ProtoTypeIndex(const ProtoFile& file, std::string_view package);

    // The type that `type_text` names inside the message `scope`: a scalar
    // word; a fully qualified name; or the first of scope.N, each shorter
    // scope.N, N alone and package.N that a message (first) or an enum
    // declares.
    [[nodiscard]] Result<ProtoType> resolve(std::string_view type_text, std::size_t scope);

private:
    static constexpr std::uint32_t kRoot = 0;

    struct Node {
        std::uint32_t parent = kRoot;
        std::optional<ProtoType> declared;  // the first message, else the first enum, of this full name
    };

    // Adds the nodes of a full name; the first declaration of a name keeps it.
    std::uint32_t declare(std::string_view full_name, ProtoType type);
    // The components of a dotted text as ids; false when one of them occurs
    // in no declared name, so that the text names nothing.
    bool split_known(std::string_view dotted);
    // What the components in `path_` name below `node`.
    std::optional<ProtoType> declared_below(std::uint32_t node) const;
    std::optional<std::uint32_t> child(std::uint32_t node, std::uint32_t component) const;

    static std::uint64_t edge(std::uint32_t node, std::uint32_t component) {
        return std::uint64_t{node} << 32 | component;
    }

    std::unordered_map<std::string_view, std::uint32_t, KeyedTextHash, std::equal_to<>> components_;
    IntegerMap<std::uint32_t> children_;
    std::vector<Node> nodes_{Node{}};
    std::vector<std::uint32_t> message_nodes_;
    std::optional<std::uint32_t> package_node_;
    std::vector<std::uint32_t> path_;
};

// Calls `visit` with each dotted component of a text, empty ones included.
template <class Visit>
bool for_each_component(std::string_view dotted, Visit visit) {
    for (;;) {
        const std::size_t dot = dotted.find('.');
        if (!visit(dotted.substr(0, dot))) return false;
        if (dot == std::string_view::npos) return true;
        dotted.remove_prefix(dot + 1);
    }
}

ProtoTypeIndex::ProtoTypeIndex(const ProtoFile& file, std::string_view package) {
    message_nodes_.reserve(file.messages.size());
    for (std::size_t i = 0; i < file.messages.size(); ++i) {
        message_nodes_.push_back(declare(file.messages[i].full_name, {ProtoTypeKind::Message, i}));
    }
    for (std::size_t i = 0; i < file.enums.size(); ++i) declare(file.enums[i].full_name, {ProtoTypeKind::Enum, i});
    if (!package.empty() && split_known(package)) {
        std::uint32_t node = kRoot;
        for (const std::uint32_t component : path_) {
            const auto next = child(node, component);
            if (!next) return;
            node = *next;
        }
        package_node_ = node;
    }
}

std::uint32_t ProtoTypeIndex::declare(std::string_view full_name, ProtoType type) {
    std::uint32_t node = kRoot;
    for_each_component(full_name, [&](std::string_view part) {
        const auto component = components_.try_emplace(part, static_cast<std::uint32_t>(components_.size())).first;
        const auto [slot, added] = children_.try_emplace(edge(node, component->second), 0);
        if (added) {
            slot->second = static_cast<std::uint32_t>(nodes_.size());
            nodes_.push_back(Node{node, std::nullopt});
        }
        node = slot->second;
        return true;
    });
    if (!nodes_[node].declared) nodes_[node].declared = type;
    return node;
}

bool ProtoTypeIndex::split_known(std::string_view dotted) {
    path_.clear();
    return for_each_component(dotted, [&](std::string_view part) {
        const auto found = components_.find(part);
        if (found == components_.end()) return false;
        path_.push_back(found->second);
        return true;
    });
}

std::optional<std::uint32_t> ProtoTypeIndex::child(std::uint32_t node, std::uint32_t component) const {
    const auto found = children_.find(edge(node, component));
    if (found == children_.end()) return std::nullopt;
    return found->second;
}

std::optional<ProtoType> ProtoTypeIndex::declared_below(std::uint32_t node) const {
    for (const std::uint32_t component : path_) {
        const auto next = child(node, component);
        if (!next) return std::nullopt;
        node = *next;
    }
    return nodes_[node].declared;
}

Result<ProtoType> ProtoTypeIndex::resolve(std::string_view type_text, std::size_t scope) {
    if (const auto scalar = scalar_type(type_text)) return *scalar;
    const bool qualified = type_text.starts_with('.');
    if (split_known(qualified ? type_text.substr(1) : type_text)) {
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
    }
    return std::unexpected(failure("unresolved type in .proto: " + std::string(type_text)));
}

}  // namespace

Result<void> resolve_proto_fields(ProtoFile& file, std::vector<ProtoPendingFields>& pending, std::string_view package) {
    ProtoTypeIndex index(file, package);
    // The field numbers met so far, each with the last pending entry that used it.
    IntegerMap<std::size_t> number_users;
    for (std::size_t entry = 0; entry < pending.size(); ++entry) {
        auto& [message, declarations] = pending[entry];
        const std::string& scope = file.messages[message].full_name;
        std::vector<ProtoField> fields;
        fields.reserve(declarations.size());
        for (auto& declaration : declarations) {
            const auto [user, first_use] = number_users.try_emplace(declaration.number, entry);
            if (!first_use && user->second == entry) {
                return std::unexpected(
                    failure("duplicate field number " + decimal_text(declaration.number) + " in " + scope));
            }
            user->second = entry;
            ProtoField field{{}, std::nullopt, std::move(declaration.name), declaration.number, declaration.repeated};
            if (const auto& texts = declaration.map_types) {
                auto key = index.resolve(texts->key, message);
                if (!key) return forward_error(key);
                if (!is_map_key_kind(key->kind)) return std::unexpected(failure("invalid map key type in " + scope));
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
