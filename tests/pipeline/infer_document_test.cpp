#include "pipeline/infer_document.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

struct InferDocumentCase {
    std::string name;
    std::string text;
    std::string schema_name;
    std::string expected;  // the schema, or the error as displayed
};

TEST(InferDocument, CompilesDenormalizesAndInfers) {
    const std::vector<InferDocumentCase> cases = {
        {"plain field", ".!bezo\na=1\n", "s", ".!hezo s\n\na=\n"},
        {"typed field", ".!bezo\n!int\na=1\n", "acme/s", ".!hezo acme/s\n\n!int\na=\n"},
        {"reference to an earlier field", ".!bezo\n!int\na=1\nb=$a\n", "s", ".!hezo s\n\n!int\na=\nb=\n"},
        {"empty name", ".!bezo\na=1\n", "", ".!hezo \n\na=\n"},
        {"name with a line break", ".!bezo\na=1\n", "a\nb", "infer name must not hold a line break"},
        // The name is checked before the document is read.
        {"bad name and bad document", ".!bezo\nb=$a\n", "a\rb", "infer name must not hold a line break"},
        {"undefined reference", ".!bezo\nb=$a\n", "s", "UndefinedReferenceError"},
        {"canonical text is not a document", ".!nezo\n!int'::a=1\n", "s", "FORMAT_KIND_ERROR (line 1)"},
    };
    for (const auto& c : cases) {
        const auto inferred = infer_document(c.text, c.schema_name);
        EXPECT_EQ(inferred ? *inferred : error_display(inferred.error()), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace bezo
