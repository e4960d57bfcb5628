#include "schema/collate_icu.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace bezo {
namespace {

struct SetCase {
    std::string tag;
    std::string value;
    std::vector<std::string> members;
    CollatedAnswer answer;
};

class CollatedSetTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(CollatedSetTest, ComparesUnderTheTagsOptions) {
    const SetCase& c = GetParam();
    EXPECT_EQ(collated_set_contains(c.tag, c.value, c.members), c.answer) << c.tag << " " << c.value;
}

const auto In = CollatedAnswer::In;
const auto Out = CollatedAnswer::Out;
const auto None = CollatedAnswer::NoCollator;

INSTANTIATE_TEST_SUITE_P(
    Options, CollatedSetTest,
    ::testing::Values(
        SetCase{"de", "Apfel", {"apfel"}, Out}, SetCase{"de", "apfel", {"birne", "apfel"}, In},
        SetCase{"de-u-ks-level1", "\xC3\x84PFEL", {"apfel"}, In},
        SetCase{"DE-U-KS-LEVEL1", "\xC3\x84PFEL", {"apfel"}, In}, SetCase{"de-u-ks-level2", "APFEL", {"apfel"}, In},
        SetCase{"de-u-ks-level2", "\xC3\x84pfel", {"apfel"}, Out},
        SetCase{"de-u-ks-level1-kc-true", "Apfel", {"apfel"}, Out},
        SetCase{"de-u-ks-level1-kc", "Apfel", {"apfel"}, Out},
        SetCase{"de-u-ks-level1-kc-false", "Apfel", {"apfel"}, In}, SetCase{"de-u-ks-identic", "apfel", {"apfel"}, In},
        // Alternate handling is set even where the locale tailors it.
        SetCase{"th", "a b", {"ab"}, Out}, SetCase{"th-u-ka-shifted", "a b", {"ab"}, In},
        SetCase{"en-u-ka-noignore", "a b", {"ab"}, Out}, SetCase{"de", "apfel", {}, Out},
        // A three-letter code of a known language.
        SetCase{"deu-u-ks-level1", "\xC3\x84PFEL", {"apfel"}, In},
        // Tags without a collator.
        SetCase{"qaa", "a", {"a"}, None}, SetCase{"root", "a", {"a"}, None}, SetCase{"de-", "a", {"a"}, None},
        SetCase{"de-u-ks-level4", "a", {"a"}, None}, SetCase{"de-u-ks-primary", "a", {"a"}, None},
        SetCase{"de-u-ks", "a", {"a"}, None}, SetCase{"de-u-ka-yes", "a", {"a"}, None},
        SetCase{"de-u-kc-yes", "a", {"a"}, None}, SetCase{"de-u-kf-upper", "a", {"a"}, None},
        SetCase{"de-u-ks-level1-ks-level2", "a", {"a"}, None}, SetCase{"de-u-attr-ks-level1", "a", {"a"}, None},
        SetCase{"de-a-bbb", "a", {"a"}, None}, SetCase{"de-x-priv", "a", {"a"}, None},
        SetCase{"x-whatever", "a", {"a"}, None}, SetCase{"de-u-ks-level1-level2", "a", {"a"}, None},
        // "und" skips the known-language test.
        SetCase{"und", "a", {"a"}, In}, SetCase{"und-u-ks-level1", "A", {"a"}, In}));

struct RangeCase {
    std::string tag;
    std::string value;
    std::optional<std::string> low;
    std::optional<std::string> high;
    CollatedAnswer answer;
};

class CollatedRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(CollatedRangeTest, BoundsAreInclusive) {
    const RangeCase& c = GetParam();
    EXPECT_EQ(collated_range_contains(c.tag, c.value, c.low, c.high), c.answer) << c.tag << " " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, CollatedRangeTest,
    ::testing::Values(RangeCase{"sv", "\xC3\xB6", "a", "z", Out}, RangeCase{"de", "\xC3\xB6", "a", "z", In},
                      RangeCase{"de", "a", "a", "z", In}, RangeCase{"de", "z", "a", "z", In},
                      RangeCase{"de", "zz", "a", "z", Out}, RangeCase{"de", "B", "a", "c", In},
                      RangeCase{"de", "anything", std::nullopt, std::nullopt, In},
                      RangeCase{"de", "m", std::nullopt, "k", Out}, RangeCase{"de", "m", "k", std::nullopt, In},
                      // The collation type travels with the locale: phonebook order reads "ä" as "ae".
                      RangeCase{"de-u-co-phonebk", "\xC3\xA4", "ad", "af", In},
                      RangeCase{"de", "\xC3\xA4", "ad", "af", Out},
                      RangeCase{"zzz", "a", std::nullopt, std::nullopt, None}));

TEST(CollatorCacheTest, HandsOutWorkingHandles) {
    const auto first = collator_for_locale("de-u-ks-level1");
    const auto second = collator_for_locale("de-u-ks-level1");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->compare("Apfel", "apfel"), std::weak_ordering::equivalent);
    EXPECT_EQ(second->compare("a", "b"), std::weak_ordering::less);
    EXPECT_FALSE(collator_for_locale("qaa").has_value());
    EXPECT_FALSE(collator_for_locale("qaa").has_value());
}

TEST(CollatorCacheTest, EachThreadBuildsItsOwn) {
    CollatedAnswer on_other_thread = CollatedAnswer::NoCollator;
    std::thread worker(
        [&] { on_other_thread = collated_set_contains("de-u-ks-level1", "APFEL", std::vector<std::string>{"apfel"}); });
    worker.join();
    EXPECT_EQ(on_other_thread, CollatedAnswer::In);
}

// Runs `body` on a thread of its own, whose collator cache starts empty.
template <class Body>
void on_fresh_thread(Body body) {
    std::thread worker(body);
    worker.join();
}

TEST(CollatorCacheTest, KeepsOnlyTheMostRecentlyUsedTags) {
    on_fresh_thread([] {
        ASSERT_TRUE(collator_for_locale("de-u-ks-level1").has_value());
        // Distinct well-formed tags that give no collator: each is cached.
        for (int i = 0; i < 200; ++i) {
            EXPECT_FALSE(collator_for_locale("en-a-" + std::to_string(1000 + i)).has_value());
            EXPECT_LE(cached_collator_count(), 64u);
            // Kept in use, the first tag is never the least recently used one.
            if (i % 10 == 0) {
                ASSERT_TRUE(collator_for_locale("de-u-ks-level1").has_value());
            }
        }
        EXPECT_EQ(cached_collator_count(), 64u);
        // An evicted tag is built again and answers as before.
        EXPECT_FALSE(collator_for_locale("en-a-1000").has_value());
        EXPECT_EQ(collated_set_contains("de-u-ks-level1", "APFEL", std::vector<std::string>{"apfel"}),
                  CollatedAnswer::In);
    });
}

TEST(CollatorCacheTest, OverlongTagsGiveNoCollatorAndAreNotKept) {
    on_fresh_thread([] {
        // Well-formed: a language and variants of eight characters.
        std::string tag = "de";
        while (tag.size() <= 256) tag += "-abcdefgh";
        for (const std::string& overlong : {tag, std::string(1 << 20, 'a')}) {
            EXPECT_FALSE(collator_for_locale(overlong).has_value());
            EXPECT_FALSE(validate_collation_locale(overlong).has_value());
            EXPECT_EQ(collated_range_contains(overlong, "a", std::nullopt, std::nullopt), CollatedAnswer::NoCollator);
        }
        EXPECT_EQ(cached_collator_count(), 0u);
    });
}

}  // namespace
}  // namespace bezo
