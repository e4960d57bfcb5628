#include "schema/rex_budget.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

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

TEST(PatternBudget, AllowanceGrowsWithTheInputAboveItsFloor) {
    EXPECT_EQ(pattern_work_allowance(0), kMinPatternWork);
    EXPECT_EQ(pattern_work_allowance(kMinPatternWork / kPatternWorkPerInputByte), kMinPatternWork);
    EXPECT_EQ(pattern_work_allowance(kMinPatternWork), kMinPatternWork * kPatternWorkPerInputByte);
    EXPECT_EQ(pattern_work_allowance(std::numeric_limits<std::size_t>::max()),
              std::numeric_limits<std::uint64_t>::max());
}

}  // namespace
}  // namespace bezo
