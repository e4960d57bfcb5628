#include "schema/document_schema.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace bezo {
namespace {

using Preloads = std::vector<std::pair<std::string, std::string>>;

const Preloads kDelegating = {
    {"main", ".!whezo main\n/billing [schema::inv]\n/items/@i [schema::row|other]\n"},
    {"inv", ".!whezo inv strict\n.!provenance:bogus\n# note\n// doc\n  /^/'::total=\n"},
    {"row", ".!whezo row\n# c\n // d\n.!provenance:none\n\t!int'::n=\n"},
};

Result<std::optional<CompiledSchema>> load(std::string_view document, const Preloads& schemas) {
    Resolver resolver;
    for (const auto& [name, text] : schemas) resolver.preload_module_text(name, "whezo", text);
    return resolve_document_schema(document, resolver);
}

CompiledSchema loaded(std::string_view document, const Preloads& schemas) {
    auto schema = load(document, schemas);
    if (!schema) ADD_FAILURE() << document << " -> " << error_display(schema.error());
    if (schema && !*schema) ADD_FAILURE() << document << " -> no schema";
    return schema && *schema ? std::move(**schema) : CompiledSchema{};
}

std::vector<std::string> field_paths(const CompiledSchema& schema) {
    std::vector<std::string> paths;
    for (const auto& field : schema.fields) paths.push_back(field.path + "=" + field.value);
    return paths;
}

TEST(DocumentSchema, NoDirectiveGivesNoSchema) {
    const auto schema = load(".!registry acme=/nowhere\nx=1\n", {});
    ASSERT_TRUE(schema.has_value());
    EXPECT_FALSE(schema->has_value());
}

TEST(DocumentSchema, LaterWholeDocumentSchemaWinsAtTheFirstPlace) {
    const CompiledSchema schema = loaded(" .!schema a\n.!schema:b\n", {
                                                                          {"a", ".!whezo a\n/^/'::x=1\n/^/'::y=\n"},
                                                                          {"b",
                                                                           ".!whezo b strict\n.!provenance:source\n"
                                                                           "!int'::x=2\n"},
                                                                      });
    EXPECT_EQ(field_paths(schema), (std::vector<std::string>{"::x=2", "::y="}));
    EXPECT_TRUE(schema.strict);
    EXPECT_EQ(schema.provenance, ProvenanceLevel::Source);
}

TEST(DocumentSchema, SubtreeSchemasKeepTheirOwnScope) {
    const CompiledSchema schema =
        loaded(".!schema main\n.!schema:/billing inv\n.!schema:/items/@i row\n.!schema:/extra inv\n", kDelegating);
    EXPECT_EQ(field_paths(schema), (std::vector<std::string>{"/billing::total=", "/items/@i/::n=", "/extra::total="}));
    // The scope of /extra is dropped: no delegation names that path.
    EXPECT_EQ(schema.scopes, (std::vector<SchemaScope>{{"/billing", true, ProvenanceLevel::Undeclared},
                                                       {"/items/@i", false, ProvenanceLevel::Prohibited}}));
    EXPECT_FALSE(schema.strict);
}

TEST(DocumentSchema, Failures) {
    const std::string served = ".!schema main\n.!schema:/items/@i row\n";
    const struct {
        std::string document;
        std::string_view message;
    } cases[] = {
        {served + ".!schema:/billing inv\n.!schema:/billing inv\n", "DelegationSchemaError"},
        {served, "DelegationSchemaError"},
        {served + ".!schema:/billing row\n", "DelegationSchemaError"},
        {".!schema:/orders\n", "bad .!schema: .!schema:/orders"},
        {".!schema https://example.org/s\n", "SchemaResolutionError"},
        {".!schema missing\n", "SchemaResolutionError"},
        {".!schema bytes\n", "bytes.whezo is not UTF-8"},
        {".!schema:/a/@e main\n", "only root scalar fields extend array elements: /billing [schema::inv]"},
        {".!schema:/a main\n", "bad inherited line: /billing [schema::inv]"},
        {".!schema bad\n", "unknown provenance level: bogus"},
    };
    Preloads schemas = kDelegating;
    schemas.emplace_back("bytes", ".!whezo x\n/^/'::a=\xFF\n");
    schemas.emplace_back("bad", ".!whezo bad\n.!provenance:bogus\n");
    for (const auto& c : cases) {
        const auto schema = load(c.document, schemas);
        ASSERT_FALSE(schema.has_value()) << c.document;
        EXPECT_EQ(error_display(schema.error()), c.message) << c.document;
    }
}

TEST(DocumentSchema, RegistryLineWithoutEqualsIsIgnored) {
    const auto root = std::filesystem::temp_directory_path() / ("bezo-document-schema-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "acme");
    std::ofstream(root / "acme" / "s.whezo") << ".!whezo s\n/^/'::x=\n";
    const std::string document = ".!registry acme\n.!registry acme=" + root.string() + "\n.!schema acme/s\n";
    EXPECT_EQ(field_paths(loaded(document, {})), (std::vector<std::string>{"::x="}));
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace bezo
