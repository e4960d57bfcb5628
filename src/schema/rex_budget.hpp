// The pattern work of one call. A pattern of a few bytes can compile to a
// program of 200,000 instructions, and matching costs up to (text length + 1)
// x program length steps, so a few patterns over long values could hold a
// call for minutes. A call opens a PatternWorkBudget on its thread for its
// whole length; every compilation charges the instructions it emits, every
// match the thread steps it takes (a class test counting each probe of its
// binary search), whichever stage runs them.
//
// Once the budget is spent, rex_compile refuses every pattern and
// rex_is_match answers false at once, so the rest of the call is cheap; the
// budget keeps the error that names the pattern that spent it, and the call
// reports that error in place of whatever result it reached. A thread with
// no open budget is not bounded.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/budget.hpp"
#include "core/error.hpp"

namespace bezo {

// The least pattern work of one call, and the work allowed per byte of its
// input beyond that. A real schema's patterns compile to tens or hundreds of
// instructions and keep a few threads alive per character; the floor alone
// is about a second of work. A build that only runs the tests may divide the
// floor further (BEZO_TEST_PATTERN_WORK_DIVISOR), so that the tests that
// spend it do less work in a slow build.
#ifdef BEZO_TEST_PATTERN_WORK_DIVISOR
inline constexpr std::uint64_t kTestPatternWorkDivisor = BEZO_TEST_PATTERN_WORK_DIVISOR;
#else
inline constexpr std::uint64_t kTestPatternWorkDivisor = 1;
#endif
inline constexpr std::uint64_t kMinPatternWork = (std::uint64_t{1} << 27) / kSizeLimitDivisor / kTestPatternWorkDivisor;
inline constexpr std::uint64_t kPatternWorkPerInputByte = 64;

constexpr std::uint64_t pattern_work_allowance(std::size_t input_size) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (input_size > kMax / kPatternWorkPerInputByte) return kMax;
    return std::max(kMinPatternWork, std::uint64_t{input_size} * kPatternWorkPerInputByte);
}

// The calling thread's budget while it lives; an earlier open budget is
// restored when it ends.
class PatternWorkBudget {
public:
    explicit PatternWorkBudget(std::uint64_t allowance);
    ~PatternWorkBudget();
    PatternWorkBudget(const PatternWorkBudget&) = delete;
    PatternWorkBudget& operator=(const PatternWorkBudget&) = delete;

    // Once spent: "pattern work too large: more than N steps, spent at the
    // pattern /P/" (P cut to its first 64 characters).
    std::optional<Error> spent_error() const;

    // The work charged so far (at most the allowance).
    std::uint64_t charged() const { return allowance_ - remaining_; }

private:
    friend bool charge_pattern_work(std::uint64_t units, std::string_view pattern);
    friend bool pattern_work_spent();

    std::uint64_t allowance_;
    std::uint64_t remaining_;
    std::optional<std::string> spent_at_;  // the pattern, as shown in the error
    PatternWorkBudget* previous_;
};

// Charges work to the calling thread's open budget. False when the budget is
// spent, now (recording `pattern`) or before; true without an open budget.
bool charge_pattern_work(std::uint64_t units, std::string_view pattern);

// True when the calling thread's open budget is spent.
bool pattern_work_spent();

}  // namespace bezo
