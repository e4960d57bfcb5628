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

// 1 GiB, or this many times the input when that is more.
inline constexpr std::size_t kMinOutputBudget = std::size_t{1} << 30;
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
