#include "interchange/yaml_reader.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

using namespace std::string_literals;

// The first key of the root mapping.
const YamlNode& first_key(const YamlDocument& document) {
    return document.node(document.children(document.node(document.root()))[0]);
}

TEST(YamlReader, OnlyThePlainUntaggedDoubleAngleIsAMergeKey) {
    struct Case {
        std::string_view text;
        YamlKind kind;
        bool merge_key;
    };
    const Case cases[] = {
        {"<<: {a: 1}\n", YamlKind::String, true},    {"\"<<\": {a: 1}\n", YamlKind::String, false},
        {"'<<': {a: 1}\n", YamlKind::String, false}, {"!!str <<: {a: 1}\n", YamlKind::String, false},
        {"! <<: {a: 1}\n", YamlKind::String, false}, {"? |-\n  <<\n: {a: 1}\n", YamlKind::String, false},
        {"<<<: {a: 1}\n", YamlKind::String, false},  {"{<<: {a: 1}}\n", YamlKind::String, true},
    };
    for (const auto& [text, kind, merge_key] : cases) {
        auto document = read_yaml_document(text);
        ASSERT_TRUE(document) << text;
        EXPECT_EQ(first_key(*document).kind, kind) << text;
        EXPECT_EQ(first_key(*document).merge_key, merge_key) << text;
    }
}

TEST(YamlReader, GivesEachScalarItsText) {
    struct Case {
        std::string_view text;
        YamlKind kind;
        std::string_view key;
    };
    const Case cases[] = {
        {"plain key: 1\n", YamlKind::String, "plain key"},
        {"key with blanks \t: 2  # c\n", YamlKind::String, "key with blanks"},
        {"'it''s': 1\n", YamlKind::String, "it's"},
        {"\"a\\tb\": 1\n", YamlKind::String, "a\tb"},
        {"? two\n  lines\n: 1\n", YamlKind::String, "two lines"},
        {"0x1F: 1\n", YamlKind::Integer, "31"},
        {"+007: 1\n", YamlKind::Integer, "7"},
        {"1.50: 1\n", YamlKind::Real, "1.50"},
        {"{ k\t: v }\n", YamlKind::String, "k"},
    };
    for (const auto& [text, kind, key] : cases) {
        auto document = read_yaml_document(text);
        ASSERT_TRUE(document) << text;
        EXPECT_EQ(first_key(*document).kind, kind) << text;
        EXPECT_EQ(document->text(first_key(*document)), key) << text;
    }
}

TEST(YamlReader, RefusesCharactersYamlAllowsNowhereAtTheirPosition) {
    struct Case {
        std::string text;
        std::string_view message;
    };
    const Case cases[] = {
        {"a: \x01\n", "invalid YAML: control characters are not allowed at line 1, column 4"},
        {"a: b\n\"\x1b\": 1\n", "invalid YAML: control characters are not allowed at line 2, column 2"},
        {"a: 1\r\n\nb: \xC3\xA9\t\x02\n", "invalid YAML: control characters are not allowed at line 3, column 6"},
        {"a: '\0'\n"s, "invalid YAML: control characters are not allowed at line 1, column 5"},
        {"# \x7f\n", "invalid YAML: control characters are not allowed at line 1, column 3"},
        {"\xC3\xA9\xC3\xA9: \xC2\x9F\n", "invalid YAML: control characters are not allowed at line 1, column 5"},
        {"a: \xEF\xBF\xBF\n", "invalid YAML: control characters are not allowed at line 1, column 4"},
    };
    for (const auto& [text, message] : cases) {
        auto document = read_yaml_document(text);
        ASSERT_FALSE(document) << text;
        EXPECT_EQ(document.error().other(), message);
    }
}

TEST(YamlReader, KeepsEveryOtherCharacter) {
    const std::string_view texts[] = {
        "a: \"\t\xC2\x85\xC2\xA0\xE2\x80\xA8\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD\xF4\x8F\xBF\xBF\"\n",
        "\xEF\xBB\xBF"
        "a: b\r\n",
        "a: x\xC2\x85y\n",
    };
    for (std::string_view text : texts) {
        auto document = read_yaml_document(text);
        ASSERT_TRUE(document) << (document ? "" : document.error().other());
    }
}

}  // namespace
}  // namespace bezo
