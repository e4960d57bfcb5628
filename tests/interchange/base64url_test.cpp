#include "interchange/base64url.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

TEST(Base64url, EncodesWithUrlAlphabetAndNoPadding) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"ABC", "QUJD"}, {"\xFB", "-w"}, {"\xFF\xFF", "__8"}, {"\"$x\"", "IiR4Ig"}, {"[1]", "WzFd"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(base64url_encode(bytes), text);
        EXPECT_EQ(base64url_decode(text), bytes) << text;
    }
}

TEST(Base64url, DecodeIgnoresSpareBitsOfTheLastCharacter) {
    EXPECT_EQ(base64url_decode("QQ"), "A");
    EXPECT_EQ(base64url_decode("QR"), "A");
}

TEST(Base64url, DecodeRefusesBadLengthsAndForeignBytes) {
    for (std::string_view text : {"Q", "QUJDR", "QQ==", "QQ\n", "Q+8", "Q/8", "Q 8", "Q\xC3\xA9"}) {
        EXPECT_FALSE(base64url_decode(text)) << text;
    }
}

TEST(Base64url, RoundTripsEveryByteValue) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    for (std::size_t length = 0; length <= 7; ++length) {
        std::string slice = bytes.substr(250 - length);
        EXPECT_EQ(base64url_decode(base64url_encode(slice)), slice);
    }
    EXPECT_EQ(base64url_decode(base64url_encode(bytes)), bytes);
}

}  // namespace
}  // namespace bezo
