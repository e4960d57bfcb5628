// What an exporter reads of a canonical document: one view over the
// canonical tree that steps into embedded JSON documents as if they were
// part of it. Scalars are taken as the reader typed them, so no number,
// boolean or null is read as JSON again and no second tree of the document
// is built; only embedded documents are read, each once, into a JsonTree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/json_reader.hpp"

namespace bezo {

enum class ExportKind : std::uint8_t { Null, Bool, Number, String, Typed, Array, Object };

class ExportDocument;

// One value of an ExportDocument: a canonical node, or a node of an
// embedded document. A view is small and copied freely; it lives as long as
// its document.
class ExportView {
public:
    ExportKind kind() const { return kind_; }
    bool is_container() const { return kind_ == ExportKind::Array || kind_ == ExportKind::Object; }

    // A Bool's value.
    bool boolean() const;
    // A Number's lexeme, a Typed value's literal; a String's text as
    // written, which for a canonical text value may still hold "|:|" (see
    // string_text).
    std::string_view text() const;
    // A String's text with every "|:|" of a canonical text value made a
    // line feed, built in `scratch` when it must be.
    std::string_view string_text(std::string& scratch) const;
    // A Typed value's library ("std/time") and type name within it ("date").
    std::string_view library() const;
    std::string_view type_name() const;

    // The elements of an Array or the members of an Object.
    std::size_t size() const;
    // The first key of an Object that an earlier member already has: only
    // an embedded document may repeat one.
    std::optional<std::string_view> first_repeated_key() const;

    // Calls `visit(item)` for each element of an Array, or
    // `visit(key, value)` for each member of an Object, in order, until one
    // fails.
    template <class Visit>
    Result<void> each_item(Visit visit) const;
    template <class Visit>
    Result<void> each_member(Visit visit) const;

private:
    friend class ExportDocument;

    ExportView(const ExportDocument& document, const CanonicalNode& node);
    ExportView(const ExportDocument& document, const JsonNode& node);

    const ExportDocument* document_;
    const CanonicalNode* canonical_ = nullptr;  // null for a node of an embedded document
    const JsonNode* json_ = nullptr;            // the node of an embedded document, or its root
    ExportKind kind_;
};

// A canonical tree with its embedded documents read.
class ExportDocument {
public:
    // Reads every embedded document of the tree, which must outlive the
    // result.
    static Result<ExportDocument> of(const CanonicalTree& tree);

    ExportView root() const { return ExportView(*this, tree_->root()); }

private:
    friend class ExportView;

    explicit ExportDocument(const CanonicalTree& tree) : tree_(&tree) {}

    ExportView view(const CanonicalNode& node) const { return ExportView(*this, node); }
    ExportView view(const JsonNode& node) const { return ExportView(*this, node); }
    // The root of the embedded document a node holds.
    const JsonNode& embedded(const CanonicalNode& node) const;

    const CanonicalTree* tree_;
    std::unordered_map<const CanonicalNode*, JsonTree> embedded_;
};

constexpr bool is_embedded_document(const CanonicalNode& node) {
    return node.kind == CanonicalKind::Json && node.spelling == JsonSpelling::Document;
}

inline ExportKind export_kind_of(const JsonNode& node) {
    switch (node.kind()) {
        case JsonKind::Null: return ExportKind::Null;
        case JsonKind::False:
        case JsonKind::True: return ExportKind::Bool;
        case JsonKind::Number: return ExportKind::Number;
        case JsonKind::String: return ExportKind::String;
        case JsonKind::Array: return ExportKind::Array;
        case JsonKind::Object: break;
    }
    return ExportKind::Object;
}

// The kind of a node that holds no embedded document.
constexpr ExportKind export_kind_of(const CanonicalNode& node) {
    switch (node.kind) {
        case CanonicalKind::Namespace: return ExportKind::Object;
        case CanonicalKind::Array: return ExportKind::Array;
        case CanonicalKind::Leaf: return ExportKind::Typed;
        case CanonicalKind::Json: break;
    }
    switch (node.spelling) {
        case JsonSpelling::Number: return ExportKind::Number;
        case JsonSpelling::Boolean: return ExportKind::Bool;
        case JsonSpelling::Null: return ExportKind::Null;
        case JsonSpelling::String:
        case JsonSpelling::TextLines:
        case JsonSpelling::Document: break;
    }
    return ExportKind::String;
}

inline ExportView::ExportView(const ExportDocument& document, const CanonicalNode& node) : document_(&document) {
    if (is_embedded_document(node)) {
        json_ = &document.embedded(node);
        kind_ = export_kind_of(*json_);
    } else {
        canonical_ = &node;
        kind_ = export_kind_of(node);
    }
}

inline ExportView::ExportView(const ExportDocument& document, const JsonNode& node)
    : document_(&document), json_(&node), kind_(export_kind_of(node)) {}

inline bool ExportView::boolean() const {
    return json_ != nullptr ? json_->kind() == JsonKind::True : canonical_->text() == "true";
}

inline std::string_view ExportView::text() const { return json_ != nullptr ? json_->text() : canonical_->text(); }

template <class Visit>
Result<void> ExportView::each_item(Visit visit) const {
    if (json_ != nullptr) {
        for (const JsonNode& item : JsonItems(*json_)) {
            if (auto visited = visit(document_->view(item)); !visited) return visited;
        }
        return {};
    }
    for (const CanonicalNode& item : document_->tree_->children(*canonical_)) {
        if (auto visited = visit(document_->view(item)); !visited) return visited;
    }
    return {};
}

template <class Visit>
Result<void> ExportView::each_member(Visit visit) const {
    if (json_ != nullptr) {
        for (const JsonMember& member : JsonMembers(*json_)) {
            if (auto visited = visit(member.key, document_->view(member.value)); !visited) return visited;
        }
        return {};
    }
    for (const CanonicalNode& member : document_->tree_->children(*canonical_)) {
        if (auto visited = visit(member.key(), document_->view(member)); !visited) return visited;
    }
    return {};
}

}  // namespace bezo
