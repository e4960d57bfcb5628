#include "interchange/canonical_reader.hpp"

#include <gtest/gtest.h>

#include "interchange/base64url.hpp"
#include "interchange/canonical_to_value.hpp"
#include "interchange/json_export.hpp"
#include "interchange/json_writer.hpp"

namespace bezo {
namespace {

// The exported JSON (without its final line feed), or the failure message.
std::string exported(std::string_view canonical) {
    auto json = export_json(canonical);
    if (!json) return "error: " + json.error().other();
    EXPECT_TRUE(json->ends_with('\n'));
    json->pop_back();
    return *json;
}

struct ReadCase {
    std::string canonical;
    std::string result;
};

TEST(CanonicalReader, ConvertsValuesByTypeName) {
    const ReadCase cases[] = {
        {"", "{}"},
        {".!nezo\n# note\n// note\n.?x\n\n  \t\n", "{}"},
        {"!float'a=-0.5e+3\n", R"({"a":-0.5e+3})"},
        {"!int'a=1.5\n", R"({"a":1.5})"},
        {"!bool'a=false\n!null'b=\n", R"({"a":false,"b":null})"},
        {"!str'a=say \"hi\"\n", R"({"a":"say \"hi\""})"},
        {"!text'a=one|:|two|:|:|\n", R"({"a":"one\ntwo\n:|"})"},
        {"!std/time/date'd=2024-01-02\n", R"({"d":"2024-01-02"})"},
        {"!std/time'x=1\n", R"({"x":"1"})"},
        {"!std/num/inf'x=-inf\n", R"({"x":"-inf"})"},
        {"!std/enc/bin'b=AAA\n", R"({"b":"AAA"})"},
        {"!std/enc/json'j=" + base64url_encode("[1, 2]") + "\n", R"({"j":[1, 2]})"},
        {"!std/enc/json'j=" + base64url_encode(" {\"a\" : 1}\r\n") + "\n", "{\"j\": {\"a\" : 1}\r\n}"},
        {"!email'e=a@b\n", R"({"e":"a@b"})"},
        {"!int'v=1\r\n  \t!int'w=2\r", R"({"v":1,"w":2})"},
        {"!int'a=1\n!int'a=2\n", R"({"a":2})"},
        {"!str'k=a=b\n", R"({"k":"a=b"})"},
        {"!int[0,10]'a=5\n!float:km'b=1.5\n", R"({"a":5,"b":1.5})"},
        {"!str'\"a=b\"=c\n", R"({"a=b":"c"})"},
    };
    for (const auto& c : cases) EXPECT_EQ(exported(c.canonical), c.result) << c.canonical;
}

TEST(CanonicalReader, PlacesValuesAtNamePaths) {
    const ReadCase cases[] = {
        {"!int'a/b=1\n!str'a/c=x\n", R"({"a":{"b":1,"c":"x"}})"},
        {"!int'a::b=1\n!int'a//c=2\n", R"({"a":{"b":1,"c":2}})"},
        {"!int'\"a/b\"=1\n", R"({"a/b":1})"},
        {"!int'\"@x\"=1\n", R"({"@x":1})"},
        {"!int'\"a\"\"b\"=1\n", R"({"a\"b":1})"},
        {"!int'a:b=1\n", R"({"a:b":1})"},
        {"!int'x@y=1\n", R"({"x@y":1})"},
        {"!int'@xs/0=1\n!int'@xs/1=2\n", R"({"xs":[1,2]})"},
        {"!int'@xs/+0=1\n!int'@xs/+1=2\n", R"({"xs":[1,2]})"},
        {"!int'@xs/0/a=1\n!int'@xs/0/b=2\n!int'@xs/1/a=3\n", R"({"xs":[{"a":1,"b":2},{"a":3}]})"},
        {"!int'@xs/0=1\n!int'@xs/0=2\n", R"({"xs":[2]})"},
        {"!int'a/@xs/0/@ys/0=1\n", R"({"a":{"xs":[{"ys":[1]}]}})"},
        {"!int'b=1\n!int'a/x=2\n!int'b=3\n!int'a/y=4\n", R"({"b":3,"a":{"x":2,"y":4}})"},
        // Paths that share their start with the line before.
        {"!int'@xs/0/a=1\n!int'@xs/1/a=2\n!int'@xs/0/b=3\n!int'@xs/1/b=4\n", R"({"xs":[{"a":1,"b":3},{"a":2,"b":4}]})"},
        {"!int'a/\"b c\"/d=1\n!int'a/\"b c\"/e=2\n!int'a/b/f=3\n", R"({"a":{"b c":{"d":1,"e":2},"b":{"f":3}}})"},
        {"!int'a/b=1\n!int'a/bc=2\n!int'a/b/=3\n", R"({"a":{"b":3,"bc":2}})"},
    };
    for (const auto& c : cases) EXPECT_EQ(exported(c.canonical), c.result) << c.canonical;
}

TEST(CanonicalReader, RefusesWithTheFirstFailureOfALine) {
    const ReadCase cases[] = {
        {"x=1\n", "not a canonical line: x=1"},
        {"  x=1\r\n", "not a canonical line: x=1"},
        {"'a=1\n", "bad metadata prefix: 'a=1"},
        {"int'a=1\n", "bad metadata prefix: int'a=1"},
        {"!int x'a=1\n", "bad metadata prefix: !int x'a=1"},
        {"!int'a\n", "canonical line without =: !int'a"},
        {"!int'\"a=1\n", "canonical line without =: !int'\"a=1"},
        {"!int'a=01\n", "!int value is not a JSON number: 01"},
        {"!int'a=1 \n", "!int value is not a JSON number: 1 "},
        {"!float'a=\n", "!float value is not a JSON number: "},
        {"!bool'a=TRUE\n", "!bool value is not true/false: TRUE"},
        {"!null'a=x\n", "!null value carries a payload"},
        {"!std/enc/bin'b=AAA=\n", "invalid base64url payload"},
        {"!std/enc/json'j=QUJD=\n", "invalid base64url payload"},
        {"!std/enc/json'j=" + base64url_encode("\xFF") + "\n", "std/enc/json payload is not UTF-8"},
        {"!std/enc/json'j=" + base64url_encode("[1,]") + "\n", "invalid JSON at byte 3"},
        {"!std/enc/json'j=" + base64url_encode("1 2") + "\n", "std/enc/json payload is not a single JSON value"},
        {"!std/enc/json'j=\n", "invalid JSON at byte 0"},
        {"!int'//=1\n", "empty namepath: //"},
        {"!int'\"\"=1\n", "empty namepath: \"\""},
        {"!int'x/=01\n", "!int value is not a JSON number: 01"},
        {"!int'a=1\n!int'a/b=2\n", "namespace/leaf collision at a"},
        {"!int'a/b=2\n!int'a=1\n", "namespace/leaf collision at a"},
        {"!int'a=1\n!int'@a/0=2\n", "namespace/leaf collision at a"},
        {"!int'@a/0=1\n!int'a=2\n", "namespace/leaf collision at a"},
        {"!int'@xs/1=2\n", "array index 1 leaves a gap (canonical arrays are contiguous)"},
        {"!int'@xs=1\n", "array without index"},
        {"!int'@xs/01=1\n", "bad array index: 01"},
        {"!int'@xs/\"0\"=1\n", "bad array index: 0"},
        {"!int'@xs/+=1\n", "bad array index: +"},
        {"!int'@xs/-1=1\n", "bad array index: -1"},
        {"!int'@xs/99999999999999999999=1\n", "bad array index: 99999999999999999999"},
        {"!int'@xs/0=1\n!int'@xs/0/a=2\n", "namespace/leaf collision at element 0"},
        {"!int'@xs/0/a=1\n!int'@xs/0=2\n", "namespace/leaf collision at element 0"},
        {"!int'a/1=1\n!int'a/\"\"=2\n", "namespace/leaf collision at a"},
        {"!int'a/\"\"=1\n!int'a/c=2\n", "namespace/leaf collision at a"},
        {"!int'a/b/c=1\n!int'a/b=2\n", "namespace/leaf collision at b"},
    };
    for (const auto& c : cases) EXPECT_EQ(exported(c.canonical), "error: " + c.result) << c.canonical;
}

TEST(CanonicalReader, NamePathDepthLimit) {
    auto path_of = [](std::size_t segments, std::string_view last = "a") {
        std::string path;
        for (std::size_t i = 1; i < segments; ++i) path += "a/";
        return "!int'" + path + std::string(last) + "=1\n";
    };
    EXPECT_EQ(exported(path_of(512)).substr(0, 6), R"({"a":{)");
    EXPECT_EQ(exported(path_of(513)), "error: namepath nests deeper than 512 segments");
    EXPECT_EQ(exported(path_of(200000)), "error: namepath nests deeper than 512 segments");
    // A line that takes over most of the path of the line before.
    EXPECT_EQ(exported(path_of(511, "b") + path_of(512, "c")).substr(0, 6), R"({"a":{)");
    EXPECT_EQ(exported(path_of(511, "b") + path_of(513, "c")), "error: namepath nests deeper than 512 segments");
    EXPECT_EQ(exported(path_of(512, "b") + path_of(512, "a::c")), "error: namepath nests deeper than 512 segments");
    EXPECT_EQ(exported(path_of(511, "b") + path_of(512, "\"c\"/d")), "error: namepath nests deeper than 512 segments");
}

TEST(CanonicalReader, RunsOfLinesFindRepeatedKeysAndCollisions) {
    const ReadCase cases[] = {
        {"!int'a/x=1\n!int'a/y=2\n!int'a/x=3\n", R"({"a":{"x":3,"y":2}})"},
        {"!int'a/@xs/0=1\n!int'a/k=2\n!int'a/@xs/1=3\n!int'a/k=4\n", R"({"a":{"xs":[1,3],"k":4}})"},
        {"!int'@xs/0/a=1\n!int'@xs/0/@ys/0=2\n!int'@xs/0/a=3\n!int'@xs/0/b=4\n", R"({"xs":[{"a":3,"ys":[2],"b":4}]})"},
        {"!int'@xs/0/a=1\n!int'@xs/1/a=2\n!int'@xs/0/a=3\n!int'@xs/0/c=4\n", R"({"xs":[{"a":3,"c":4},{"a":2}]})"},
        // Keys alike in their size and in all but one inner byte.
        {"!int'axbc=1\n!int'aybc=2\n!int'axbc=3\n", R"({"axbc":3,"aybc":2})"},
        {"!int'a/x=1\n!int'b/y=2\n!int'a/x=3\n!int'a/z=4\n", R"({"a":{"x":3,"z":4},"b":{"y":2}})"},
        {"!int'a/b/c=1\n!int'a/b/d=2\n!int'a/e=3\n!int'a/b/c=4\n", R"({"a":{"b":{"c":4,"d":2},"e":3}})"},
        {"!int'a/\"b\"/c=1\n!int'a/\"b\"/c=2\n!int'a/b/c=3\n!int'a/b/d=4\n", R"({"a":{"b":{"c":3,"d":4}}})"},
        {"!int'a/\"x=y\"=1\n!int'a/\"x=y\"=2\n!int'a/x=3\n", R"({"a":{"x=y":2,"x":3}})"},
        {"!int'a/b=1\n!str'a/c=x\n!int'a/\"c\"=2\n", R"({"a":{"b":1,"c":2}})"},
        {"!int'a/\"@b\"=1\n!int'a/@b/0=2\n", R"({"a":{"@b":1,"b":[2]}})"},
        {"!int'a::b=1\n!int'a/b=2\n!int'a::c=3\n!int'a::b=4\n", R"({"a":{"b":4,"c":3}})"},
        {"!int'a:b=1\n!int'a:c=2\n!int'a:b=3\n", R"({"a:b":3,"a:c":2})"},
        {"!int'a:=1\n!int'a::=2\n", R"({"a:":1,"a":2})"},
        {"!int'a/bc=1\n!int'a/b=2\n!int'a/bc=3\n", R"({"a":{"bc":3,"b":2}})"},
        {"!int'a/b=1\n!int'a//b=2\n!int'a/b/=3\n!int'/a/b=4\n", R"({"a":{"b":4}})"},
        {"!int'@/0=1\n!int'@/1=2\n!int'x=3\n", R"({"":[1,2],"x":3})"},
        {"!int'a/b=1\n!int'a/b/c=2\n", "error: namespace/leaf collision at b"},
        {"!int'a/b=1\n!int'a=2\n", "error: namespace/leaf collision at a"},
        {"!int'a/x=1\n!int'a/@x/0=2\n", "error: namespace/leaf collision at x"},
        {"!int'a/@x/0=1\n!int'a/x=2\n", "error: namespace/leaf collision at x"},
        {"!int'a/b=1\n!int'a/c\n", "error: canonical line without =: !int'a/c"},
        {"!int'a/b=1\n!int'a/\"c=2\n", "error: canonical line without =: !int'a/\"c=2"},
        {"!int'a/b=1\n!int'a/c/=x\n", "error: !int value is not a JSON number: x"},
        {"!int'a/b=1\n!int'a/=2\n", "error: namespace/leaf collision at a"},
    };
    for (const auto& c : cases) EXPECT_EQ(exported(c.canonical), c.result) << c.canonical;
}

TEST(CanonicalReader, NamespacesOfEverySizeFindAnEarlierMemberAgain) {
    // Sizes on both sides of the point where a namespace's members are
    // hashed instead of scanned.
    for (const int members : {1, 2, 16, 17, 31, 32, 33, 34, 64}) {
        std::string canonical;
        std::string expected = "{\"n\":{";
        for (int i = 0; i < members; ++i) {
            std::string key = "k" + std::to_string(i);
            canonical += "!int'n/" + key + "=" + std::to_string(i) + "\n";
            expected += (i ? "," : "") + ("\"" + key + "\":") + std::to_string(i == members / 2 ? -1 : i);
        }
        canonical += "!int'x=0\n!int'n/k" + std::to_string(members / 2) + "=-1\n";
        expected += "},\"x\":0}";
        EXPECT_EQ(exported(canonical), expected) << members;
    }
}

TEST(CanonicalReader, WideNamespacesKeepFirstAppearanceOrder) {
    std::string canonical;
    std::string expected = "{";
    constexpr int kMembers = 100000;
    for (int i = 0; i < kMembers; ++i) {
        std::string key = "k" + std::to_string(i);
        canonical += "!int'" + key + "=" + std::to_string(i) + "\n";
        expected += (i ? "," : "") + ("\"" + key + "\":") + std::to_string(i == 7 ? -1 : i);
    }
    canonical += "!int'k7=-1\n";
    expected += "}";
    EXPECT_EQ(exported(canonical), expected);
}

TEST(CanonicalReader, WritesKeysAndTextsOfEveryLengthWithOrWithoutEscapes) {
    const std::string long_plain(40, 'x');
    const ReadCase cases[] = {
        {"!str'k\\x=v\n", R"({"k\\x":"v"})"},
        {"!str'\"q\"\"k\"=v\n", R"({"q\"k":"v"})"},
        {"!str'a=" + std::string(16, 'x') + "\n", R"({"a":")" + std::string(16, 'x') + R"("})"},
        {"!str'a=" + std::string(17, 'x') + "\n", R"({"a":")" + std::string(17, 'x') + R"("})"},
        {"!str'" + long_plain + "=" + long_plain + "\n", "{\"" + long_plain + "\":\"" + long_plain + "\"}"},
        {"!str'a=" + long_plain + "\"\n", R"({"a":")" + long_plain + R"(\""})"},
        {"!str'a=\n!std/time/date'b=2024-01-02\n", R"({"a":"","b":"2024-01-02"})"},
        {"!null'@a/0=\n!int'@a/1=1\n!str'@a/2/b=c\n", R"({"a":[null,1,{"b":"c"}]})"},
    };
    for (const auto& c : cases) EXPECT_EQ(exported(c.canonical), c.result) << c.canonical;
}

TEST(CanonicalReader, ExportGrowsPastTheRoomItsTextSuggests) {
    // A segment "a/" of a path becomes "{"a":" and a "}", and a control
    // character six bytes: the JSON outgrows the room its text suggests
    // while keys, values and separators are still being written.
    std::string canonical;
    std::string expected = "{";
    for (int i = 0; i < 2000; ++i) {
        const std::string key = "k" + std::to_string(i);
        const bool escaped = i % 7 == 0;
        canonical += (escaped ? "!str'" : "!int'") + key + "/a/a/a/a/a/a/a/a=" + (escaped ? "\x01" : "1") + "\n";
        expected += (i ? ",\"" : "\"") + key + "\":";
        for (int level = 0; level < 8; ++level) expected += "{\"a\":";
        expected += escaped ? "\"\\u0001\"" : "1";
        expected += std::string(8, '}');
    }
    expected += "}";
    EXPECT_EQ(exported(canonical), expected);
}

TEST(CanonicalReader, NumbersOfEveryShapeAsTheJsonGrammarHasThem) {
    // Integers and plain decimals are told apart by a shortcut; anything it
    // does not take is left to the whole grammar of a JSON number.
    const struct {
        std::string_view value;
        bool number;
    } cases[] = {
        {"0", true},      {"-0", true},    {"7", true},       {"-12", true},  {"0.5", true}, {"-0.25", true},
        {"10.000", true}, {"1e5", true},   {"-1.5E-3", true}, {"0e0", true},  {"", false},   {"-", false},
        {"00", false},    {"01", false},   {"-01", false},    {"1.", false},  {".5", false}, {"-.5", false},
        {"1.5.5", false}, {"1.a", false},  {"+1", false},     {"1 ", false},  {" 1", false}, {"0x10", false},
        {"1e", false},    {"01.5", false}, {"1..5", false},   {"--1", false}, {"1-", false}, {"\xD9\xA1", false},
    };
    for (const auto& c : cases) {
        const std::string line = "!float'n=" + std::string(c.value) + "\n";
        const std::string expected = c.number ? "{\"n\":" + std::string(c.value) + "}"
                                              : "error: !float value is not a JSON number: " + std::string(c.value);
        EXPECT_EQ(exported(line), expected) << c.value;
    }
}

TEST(CanonicalReader, ManyLineTypesInTurnKeepTheirOwnRules) {
    // More distinct metadata texts than the reader remembers at once, in
    // turn, so that each is met again after others took its place.
    const std::string_view types[] = {"int",
                                      "float",
                                      "bool",
                                      "null",
                                      "str",
                                      "text",
                                      "std/time/date",
                                      "std/num/inf",
                                      "std/enc/bin",
                                      "uint",
                                      "date",
                                      "a",
                                      "b",
                                      "c",
                                      "d",
                                      "e",
                                      "f",
                                      "g",
                                      "h",
                                      "i",
                                      "j",
                                      "k",
                                      "std/time/time",
                                      "std/enc/xml"};
    const std::string_view values[] = {"1",     "2.5", "true", "",  "s", "a|:|b", "2024-01-02", "-inf",
                                       "AAE",   "3",   "4",    "v", "w", "x",     "y",          "z",
                                       "\"q\"", "g",   "h",    "i", "j", "k",     "01:02:03",   "PGEvPg"};
    const std::string_view json[] = {
        "1",     "2.5",   "true",  "null",  "\"s\"",        "\"a\\nb\"", "\"2024-01-02\"", "\"-inf\"",      "\"AAE\"",
        "\"3\"", "\"4\"", "\"v\"", "\"w\"", "\"x\"",        "\"y\"",     "\"z\"",          "\"\\\"q\\\"\"", "\"g\"",
        "\"h\"", "\"i\"", "\"j\"", "\"k\"", "\"01:02:03\"", "\"PGEvPg\""};
    std::string canonical;
    std::string expected = "{";
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < std::size(types); ++i) {
            const std::string key = "k" + std::to_string(round) + "_" + std::to_string(i);
            canonical += "!" + std::string(types[i]) + "'" + key + "=" + std::string(values[i]) + "\n";
            expected += (expected.size() > 1 ? ",\"" : "\"") + key + "\":" + std::string(json[i]);
        }
    }
    EXPECT_EQ(exported(canonical + "!bool'z=1\n"), "error: !bool value is not true/false: 1");
    EXPECT_EQ(exported(canonical), expected + "}");
}

TEST(CanonicalReader, TreesOfMoreNodesThanTheirFirstRoom) {
    // A small text of deep paths holds more nodes than its size suggests,
    // and a long one more than a block of nodes: the tree grows either way
    // and keeps every node.
    auto deep = [](int lines, int depth) {
        std::string canonical;
        std::string expected = "{";
        for (int i = 0; i < lines; ++i) {
            canonical += "!int'";
            expected += (i ? ",\"" : "\"") + std::to_string(i) + "\":";
            canonical += std::to_string(i);
            for (int level = 1; level < depth; ++level) {
                canonical += "/a";
                expected += "{\"a\":";
            }
            canonical += "=" + std::to_string(i) + "\n";
            expected += std::to_string(i) + std::string(depth - 1, '}');
        }
        return std::pair{canonical, expected + "}"};
    };
    for (const auto& [lines, depth] : {std::pair{1, 300}, std::pair{3, 200}, std::pair{40000, 2}, std::pair{9000, 9}}) {
        const auto [canonical, expected] = deep(lines, depth);
        EXPECT_EQ(exported(canonical), expected) << lines << " " << depth;
    }
}

TEST(JoinTextLines, ReplacesMarkersLeftToRight) {
    EXPECT_EQ(join_text_lines("a|:|b"), "a\nb");
    EXPECT_EQ(join_text_lines("|:|:|"), "\n:|");
    EXPECT_EQ(join_text_lines("a|:b|"), "a|:b|");
}

std::string converted(std::string_view canonical) {
    auto tree = canonical_to_tree(canonical);
    EXPECT_TRUE(tree);
    auto value = tree_to_value(*tree);
    EXPECT_TRUE(value);
    const auto& members = std::get<ValueObject>(value->data);
    EXPECT_EQ(members.size(), 1u);
    std::string out;
    write_json_value(members.front().value, out);
    return out;
}

TEST(TreeToValue, KeepsNumberTextAndTurnsEmbeddedJsonIntoStructure) {
    auto tree = canonical_to_tree("!float'a=1.50\n!int'b=-0\n!text'c=x|:|y\n!std/num/inf'd=inf\n!std/enc/json'e=" +
                                  base64url_encode(" {\"k\" : [1, {}]} ") + "\n!int'@f/0/z=1\n!int'@f/0/y=2\n");
    ASSERT_TRUE(tree);
    auto value = tree_to_value(*tree);
    ASSERT_TRUE(value);
    const auto& members = std::get<ValueObject>(value->data);
    ASSERT_EQ(members.size(), 6u);
    EXPECT_EQ(members[0].value, Value::number("1.50"));
    EXPECT_EQ(members[1].value, Value::number("-0"));
    EXPECT_EQ(members[2].value, Value::string("x\ny"));
    EXPECT_EQ(members[3].value, Value::typed("std/num", "inf", "inf"));
    EXPECT_EQ(members[4].value, Value::object({{"k", Value::array({Value::number("1"), Value::object()})}}));
    EXPECT_EQ(members[5].value, Value::array({Value::object({{"z", Value::number("1")}, {"y", Value::number("2")}})}));
    EXPECT_EQ(converted("!std/time/date'd=2024-01-02\n"), R"("2024-01-02")");
}

}  // namespace
}  // namespace bezo
