#include "interchange/export_view.hpp"

#include "core/fault.hpp"
#include "interchange/canonical_reader.hpp"
#include "interchange/value_keys.hpp"

namespace bezo {

std::string_view ExportView::string_text(std::string& scratch) const {
    if (json_ != nullptr) return json_->text();
    const std::string_view text = canonical_->text();
    if (canonical_->spelling != JsonSpelling::TextLines || !has_text_line_breaks(text)) return text;
    scratch = join_text_lines(text);
    return scratch;
}

std::string_view ExportView::library() const { return document_->tree_->library(*canonical_); }

std::string_view ExportView::type_name() const { return document_->tree_->type_name(*canonical_); }

std::size_t ExportView::size() const { return json_ != nullptr ? json_->child_count() : canonical_->child_count; }

std::optional<std::string_view> ExportView::first_repeated_key() const {
    if (json_ == nullptr) return std::nullopt;
    const JsonMembers members(*json_);
    const auto repeated = find_repeated_key(members, [](const JsonMember& member) { return member.key; });
    if (repeated == members.end()) return std::nullopt;
    return (*repeated).key;
}

Result<ExportDocument> ExportDocument::of(const CanonicalTree& tree) {
    ExportDocument document(tree);
    for (const CanonicalIndex at : tree.embedded_documents()) {
        const CanonicalNode& node = tree.node(at);
        if (!is_embedded_document(node) || document.embedded_.contains(&node)) continue;
        auto parsed = parse_json_tree(node.text());
        if (!parsed) return forward_error(parsed);
        document.embedded_.emplace(&node, std::move(*parsed));
    }
    return document;
}

const JsonNode& ExportDocument::embedded(const CanonicalNode& node) const {
    const auto found = embedded_.find(&node);
    if (found == embedded_.end()) raise_fault("an embedded document was not read");
    return found->second.root();
}

}  // namespace bezo
