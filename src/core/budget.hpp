// The output budget of one call. Some inputs ask for output that grows with
// the square of their size (every line repeats its whole path), so every
// road that writes text in proportion to what it reads stops with an error
// once its output passes the budget instead of exhausting memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>

#include "core/error.hpp"
#include "core/text.hpp"

namespace bezo {

// Fuzz builds divide the size limits of one call by 16, so that an input
// reaching one fails well within a campaign's time and memory limits per
// input instead of passing for a hang or a blowup.
#ifdef BEZO_FUZZ_BUDGETS
inline constexpr std::size_t kSizeLimitDivisor = 16;
#else
inline constexpr std::size_t kSizeLimitDivisor = 1;
#endif

// The most text one call may add by expansion (references, variables,
// defaults, schema merges), and the least output budget: 1 GiB.
inline constexpr std::size_t kGrowthLimit = (std::size_t{1} << 30) / kSizeLimitDivisor;

// kGrowthLimit, or this many times the input when that is more.
inline constexpr std::size_t kMinOutputBudget = kGrowthLimit;
inline constexpr std::size_t kOutputBudgetFactor = 64;

constexpr std::size_t output_budget(std::size_t input_size) {
    if (input_size > std::numeric_limits<std::size_t>::max() / kOutputBudgetFactor) {
        return std::numeric_limits<std::size_t>::max();
    }
    return std::max(kMinOutputBudget, input_size * kOutputBudgetFactor);
}

inline Error output_budget_exceeded(std::size_t budget) {
    return Error::Other("output too large: more than " + decimal_text(budget) + " bytes");
}

}  // namespace bezo
