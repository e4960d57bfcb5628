#include "interchange/xml_reader.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

struct DecodeCase {
    std::string_view raw;
    bool attribute_mode;
    std::string_view expected;  // the decoded text, or the message
    bool fails = false;
};

TEST(XmlReader, DecodesReferencesAndLineEnds) {
    const DecodeCase cases[] = {
        {"a\tb\r\nc\rd\ne", false, "a\tb\nc\nd\ne"},
        {"a\tb\r\nc\rd\ne", true, "a b c d e"},
        {"&#13;&#9;&#10;", true, "\r\t\n"},
        {"&lt;&gt;&amp;&apos;&quot;", false, "<>&'\""},
        {"&#65;&#x41;&#X41;&#0065;&#xe9;&#x10FFFF;", false,
         "AAA"
         "A\xC3\xA9\xF4\x8F\xBF\xBF"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", false, "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"&#+65;", false, "invalid character reference: &#+65;", true},
        {"&#-65;", false, "invalid character reference: &#-65;", true},
        {"&#;", false, "invalid character reference: &#;", true},
        {"&#x;", false, "invalid character reference: &#x;", true},
        {"&#xG;", false, "invalid character reference: &#xG;", true},
        {"&#xD800;", false, "invalid character reference: &#xD800;", true},
        {"&#x110000;", false, "invalid character reference: &#x110000;", true},
        {"&#99999999999;", false, "invalid character reference: &#99999999999;", true},
        {"&#1;", false, "character reference &#1; is not a legal XML character", true},
        {"&#xFFFE;", false, "character reference &#xFFFE; is not a legal XML character", true},
        {"&nbsp;", true, "unsupported entity reference: &nbsp; (DTD entities are not supported)", true},
        {"&;", false, "unsupported entity reference: &; (DTD entities are not supported)", true},
        {"a & b", false, "unterminated entity reference", true},
        {std::string_view("\0", 1), false, "character U+0000 is not a legal XML character", true},
        {"\x1F", true, "character U+001F is not a legal XML character", true},
        {"\xEF\xBF\xBF", false, "character U+FFFF is not a legal XML character", true},
        // Past sixteen bytes, where whole runs are scanned at once.
        {"a long line of text,\tthen\na second one", false, "a long line of text,\tthen\na second one"},
        {"a long line of text,\tthen\na second one", true, "a long line of text, then a second one"},
        {"a long line of text,\r\nthen a second one", false, "a long line of text,\nthen a second one"},
        {"caf\xC3\xA9 and more text, then \xF0\x9F\x98\x80 \xEF\xBF\xBD", false,
         "caf\xC3\xA9 and more text, then \xF0\x9F\x98\x80 \xEF\xBF\xBD"},
        {"sixteen bytes and &amp; more", false, "sixteen bytes and & more"},
        {"sixteen bytes and then \xEF\xBF\xBE", false, "character U+FFFE is not a legal XML character", true},
        {"sixteen bytes and then \x7F\x1B", false, "character U+001B is not a legal XML character", true},
        {"sixteen bytes and then \xC3", false, "text is not valid UTF-8", true},
    };
    for (const auto& [raw, attribute_mode, expected, fails] : cases) {
        auto decoded = decode_xml_reference(raw, attribute_mode);
        if (fails) {
            ASSERT_FALSE(decoded) << raw;
            EXPECT_EQ(decoded.error().other(), expected);
        } else {
            ASSERT_TRUE(decoded) << raw;
            EXPECT_EQ(*decoded, expected);
        }
    }
}

TEST(XmlReader, ElementKeepsTextSourceAndMixedFlag) {
    const std::string_view text = "<a>x<!--c--><b k='1'>in</b><![CDATA[ &y ]]>&amp;</a> tail";
    XmlCursor cursor{text};
    auto element = parse_xml_element(cursor, 0);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->text, "x &y &");
    EXPECT_TRUE(element->mixed);
    EXPECT_EQ(element->source, text.substr(0, text.size() - 5));
    EXPECT_EQ(cursor.pos, text.size() - 5);
    EXPECT_EQ(element->child_count, 1u);

    XmlCursor spaced{"<a>\n <b/>\xC2\xA0</a>"};
    auto blank = parse_xml_element(spaced, 0);
    ASSERT_TRUE(blank);
    EXPECT_FALSE(blank->mixed);
}

TEST(XmlReader, AcceptsUtf8AndAsciiDeclarations) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xA9</a>", ""},
        {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a>x</a>", ""},
        {"<?xml version='1.0' encoding = 'ascii'?><a>x</a>", ""},
        {"<?xml version=\"1.0\" encoding=\"us-ascii\"?><a>\xC3\xA9</a>",
         "non-ASCII byte at byte 44 under an ASCII encoding declaration"},
        {"<?xml version=\"1.0\" encoding=\"ASCII\"?><a/><!-- \xC3\xA9 -->",
         "non-ASCII byte at byte 47 under an ASCII encoding declaration"},
        {"<?xml version=\"1.0\" encoding=\"ASCII-8\"?><a/>", "unsupported encoding: ASCII-8 (UTF-8 only)"},
        {"<?xml version=\"1.0\" encoding=\"latin1\"?><a/>", "unsupported encoding: latin1 (UTF-8 only)"},
    };
    for (const auto& [text, message] : cases) {
        const auto document = parse_xml_document(text);
        if (message.empty()) {
            EXPECT_TRUE(document) << text;
        } else {
            ASSERT_FALSE(document) << text;
            EXPECT_EQ(document.error().other(), message) << text;
        }
    }
}

}  // namespace
}  // namespace bezo
