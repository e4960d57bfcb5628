#include "core/text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <limits>

namespace bezo {
namespace {

TEST(TextHelpers, ParseAsciiUnsigned) {
    EXPECT_EQ(parse_ascii_unsigned("0"), 0u);
    EXPECT_EQ(parse_ascii_unsigned("007"), 7u);
    EXPECT_EQ(parse_ascii_unsigned("18446744073709551615"), std::numeric_limits<std::uint64_t>::max());
    for (auto refused : {"", "+1", "-1", " 1", "1 ", "1a", "18446744073709551616"}) {
        EXPECT_EQ(parse_ascii_unsigned(refused), std::nullopt) << refused;
    }
}

TEST(TextHelpers, TrimBlanksAndTabsOnly) {
    EXPECT_EQ(trim_blanks(" \ta b\t "), "a b");
    EXPECT_EQ(trim_leading_blanks(" \ta "), "a ");
    EXPECT_EQ(trim_trailing_blanks(" a\t"), " a");
    EXPECT_EQ(trim_blanks("\na\r"), "\na\r");
    EXPECT_EQ(trim_blanks(" \t "), "");
}

TEST(TextHelpers, ClassifiersAndDecimalText) {
    for (auto ident : {"a", "_", "a_1", "Zz9"}) EXPECT_TRUE(is_plain_identifier(ident)) << ident;
    for (auto other : {"", "1a", "a-b", "a b", "é"}) EXPECT_FALSE(is_plain_identifier(other)) << other;
    EXPECT_EQ(hex_digit_value('7'), 7);
    EXPECT_EQ(hex_digit_value('f'), 15);
    EXPECT_EQ(hex_digit_value('F'), 15);
    EXPECT_EQ(hex_digit_value('g'), -1);
    EXPECT_EQ(hex_digit_value('\xC3'), -1);
    EXPECT_EQ(decimal_text(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
    EXPECT_EQ(decimal_text(-42), "-42");
}

// Texts of every length up to a few words, with a byte of interest at every
// position, next to bytes with the high bit set (where word tricks slip).
TEST(TextHelpers, WordAtATimeScansAgreeWithByteLoops) {
    for (std::size_t size = 0; size <= 20; ++size) {
        for (std::size_t at = 0; at <= size; ++at) {
            std::string text(size, '\xC3');
            for (std::size_t i = 1; i < size; i += 3) text[i] = 'a';
            if (at < size) text[at] = '$';
            const std::size_t found = find_first_of_bytes<'$', '\0'>(text);
            EXPECT_EQ(found, at) << size;
            EXPECT_EQ(count_byte(text, '$'), at < size ? 1u : 0u);
            EXPECT_EQ(count_byte(text, '\xC3'), static_cast<std::size_t>(std::ranges::count(text, '\xC3')));
            std::string other = text;
            if (at < size) other[at] = '\x01';
            EXPECT_EQ(common_prefix_length(text, other), at);
            EXPECT_EQ(common_prefix_length(text, text.substr(0, at)), at);
        }
    }
}

// A scan stops at the first byte it looks for even where the word tests
// also mark bytes after it: a byte found, followed by the bytes one above it
// (a borrow runs on through them), and a second byte found further on.
TEST(TextHelpers, WordScansStopAtTheFirstMarkedByte) {
    struct Case {
        char found;
        char filler;
    };
    const Case cases[] = {{'\0', '\x01'}, {'$', '%'}, {'\x1F', ' '}, {'\x01', '\x02'}, {'\n', '\x0B'}};
    const auto below_space = [](std::uint64_t word) { return word_has_byte_below(word, 0x20); };
    const auto is_below_space = [](char c) { return static_cast<unsigned char>(c) < 0x20; };
    for (const auto& [found, filler] : cases) {
        for (std::size_t first = 0; first < 17; ++first) {
            for (std::size_t second = first; second < 18; ++second) {
                std::string text(18, filler);
                text[first] = found;
                text[second] = found;
                const bool wanted = found == '\0' || found == '$';
                const std::size_t dollar_or_nul = find_first_of_bytes<'$', '\0'>(text);
                EXPECT_EQ(dollar_or_nul, wanted ? first : text.size()) << first << second;
                for (std::size_t from : {std::size_t{0}, first + 1}) {
                    const auto rest = std::ranges::find_if(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                                                           is_below_space);
                    EXPECT_EQ(scan_to(text, from, below_space, is_below_space),
                              static_cast<std::size_t>(rest - text.begin()))
                        << first << second;
                }
            }
        }
    }
}

// A scan that starts inside the last sixteen bytes of a text passes over a
// byte sought before its start and stops at the next one, wherever the two
// stand.
TEST(TextHelpers, ScansFromInsideTheLastSixteenBytes) {
    for (std::size_t size = 16; size <= 40; ++size) {
        for (std::size_t before = size - 16; before < size; ++before) {
            for (std::size_t after = before + 1; after <= size; ++after) {
                std::string text(size, '#');
                text[before] = '"';
                if (after < size) text[after] = '\x1F';
                for (std::size_t from = before + 1; from <= after; ++from) {
                    EXPECT_EQ((find_byte_below_or_of<0x20, '"', '$'>(text, from)), after)
                        << size << ' ' << before << ' ' << after << ' ' << from;
                }
            }
        }
    }
}

// The same scan for a byte below a bound or of a set, at every position of
// texts long enough for the sixteen-byte path and its tail, among fillers
// just above the bound, at the top of the byte range (not below it, unsigned)
// and next to each byte of the set.
TEST(TextHelpers, ScansForBytesBelowABoundOrOfASet) {
    const auto wanted = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '$'; };
    for (char filler : {' ', '\x7F', '\x80', '\xFF', '#', '%', '!'}) {
        for (char found : {'\0', '\x1F', '"', '$'}) {
            for (std::size_t size = 0; size <= 40; ++size) {
                for (std::size_t at = 0; at <= size; ++at) {
                    std::string text(size, filler);
                    if (at < size) text[at] = found;
                    const auto first = static_cast<std::size_t>(std::ranges::find_if(text, wanted) - text.begin());
                    EXPECT_EQ((find_byte_below_or_of<0x20, '"', '$'>(text)), first) << size << ' ' << at;
                    const auto from = std::min(at + 1, size);
                    EXPECT_EQ((find_byte_below_or_of<0x20, '"', '$'>(text, from)), size) << size << ' ' << at;
                }
            }
        }
    }
}

TEST(TextHelpers, CopiesAndAppendsPiecesOfEverySize) {
    // Every length up to past the long-text threshold, so each way of
    // copying (byte loop, two overlapping 4- or 8-byte moves, memcpy) meets
    // its smallest and largest piece; the bytes around the copy stay as
    // they were.
    std::string source;
    for (int i = 0; i < 40; ++i) source += static_cast<char>('A' + i);
    for (std::size_t size = 0; size <= source.size(); ++size) {
        const std::string_view piece(source.data(), size);
        std::string buffer(size + 2, '#');
        char* end = copy_text(piece, buffer.data() + 1);
        EXPECT_EQ(end, buffer.data() + 1 + size) << size;
        EXPECT_EQ(buffer, "#" + std::string(piece) + "#") << size;

        std::string out = "head";
        append_pieces(out, piece, "=", piece);
        EXPECT_EQ(out, "head" + std::string(piece) + "=" + std::string(piece)) << size;
    }
}

// find_byte_pair agrees with a search for the two-byte text: texts long
// enough for the sixteen-byte path and its tail, something planted at every
// place (across block boundaries too), the first byte alone, the pair
// reversed, and searches from every place.
TEST(TextHelpers, FindsABytePairAsASearchForItsTextDoes) {
    const auto search = [](std::string_view text, std::size_t from) {
        return std::min(text.find(".!", from), text.size());
    };
    for (char filler : {'y', '.', '!'}) {
        for (std::string_view planted : {".!", "!", ".x", "!.", "..!"}) {
            for (std::size_t size = 0; size <= 40; ++size) {
                for (std::size_t at = 0; at + planted.size() <= size; ++at) {
                    std::string text(size, filler);
                    text.replace(at, planted.size(), planted);
                    for (std::size_t from = 0; from <= size; ++from) {
                        EXPECT_EQ(find_byte_pair(text, from, '.', '!'), search(text, from)) << text << ' ' << from;
                    }
                }
            }
        }
    }
}

struct LineStartCase {
    std::string_view text;
    std::size_t pos;
    bool expected;
};

TEST(TextHelpers, TellsAPlaceThatOnlyBlanksSeparateFromItsLineStart) {
    const std::vector<LineStartCase> cases = {
        {".!a", 0, true},    {" \t.!a", 2, true},  {"x\n.!a", 2, true},  {"x\n \t .!a", 5, true},
        {"x .!a", 2, false}, {"x\r.!a", 2, false}, {"\n\n.!a", 2, true}, {"a\n b .!a", 5, false},
    };
    for (const auto& c : cases) EXPECT_EQ(starts_line_after_blanks(c.text, c.pos), c.expected) << c.text;
}

}  // namespace
}  // namespace bezo
