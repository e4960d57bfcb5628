#include "schema/rex_compile.hpp"
#include "schema/rex_match.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/utf8.hpp"
#include "schema/rex_budget.hpp"

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
    // would never stop these: without the stop at the first empty copy each
    // would run some 2^40 emission steps.
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

// Each instruction enters the closure at most once per position and each
// thread is tested once, so the steps charged stay within twice the program
// length per character, whatever the pattern would cost a backtracker.
TEST(RexMatchWorkTest, PathologicalPatternsRunInLinearSteps) {
    const std::string text(100000, 'a');
    for (const char* pattern : {"(a*)*b", "(a|a)*b", "(a|aa)*$b", "^(a?){30}a{30}$"}) {
        const auto program = rex_compile(pattern);
        ASSERT_TRUE(program.has_value()) << pattern;
        const PatternWorkBudget budget(std::uint64_t{1} << 40);
        EXPECT_FALSE(rex_is_match(*program, text)) << pattern;
        EXPECT_LE(budget.charged(), 2 * (text.size() + 1) * program->insts.size()) << pattern;
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

// Written ranges, in the order written, against the merged form of the class.
bool written_holds(const std::vector<RexRange>& written, char32_t c) {
    return std::ranges::any_of(written, [c](const RexRange& r) { return r.low <= c && c <= r.high; });
}

std::string utf8_of(char32_t c) {
    std::string text;
    append_utf8(c, text);
    return text;
}

TEST(RexClassTest, MergedClassesAnswerAsWritten) {
    const std::string many_b = "[" + std::string(4070, 'b') + "a]";
    // Singletons far apart, above ASCII, written out of order.
    std::string scattered = "[";
    for (char32_t c = 0x4E00 + 2000; c > 0x4E00; c -= 2) scattered += utf8_of(c);
    scattered += "]";
    const struct {
        std::string pattern;
        std::size_t merged;  // ranges after merging
    } cases[] = {
        {many_b, 1},
        {"[a-cb-dx]", 2},
        {"[z-aq]", 1},
        {"[^]a]", 2},
        {"[a-]", 2},
        {"[\\d-z]", 3},
        {"[a-\u00e9\u00e0-\u00ff]", 1},
        {"[\\x41-\\x5aa-z\u0100-\u017f\u00c0-\u00ff]", 3},
        {"[^\u00e9c-ab-c]", 2},
        {scattered, 1000},
    };
    std::vector<char32_t> probes;
    for (char32_t c = 0; c < 0x180; ++c) probes.push_back(c);
    for (char32_t c = 0x4DF0; c < 0x4E00 + 2010; ++c) probes.push_back(c);
    probes.push_back(0x10FFFF);
    for (const auto& c : cases) {
        const auto program = rex_compile(c.pattern);
        ASSERT_TRUE(program.has_value()) << c.pattern;
        ASSERT_EQ(program->classes.size(), 1u) << c.pattern;
        EXPECT_EQ(program->class_ranges(program->classes.front()).size(), c.merged) << c.pattern;
        std::vector<char32_t> decoded;
        for (std::size_t pos = 0; pos < c.pattern.size();) decoded.push_back(*utf8_next(c.pattern, pos));
        const auto tree = rex_parse_pattern(decoded);
        ASSERT_TRUE(tree.has_value());
        const RexNode& node = tree->children.front();
        for (const char32_t probe : probes) {
            const bool expected = written_holds(*node.ranges, probe) != node.negated;
            EXPECT_EQ(rex_is_match(*program, utf8_of(probe)), expected)
                << c.pattern.substr(0, 40) << " on U+" << std::hex << static_cast<std::uint32_t>(probe);
        }
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
