#include "schema_import/proto_import.hpp"

#include <gtest/gtest.h>

#include "lang/lexer.hpp"

namespace bezo {
namespace {

// Every kind of line the importer writes is one the schema lexer reads.
TEST(ProtoImport, WritesLinesTheSchemaLexerReads) {
    const auto schema = import_proto(R"(
        package p;
        enum E { A = 0; B = 1; }
        message Row { string s = 1; bytes b = 2; E e = 3; Row r = 4; }
        message M {
            double d = 1; E e = 2; Row row = 3; repeated Row rows = 4; repeated int64 n = 5;
            map<int32, bytes> m = 6; map<string, Row> mr = 7; bool re = 8; M self = 9;
        })",
                                     "M", "m");
    ASSERT_TRUE(schema) << schema.error().other();
    EXPECT_TRUE(lex(*schema, LexMode::Schema).has_value()) << *schema;
}

}  // namespace
}  // namespace bezo
