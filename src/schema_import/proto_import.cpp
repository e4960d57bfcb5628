#include "schema_import/proto_import.hpp"

#include <vector>

#include "schema_import/conventions.hpp"
#include "schema_import/proto_parser.hpp"
#include "schema_import/proto_writer.hpp"

namespace bezo {
namespace {

Error failure(std::string message) { return Error::Other(std::move(message)); }

std::string joined_full_names(const ProtoFile& file, const std::vector<std::size_t>& indices) {
    ListedNames names;
    for (const std::size_t index : indices) names.add(file.messages[index].full_name);
    return names.text();
}

Result<std::size_t> select_named_message(const ProtoFile& file, std::string_view message) {
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < file.messages.size(); ++i) {
        const std::string& full_name = file.messages[i].full_name;
        if (full_name == message || last_dotted_component(full_name) == message) candidates.push_back(i);
    }
    if (candidates.empty()) {
        return std::unexpected(failure("no message named " + quoted_excerpt(message) + " in the schema"));
    }
    if (candidates.size() > 1) {
        return std::unexpected(failure("message name " + quoted_excerpt(message) +
                                       " is ambiguous: " + joined_full_names(file, candidates)));
    }
    return candidates.front();
}

Result<std::size_t> select_top_level_message(const ProtoFile& file) {
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < file.messages.size(); ++i) {
        if (file.messages[i].top_level) candidates.push_back(i);
    }
    if (candidates.empty()) return std::unexpected(failure("the schema declares no messages"));
    if (candidates.size() > 1) {
        return std::unexpected(failure("the schema has several top-level messages (" +
                                       joined_full_names(file, candidates) + "); pass --message"));
    }
    return candidates.front();
}

}  // namespace

Result<std::size_t> select_root_message(const ProtoFile& file, std::optional<std::string_view> message) {
    return message ? select_named_message(file, *message) : select_top_level_message(file);
}

Result<std::string> import_proto(std::string_view text, std::optional<std::string_view> message,
                                 std::string_view name) {
    auto file = parse_proto_file(text);
    if (!file) return forward_error(file);
    auto root = select_root_message(*file, message);
    if (!root) return forward_error(root);
    ProtoWriteContext context(*file);
    std::vector<std::size_t> stack{*root};
    if (auto written = write_proto_message(context, *root, "", stack); !written) return forward_error(written);
    if (auto fits = context.budget.charge_output(context.body.size()); !fits) return forward_error(fits);
    // The parsed file is no longer needed: free it before the result is made.
    const std::string body = std::move(context.body);
    const LibrarySet libraries = std::move(context.libraries);
    *file = {};
    return assemble_imported_schema(name, libraries, body);
}

}  // namespace bezo
