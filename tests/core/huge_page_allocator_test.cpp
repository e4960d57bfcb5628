#include "core/huge_page_allocator.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace bezo {
namespace {

using Numbers = std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>>;

// Fills a vector past the size where its blocks become mappings of their
// own, and back below it: every value survives each move between blocks.
TEST(HugePageAllocator, KeepsValuesAcrossSmallAndMappedBlocks) {
    const std::size_t mapped = kHugePageBlock / sizeof(std::uint64_t);
    for (const std::size_t size : {std::size_t{1000}, mapped - 1, mapped, 3 * mapped + 7}) {
        Numbers numbers;
        for (std::size_t i = 0; i < size; ++i) numbers.push_back(i * 2654435761u);
        Numbers moved = std::move(numbers);
        moved.resize(size / 2);
        moved.shrink_to_fit();
        bool intact = moved.size() == size / 2;
        for (std::size_t i = 0; intact && i < moved.size(); ++i) intact = moved[i] == i * 2654435761u;
        EXPECT_TRUE(intact) << size;
    }
}

}  // namespace
}  // namespace bezo
