#include "interchange/json_writer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "interchange/canonical_reader.hpp"
#include "interchange/json_text.hpp"

namespace bezo {
namespace {

bool needs_escape(unsigned char byte) { return byte < 0x20 || byte == '"' || byte == '\\'; }

// The string literal of a text, one byte at a time: a byte of `kShortEscaped`
// is a backslash and the letter at its place in `kShortLetters`.
std::string literal_of(std::string_view text) {
    constexpr std::string_view kShortEscaped = "\"\\\b\t\n\f\r";
    constexpr std::string_view kShortLetters = "\"\\btnfr";
    std::string out = "\"";
    for (const char c : text) {
        if (const std::size_t k = kShortEscaped.find(c); k != std::string_view::npos) {
            out += '\\';
            out += kShortLetters[k];
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c;
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

// Copies a text with copy_plain_json_text into a buffer with room to spare:
// the copy, or "escape" when the text needs one. No byte past the text's
// size may be written.
std::string plain_copy(std::string_view text) {
    std::string buffer(text.size() + 32, '#');
    const char* end = copy_plain_json_text(text, buffer.data());
    EXPECT_EQ(buffer.substr(text.size()), std::string(32, '#')) << text;
    if (end == nullptr) return "escape";
    EXPECT_EQ(end, buffer.data() + text.size());
    return buffer.substr(0, text.size());
}

TEST(CopyPlainJsonText, FindsTheByteAtEveryLengthAndPosition) {
    for (std::size_t size = 1; size <= 50; ++size) {
        for (std::size_t at = 0; at < size; ++at) {
            for (const unsigned char byte : kProbeBytes) {
                const std::string text = text_with(size, at, byte);
                EXPECT_EQ(plain_copy(text), needs_escape(byte) ? "escape" : text)
                    << size << " " << at << " " << int(byte);
            }
        }
    }
    EXPECT_EQ(plain_copy(""), "");
}

TEST(CopyPlainJsonText, ReadsNoByteOutsideTheText) {
    // Escapes just before and just after the text do not count.
    const std::string around = "\"" + std::string(40, 'a') + "\\";
    for (std::size_t size = 0; size <= 40; ++size) {
        EXPECT_EQ(plain_copy(std::string_view(around).substr(1, size)), std::string(size, 'a'));
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
