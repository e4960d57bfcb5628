// The language's own pattern dialect. A pattern is compiled once into a
// RexProgram and matched by stepping every thread of its automaton in
// lock-step over the text (rex_match), so matching time is linear in the
// text length times the program length for every pattern: nothing ever
// backtracks.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "schema/rex_syntax.hpp"

namespace bezo {

enum class RexOp : std::uint8_t {
    Char,         // consume one character equal to `ch`
    Any,          // consume any one character
    Class,        // consume one character inside (or, negated, outside) class `class_index`
    AssertStart,  // succeed without consuming at text position 0 only
    AssertEnd,    // succeed without consuming at the end of the text only
    Split,        // continue at `first`, then at `second`
    Jmp,          // continue at `first`
    Match,        // the pattern has matched
};

// One instruction, identified by its position in the program. A class
// stands in the program's class table, shared by the copies that repetition
// makes, so an instruction is a small plain value.
struct RexInst {
    RexOp op = RexOp::Match;
    bool negated = false;
    char32_t ch = 0;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    std::uint32_t class_index = 0;  // a Class's entry in RexProgram::classes
};
static_assert(std::is_trivially_copyable_v<RexInst>);

// A character class as matching tests it: its ranges sorted by their low
// ends, with empty ones dropped and overlapping or adjacent ones merged, at
// positions [ranges_begin, ranges_end) of the program's range pool, so a
// test is a binary search; and the ASCII code points it holds as a bitmap,
// so most tests are one lookup.
struct RexClass {
    std::uint32_t ranges_begin = 0;
    std::uint32_t ranges_end = 0;
    std::array<std::uint64_t, 2> ascii{};  // bit c % 64 of word c / 64 for each c < 128 inside
};

// A compiled pattern: immutable, its last instruction is Match.
struct RexProgram {
    std::vector<RexInst> insts;
    std::vector<RexClass> classes;
    std::vector<RexRange> ranges;  // the classes' merged ranges
    // The pattern it was compiled from, named when matching spends the
    // call's pattern work (rex_budget.hpp).
    std::string pattern;

    std::span<const RexRange> class_ranges(const RexClass& entry) const {
        return std::span(ranges).subspan(entry.ranges_begin, entry.ranges_end - entry.ranges_begin);
    }
};

// Compiles a pattern (UTF-8), or says why it lies outside the dialect or
// over one of its limits; a Syntax refusal counts bytes of `pattern`. The
// work is charged to the call's pattern work budget; once that is spent,
// every pattern is refused with WorkSpent.
[[nodiscard]] std::expected<RexProgram, RexRefusal> rex_compile(std::string_view pattern);

}  // namespace bezo
