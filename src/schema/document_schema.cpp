#include "schema/document_schema.hpp"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "lang/canonical_line.hpp"
#include "schema/inherit.hpp"

namespace bezo {
namespace {

// The ".!schema" directives of a document in document order, and its
// ".!registry" pairs.
struct DocumentDirectives {
    std::vector<SchemaDirective> directives;
    std::vector<RegistryEntry> registry;
};

// Only a line that opens with ".!" after its blanks and tabs can hold a
// directive: the text is searched for ".!" alone, not split into lines.
Result<DocumentDirectives> scan_document(std::string_view text) {
    DocumentDirectives found;
    for (std::size_t pos = find_byte_pair(text, 0, '.', '!'); pos < text.size();
         pos = find_byte_pair(text, pos + 1, '.', '!')) {
        if (!starts_line_after_blanks(text, pos)) continue;
        std::string_view rest = text.substr(pos);
        const std::string_view line = take_line(rest);
        if (line.starts_with(".!schema")) {
            auto directive = parse_schema_directive(line.substr(8));
            if (!directive) return fail("bad .!schema: " + quoted_excerpt(line));
            found.directives.push_back(std::move(*directive));
        } else if (line.starts_with(".!registry")) {
            if (auto entry = parse_registry_pair(line.substr(10))) found.registry.push_back(std::move(*entry));
        }
    }
    return found;
}

// What a subtree schema's header lines require of the lines under its path.
void read_scope_header(std::string_view line, SchemaScope& scope) {
    constexpr std::string_view kProvenance = ".!provenance:";
    if (line.starts_with(".!whezo") && has_strict_word(line)) scope.strict = true;
    if (line.starts_with(kProvenance)) {
        scope.provenance =
            parse_provenance_level(trim_blanks(line.substr(kProvenance.size()))).value_or(ProvenanceLevel::Undeclared);
    }
}

// The lines of the loaded schemas, merged by key, with the scopes of the
// subtree schemas.
class SchemaMerge {
public:
    Result<void> load(const SchemaDirective& directive, RegistryEntries registry, Resolver& resolver) {
        if (is_web_location(directive.name)) return std::unexpected(Error::App(AppErrorKind::SchemaResolution));
        auto text = loaded_text(directive.name, registry, resolver);
        if (!text) return forward_error(text);
        if (auto charged = budget_.charge((*text)->size()); !charged) return charged;
        return merge_text(**text, directive.path);
    }

    Result<CompiledSchema> finish(const std::vector<SchemaDirective>& directives) {
        auto schema = parse_compiled_schema(join_compiled_lines(merged_.lines));
        if (!schema) return forward_error(schema);
        keep_delegated_scopes(*schema);
        if (auto served = check_delegations_served(*schema, directives); !served) return forward_error(served);
        return std::move(*schema);
    }

private:
    // The text of a schema, loaded once per name: the registry entries are
    // the same for every directive, so a name always reaches the same text.
    Result<const std::string*> loaded_text(const std::string& name, RegistryEntries registry, Resolver& resolver) {
        if (const auto found = texts_.find(name); found != texts_.end()) return &found->second;
        auto text = resolver.load_module_text(name, registry, "whezo");
        if (!text) return forward_error(text);
        if (!is_valid_utf8(*text)) return fail(quoted_excerpt(name) + ".whezo is not UTF-8");
        return &texts_.emplace(name, std::move(*text)).first->second;
    }

    // Comment and blank lines are skipped. Header lines reach the reader
    // from a whole-document schema; a subtree schema's header lines give
    // its scope instead. Every other line is merged under its key, re-rooted
    // under the subtree's path.
    Result<void> merge_text(std::string_view text, const std::optional<std::string>& path) {
        SchemaScope scope;
        const bool element_scope = path && is_element_scope(*path);
        while (!text.empty()) {
            const std::string_view line = trim_leading_blanks(take_line(text));
            if (line.empty() || line.starts_with('#') || line.starts_with("//")) continue;
            if (auto charged = budget_.charge(line.size()); !charged) return charged;
            if (line.starts_with(".!") || line.starts_with(".?")) {
                if (path) {
                    read_scope_header(line, scope);
                } else {
                    merged_.lines.emplace_back(line);
                }
                continue;
            }
            if (!path) {
                merge_keyed_line(merged_, std::string(line));
                continue;
            }
            auto rerooted = reroot_inherited_line(line, *path, element_scope);
            if (!rerooted) return forward_error(rerooted);
            merge_keyed_line(merged_, std::move(*rerooted));
        }
        if (path) {
            scope.path = *path;
            scopes_.push_back(std::move(scope));
        }
        return {};
    }

    // Only the scopes of subtrees that the merged schema delegates survive.
    void keep_delegated_scopes(CompiledSchema& schema) {
        TextSet delegated;
        for (const auto& delegation : schema.delegations) delegated.insert(delegation.path);
        for (auto& scope : scopes_) {
            if (delegated.contains(scope.path)) schema.scopes.push_back(std::move(scope));
        }
    }

    // Each delegation is served by exactly one directive at its path, which
    // names one of the delegation's schemas.
    static Result<void> check_delegations_served(const CompiledSchema& schema,
                                                 const std::vector<SchemaDirective>& directives) {
        struct Served {
            std::size_t count = 0;
            std::string_view name;
        };
        TextMap<Served> served;
        for (const auto& directive : directives) {
            if (!directive.path) continue;
            Served& entry = served[*directive.path];
            if (entry.count++ == 0) entry.name = directive.name;
        }
        for (const auto& delegation : schema.delegations) {
            const auto found = served.find(delegation.path);
            if (found == served.end() || found->second.count != 1 ||
                std::ranges::find(delegation.names, found->second.name) == delegation.names.end()) {
                return std::unexpected(Error::App(AppErrorKind::DelegationSchema));
            }
        }
        return {};
    }

    TextMap<std::string> texts_;
    KeyedLines merged_;
    std::vector<SchemaScope> scopes_;
    MergeBudget budget_;
};

}  // namespace

Result<std::optional<CompiledSchema>> resolve_document_schema(std::string_view document, Resolver& resolver) {
    auto scanned = scan_document(document);
    if (!scanned) return forward_error(scanned);
    if (scanned->directives.empty()) return std::nullopt;
    SchemaMerge merge;
    for (const auto& directive : scanned->directives) {
        if (auto loaded = merge.load(directive, scanned->registry, resolver); !loaded) return forward_error(loaded);
    }
    auto schema = merge.finish(scanned->directives);
    if (!schema) return forward_error(schema);
    return std::optional<CompiledSchema>(std::move(*schema));
}

}  // namespace bezo
