// The parser of the pattern dialect: pattern text to a syntax tree, which
// rex_compile then emits as a program.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "schema/rex.hpp"

namespace bezo {

enum class RexNodeKind : std::uint8_t {
    Char,  // `ch`
    Any,
    Class,  // `negated`, `ranges` in the order written
    Start,
    End,
    Concat,       // `children` one after another (possibly none)
    Alternation,  // two or more `children`
    Repeat,       // `children[0]` from `min` to `max` times (no max: unbounded)
};

struct RexNode {
    RexNodeKind kind = RexNodeKind::Concat;
    bool negated = false;
    char32_t ch = 0;
    std::shared_ptr<const std::vector<RexRange>> ranges;
    std::vector<RexNode> children;
    std::uint32_t min = 0;
    std::optional<std::uint32_t> max;
};

// Deepest group nesting a pattern may use; the top level is depth 0.
inline constexpr std::size_t kRexMaxGroupDepth = 128;

// Parses a whole decoded pattern. No value when the text is outside the
// dialect, nests groups too deeply, or leaves an unmatched ")".
std::optional<RexNode> rex_parse_pattern(std::span<const char32_t> pattern);

}  // namespace bezo
