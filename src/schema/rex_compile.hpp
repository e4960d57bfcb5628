// The language's own pattern dialect. A pattern is compiled once into a
// RexProgram and matched by stepping every thread of its automaton in
// lock-step over the text (rex_match), so matching time is linear in the
// text length times the program length for every pattern: nothing ever
// backtracks.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <string_view>
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

// Compiles a pattern (UTF-8), or says why it lies outside the dialect or
// over one of its limits; a Syntax refusal counts bytes of `pattern`.
[[nodiscard]] std::expected<RexProgram, RexRefusal> rex_compile(std::string_view pattern);

}  // namespace bezo
