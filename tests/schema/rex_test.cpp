#include "schema/rex_compile.hpp"
#include "schema/rex_match.hpp"
#include "schema/rex_budget.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bezo {
namespace {

struct CompileCase {
    std::string pattern;
    bool compiles;
};

class RexCompileTest : public ::testing::TestWithParam<CompileCase> {};

TEST_P(RexCompileTest, AcceptsExactlyTheDialect) {
    const CompileCase& c = GetParam();
    EXPECT_EQ(rex_compile(c.pattern).has_value(), c.compiles) << "pattern: " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(Syntax, RexCompileTest,
                         ::testing::Values(
                             // Classes.
                             CompileCase{"[]a]", true}, CompileCase{"[]", false}, CompileCase{"[^]", false},
                             CompileCase{"[a-]", true}, CompileCase{"[abc", false}, CompileCase{"[a-\\x7A]", true},
                             CompileCase{"[a-\\d]", false}, CompileCase{"[\\w]", false}, CompileCase{"[a-\\]]", true},
                             // Escapes.
                             CompileCase{"\\x41", true}, CompileCase{"\\x4a\\x4A", true}, CompileCase{"\\x80", false},
                             CompileCase{"\\xG1", false}, CompileCase{"\\x4", false}, CompileCase{"\\w", false},
                             CompileCase{"\\n", false}, CompileCase{"\\1", false}, CompileCase{"\\", false},
                             CompileCase{"\\.\\\\\\/\\-\\ ", true}, CompileCase{"\\\xC3\xA9", true},
                             // Quantifiers.
                             CompileCase{"a{1024}", true}, CompileCase{"a{1025}", false},
                             CompileCase{"a{1025,}", false}, CompileCase{"a{1024,}", true}, CompileCase{"a{+2}", true},
                             CompileCase{"a{0,0}", true}, CompileCase{"a{2,+3}", true}, CompileCase{"a**", false},
                             CompileCase{"a*?", false}, CompileCase{"+a", false}, CompileCase{"{,3}", false},
                             CompileCase{"a{,3}", false}, CompileCase{"a{3,2}", false}, CompileCase{"a{2", false},
                             CompileCase{"a{}", false}, CompileCase{"a{1,2,3}", false}, CompileCase{"a{2}{3}", false},
                             CompileCase{"a{4294967296}", false}, CompileCase{"a{-1}", false},
                             // Groups, alternation and literals.
                             CompileCase{"(a", false}, CompileCase{"a)", false}, CompileCase{"()", true},
                             CompileCase{"(|)", true}, CompileCase{"(?:a)", false}, CompileCase{"a|", true},
                             CompileCase{"]}-,", true}, CompileCase{"", true},
                             // Malformed UTF-8 in the pattern.
                             CompileCase{"a\xFF", false}, CompileCase{"\xC3", false}));

struct MatchCase {
    std::string pattern;
    std::string text;
    bool matches;
};

class RexMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(RexMatchTest, SearchesTheText) {
    const MatchCase& c = GetParam();
    const auto program = rex_compile(c.pattern);
    ASSERT_TRUE(program.has_value()) << "pattern: " << c.pattern;
    EXPECT_EQ(rex_is_match(*program, c.text), c.matches) << "pattern: " << c.pattern << " text: " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Semantics, RexMatchTest,
    ::testing::Values(
        // Search, anchors, the empty pattern.
        MatchCase{"b", "abc", true}, MatchCase{"^b", "abc", false}, MatchCase{"c$", "abc", true},
        MatchCase{"b$", "abc", false}, MatchCase{"^abc$", "abc", true}, MatchCase{"^abc$", "xabcx", false},
        MatchCase{"abc", "xabcx", true}, MatchCase{"^$", "", true}, MatchCase{"^$", "a", false},
        MatchCase{"", "", true}, MatchCase{"", "anything", true}, MatchCase{"a^b", "ab", false},
        MatchCase{"a|b|", "zzz", true}, MatchCase{"x", "", false},
        // Any character, code points.
        MatchCase{".", "\n", true}, MatchCase{"^.$", "\xC3\xA9", true}, MatchCase{"^..$", "\xC3\xA9", false},
        MatchCase{"^.$", "\xF0\x9F\x98\x80", true}, MatchCase{"^\xC3\xA9$", "\xC3\xA9", true},
        MatchCase{"^.$", "\xFF", true},
        MatchCase{"^a.c$",
                  "a\xFF"
                  "c",
                  true},
        // Classes.
        MatchCase{"[]]", "]", true}, MatchCase{"^[^]a]$", "b", true}, MatchCase{"[^]a]", "a", false},
        MatchCase{"[^]a]", "]", false}, MatchCase{"[a-]", "-", true}, MatchCase{"[z-a]", "m", false},
        MatchCase{"[z-a]", "z", false}, MatchCase{"^[a-c]+$", "abcab", true}, MatchCase{"^[a-c]+$", "abd", false},
        MatchCase{"[\\d-z]", "-", true}, MatchCase{"[\\d-z]", "7", true}, MatchCase{"[\\d-z]", "z", true},
        MatchCase{"[\\d-z]", "A", false}, MatchCase{"[\\d-z]", "_", false},
        MatchCase{"[\xC3\xA0-\xC3\xBF]", "\xC3\xA9", true}, MatchCase{"^[^a]$", "\xC3\xA9", true},
        MatchCase{"[\\x41-\\x43]", "B", true}, MatchCase{"\\d", "\xD9\xA3", false}, MatchCase{"\\d", "x7", true},
        // Escapes.
        MatchCase{"\\x41", "A", true}, MatchCase{"\\x41", "a", false}, MatchCase{"\\.", "a", false},
        MatchCase{"\\.", ".", true}, MatchCase{"a\\/b", "a/b", true},
        // Quantifiers.
        MatchCase{"^a{3}$", "aaa", true}, MatchCase{"^a{3}$", "aaaa", false}, MatchCase{"^a{2,}$", "a", false},
        MatchCase{"^a{2,}$", "aaaaa", true}, MatchCase{"^a{2,4}$", "aaaa", true}, MatchCase{"^a{2,4}$", "aaaaa", false},
        MatchCase{"^a{0,0}$", "", true}, MatchCase{"^a{0,0}$", "a", false}, MatchCase{"^ab?c$", "ac", true},
        MatchCase{"^ab+c$", "ac", false}, MatchCase{"^(ab|cd)*$", "abcdab", true},
        MatchCase{"^(ab|cd)*$", "abc", false}, MatchCase{"^()*$", "", true}, MatchCase{"^(a*)*$", "aaa", true},
        MatchCase{"^(a|)+b$", "aab", true}, MatchCase{"^(a{2}){2}$", "aaaa", true},
        MatchCase{"^(a{2}){2}$", "aaa", false}, MatchCase{"^(x|y{2,3})+$", "xyyyxyy", true},
        MatchCase{"^(x|y{2,3})+$", "xyx", false}));

TEST(RexLimitsTest, PatternLengthIsCountedInBytes) {
    EXPECT_TRUE(rex_compile(std::string(4096, 'a')).has_value());
    EXPECT_FALSE(rex_compile(std::string(4097, 'a')).has_value());
    std::string two_byte;
    for (int k = 0; k < 2048; ++k) two_byte += "\xC3\xA9";
    EXPECT_TRUE(rex_compile(two_byte).has_value());
    EXPECT_FALSE(rex_compile(two_byte + "a").has_value());
}

TEST(RexLimitsTest, GroupsNestAtMost128Deep) {
    auto nested = [](int depth) { return std::string(depth, '(') + "a" + std::string(depth, ')'); };
    const auto deepest = rex_compile(nested(128));
    ASSERT_TRUE(deepest.has_value());
    EXPECT_TRUE(rex_is_match(*deepest, "a"));
    EXPECT_FALSE(rex_compile(nested(129)).has_value());
}

TEST(RexLimitsTest, ProgramSizeBoundsNestedRepeats) {
    EXPECT_FALSE(rex_compile("(a{1024}){1024}").has_value());
    EXPECT_FALSE(rex_compile("((a{1024}){1024}){1024}").has_value());
    const auto big = rex_compile("^(a{1000}){150}$");
    ASSERT_TRUE(big.has_value());
    EXPECT_TRUE(rex_is_match(*big, std::string(150000, 'a')));
    EXPECT_FALSE(rex_is_match(*big, std::string(149999, 'a')));
}

TEST(RexLimitsTest, NestedRepeatsOfEmptyNodesCompileAtOnce) {
    // Copies of an empty node add no instruction, so the size limit alone
    // would never stop these: emitting every copy would take 1024^4 steps.
    const struct {
        const char* pattern;
        const char* matching;
    } cases[] = {
        {"^((((){1024}){1024}){1024}){1024}$", ""},
        {"^(((a{0}){1024}){1024}){1024}b$", "b"},
        {"^((((()()){1024}){1024}){1024}x){2}$", "xx"},
    };
    for (const auto& c : cases) {
        const auto program = rex_compile(c.pattern);
        ASSERT_TRUE(program.has_value()) << c.pattern;
        EXPECT_TRUE(rex_is_match(*program, c.matching)) << c.pattern;
        EXPECT_FALSE(rex_is_match(*program, "a")) << c.pattern;
    }
}

TEST(RexMatchWorkTest, PathologicalPatternsRunInLinearTime) {
    const std::string text(100000, 'a');
    for (const char* pattern : {"(a*)*b", "(a|a)*b", "(a|aa)*$b", "^(a?){30}a{30}$"}) {
        const auto program = rex_compile(pattern);
        ASSERT_TRUE(program.has_value()) << pattern;
        // At each position every instruction is entered at most once and
        // tests the character at most once.
        const PatternWorkBudget linear(2 * program->insts.size() * (text.size() + 1));
        EXPECT_FALSE(rex_is_match(*program, text)) << pattern;
        EXPECT_FALSE(linear.spent_error().has_value()) << pattern;
    }
}

TEST(RexMatchTest, ProgramsOfDifferentSizesShareTheThreadScratch) {
    const auto large = rex_compile("^(ab|cd){100}x");
    const auto small = rex_compile("^x$");
    ASSERT_TRUE(large && small);
    std::string subject;
    for (int k = 0; k < 100; ++k) subject += k % 2 ? "ab" : "cd";
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(rex_is_match(*large, subject + "x"));
        EXPECT_FALSE(rex_is_match(*large, subject));
        EXPECT_TRUE(rex_is_match(*small, "x"));
        EXPECT_FALSE(rex_is_match(*small, "xx"));
    }
}

TEST(RexCompileTest, RefusalsSayWhy) {
    const struct {
        std::string pattern;
        std::string reason;
    } cases[] = {
        {std::string(4097, 'a'), "pattern too long"},
        {std::string(129, '(') + "a" + std::string(129, ')'), "groups nested too deeply"},
        {"a{1025}", "repeat count over the limit"},
        {"(a{1024}){1024}", "pattern too large to compile"},
        {"\xC3\xA9)", "syntax error at byte 2"},
        {"\xC3\xA9\\q", "syntax error at byte 2"},
        {"a{3,2}", "syntax error at byte 1"},
        {"(a", "syntax error at byte 2"},
        {"a\xFF", "syntax error at byte 1"},
    };
    for (const auto& c : cases) {
        const auto compiled = rex_compile(c.pattern);
        ASSERT_FALSE(compiled.has_value()) << c.pattern;
        EXPECT_EQ(rex_refusal_text(compiled.error()), c.reason) << c.pattern;
    }
}

TEST(RexCompileTest, EmptyPatternIsOneMatch) {
    const auto program = rex_compile("");
    ASSERT_TRUE(program.has_value());
    ASSERT_EQ(program->insts.size(), 1u);
    EXPECT_EQ(program->insts.front().op, RexOp::Match);
}

}  // namespace
}  // namespace bezo
