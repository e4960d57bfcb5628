// What every fuzz target shares: the entry point that libFuzzer (or the
// replay driver) calls, the split of one input into several texts, the
// checks a target makes beyond "no crash", and a resolver that reads no file
// (the module_files target follows registry locations instead).
//
// Each input runs with a pattern work budget open, as a call of the module
// does; once an input spends it, its results are void (every later pattern
// fails at once), so the checks hold nothing against them.
//
// A target is one file in fuzz/targets/ holding
//
//   BEZO_FUZZ_TARGET(text) { ...feed `text` to one reader or road... }
//
// and one line in fuzz/CMakeLists.txt. A failed check prints what differed
// and aborts, which libFuzzer and the replay both report as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "core/error.hpp"
#include "lang/resolve.hpp"
#include "schema/rex_budget.hpp"

namespace bezo::fuzz {

// Ends the run as a finding, naming the check that failed.
[[noreturn]] inline void fail_check(std::string_view what) {
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

inline void check(bool holds, std::string_view what) {
    if (!holds && !pattern_work_spent()) fail_check(what);
}

// Two texts that must be equal; both are printed (cut to 2000 bytes) when
// they are not.
inline void check_same(std::string_view first, std::string_view second, std::string_view what) {
    if (first == second || pattern_work_spent()) return;
    constexpr std::size_t kShown = 2000;
    std::fprintf(stderr, "--- first\n%.*s\n--- second\n%.*s\n", static_cast<int>(std::min(first.size(), kShown)),
                 first.data(), static_cast<int>(std::min(second.size(), kShown)), second.data());
    fail_check(what);
}

// A result must have succeeded: prints the error otherwise.
template <class T>
void check_ok(const Result<T>& result, std::string_view what) {
    if (result || pattern_work_spent()) return;
    std::fprintf(stderr, "error: %s\n", error_display(result.error()).c_str());
    fail_check(what);
}

// The text before the first NUL byte and the text after it (empty when the
// input holds none): how a target reads two texts out of one input.
inline std::pair<std::string_view, std::string_view> split_at_nul(std::string_view input) {
    const std::size_t nul = input.find('\0');
    if (nul == std::string_view::npos) return {input, {}};
    return {input.substr(0, nul), input.substr(nul + 1)};
}

// Takes the first byte of a non-empty input as a selector, leaving the rest.
inline std::uint8_t take_selector(std::string_view& input) {
    if (input.empty()) return 0;
    const auto selector = static_cast<std::uint8_t>(input.front());
    input.remove_prefix(1);
    return selector;
}

// A resolver that serves preloaded texts and the built-in libraries and
// reads no file: every other location it could choose is a refused web
// address.
inline Resolver offline_resolver() { return Resolver(ResolverConfig{.default_only = true}); }

}  // namespace bezo::fuzz

// Defines the libFuzzer entry point around a body that takes the input as
// text. The body's return value is ignored: every input may stay in the
// corpus.
#define BEZO_FUZZ_TARGET(text)                                                          \
    static void bezo_fuzz_body(std::string_view text);                                  \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        const bezo::PatternWorkBudget budget(bezo::pattern_work_allowance(size));       \
        bezo_fuzz_body(std::string_view(reinterpret_cast<const char*>(data), size));    \
        return 0;                                                                       \
    }                                                                                   \
    static void bezo_fuzz_body(std::string_view text)
