#include "core/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

struct Utf8Case {
    std::string bytes;
    bool valid;
};

TEST(Utf8, WellFormedness) {
    const std::vector<Utf8Case> cases = {
        {"", true},
        {"plain ascii", true},
        {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80", true},  // two, three and four bytes
        {"\xF4\x8F\xBF\xBF", true},                      // U+10FFFF
        {"\xC0\xAF", false},                             // overlong "/"
        {"\xE0\x80\xAF", false},                         // overlong three-byte form
        {"\xED\xA0\x80", false},                         // surrogate U+D800
        {"\xF4\x90\x80\x80", false},                     // above U+10FFFF
        {"\xE2\x82", false},                             // truncated
        {"\x80", false},                                 // stray continuation byte
        {"\xFF", false},
    };
    for (const auto& [bytes, valid] : cases) {
        EXPECT_EQ(is_valid_utf8(bytes), valid) << testing::PrintToString(bytes);
        // The decoder agrees with the check on every case.
        bool decoded = true;
        for (std::size_t pos = 0; pos < bytes.size();) decoded = utf8_next(bytes, pos).has_value() && decoded;
        EXPECT_EQ(decoded, valid) << testing::PrintToString(bytes);
    }
}

TEST(Utf8, DecoderResynchronisesAfterOneBadByte) {
    const std::string text = "a\xE2\x82z\xF0\x9F\x98\x80";
    std::vector<long> seen;
    for (std::size_t pos = 0; pos < text.size();) {
        auto code = utf8_next(text, pos);
        seen.push_back(code ? static_cast<long>(*code) : -1);
    }
    EXPECT_EQ(seen, (std::vector<long>{'a', -1, -1, 'z', 0x1F600}));
}

// U+3000 and U+00A0 are white space, U+200B and malformed bytes are not.
TEST(Utf8, TrimUnicodeWhiteSpaceAtBothEnds) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\xE3\x80\x80\t a b\xC2\xA0\n", "a b"},
        {"\xE2\x80\x8Bx\xE2\x80\x8B", "\xE2\x80\x8Bx\xE2\x80\x8B"},
        {" \x80x\xE3\x80 ", "\x80x\xE3\x80"},
        {"\r\n\xE3\x80\x80", ""},
    };
    for (const auto& [text, trimmed] : cases) {
        EXPECT_EQ(trim_unicode_white_space(text), trimmed) << testing::PrintToString(text);
        EXPECT_EQ(has_non_white_space(text), !trimmed.empty()) << testing::PrintToString(text);
    }
}

}  // namespace
}  // namespace bezo
