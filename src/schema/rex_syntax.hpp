// The parser of the pattern dialect: pattern text to a syntax tree, which
// rex_compile then emits as a program. Also the reasons a pattern is
// refused, shared by the parse and compile stages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bezo {

// An inclusive range of code points inside a character class.
struct RexRange {
    char32_t low;
    char32_t high;
};

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

enum class RexRefusalKind : std::uint8_t {
    TooLong,          // more bytes than the dialect allows
    TooDeep,          // groups nested deeper than kRexMaxGroupDepth
    RepeatOverLimit,  // a repeat count above the dialect's limit
    ProgramTooLarge,  // the compiled program would grow past its bound
    Syntax,           // the text leaves the dialect at `position`
    WorkSpent,        // the call's pattern work budget is spent (rex_budget.hpp)
};

// Why a pattern was refused: a small value that callers word as they need
// (see rex_refusal_text).
struct RexRefusal {
    RexRefusalKind kind = RexRefusalKind::Syntax;
    // For Syntax: where the text leaves the dialect, in bytes of the pattern
    // (rex_parse_pattern counts code points of its decoded input instead).
    std::size_t position = 0;

    friend bool operator==(const RexRefusal&, const RexRefusal&) = default;
};

// The short text of a refusal for notes and messages, e.g. "pattern too long"
// or "syntax error at byte 7".
std::string rex_refusal_text(const RexRefusal& refusal);

// Parses a whole decoded pattern. Refused when the text is outside the
// dialect (Syntax, positioned in code points), nests groups too deeply
// (TooDeep), or leaves an unmatched ")".
[[nodiscard]] std::expected<RexNode, RexRefusal> rex_parse_pattern(std::span<const char32_t> pattern);

}  // namespace bezo
