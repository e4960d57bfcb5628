#include "schema/rex_budget.hpp"

#include "core/text.hpp"
#include "core/utf8.hpp"

namespace bezo {
namespace {

constexpr std::size_t kShownPatternScalars = 64;
// Room for the shown characters at their longest escape ("\u{1b}"), so
// that escaping never cuts them.
constexpr std::size_t kShownPatternBytes = 6 * kShownPatternScalars;

thread_local PatternWorkBudget* open_budget = nullptr;

// The pattern as an error shows it: its first characters, then "…" when
// there are more.
std::string shown_pattern(std::string_view pattern) {
    std::size_t end = 0;
    for (std::size_t shown = 0; shown < kShownPatternScalars && end < pattern.size(); ++shown) {
        if (!utf8_next(pattern, end)) break;
    }
    std::string text = quoted_excerpt(pattern.substr(0, end), kShownPatternBytes);
    if (end < pattern.size()) text += "\u2026";
    return text;
}

}  // namespace

PatternWorkBudget::PatternWorkBudget(std::uint64_t allowance)
    : allowance_(allowance), remaining_(allowance), previous_(open_budget) {
    open_budget = this;
}

PatternWorkBudget::~PatternWorkBudget() { open_budget = previous_; }

std::optional<Error> PatternWorkBudget::spent_error() const {
    if (!spent_at_) return std::nullopt;
    return Error::Other("pattern work too large: more than " + decimal_text(allowance_) +
                        " steps, spent at the pattern /" + *spent_at_ + "/");
}

bool charge_pattern_work(std::uint64_t units, std::string_view pattern) {
    PatternWorkBudget* budget = open_budget;
    if (!budget) return true;
    if (budget->spent_at_) return false;
    if (units <= budget->remaining_) {
        budget->remaining_ -= units;
        return true;
    }
    budget->remaining_ = 0;
    budget->spent_at_ = shown_pattern(pattern);
    return false;
}

bool pattern_work_spent() { return open_budget && open_budget->spent_at_; }

}  // namespace bezo
