// Matching of compiled patterns: every thread of the automaton advances in
// lock-step over the text, one code point at a time. Each instruction enters
// a thread list at most once per text position, and a class test is a bitmap
// lookup or a binary search of merged ranges, so a call costs at most
// (code points + 1) x program length x log(class ranges) steps whatever the
// pattern; the steps charged to the budget count those probes too.
#include "schema/rex_match.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "core/fault.hpp"
#include "core/utf8.hpp"
#include "schema/rex_budget.hpp"

namespace bezo {
namespace {

// Stands in for each malformed byte of a subject text, which therefore still
// counts as one character for ".", and for negated classes.
constexpr char32_t kReplacementChar = 0xFFFD;

// Steps taken before they are charged to the call's pattern work budget, so
// that short matches charge once and long ones stop soon after it is spent.
constexpr std::uint64_t kStepsPerCharge = std::uint64_t{1} << 16;

// Per-thread working storage, kept between calls so that matching allocates
// only while it grows. The generation only ever increases, so stamps left by
// an earlier call (or another program) never look current.
struct RexScratch {
    std::vector<std::uint64_t> stamps;
    std::vector<std::uint32_t> current;
    std::vector<std::uint32_t> next;
    std::vector<std::uint32_t> stack;
    std::uint64_t generation = 0;
    // Steps of the current match not yet charged: instructions entering a
    // closure, threads tested against a character, and the further probes of
    // class tests.
    std::uint64_t steps = 0;
};

RexScratch& thread_scratch() {
    thread_local RexScratch scratch;
    return scratch;
}

struct Position {
    bool at_start;
    bool at_end;
};

// Adds the closure of `pc` at `where` to `list`: follows jumps, splits (first
// target first) and assertions that hold there, and appends the consuming
// instructions and Match. Returns true when Match was appended.
bool rex_add_thread(const RexProgram& program, RexScratch& scratch, std::vector<std::uint32_t>& list, std::uint32_t pc,
                    Position where) {
    bool matched = false;
    scratch.stack.push_back(pc);
    while (!scratch.stack.empty()) {
        const std::uint32_t at = scratch.stack.back();
        scratch.stack.pop_back();
        if (scratch.stamps[at] == scratch.generation) continue;
        scratch.stamps[at] = scratch.generation;
        ++scratch.steps;
        const RexInst& inst = program.insts[at];
        switch (inst.op) {
            case RexOp::Jmp: scratch.stack.push_back(inst.first); break;
            case RexOp::Split:
                scratch.stack.push_back(inst.second);
                scratch.stack.push_back(inst.first);
                break;
            case RexOp::AssertStart:
                if (where.at_start) scratch.stack.push_back(at + 1);
                break;
            case RexOp::AssertEnd:
                if (where.at_end) scratch.stack.push_back(at + 1);
                break;
            case RexOp::Match:
                matched = true;
                list.push_back(at);
                break;
            case RexOp::Char:
            case RexOp::Any:
            case RexOp::Class: list.push_back(at); break;
        }
    }
    return matched;
}

// Whether the class holds `c`: an ASCII code point is one bitmap lookup,
// any other a binary search of the merged ranges, whose probes are added to
// `steps`.
bool class_holds(const RexProgram& program, const RexClass& entry, char32_t c, std::uint64_t& steps) {
    if (c < 0x80) return (entry.ascii[c / 64] >> (c % 64)) & 1;
    const auto ranges = program.class_ranges(entry);
    steps += std::bit_width(ranges.size());
    // The first range whose high end reaches c; c is inside when that range
    // starts at or below it.
    const auto found = std::ranges::lower_bound(ranges, c, {}, &RexRange::high);
    return found != ranges.end() && found->low <= c;
}

bool consumes(const RexProgram& program, const RexInst& inst, char32_t c, std::uint64_t& steps) {
    switch (inst.op) {
        case RexOp::Char: return inst.ch == c;
        case RexOp::Any: return true;
        case RexOp::Class: return class_holds(program, program.classes[inst.class_index], c, steps) != inst.negated;
        default: return false;
    }
}

}  // namespace

bool rex_is_match(const RexProgram& program, std::string_view text) {
    if (program.insts.empty()) raise_fault("rex_is_match: a program without instructions");
    if (pattern_work_spent()) return false;
    RexScratch& scratch = thread_scratch();
    scratch.steps = 0;
    if (scratch.stamps.size() < program.insts.size()) scratch.stamps.resize(program.insts.size(), 0);
    scratch.current.clear();
    scratch.next.clear();
    scratch.stack.clear();

    ++scratch.generation;
    bool matched = rex_add_thread(program, scratch, scratch.current, 0, {true, text.empty()});
    std::size_t offset = 0;
    while (!matched && offset < text.size()) {
        const char32_t c = utf8_next(text, offset).value_or(kReplacementChar);
        const Position after{false, offset == text.size()};
        scratch.steps += scratch.current.size();
        if (scratch.steps >= kStepsPerCharge) {
            if (!charge_pattern_work(scratch.steps, program.pattern)) return false;
            scratch.steps = 0;
        }
        ++scratch.generation;
        scratch.next.clear();
        for (const std::uint32_t pc : scratch.current) {
            if (consumes(program, program.insts[pc], c, scratch.steps)) {
                matched |= rex_add_thread(program, scratch, scratch.next, pc + 1, after);
            }
        }
        // A new attempt starts at every position, after the threads already running.
        matched |= rex_add_thread(program, scratch, scratch.next, 0, after);
        scratch.current.swap(scratch.next);
    }
    return charge_pattern_work(scratch.steps, program.pattern) && matched;
}

}  // namespace bezo
