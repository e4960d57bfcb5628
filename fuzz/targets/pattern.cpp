// The pattern dialect: a pattern and a subject separated by a NUL byte,
// compiled and matched. A compiled program's jumps and classes stay inside
// it; every class is held as sorted, disjoint, non-adjacent ranges with an
// ASCII bitmap that agrees with them; and a pattern that is one class (long
// ones included) matches a character of the subject exactly when the
// class's ranges as written hold it.
#include <algorithm>
#include <vector>

#include "core/utf8.hpp"
#include "fuzz_target.hpp"
#include "schema/rex_compile.hpp"
#include "schema/rex_match.hpp"

using namespace bezo;

namespace {

bool bitmap_holds(const RexClass& entry, char32_t c) { return (entry.ascii[c / 64] >> (c % 64)) & 1; }

void check_class(const RexProgram& program, const RexClass& entry) {
    fuzz::check(entry.ranges_begin <= entry.ranges_end && entry.ranges_end <= program.ranges.size(),
                "class ranges stay inside the pool");
    if (entry.ranges_end > program.ranges.size()) return;
    const auto ranges = program.class_ranges(entry);
    for (std::size_t k = 0; k < ranges.size(); ++k) {
        fuzz::check(ranges[k].low <= ranges[k].high, "a merged range is not empty");
        fuzz::check(k == 0 || ranges[k].low > ranges[k - 1].high + 1, "merged ranges are sorted and apart");
    }
    for (char32_t c = 0; c < 0x80; ++c) {
        const bool in_ranges =
            std::ranges::any_of(ranges, [c](const RexRange& r) { return r.low <= c && c <= r.high; });
        fuzz::check(bitmap_holds(entry, c) == in_ranges, "the ASCII bitmap agrees with the ranges");
    }
}

std::vector<char32_t> decode(std::string_view text) {
    std::vector<char32_t> decoded;
    for (std::size_t pos = 0; pos < text.size();) {
        const auto c = utf8_next(text, pos);
        if (!c) return {};
        decoded.push_back(*c);
    }
    return decoded;
}

// A pattern that is a single class: each character of the subject matches
// it alone exactly when some range as written holds it (inverted when
// negated).
void check_single_class(const RexProgram& program, std::string_view pattern, std::string_view subject) {
    const auto tree = rex_parse_pattern(decode(pattern));
    if (!tree || tree->children.size() != 1 || tree->children.front().kind != RexNodeKind::Class) return;
    const RexNode& node = tree->children.front();
    for (const char32_t c : decode(subject)) {
        const bool written =
            std::ranges::any_of(*node.ranges, [c](const RexRange& r) { return r.low <= c && c <= r.high; });
        std::string one;
        append_utf8(c, one);
        fuzz::check(rex_is_match(program, one) == (written != node.negated), "a class answers as written");
    }
}

}  // namespace

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
        fuzz::check(inst.op != RexOp::Class || inst.class_index < program->classes.size(),
                    "classes stay inside the table");
    }
    for (const RexClass& entry : program->classes) check_class(*program, entry);
    (void)rex_is_match(*program, subject);
    check_single_class(*program, pattern, subject);
}
