#include "interchange/json_writer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "interchange/canonical_reader.hpp"
#include "interchange/json_text.hpp"

namespace bezo {
namespace {

bool needs_escape(unsigned char byte) { return byte < 0x20 || byte == '"' || byte == '\\'; }

// The string literal of a text, one byte at a time.
std::string literal_of(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default:
                if (byte < 0x20) {
                    char escape[7];
                    std::snprintf(escape, sizeof escape, "\\u%04x", byte);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

// A text of `size` plain bytes with `byte` at `at`: the search reads short
// texts in overlapping words and long ones in blocks of sixteen, so every
// length and position around those sizes is tried.
std::string text_with(std::size_t size, std::size_t at, unsigned char byte) {
    std::string text(size, 'a');
    text[at] = static_cast<char>(byte);
    return text;
}

constexpr unsigned char kProbeBytes[] = {0x00, 0x01, 0x0A, 0x1F, 0x20, '"',  '\\', '!', '#',
                                         0x5B, 0x5D, 0x7F, 0x80, 0xA2, 0xDC, 0xE0, 0xFF};

TEST(HasJsonEscape, FindsTheByteAtEveryLengthAndPosition) {
    for (std::size_t size = 1; size <= 50; ++size) {
        for (std::size_t at = 0; at < size; ++at) {
            for (const unsigned char byte : kProbeBytes) {
                const std::string text = text_with(size, at, byte);
                EXPECT_EQ(has_json_escape(text), needs_escape(byte)) << size << " " << at << " " << int(byte);
            }
        }
    }
    EXPECT_FALSE(has_json_escape(""));
}

TEST(HasJsonEscape, ReadsNoByteOutsideTheText) {
    // Escapes just before and just after the text do not count.
    const std::string around = "\"" + std::string(40, 'a') + "\\";
    for (std::size_t size = 0; size <= 40; ++size) {
        EXPECT_FALSE(has_json_escape(std::string_view(around).substr(1, size))) << size;
    }
}

TEST(WriteJsonEscape, WritesEachEscapedByte) {
    for (unsigned byte = 0; byte < 0x80; ++byte) {
        if (!needs_escape(static_cast<unsigned char>(byte))) continue;
        char escape[kMaxJsonEscape];
        const char* start = escape;
        const char* end = write_json_escape(static_cast<unsigned char>(byte), escape);
        const std::string expected = literal_of(std::string(1, static_cast<char>(byte)));
        EXPECT_EQ(std::string(start, end), expected.substr(1, expected.size() - 2)) << byte;
    }
}

// The JSON of a canonical text, written into an output that has room for
// `reserved` bytes: the size of the text, as export_json sizes it, or none.
std::string written(std::string_view canonical, std::size_t reserved) {
    const auto tree = canonical_to_tree_borrowing(canonical);
    if (!tree) return "error: " + tree.error().other();
    std::string out;
    out.reserve(reserved);
    write_canonical_json(*tree, out);
    return out;
}

// The JSON of a canonical text, the same however much room it starts with.
std::string exported(std::string_view canonical) {
    const std::string sized = written(canonical, canonical.size());
    EXPECT_EQ(written(canonical, 0), sized) << canonical;
    return sized;
}

TEST(CanonicalJsonWriter, EscapesKeysAndValuesOfEveryKind) {
    for (std::size_t size : {1, 3, 4, 7, 8, 9, 16, 17, 33}) {
        for (std::size_t at : {std::size_t{0}, size / 2, size - 1}) {
            for (const unsigned char byte : kProbeBytes) {
                if (byte == 0x0A || byte == '"') continue;  // a line break ends the line, a quote the key
                const std::string text = text_with(size, at, byte);
                const std::string value = "{" + literal_of("k") + ":" + literal_of(text) + "}";
                const std::string key = "{" + literal_of(text) + ":1}";
                EXPECT_EQ(exported("!str'k=" + text + "\n"), value) << text;
                EXPECT_EQ(exported("!text'k=" + text + "\n"), value) << text;
                EXPECT_EQ(exported("!std/time/date'k=" + text + "\n"), value) << text;
                EXPECT_EQ(exported("!int'\"" + text + "\"=1\n"), key) << text;
            }
        }
    }
}

TEST(CanonicalJsonWriter, WritesLineBreaksOfTextsBetweenEscapedPieces) {
    const std::pair<std::string, std::string> cases[] = {
        {"|:|", R"("\n")"},
        {"|:||:|", R"("\n\n")"},
        {"|:|:|", R"("\n:|")"},
        {"\x01|:|\"", R"("\u0001\n\"")"},
        {"a\t|:|b\\|:|", R"("a\t\nb\\\n")"},
        {"||:|:", R"("|\n:")"},
        {"|:", R"("|:")"},
    };
    for (const auto& [text, literal] : cases) {
        EXPECT_EQ(exported("!text'k=" + text + "\n"), "{\"k\":" + literal + "}") << text;
        // A plain string keeps its "|:|" as written.
        EXPECT_EQ(exported("!str'k=" + text + "\n"), "{\"k\":" + literal_of(text) + "}") << text;
    }
}

TEST(CanonicalJsonWriter, OutgrowsItsEstimateWhenEscapesLengthenTheText) {
    // Each control character becomes six bytes, so these outputs run far
    // past the size of the canonical text the output was sized from.
    const std::string controls(5000, '\x01');
    const std::string quotes(3000, '"');
    const std::string expected_controls = literal_of(controls);
    const std::pair<std::string, std::string> cases[] = {
        {"!str'a=" + controls + "\n", "{\"a\":" + expected_controls + "}"},
        {"!text'a=" + controls + "|:|" + controls + "\n", "{\"a\":" + literal_of(controls + "\n" + controls) + "}"},
        {"!int'\"" + controls + "\"=1\n", "{" + expected_controls + ":1}"},
        {"!str'a=x" + quotes + "\n!str'b=" + controls + "\n",
         "{\"a\":" + literal_of("x" + quotes) + ",\"b\":" + expected_controls + "}"},
    };
    for (const auto& [canonical, json] : cases) EXPECT_EQ(exported(canonical), json);
}

TEST(CanonicalJsonWriter, AppendsToWhatTheOutputHolds) {
    std::string lines;
    std::string expected = "before{\"xs\":[";
    for (int i = 0; i < 300; ++i) {
        lines += "!str'@xs/" + std::to_string(i) + "/k=\x1f" + std::to_string(i) + "\n";
        expected += (i ? "," : "") + std::string("{\"k\":\"\\u001f") + std::to_string(i) + "\"}";
    }
    expected += "],\"e\":[[]]}";
    lines += "!std/enc/json'@e/0=" + std::string("W10") + "\n";
    const auto tree = canonical_to_tree_borrowing(lines);
    ASSERT_TRUE(tree.has_value());
    // No room reserved: the writer grows the output as it goes.
    std::string out = "before";
    write_canonical_json(*tree, out);
    EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace bezo
