#include "schema/schema_compiler.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "schema/compiled.hpp"

namespace bezo {
namespace {

// compile_schema hands over the compiler's own read-back of its text: it
// must be what reading the text of compile_schema_text gives, and fail the
// same way.
TEST(CompileSchema, EqualsTheCompiledTextReadBack) {
    const std::vector<std::string> schemas = {
        ".!hezo d\n!int[0,10]\na=\n",
        ".!hezo d\n!int[0,10]\na=\nb=\n(/m min=1)\n!int\n/^[a-z]+$/=\n()\n"
        "[/t/@r id=! min=1 max=2 ref=/u/@s/*::k]\n!int\nid=\nx?=q\nref?=z\n[]\n[/u/@s]\nk=\n[]\n",
        ".!hezo d strict\n.!provenance:required\n.!types std/time\n!std/time/date\nd=\n",
        ".!hezo child\n.!schema acme/base\n!float\nid=\n",
        ".!hezo d\n!nosuch\na=\n",
        ".!bezo\na=1\n",
        "",
    };
    for (const auto& schema : schemas) {
        Resolver text_resolver;
        Resolver schema_resolver;
        for (Resolver* resolver : {&text_resolver, &schema_resolver}) {
            resolver->preload_module_text("acme/base", "hezo", ".!hezo base\n!int\nid=\nname=\n");
        }
        const auto text = compile_schema_text(schema, text_resolver);
        const auto compiled = compile_schema(schema, schema_resolver);
        ASSERT_EQ(text.has_value(), compiled.has_value()) << schema;
        if (!text) {
            EXPECT_EQ(error_display(compiled.error()), error_display(text.error())) << schema;
            continue;
        }
        const auto read = load_compiled_schema(*text);
        ASSERT_TRUE(read.has_value()) << schema;
        EXPECT_EQ(*compiled, *read) << schema;
    }
}

}  // namespace
}  // namespace bezo
