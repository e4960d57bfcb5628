#include "schema/rex_compile.hpp"

#include <algorithm>
#include <iterator>
#include <map>
#include <utility>

#include "core/utf8.hpp"
#include "schema/rex_budget.hpp"

namespace bezo {
namespace {

// The ranges of a class as matching tests them: sorted by their low ends,
// disjoint and not adjacent; a range whose low end is above its high end is
// dropped. The same code points as the ranges as written.
std::vector<RexRange> merge_class_ranges(std::span<const RexRange> written) {
    std::vector<RexRange> sorted;
    sorted.reserve(written.size());
    std::ranges::copy_if(written, std::back_inserter(sorted), [](const RexRange& r) { return r.low <= r.high; });
    std::ranges::sort(sorted, {}, &RexRange::low);
    std::vector<RexRange> merged;
    for (const RexRange& range : sorted) {
        // Overlapping or adjacent (written without high + 1, which could wrap).
        if (!merged.empty() && (range.low <= merged.back().high || range.low - merged.back().high == 1)) {
            merged.back().high = std::max(merged.back().high, range.high);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

constexpr std::size_t kMaxPatternBytes = 4096;
constexpr std::uint32_t kMaxRepeatCount = 1024;
// Emission of a node starts only while the program is at most this long, so
// nested repeats cannot blow the program up without bound.
constexpr std::size_t kMaxProgramSize = 200000;

// The code points of a pattern; a malformed sequence is a syntax error at
// its first byte.
[[nodiscard]] std::expected<std::vector<char32_t>, RexRefusal> decode_pattern(std::string_view pattern) {
    std::vector<char32_t> decoded;
    decoded.reserve(pattern.size());
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const std::size_t start = pos;
        const auto c = utf8_next(pattern, pos);
        if (!c) return std::unexpected(RexRefusal{RexRefusalKind::Syntax, start});
        decoded.push_back(*c);
    }
    return decoded;
}

// The byte offset of the code point at `index` of a well-formed pattern.
std::size_t byte_offset(std::string_view pattern, std::size_t index) {
    std::size_t pos = 0;
    for (std::size_t k = 0; k < index && pos < pattern.size(); ++k) utf8_next(pattern, pos);
    return pos;
}

class RexEmitter {
public:
    bool rex_emit(const RexNode& node) {
        if (insts_.size() > kMaxProgramSize) return refuse(RexRefusalKind::ProgramTooLarge);
        switch (node.kind) {
            case RexNodeKind::Char: append(RexOp::Char).ch = node.ch; return true;
            case RexNodeKind::Any: append(RexOp::Any); return true;
            case RexNodeKind::Class: {
                const std::uint32_t index = pooled_class(*node.ranges);
                RexInst& inst = append(RexOp::Class);
                inst.negated = node.negated;
                inst.class_index = index;
                return true;
            }
            case RexNodeKind::Start: append(RexOp::AssertStart); return true;
            case RexNodeKind::End: append(RexOp::AssertEnd); return true;
            case RexNodeKind::Concat: return emit_all(node.children);
            case RexNodeKind::Alternation: return emit_alternation(node.children);
            case RexNodeKind::Repeat: return rex_emit_repeat(node);
        }
        return false;
    }

    // Why the last emission failed.
    RexRefusalKind failure() const { return failure_; }

    // The instructions emitted so far.
    std::size_t size() const { return insts_.size(); }

    RexProgram finish(std::string_view pattern) && {
        append(RexOp::Match);
        return RexProgram{std::move(insts_), std::move(classes_), std::move(ranges_), std::string(pattern)};
    }

private:
    bool refuse(RexRefusalKind kind) {
        failure_ = kind;
        return false;
    }

    std::uint32_t here() const { return static_cast<std::uint32_t>(insts_.size()); }

    // The class table entry of a class's ranges, made (ranges merged into the
    // pool, ASCII bitmap filled) the first time the class is emitted;
    // repeated copies of the class share it.
    std::uint32_t pooled_class(const std::vector<RexRange>& written) {
        auto [found, added] = pooled_.try_emplace(&written);
        if (added) {
            found->second = static_cast<std::uint32_t>(classes_.size());
            classes_.push_back(make_class(written));
        }
        return found->second;
    }

    RexClass make_class(const std::vector<RexRange>& written) {
        RexClass entry;
        entry.ranges_begin = static_cast<std::uint32_t>(ranges_.size());
        for (const RexRange& range : merge_class_ranges(written)) {
            ranges_.push_back(range);
            for (char32_t c = range.low; c <= range.high && c < 0x80; ++c) {
                entry.ascii[c / 64] |= std::uint64_t{1} << (c % 64);
            }
        }
        entry.ranges_end = static_cast<std::uint32_t>(ranges_.size());
        return entry;
    }

    RexInst& append(RexOp op) {
        RexInst& inst = insts_.emplace_back();
        inst.op = op;
        return inst;
    }

    // Appends a jump-like instruction and returns its position for patching.
    std::uint32_t append_jump(RexOp op, std::uint32_t target) {
        append(op).first = target;
        return here() - 1;
    }

    // A Split whose first target is the instruction right after it; the
    // second target is patched once the skipped code has been emitted.
    std::uint32_t append_split() { return append_jump(RexOp::Split, here() + 1); }

    bool emit_all(const std::vector<RexNode>& nodes) {
        for (const RexNode& child : nodes) {
            if (!rex_emit(child)) return false;
        }
        return true;
    }

    // A copy that adds no instruction (an empty group, a{0}) leaves the
    // program as it was, so every further copy would add nothing either:
    // stopping there keeps nested repeats of empty nodes from running
    // 1024 x 1024 x ... emission steps while the size limit never fires.
    bool emit_times(const RexNode& node, std::uint32_t count) {
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::size_t before = insts_.size();
            if (!rex_emit(node)) return false;
            if (insts_.size() == before) return true;
        }
        return true;
    }

    bool emit_alternation(const std::vector<RexNode>& branches) {
        std::vector<std::uint32_t> exits;
        for (std::size_t b = 0; b + 1 < branches.size(); ++b) {
            const std::uint32_t split = append_split();
            if (!rex_emit(branches[b])) return false;
            exits.push_back(append_jump(RexOp::Jmp, 0));
            insts_[split].second = here();
        }
        if (!rex_emit(branches.back())) return false;
        for (const std::uint32_t jump : exits) insts_[jump].first = here();
        return true;
    }

    bool rex_emit_repeat(const RexNode& node) {
        const RexNode& child = node.children.front();
        if (node.max) {
            if (node.min > *node.max || *node.max > kMaxRepeatCount) return refuse(RexRefusalKind::RepeatOverLimit);
            if (!emit_times(child, node.min)) return false;
            std::vector<std::uint32_t> optional_splits;
            for (std::uint32_t k = node.min; k < *node.max; ++k) {
                optional_splits.push_back(append_split());
                if (!rex_emit(child)) return false;
            }
            for (const std::uint32_t split : optional_splits) insts_[split].second = here();
            return true;
        }
        if (node.min > kMaxRepeatCount) return refuse(RexRefusalKind::RepeatOverLimit);
        if (!emit_times(child, node.min)) return false;
        const std::uint32_t loop = append_split();
        if (!rex_emit(child)) return false;
        append_jump(RexOp::Jmp, loop);
        insts_[loop].second = here();
        return true;
    }

    std::vector<RexInst> insts_;
    std::vector<RexClass> classes_;
    std::vector<RexRange> ranges_;
    std::map<const std::vector<RexRange>*, std::uint32_t> pooled_;
    RexRefusalKind failure_ = RexRefusalKind::ProgramTooLarge;
};

}  // namespace

std::expected<RexProgram, RexRefusal> rex_compile(std::string_view pattern) {
    if (pattern_work_spent()) return std::unexpected(RexRefusal{RexRefusalKind::WorkSpent});
    if (pattern.size() > kMaxPatternBytes) return std::unexpected(RexRefusal{RexRefusalKind::TooLong});
    const auto decoded = decode_pattern(pattern);
    if (!decoded) return forward_error(decoded);
    auto tree = rex_parse_pattern(*decoded);
    if (!tree) {
        RexRefusal refusal = tree.error();
        if (refusal.kind == RexRefusalKind::Syntax) refusal.position = byte_offset(pattern, refusal.position);
        return std::unexpected(refusal);
    }
    RexEmitter emitter;
    const bool emitted = emitter.rex_emit(*tree);
    // A refused emission did its work too: it may have stopped at the size limit.
    if (!charge_pattern_work(pattern.size() + emitter.size(), pattern)) {
        return std::unexpected(RexRefusal{RexRefusalKind::WorkSpent});
    }
    if (!emitted) return std::unexpected(RexRefusal{emitter.failure()});
    return std::move(emitter).finish(pattern);
}

}  // namespace bezo
