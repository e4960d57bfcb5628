#include "interchange/authored_writer.hpp"

#include <gtest/gtest.h>

#include <span>

#include "interchange/json_import.hpp"
#include "interchange/xml_import.hpp"

namespace bezo {
namespace {

std::string authored(const ValueObject& members, bool embed_containers = false) {
    auto text = tree_to_authored(members, embed_containers);
    if (!text) return "error: " + text.error().other();
    return *text;
}

TEST(AuthoredWriter, TypedValuesUseTheirTypeAndDeclareTheirLibrary) {
    const std::pair<ValueObject, std::string> cases[] = {
        {{{"d", Value::typed("std/time", "date", "2024-01-01")}}, ".!bezo\n.!types std/time\n\n&date\nd=2024-01-01\n"},
        {{{"d", Value::typed("std/time", "date", "2024-01-01")}, {"s", Value::string("$x")}},
         ".!bezo\n.!types std/enc\n.!types std/time\n\n&date\nd=2024-01-01\n&json\ns=IiR4Ig\n"},
        {{{"n", Value::typed("std/num", "nan", "$n")}}, ".!bezo\n.!types std/enc\n\n&json\nn=IiRuIg\n"},
        {{{"n", Value::typed("std/num", "inf", "a\nb")}}, ".!bezo\n.!types std/enc\n\n&json\nn=ImFcbmIi\n"},
        {{{"r", Value::object({{"a", Value::typed("std/time", "date", "2024-01-01")},
                               {"b", Value::typed("std/time", "date", "2024-01-02")}})}},
         ".!bezo\n.!types std/time\n\n&date\n/r:=a=2024-01-01|b=2024-01-02\n"},
        // An "&json" annotation never heads a one-line form.
        {{{"r", Value::object(
                    {{"a", Value::typed("std/enc", "json", "e30")}, {"b", Value::typed("std/enc", "json", "W10")}})}},
         ".!bezo\n.!types std/enc\n\n&json\n/r::a=e30\n&json\n/r::b=W10\n"},
        {{{"l", Value::array({Value::typed("x/y", "jsonish", "a"), Value::typed("x/y", "jsonish", "b")})}},
         ".!bezo\n.!types x/y\n\n&jsonish\n/@l+=a\n&jsonish\n/@l+=b\n"},
    };
    for (const auto& [members, text] : cases) EXPECT_EQ(authored(members), text);
}

TEST(AuthoredWriter, NestedPathsReturnToTheirParentAfterEachContainer) {
    ValueObject members{
        {"o", Value::object({{"x", Value::object({{"p", Value::number("1")}, {"q", Value::string("s")}})},
                             {"l", Value::array({Value::object({{"a", Value::number("1")}}), Value::number("2")})},
                             {"y", Value::number("3")},
                             {"z", Value::string("t")}})},
        {"r", Value::array({Value::array({Value::number("1")}), Value::number("2")})},
        {"s", Value::string("u")},
    };
    EXPECT_EQ(authored(members),
              ".!bezo\n.!types std/enc\n\n"
              "!int\n/o/x::p=1\n/o/x::q=s\n"
              "!int\n/o/@l/0:=a=1\n!int\n/o/@l::1=2\n"
              "!int\n/o::y=3\n/o::z=t\n"
              "&json\n/@r+=WzFd\n!int\n/@r+=2\n"
              "s=u\n");
}

TEST(AuthoredWriter, EmbedContainersEmbedsEveryRootContainer) {
    ValueObject members{{"o", Value::object({{"a", Value::number("1")}})},
                        {"l", Value::array({Value::number("1")})},
                        {"s", Value::string("x")}};
    EXPECT_EQ(authored(members, true), ".!bezo\n.!types std/enc\n\n&json\no=eyJhIjoxfQ\n&json\nl=WzFd\ns=x\n");
}

// "!text" writes each line feed as "|:|", read back left to right; a text
// that would read back otherwise is embedded.
TEST(AuthoredWriter, TextsWithLineFeedsAreWrittenAsTextOnlyWhereTheyReadBack) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a\nb", "!text\ns=a|:|b\n"},           {"a|\nb", "!text\ns=a||:|b\n"},       {"a\n:|b", "!text\ns=a|:|:|b\n"},
        {"a\n|:b", "!text\ns=a|:||:b\n"},       {"a|:\nb", "&json\ns=ImF8OlxuYiI\n"}, {"|:\n", "&json\ns=Inw6XG4i\n"},
        {"a\n|:|b", "&json\ns=ImFcbnw6fGIi\n"},
    };
    for (const auto& [value, line] : cases) {
        std::string written = authored({{"s", Value::string(std::string(value))}});
        EXPECT_EQ(written.substr(written.find("\n\n") + 2), line) << value;
    }
}

TEST(AuthoredWriter, UnrepresentableKeysAreShownEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("a\0b", 3), R"(unrepresentable JSON key: "a\0b")"},
        {"a\r\n\t\"\\b", R"(unrepresentable JSON key: "a\r\n\t\"\\b")"},
        {"\n\x01\xC2\xA0\xE2\x80\x8B\xC3\xA9 z", R"(unrepresentable JSON key: "\n\u{1}\u{a0}\u{200b}é z")"},
        {"\r\xFF\xC3", R"(unrepresentable JSON key: "\r\u{fffd}\u{fffd}")"},
    };
    for (const auto& [key, message] : cases) {
        EXPECT_EQ(authored({{key, Value::null()}}), "error: " + message);
    }
}

TEST(JsonImport, RefusesInputThatIsNotUtf8) {
    auto text = import_json("{\"a\":\"\xFF\"}", false);
    ASSERT_FALSE(text);
    EXPECT_EQ(text.error().other(), "input is not valid UTF-8");
}

// Text that does not come from a str is checked on both roads that trust a
// str's text: a stray byte, an encoded surrogate, an overlong form and a
// truncated sequence, in a value and in a name.
TEST(TextImports, RefuseUncheckedTextThatIsNotUtf8) {
    const std::string_view bad[] = {"\xFF", "\xED\xA0\x80", "\xC0\xAF", "\xE2\x82"};
    for (std::string_view bytes : bad) {
        const std::string json_value = "{\"a\":\"" + std::string(bytes) + "\"}";
        const std::string json_key = "{\"" + std::string(bytes) + "\":1}";
        const std::string xml_value = "<a>" + std::string(bytes) + "</a>";
        const std::string xml_name = "<a" + std::string(bytes) + "/>";
        for (const auto& text : {json_value, json_key}) {
            auto imported = import_json_entry(text);
            ASSERT_FALSE(imported) << text;
            EXPECT_EQ(imported.error().other(), "input is not valid UTF-8") << text;
        }
        for (const auto& text : {xml_value, xml_name}) {
            auto imported = import_xml(text);
            ASSERT_FALSE(imported) << text;
            EXPECT_EQ(imported.error().other(), "input is not valid UTF-8") << text;
        }
    }
}

// An input text and the authored text it imports as.
using ImportCase = std::pair<std::string_view, std::string_view>;

Result<std::string> import_json_text(std::string_view text) { return import_json_entry(text); }
Result<std::string> import_xml_text(std::string_view text) { return import_xml(text); }

void expect_imports(Result<std::string> (*import)(std::string_view), std::span<const ImportCase> cases) {
    for (const auto& [input, expected] : cases) {
        auto text = import(input);
        ASSERT_TRUE(text) << input << ": " << text.error().other();
        EXPECT_EQ(*text, expected) << input;
    }
}

// Strings read straight from the JSON text skip the writer's check for bytes
// a line cannot carry; those holding a "$" or an escape still get it.
TEST(JsonImport, DollarsAndEscapedLineBreaksAreEmbeddedWhereverTheyStand) {
    const ImportCase cases[] = {
        {R"({"s":"plain"})", ".!bezo\n\ns=plain\n"},
        {R"({"s":"$x"})", ".!bezo\n.!types std/enc\n\n&json\ns=IiR4Ig\n"},
        {R"({"s":"a long run of plain text before a $ sign"})",
         ".!bezo\n.!types std/enc\n\n&json\ns=ImEgbG9uZyBydW4gb2YgcGxhaW4gdGV4dCBiZWZvcmUgYSAkIHNpZ24i\n"},
        {R"({"s":"\u0024x"})", ".!bezo\n.!types std/enc\n\n&json\ns=IiR4Ig\n"},
        {R"({"s":"a\nb"})", ".!bezo\n\n!text\ns=a|:|b\n"},
        {R"({"s":"a\rb"})", ".!bezo\n.!types std/enc\n\n&json\ns=ImFccmIi\n"},
        {R"({"s":"a\tb"})", ".!bezo\n\ns=a\tb\n"},
        {R"({"r":{"a":"x","b":"$"}})", ".!bezo\n.!types std/enc\n\n/r::a=x\n&json\n/r::b=IiQi\n"},
        {R"({"l":["x","y$"]})", ".!bezo\n.!types std/enc\n\n/@l+=x\n&json\n/@l+=InkkIg\n"},
    };
    expect_imports(import_json_text, cases);
}

// Keys that are not identifiers are quoted with each quote doubled,
// wherever the quotes stand.
TEST(JsonImport, QuotesKeysDoublingTheirQuotes) {
    const ImportCase cases[] = {
        {R"({"a b":1})", ".!bezo\n\n!int\n\"a b\"=1\n"},
        {R"({"a\"b\"\"":1})", ".!bezo\n\n!int\n\"a\"\"b\"\"\"\"\"=1\n"},
        {R"({"\"":{"\"x":"y"}})", ".!bezo\n\n/\"\"\"\"::\"\"\"x\"=y\n"},
    };
    expect_imports(import_json_text, cases);
}

// Blanks between child elements are passed over, spelled as they stand or
// as references, before comments, at the end; any other character after a
// child, a CDATA section included, still makes the content mixed.
TEST(XmlImport, BlanksBetweenChildrenLeaveContentUnmixed) {
    const ImportCase cases[] = {
        {"<a>\n <b>1</b>\n <c>2</c>\n</a>", ".!bezo\n.?xml\n\n/a:=b=1|c=2\n"},
        {"<a><b>1</b>\r\n<!--c--> <c/>\t</a>", ".!bezo\n.?xml\n\n/a::b=1\n!null\n/a::c=\n"},
        {"<a><b>1</b>&#10;&#x20;<c>2</c></a>", ".!bezo\n.?xml\n\n/a:=b=1|c=2\n"},
        {"<a><b>1</b>\xE2\x80\xA9</a>", ".!bezo\n.?xml\n\n/a:=b=1\n"},
        {"<a><b>1</b> x </a>", ".!bezo\n.?xml\n.!types std/enc\n\n&xml\na=PGE-PGI-MTwvYj4geCA8L2E-\n"},
        {"<a> <b>1</b>\n<![CDATA[y]]></a>",
         ".!bezo\n.?xml\n.!types std/enc\n\n&xml\na=PGE-IDxiPjE8L2I-CjwhW0NEQVRBW3ldXT48L2E-\n"},
    };
    expect_imports(import_xml_text, cases);
}

}  // namespace
}  // namespace bezo
