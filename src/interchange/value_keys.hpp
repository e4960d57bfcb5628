// Repeated keys in an object's members: the interchange tree keeps them
// (JSON payloads may repeat a key), but formats whose mappings hold one
// value per key cannot.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "core/hash.hpp"
#include "interchange/value.hpp"

namespace bezo {

// Below this many members comparing every pair is cheaper than hashing.
inline constexpr std::size_t kPairwiseKeyLimit = 16;

// The first member of `members` whose key (`key_of(member)`) an earlier
// member already has, or the end when every key is distinct.
template <class Members, class KeyOf>
auto find_repeated_key(const Members& members, KeyOf key_of) {
    if (members.size() <= kPairwiseKeyLimit) {
        for (auto later = members.begin(); later != members.end(); ++later) {
            for (auto earlier = members.begin(); earlier != later; ++earlier) {
                if (std::string_view(key_of(*earlier)) == key_of(*later)) return later;
            }
        }
        return members.end();
    }
    std::unordered_set<std::string_view, KeyedTextHash, std::equal_to<>> seen;
    seen.reserve(members.size());
    for (auto member = members.begin(); member != members.end(); ++member) {
        if (!seen.insert(key_of(*member)).second) return member;
    }
    return members.end();
}

// The key of the first member whose key an earlier member already has, or
// null when every key is distinct.
const std::string* first_repeated_key(const ValueObject& members);

}  // namespace bezo
