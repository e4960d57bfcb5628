#include "core/arena.hpp"

#include <cstring>

namespace bezo {
namespace {

// Texts are gathered in blocks of this size; a text too large to share a
// block gets one of its own.
constexpr std::size_t kBlockSize = std::size_t{64} << 10;
constexpr std::size_t kOwnBlockSize = kBlockSize / 4;

}  // namespace

std::string_view TextArena::store(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > kOwnBlockSize) {
        auto& block = blocks_.emplace_back(std::make_unique_for_overwrite<char[]>(text.size()));
        std::memcpy(block.get(), text.data(), text.size());
        return {block.get(), text.size()};
    }
    if (text.size() > left_) {
        free_ = blocks_.emplace_back(std::make_unique_for_overwrite<char[]>(kBlockSize)).get();
        left_ = kBlockSize;
    }
    char* stored = free_;
    std::memcpy(stored, text.data(), text.size());
    free_ += text.size();
    left_ -= text.size();
    return {stored, text.size()};
}

}  // namespace bezo
