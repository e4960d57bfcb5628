#include "interchange/integer_token.hpp"

#include <gtest/gtest.h>

#include <string>

#include "interchange/bytes_hex.hpp"

namespace bezo {
namespace {

TEST(IntegerToken, ShortestTwosComplement) {
    std::string hundred_digits;
    for (int i = 0; i < 10; ++i) hundred_digits += "1234567890";
    const std::pair<std::string, std::string> cases[] = {
        {"0", "00"},
        {"-0", "00"},
        {"000", "00"},
        {"127", "7f"},
        {"128", "0080"},
        {"256", "0100"},
        {"65535", "00ffff"},
        {"-1", "ff"},
        {"-128", "80"},
        {"-129", "ff7f"},
        {"-256", "ff00"},
        {"-32768", "8000"},
        {"-32769", "ff7fff"},
        {"007", "07"},
        {"18446744073709551616", "010000000000000000"},
        {hundred_digits, "0241fc1742fe8d29593a6afe52b31741cfe5a7f8e67e477381be47851641ef7bf14baccff196ce3f0ad2"},
        {"-" + hundred_digits, "fdbe03e8bd0172d6a6c59501ad4ce8be301a58071981b88c7e41b87ae9be10840eb453300e6931c0f52e"}};
    for (const auto& [text, expected] : cases) {
        const auto bytes = parse_integer_token(text);
        ASSERT_TRUE(bytes) << text;
        EXPECT_EQ(hex(*bytes), expected) << text;
    }
    EXPECT_EQ(hex(*decimal_to_magnitude_bytes("")), "");
    EXPECT_EQ(hex(*decimal_to_magnitude_bytes("9999999999999999999")), "8ac7230489e7ffff");
}

TEST(IntegerToken, LengthLimitCountsSignificantDigits) {
    const std::string longest(kMaxIntegerDigits, '9');
    const std::string zeros(2 * kMaxIntegerDigits, '0');
    const std::string too_long = "1" + std::string(kMaxIntegerDigits, '0');
    const Error refusal = Error::Other("integer too long: more than 100000 digits");
    struct Case {
        std::string text;
        bool accepted;
    };
    const Case cases[] = {{longest, true},   {"-" + longest, true},   {zeros + longest, true},  {zeros, true},
                          {too_long, false}, {"-" + too_long, false}, {zeros + too_long, false}};
    for (const auto& [text, accepted] : cases) {
        const auto bytes = parse_integer_token(text);
        EXPECT_EQ(bytes.has_value(), accepted) << text.size();
        if (!accepted) {
            EXPECT_EQ(bytes.error(), refusal);
        }
    }
    // 10^100000 - 1 has 332193 bits.
    EXPECT_EQ(decimal_to_magnitude_bytes(longest)->size(), 41525u);
    EXPECT_EQ(decimal_to_magnitude_bytes(too_long).error(), refusal);
}

TEST(IntegerToken, RefusesAnythingButSignAndDigits) {
    for (const std::string text : {"+1", "", "-", "1.0", "1e3", " 1", "1 ", "--1"}) {
        EXPECT_EQ(parse_integer_token(text).error(), Error::Other("not an integer token: " + text));
    }
}

}  // namespace
}  // namespace bezo
