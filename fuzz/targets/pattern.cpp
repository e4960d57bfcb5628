// The pattern dialect: a pattern and a subject separated by a NUL byte,
// compiled and matched. A compiled program's jumps stay inside it.
#include "fuzz_target.hpp"
#include "schema/rex_compile.hpp"
#include "schema/rex_match.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(input) {
    const auto [pattern, subject] = fuzz::split_at_nul(input);
    const auto program = rex_compile(pattern);
    if (!program) {
        (void)rex_refusal_text(program.error());
        return;
    }
    const std::size_t size = program->insts.size();
    fuzz::check(size > 0 && program->insts.back().op == RexOp::Match, "a program ends in Match");
    for (const RexInst& inst : program->insts) {
        fuzz::check(inst.first < size && inst.second < size, "jumps stay inside the program");
        fuzz::check(inst.ranges_begin <= inst.ranges_end && inst.ranges_end <= program->ranges.size(),
                    "class ranges stay inside the pool");
    }
    (void)rex_is_match(*program, subject);
}
