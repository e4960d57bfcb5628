#include "interchange/xml_writer.hpp"

#include <gtest/gtest.h>

#include <string>

#include "interchange/xml_export.hpp"

namespace bezo {
namespace {

TEST(XmlWriter, NamesFollowTheXmlNameProduction) {
    const std::pair<std::string_view, bool> cases[] = {
        {"a", true},
        {"_a-1.b:c", true},
        {":", true},
        {"caf\xC3\xA9", true},
        {"a\xC2\xB7"
         "b",
         true},
        {"\xE6\x97\xA5\xE6\x9C\xAC", true},
        {"a\xCC\x81", true},
        {"", false},
        {"1a", false},
        {"-a", false},
        {"\xC2\xB7"
         "a",
         false},
        {"a b", false},
        {"a\xC3\x97"
         "b",
         false},
        {"a\xC2\xA0"
         "b",
         false},
        {"a\xEF\xBF\xBE", false},
        {"a\xFF", false},
    };
    for (const auto& [name, valid] : cases) EXPECT_EQ(is_xml_name(name), valid) << name;
}

// The XML of a document whose element <a> holds `value`, as text or as its
// attribute b, or the message of the error.
std::string exported(const std::string& value, bool attribute) {
    const std::string path = attribute ? "/a/\"@b\"" : "/a";
    const auto written = export_xml(".!nezo\n!str'" + path + "=" + value + "\n");
    return written ? *written : written.error().other();
}

std::string element_of(const std::string& escaped, bool attribute) {
    const std::string body = attribute ? "<a b=\"" + escaped + "\"/>\n" : "<a>" + escaped + "</a>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body;
}

// Texts are escaped sixteen bytes at a time, so each row is tried at every
// place in a chunk and across the boundary of two: behind prefixes of 0 to
// 33 bytes. An escape gives its reference; a faulty row gives the message
// of its first fault in the order of the text, or the same message as the
// prefix grows.
TEST(XmlWriter, TextIsEscapedAndCheckedAtEveryPlaceInAChunk) {
    struct Row {
        std::string value;
        std::string text;       // escaped as character data, or the message
        std::string attribute;  // escaped as an attribute value, or the message
    };
    const std::string not_utf8 = "text is not valid UTF-8";
    const Row rows[] = {
        {"plain words", "plain words", "plain words"},
        {"a&b<c>d\"e", "a&amp;b&lt;c&gt;d\"e", "a&amp;b&lt;c&gt;d&quot;e"},
        {"t\tr\rs", "t\tr&#13;s", "t&#9;r&#13;s"},
        {"\x7F\xC2\x80\xC3\xA9 \xE6\x9D\xB1", "\x7F\xC2\x80\xC3\xA9 \xE6\x9D\xB1", "\x7F\xC2\x80\xC3\xA9 \xE6\x9D\xB1"},
        {"\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD", "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD",
         "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD"},
        {"\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF&", "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF&amp;",
         "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF&amp;"},
        {"\xEF\xBF\xBE", "character U+FFFE has no XML representation", "character U+FFFE has no XML representation"},
        {"x\xEF\xBF\xBF", "character U+FFFF has no XML representation", "character U+FFFF has no XML representation"},
        {"a\x01", "character U+0001 has no XML representation", "character U+0001 has no XML representation"},
        {"\x1F\xC3", "character U+001F has no XML representation", "character U+001F has no XML representation"},
        {"\xC3(\x01", not_utf8, not_utf8},
        {"\xC3", not_utf8, not_utf8},
        {"\xE6\x9D", not_utf8, not_utf8},
        {"\x80", not_utf8, not_utf8},
        {"\xC1\xBF", not_utf8, not_utf8},
        {"\xE0\x9F\xBF", not_utf8, not_utf8},
        {"\xED\xA0\x80", not_utf8, not_utf8},
        {"\xF0\x8F\xBF\xBF", not_utf8, not_utf8},
        {"\xF4\x90\x80\x80", not_utf8, not_utf8},
        {"\xF5\x80\x80\x80", not_utf8, not_utf8},
        {"\xE6\x9D\xB1\xB1", not_utf8, not_utf8},
    };
    for (const Row& row : rows) {
        for (std::size_t length = 0; length <= 33; ++length) {
            const std::string prefix(length, 'p');
            for (const bool attribute : {false, true}) {
                const std::string& escaped = attribute ? row.attribute : row.text;
                const bool refused = escaped == not_utf8 || escaped.ends_with("has no XML representation");
                const std::string expected = refused ? escaped : element_of(prefix + escaped, attribute);
                EXPECT_EQ(exported(prefix + row.value, attribute), expected)
                    << "row " << row.value << ", prefix " << length << (attribute ? ", attribute" : "");
            }
        }
    }
}

TEST(XmlWriter, LongTextKeepsEveryRunBetweenItsEscapes) {
    std::string value;
    std::string escaped;
    for (int i = 0; i < 2'000; ++i) {
        const std::string word = "w" + std::to_string(i) + " caf\xC3\xA9 \xE6\x9D\xB1\xF0\x9F\x98\x80 ";
        value += word + "& <" + std::string(static_cast<std::size_t>(i % 17), 'x') + ">";
        escaped += word + "&amp; &lt;" + std::string(static_cast<std::size_t>(i % 17), 'x') + "&gt;";
    }
    EXPECT_EQ(exported(value, false), element_of(escaped, false));
    EXPECT_EQ(exported(value, true), element_of(escaped, true));
}

}  // namespace
}  // namespace bezo
