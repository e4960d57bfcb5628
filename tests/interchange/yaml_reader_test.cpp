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

namespace bezo {
namespace {

Value object_of(std::string key, Value value) {
    ValueObject members;
    members.push_back(ValueMember{std::move(key), std::move(value)});
    return Value::object(std::move(members));
}

TEST(YamlSimpleTree, ReadsDocumentsThatNeedOnlyTheirEventsInOrder) {
    struct Case {
        std::string_view text;
        Value expected;
    };
    ValueObject same_text;
    same_text.push_back(ValueMember{"1", Value::number("1")});
    same_text.push_back(ValueMember{"1", Value::number("2")});
    ValueArray items;
    items.push_back(Value::null());
    items.push_back(Value::boolean(false));
    items.push_back(Value::string("x y"));
    items.push_back(Value::array());
    const Case cases[] = {
        {"k: 0x1F\n", object_of("k", Value::number("31"))},
        {"k: -0012\n", object_of("k", Value::number("-12"))},
        {"k: 1.50\n", object_of("k", Value::number("1.50"))},
        {"k: 1e3\n", object_of("k", Value::number("1e3"))},
        {"k: 1.\n", object_of("k", Value::number("1.0"))},
        {"k: +1e999\n", object_of("k", Value::string("+1e999"))},
        {"k: !!str 12\n", object_of("k", Value::string("12"))},
        {"k: '12'\n", object_of("k", Value::string("12"))},
        {"k: ~\n", object_of("k", Value::null())},
        {"0x10: v\n", object_of("16", Value::string("v"))},
        {"True: v\n", object_of("true", Value::string("v"))},
        {"2.50: v\n", object_of("2.50", Value::string("v"))},
        {"&a k: v\n", object_of("k", Value::string("v"))},
        {"1: 1\n'1': 2\n", Value::object(std::move(same_text))},
        {"~: v\n", object_of("null", Value::string("v"))},
        {"k: !!float 3\n", object_of("k", Value::number("3.0"))},
        {"k: !!float -12345678901234567890\n", object_of("k", Value::number("-1.2345678901234567e19"))},
        {"!!float 100000000000000016000: v\n", object_of("1.0000000000000002e20", Value::string("v"))},
        {"k: !!float 1.50\n", object_of("k", Value::number("1.50"))},
        {"k: \"\\uD83D\\ude00\"\n", object_of("k", Value::string("\U0001F600"))},
        {"k: '\\uD83D\\ude00'\n", object_of("k", Value::string("\\uD83D\\ude00"))},
        {"k: [~, false, x y, []]\n", object_of("k", Value::array(std::move(items)))},
        {"k:\n  n:\n    m: |\n      text\n", object_of("k", object_of("n", object_of("m", Value::string("text\n"))))},
        {"- 1\n", Value::array([] {
             ValueArray one;
             one.push_back(Value::number("1"));
             return one;
         }())},
    };
    for (const auto& [text, expected] : cases) {
        auto tree = read_simple_yaml_tree(text);
        ASSERT_TRUE(tree && *tree) << text;
        EXPECT_EQ(json_node_value((*tree)->root()), expected) << text;
    }
}

TEST(YamlSimpleTree, LeavesToTheFullReadingWhatNeedsMore) {
    const std::string_view cases[] = {
        "a: &x 1\nb: *x\n",                // alias
        "b: *x\n",                         // alias without anchor
        "<<: {a: 1}\nb: 2\n",              // merge key
        "k: [.inf]\n",                     // non-finite float
        "k: !!int 0x10000000000000000\n",  // bad value
        "[1]: v\n",                        // collection key
        "{a: 1}: v\n",
    };
    for (std::string_view text : cases) {
        auto tree = read_simple_yaml_tree(text);
        ASSERT_TRUE(tree) << text;
        EXPECT_FALSE(*tree) << text;
    }
}

TEST(YamlSimpleTree, FailsAsTheFullReadingFails) {
    const std::string_view cases[] = {
        "a: [\n",             // syntax error
        "a: 1\n---\nb: 2\n",  // two documents
        "a: 1\n---\nb: [\n",  // syntax error in a later document
        "",                   // no document
        "a: \x01\n",          // refused character
        "k: !!int x\n",       // a tag the scalar does not fit
        "k: !!str [1]\n",
        "a: 1\na: 2\n",        // a repeated key
        "a: 1\na: 2\nb: [\n",  // a syntax error after it comes first
        "a: \"\\ud800\"\n",    // a surrogate without its pair
        "a: \"\\ud800\"\n---\nb: 1\n",
        "? \"a\\nb\"\n: 1\n",  // a key no authored text holds
    };
    for (std::string_view text : cases) {
        auto tree = read_simple_yaml_tree(text);
        auto document = read_yaml_document(text);
        ASSERT_FALSE(document) << text;
        ASSERT_FALSE(tree) << text;
        EXPECT_EQ(tree.error(), document.error()) << text;
    }
}

}  // namespace
}  // namespace bezo
