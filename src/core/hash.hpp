// Hash maps keyed by text whose hash function carries a random key, drawn
// once per thread from the system's random source, so that a document
// cannot be crafted to make every key collide.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace bezo {

// SipHash-1-3 of the text under this thread's key. Transparent, so lookups by
// string_view need no copy.
struct KeyedTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
};

template <class Value>
using TextMap = std::unordered_map<std::string, Value, KeyedTextHash, std::equal_to<>>;
using TextSet = std::unordered_set<std::string, KeyedTextHash, std::equal_to<>>;

}  // namespace bezo
