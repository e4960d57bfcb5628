#include "core/hash.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace bezo {
namespace {

TEST(KeyedTextHash, StableWithinAThreadAndTransparent) {
    KeyedTextHash hash;
    const std::string text = "a rather longer key that spans several words";
    EXPECT_EQ(hash(text), hash(std::string_view(text)));
    EXPECT_NE(hash("a"), hash("b"));
    EXPECT_NE(hash(""), hash(std::string_view("\0", 1)));  // the length is part of the hash

    TextMap<int> map;
    map.emplace("key", 1);
    EXPECT_EQ(map.find(std::string_view("key"))->second, 1);
    EXPECT_EQ(map.find(std::string_view("kez")), map.end());
}

TEST(KeyedTextHash, EachThreadDrawsItsOwnKey) {
    const std::string text = "same text";
    const std::size_t here = KeyedTextHash{}(text);
    std::size_t there = here;
    std::thread([&] { there = KeyedTextHash{}(text); }).join();
    EXPECT_NE(here, there);  // equal only with probability 2^-64
}

}  // namespace
}  // namespace bezo
