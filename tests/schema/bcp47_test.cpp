#include "schema/bcp47.hpp"

#include <gtest/gtest.h>

#include <string>

namespace bezo {
namespace {

struct TagCase {
    std::string tag;
    bool valid;
};

class LanguageTagTest : public ::testing::TestWithParam<TagCase> {};

TEST_P(LanguageTagTest, ChecksWellFormedness) {
    EXPECT_EQ(is_valid_language_tag(GetParam().tag), GetParam().valid) << "tag: " << GetParam().tag;
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, LanguageTagTest,
    ::testing::Values(TagCase{"de", true}, TagCase{"de-DE", true}, TagCase{"zh-Hant-TW", true},
                      TagCase{"sl-rozaj-biske", true}, TagCase{"en-a-bbb-x-a-ccc", true}, TagCase{"x-whatever", true},
                      TagCase{"EN-us", true}, TagCase{"zh-yue-HK", true}, TagCase{"zh-abc-def-ghi", true},
                      TagCase{"de-1996", true}, TagCase{"es-419", true}, TagCase{"de-u-ks-level1", true},
                      TagCase{"und", true}, TagCase{"root", true}, TagCase{"abcdefgh", true},
                      TagCase{"en-a-bb-b-cc", true}, TagCase{"de-", false}, TagCase{"-de", false}, TagCase{"", false},
                      TagCase{"a", false}, TagCase{"en-a-bbb-a-ccc", false}, TagCase{"en-a-bbb-A-ccc", false},
                      TagCase{"en-x", false}, TagCase{"abcdefghi", false}, TagCase{"en-abcdefghi", false},
                      TagCase{"en--US", false}, TagCase{"zh-abc-def-ghi-jkl", false}, TagCase{"abcd-abc", false},
                      TagCase{"de-DE-DE", false}, TagCase{"de-DE-abcd", false}, TagCase{"en-a", false},
                      TagCase{"en-a-b", false}, TagCase{"12", false}, TagCase{"i-klingon", false},
                      TagCase{"de_DE", false}, TagCase{"de-\xC3\xA9t", false}));

TEST(LanguageTagTest, SplitsTheParts) {
    const auto tag = parse_language_tag("zh-yue-Hant-HK-1901-u-co-stroke-x-priv");
    ASSERT_TRUE(tag.has_value());
    EXPECT_EQ(tag->language, "zh");
    ASSERT_EQ(tag->extlangs.size(), 1u);
    EXPECT_EQ(tag->extlangs[0], "yue");
    EXPECT_EQ(tag->script, "Hant");
    EXPECT_EQ(tag->region, "HK");
    ASSERT_EQ(tag->variants.size(), 1u);
    EXPECT_EQ(tag->variants[0], "1901");
    ASSERT_EQ(tag->extensions.size(), 1u);
    EXPECT_EQ(tag->extensions[0].singleton, 'u');
    EXPECT_EQ(tag->extensions[0].subtags, (std::vector<std::string_view>{"co", "stroke"}));
    EXPECT_EQ(tag->private_use, (std::vector<std::string_view>{"priv"}));
}

TEST(KnownLanguageTest, AsksTheLikelySubtagsData) {
    for (const char* known : {"de", "sv", "th", "DE", "haw", "deu", "aar"})
        EXPECT_TRUE(is_known_language(known)) << known;
    for (const char* unknown : {"und", "root", "qaa", "zzz", "", "d1"})
        EXPECT_FALSE(is_known_language(unknown)) << unknown;
}

}  // namespace
}  // namespace bezo
