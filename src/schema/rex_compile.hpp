// The language's own pattern dialect. A pattern is compiled once into a
// RexProgram and matched by stepping every thread of its automaton in
// lock-step over the text (rex_match), so matching time is linear in the
// text length times the program length for every pattern: nothing ever
// backtracks.
#pragma once

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
    Class,        // consume one character inside (or, negated, outside) `ranges`
    AssertStart,  // succeed without consuming at text position 0 only
    AssertEnd,    // succeed without consuming at the end of the text only
    Split,        // continue at `first`, then at `second`
    Jmp,          // continue at `first`
    Match,        // the pattern has matched
};

// One instruction, identified by its position in the program. A class's
// ranges stand in the program's range pool, shared by the copies that
// repetition makes, so an instruction is a small plain value.
struct RexInst {
    RexOp op = RexOp::Match;
    bool negated = false;
    char32_t ch = 0;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    // A class's ranges: positions [ranges_begin, ranges_end) of the pool.
    std::uint32_t ranges_begin = 0;
    std::uint32_t ranges_end = 0;
};
static_assert(std::is_trivially_copyable_v<RexInst>);

// A compiled pattern: immutable, its last instruction is Match.
struct RexProgram {
    std::vector<RexInst> insts;
    std::vector<RexRange> ranges;
    // The pattern it was compiled from, named when matching spends the
    // call's pattern work (rex_budget.hpp).
    std::string pattern;

    std::span<const RexRange> class_ranges(const RexInst& inst) const {
        return std::span(ranges).subspan(inst.ranges_begin, inst.ranges_end - inst.ranges_begin);
    }
};

// Compiles a pattern (UTF-8), or says why it lies outside the dialect or
// over one of its limits; a Syntax refusal counts bytes of `pattern`. The
// work is charged to the call's pattern work budget; once that is spent,
// every pattern is refused with WorkSpent.
[[nodiscard]] std::expected<RexProgram, RexRefusal> rex_compile(std::string_view pattern);

}  // namespace bezo
