#include "schema_import/number_spelling.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "schema/rex_compile.hpp"
#include "schema/rex_match.hpp"

namespace bezo {
namespace {

constexpr NumberGrammar kInteger{.fraction = false, .exponent = false};
constexpr NumberGrammar kDecimal{.fraction = true, .exponent = false};
constexpr NumberGrammar kFloat{};

struct SpellingCase {
    std::vector<std::string_view> members;
    NumberGrammar grammar;
    std::vector<std::string_view> taken;
    std::vector<std::string_view> refused;
};

TEST(NumberSpelling, EnumerationsTakeEverySpellingOfTheirValuesAndNothingElse) {
    const SpellingCase cases[] = {
        {{"5", "7"}, kInteger, {"5", "+5", "05", "+007", "7"}, {"6", "5.0", "5e0", "-5", "57", "", "+", "50"}},
        {{"-37", "-36"}, kDecimal, {"-36", "-36.0", "-036.", "-37.000"}, {"36", "-36.5", "-3.6e1", "-360"}},
        {{"0"}, kInteger, {"0", "-0", "+000"}, {"1", "0.0", "-"}},
        {{"0"}, kDecimal, {"0", "-0.0", ".0", "0.", "+00.00"}, {".", "0.01", "1"}},
        {{"1.5", "2"},
         kFloat,
         {"1.5", "1.50", "15e-1", "0.15E+1", "2.0", "2e0", "20E-1", ".2e1", "2.00e+00"},
         {"1.05", "1.25", "15", "2e1", "0.2", "2.5"}},
        {{"1", "2"}, kFloat, {"1", "1.0", "1e0", "10e-1", "100E-2", "0.1e1", "1.0e-0"}, {"1e1", "3", "12", "11e-1"}},
        {{"12345"}, kFloat, {"12345", "1.2345e4", "12.345e3", "123450e-1", "0.12345e5"}, {"1.2345e3", "12346"}},
        {{"-0.25"}, kFloat, {"-0.25", "-.25", "-2.5e-1", "-25e-2", "-0.025e1"}, {"0.25", "-0.025", "-2.5"}},
        {{"1e300"}, kFloat, {"1e300", "1E+300", "10e299", "0.1e301"}, {"1e30", "1e299"}},
        // Spellings past the dialect's repetition limit are left out, and
        // nothing else stands in for them.
        {{"1e5000", "2"}, kFloat, {"1e5000", "10e4999", "2"}, {"0", "e5000", "0e5000", "+0", "1"}},
        {{"-1e-5000"}, kFloat, {"-1e-5000", "-0.1e-4999"}, {"-0", "-e-5000", "-0e-5000"}},
        // A member that is no number is matched as written.
        {{"1.5", "INF", "NaN"}, kFloat, {"INF", "NaN", "1.5e0"}, {"inf", "-INF", "NAN"}},
        // Members that are one value take its spellings once.
        {{"1", "1.0", "01"}, kFloat, {"1", "1.00"}, {"2"}},
    };
    for (const auto& [members, grammar, taken, refused] : cases) {
        const auto pattern = numeric_enumeration_pattern(members, grammar);
        ASSERT_TRUE(pattern) << members.front();
        const auto program = rex_compile(*pattern);
        ASSERT_TRUE(program) << *pattern;
        for (const auto text : taken) EXPECT_TRUE(rex_is_match(*program, text)) << text << " against " << *pattern;
        for (const auto text : refused) EXPECT_FALSE(rex_is_match(*program, text)) << text << " against " << *pattern;
    }
}

TEST(NumberSpelling, LargeEnumerationsNarrowTheirExponentsOrGiveNoPattern) {
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) texts.push_back(std::to_string(i * 7 + 1000));
    const std::vector<std::string_view> members(texts.begin(), texts.end());
    const auto pattern = numeric_enumeration_pattern(members, kFloat);
    ASSERT_TRUE(pattern);
    EXPECT_LE(pattern->size(), 4096U);
    const auto program = rex_compile(*pattern);
    ASSERT_TRUE(program);
    EXPECT_TRUE(rex_is_match(*program, "1007.00"));
    EXPECT_FALSE(rex_is_match(*program, "1008"));

    for (int i = 300; i < 3000; ++i) texts.push_back(std::to_string(i * 7 + 1000));
    const std::vector<std::string_view> too_many(texts.begin(), texts.end());
    EXPECT_FALSE(numeric_enumeration_pattern(too_many, kInteger));
    // A member of many digits is refused before it costs its length for
    // each place its point can take.
    const std::string digits(100000, '7');
    const std::vector<std::string_view> long_member{digits};
    EXPECT_FALSE(numeric_enumeration_pattern(long_member, kFloat));
    // A member with a control character or a blank cannot stand in a pattern.
    const std::vector<std::string_view> blank{"1", "a b"};
    EXPECT_FALSE(numeric_enumeration_pattern(blank, kInteger));
}

TEST(NumberSpelling, TheCacheKeepsEachEnumerationApartByMembersAndGrammar) {
    NumericPatternCache cache;
    const std::vector<std::string_view> five{"5"};
    const std::vector<std::string_view> five_seven{"5", "7"};
    const std::vector<std::string_view> fifty_seven{"57"};
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(cache.pattern(five, kInteger), numeric_enumeration_pattern(five, kInteger));
        EXPECT_EQ(cache.pattern(five, kFloat), numeric_enumeration_pattern(five, kFloat));
        EXPECT_EQ(cache.pattern(five_seven, kDecimal), numeric_enumeration_pattern(five_seven, kDecimal));
        EXPECT_EQ(cache.pattern(fifty_seven, kDecimal), numeric_enumeration_pattern(fifty_seven, kDecimal));
    }
    EXPECT_NE(cache.pattern(five, kInteger), cache.pattern(five, kFloat));
}

TEST(NumberSpelling, PlusSignedIntegersAreHeldToBoundsBeyondDoubles) {
    struct BoundCase {
        std::string_view low;
        std::string_view high;
        std::vector<std::string_view> taken;
        std::vector<std::string_view> refused;
    };
    const BoundCase cases[] = {
        {"-9223372036854775808",
         "9223372036854775807",
         {"+9223372036854775807", "+09223372036854775799", "+999999999999999999", "+0", "9223372036854775808", "-5"},
         {"+9223372036854775808", "+9223372036854775810", "+10000000000000000000", "+9323372036854775807"}},
        {"0",
         "18446744073709551615",
         {"+18446744073709551615", "+1"},
         {"+18446744073709551616", "+20000000000000000000"}},
        {"9007199254740993",
         "",
         {"+9007199254740993", "+9007199254741000", "+19007199254740993", "+0009007199254740994"},
         {"+9007199254740992", "+8999999999999999", "+99", "+0"}},
    };
    for (const auto& [low, high, taken, refused] : cases) {
        const std::string patterns = plus_sign_bound_patterns(low, high);
        ASSERT_FALSE(patterns.empty()) << low << ',' << high;
        // Each pattern stands between slashes of its own.
        std::vector<RexProgram> programs;
        for (std::size_t start = 0; start < patterns.size();) {
            const std::size_t end = patterns.find(")/", start) + 1;
            const auto program = rex_compile(std::string_view(patterns).substr(start + 1, end - start - 1));
            ASSERT_TRUE(program) << patterns;
            programs.push_back(*program);
            start = end + 1;
        }
        const auto all_match = [&](std::string_view text) {
            return std::ranges::all_of(programs,
                                       [&](const RexProgram& program) { return rex_is_match(program, text); });
        };
        for (const auto text : taken) EXPECT_TRUE(all_match(text)) << text;
        for (const auto text : refused) EXPECT_FALSE(all_match(text)) << text;
    }
    // Bounds a double holds exactly, and negative ones, need no pattern.
    EXPECT_EQ(plus_sign_bound_patterns("-9223372036854775808", "2147483647"), "");
    EXPECT_EQ(plus_sign_bound_patterns("1", ""), "");
}

TEST(NumberSpelling, WholeNumbersAreTheValuesWithoutAFraction) {
    const std::pair<std::string_view, bool> cases[] = {
        {"5", true},      {"-0.0", true}, {"1.5e1", true}, {"100e-2", true}, {"0e-7", true},      {"1.5", false},
        {"15e-1", false}, {"1e", false},  {"a", false},    {"", false},      {"1e0000005", true}, {"1e999999", true},
    };
    for (const auto& [text, whole] : cases) EXPECT_EQ(is_whole_number(text), whole) << text;
}

}  // namespace
}  // namespace bezo
