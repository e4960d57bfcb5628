#include "pipeline/compile_state.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bezo {
namespace {

struct CounterStep {
    std::string path;
    std::uint64_t expected;  // the counter's value before this step takes an index
};

TEST(EntryCounters, CountsEachPathOnItsOwn) {
    const std::vector<CounterStep> steps = {
        {"/@a", 0}, {"/@a", 1},      {"/@b", 0},   {"/@a", 2},      {"", 0},          {"", 1},
        {"/@b", 1}, {"/@a/0/@b", 0}, {"/@a/0", 0}, {"/@a/0/@b", 1}, {"/@\"a b\"", 0},
    };
    EntryCounters counters;
    for (const auto& step : steps) EXPECT_EQ(counters[step.path]++, step.expected) << step.path;
}

TEST(EntryCounters, KeepsCountersAndTheirPlacesWhileTheTableGrows) {
    EntryCounters counters;
    std::uint64_t& first = counters["/@items/0/@tags"];
    first = 7;
    std::vector<std::uint64_t*> places;
    for (int i = 0; i < 5000; ++i) {
        const std::string path = "/@items/" + std::to_string(i) + "/@tags";
        std::uint64_t& counter = counters[path];
        counter += static_cast<std::uint64_t>(i) + 1;
        places.push_back(&counter);
    }
    EXPECT_EQ(&counters["/@items/0/@tags"], &first);
    for (int i = 0; i < 5000; ++i) {
        const std::string path = "/@items/" + std::to_string(i) + "/@tags";
        EXPECT_EQ(&counters[path], places[static_cast<std::size_t>(i)]) << path;
        EXPECT_EQ(counters[path], i == 0 ? 8u : static_cast<std::uint64_t>(i) + 1) << path;
    }
}

}  // namespace
}  // namespace bezo
