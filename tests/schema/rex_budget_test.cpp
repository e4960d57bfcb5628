#include "schema/rex_budget.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/utf8.hpp"
#include "schema/rex_compile.hpp"
#include "schema/rex_match.hpp"

namespace bezo {
namespace {

std::string spent_message(std::uint64_t allowance, std::string_view shown) {
    return "pattern work too large: more than " + std::to_string(allowance) + " steps, spent at the pattern /" +
           std::string(shown) + "/";
}

struct BudgetCase {
    std::string name;
    std::string pattern;
    std::string subject;
    std::uint64_t allowance;
    bool compiles;
    bool matches;
    std::optional<std::string> error;  // the spent budget's message, shown pattern and all
};

class PatternBudgetTest : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(PatternBudgetTest, ChargesCompilationAndMatching) {
    const BudgetCase& c = GetParam();
    const PatternWorkBudget budget(c.allowance);
    const auto program = rex_compile(c.pattern);
    ASSERT_EQ(program.has_value(), c.compiles);
    if (program) {
        EXPECT_EQ(rex_is_match(*program, c.subject), c.matches);
    } else {
        EXPECT_EQ(program.error().kind, RexRefusalKind::WorkSpent);
    }
    const auto error = budget.spent_error();
    ASSERT_EQ(error.has_value(), c.error.has_value());
    if (error) {
        EXPECT_EQ(error_display(*error), *c.error);
    }
}

const std::string kLongSubject(5000, 'a');
const std::string kLongPattern = std::string(100, 'x') + "{1000}";

INSTANTIATE_TEST_SUITE_P(
    Work, PatternBudgetTest,
    ::testing::Values(
        // Within the budget nothing changes.
        BudgetCase{"within", "^a+b$", "aaab", 1000, true, true, std::nullopt},
        BudgetCase{"within_no_match", "b", "aaa", 1000, true, false, std::nullopt},
        // A small pattern that compiles to a thousand instructions.
        BudgetCase{"compile", "a{1000}", "", 500, false, false, spent_message(500, "a{1000}")},
        // Compiles within the budget; every start keeps up to a thousand
        // threads alive over the long subject.
        BudgetCase{"match", "(a{100}){10}b", kLongSubject, 100000, true, false, spent_message(100000, "(a{100}){10}b")},
        // The same match with room for it.
        BudgetCase{"match_within", "(a{100}){10}b", kLongSubject + "b", 1ull << 32, true, true, std::nullopt},
        // A refused emission did its work too.
        BudgetCase{"refused_emission", "(a{1024}){1024}", "", 1000, false, false,
                   spent_message(1000, "(a{1024}){1024}")},
        // The error shows the first 64 characters of the pattern.
        BudgetCase{"cut", kLongPattern, "", 50, false, false, spent_message(50, std::string(64, 'x') + "\u2026")}),
    [](const auto& info) { return info.param.name; });

TEST(PatternBudget, OnceSpentEveryPatternFailsAtOnce) {
    const auto before = rex_compile("a");
    ASSERT_TRUE(before.has_value());
    const PatternWorkBudget budget(10);
    EXPECT_FALSE(rex_compile("a{20}").has_value());
    const auto refused = rex_compile("a");
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().kind, RexRefusalKind::WorkSpent);
    EXPECT_EQ(rex_refusal_text(refused.error()), "pattern work budget spent");
    EXPECT_FALSE(rex_is_match(*before, "a"));
    // The error keeps naming the pattern that spent it.
    EXPECT_EQ(error_display(*budget.spent_error()), spent_message(10, "a{20}"));
}

TEST(PatternBudget, EndsWithItsScopeAndRestoresTheOuterOne) {
    const auto program = rex_compile("a{20}");
    ASSERT_TRUE(program.has_value());
    {
        const PatternWorkBudget outer(1000);
        {
            const PatternWorkBudget inner(10);
            EXPECT_FALSE(rex_is_match(*program, std::string(40, 'a')));
            EXPECT_TRUE(inner.spent_error().has_value());
        }
        EXPECT_TRUE(rex_is_match(*program, std::string(40, 'a')));
        EXPECT_FALSE(outer.spent_error().has_value());
    }
    // No budget open: no bound.
    EXPECT_TRUE(rex_is_match(*program, std::string(40, 'a')));
}

// A class test is charged the probes of its binary search: a class of many
// scattered ranges costs more per character than one of a single range,
// and a class written as thousands of repeated items costs what its one
// merged range does.
TEST(PatternBudget, ClassTestsChargeTheirProbes) {
    std::string scattered = "[";
    for (char32_t c = 0x4E00; c < 0x4E00 + 2048; c += 2) append_utf8(c, scattered);
    scattered += "]";
    std::string subject;
    for (int k = 0; k < 1000; ++k) append_utf8(0x4E01, subject);  // in no range
    const auto charged_for = [&](const std::string& pattern, const std::string& text) {
        const auto program = rex_compile(pattern);
        EXPECT_TRUE(program.has_value()) << pattern;
        const PatternWorkBudget budget(std::uint64_t{1} << 40);
        EXPECT_FALSE(rex_is_match(*program, text));
        return budget.charged();
    };
    const std::uint64_t one_range = charged_for("[\u4e00]", subject);
    const std::uint64_t many_ranges = charged_for(scattered, subject);
    // 1024 ranges: eleven probes a character where one range takes one.
    EXPECT_EQ(many_ranges - one_range, 1000u * 10);

    // Thousands of written items merge to one range: the hostile pattern
    // charges what the plain one does.
    const std::string ascii(2000, 'a');
    EXPECT_EQ(charged_for("[" + std::string(4000, 'b') + "a]{1000}x", ascii), charged_for("[ab]{1000}x", ascii));
}

TEST(PatternBudget, AllowanceGrowsWithTheInputAboveItsFloor) {
    EXPECT_EQ(pattern_work_allowance(0), kMinPatternWork);
    EXPECT_EQ(pattern_work_allowance(kMinPatternWork / kPatternWorkPerInputByte), kMinPatternWork);
    EXPECT_EQ(pattern_work_allowance(kMinPatternWork), kMinPatternWork * kPatternWorkPerInputByte);
    EXPECT_EQ(pattern_work_allowance(std::numeric_limits<std::size_t>::max()),
              std::numeric_limits<std::uint64_t>::max());
}

}  // namespace
}  // namespace bezo
