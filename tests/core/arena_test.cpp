#include "core/arena.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace bezo {
namespace {

TEST(TextArena, StoredTextsOutliveTheirSourcesAndMoves) {
    TextArena arena;
    std::vector<std::string_view> stored;
    std::vector<std::string> expected;
    // Small texts share blocks; the large ones get blocks of their own.
    for (std::size_t i = 0; i < 3000; ++i) {
        std::string text(i % 7 == 0 ? 20000 + i : i % 50, static_cast<char>('a' + i % 26));
        stored.push_back(arena.store(text));
        expected.push_back(std::move(text));
    }
    TextArena moved = std::move(arena);
    stored.push_back(moved.store("after the move"));
    expected.emplace_back("after the move");
    for (std::size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(stored[i], expected[i]) << i;
}

}  // namespace
}  // namespace bezo
