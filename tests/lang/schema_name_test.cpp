#include "lang/schema_name.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

TEST(CheckSchemaName, RefusesWhatBreaksTheHeaderLine) {
    struct Case {
        std::string name;
        std::string_view message;  // empty: accepted
    };
    const Case cases[] = {
        {"", ""},
        {"acme/s", ""},
        {"s1", ""},
        {"caf\xc3\xa9", ""},
        {"s\n.!registry a=/etc", "schema name must not hold a line break"},
        {"s\r", "schema name must not hold a line break"},
        {std::string("a\0b", 3), "schema name must not hold a NUL character"},
        {"s strict", "schema name must be one word: no blank, tab or form feed"},
        {"a\tb", "schema name must be one word: no blank, tab or form feed"},
        {"a\fb", "schema name must be one word: no blank, tab or form feed"},
        {"1s", "schema name must not begin with a digit: it would read as a version"},
        {"strict", "schema name must not be the word \"strict\": it would read as a flag"},
        {"strictly", ""},
        {"Strict", ""},
    };
    for (const auto& [name, message] : cases) {
        const auto checked = check_schema_name(name, "schema");
        if (message.empty()) {
            EXPECT_TRUE(checked) << name;
        } else {
            ASSERT_FALSE(checked) << name;
            EXPECT_EQ(error_display(checked.error()), message) << name;
        }
    }
}

}  // namespace
}  // namespace bezo
