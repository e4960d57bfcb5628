// The language's own pattern dialect. A pattern is compiled once into a
// RexProgram and matched by stepping every thread of its automaton in
// lock-step over the text, so matching time is linear in the text length
// times the program length for every pattern: nothing ever backtracks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace bezo {

// An inclusive range of code points inside a character class.
struct RexRange {
    char32_t low;
    char32_t high;
};

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

// One instruction, identified by its position in the program. The range list
// of a class is shared between the copies that repetition makes.
struct RexInst {
    RexOp op = RexOp::Match;
    bool negated = false;
    char32_t ch = 0;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    std::shared_ptr<const std::vector<RexRange>> ranges;
};

// A compiled pattern: immutable, its last instruction is Match.
struct RexProgram {
    std::vector<RexInst> insts;
};

// Compiles a pattern (UTF-8). No value when the text lies outside the dialect
// or over one of its limits; callers word their own errors.
std::optional<RexProgram> rex_compile(std::string_view pattern);

// True when some substring of `text` (UTF-8; the empty substring included)
// matches the program: a search, not a whole-text match. Reuses per-thread
// scratch lists, so a call allocates only when a larger program or a longer
// closure than any before on this thread needs more room.
bool rex_is_match(const RexProgram& program, std::string_view text);

}  // namespace bezo
