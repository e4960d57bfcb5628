#include "interchange/value_keys.hpp"

#include <string_view>
#include <unordered_set>

#include "core/hash.hpp"

namespace bezo {
namespace {

// Below this many members comparing every pair is cheaper than hashing.
constexpr std::size_t kPairwiseLimit = 16;

}  // namespace

const std::string* first_repeated_key(const ValueObject& members) {
    if (members.size() <= kPairwiseLimit) {
        for (auto later = members.begin(); later != members.end(); ++later) {
            for (auto earlier = members.begin(); earlier != later; ++earlier) {
                if (earlier->key == later->key) return &later->key;
            }
        }
        return nullptr;
    }
    std::unordered_set<std::string_view, KeyedTextHash, std::equal_to<>> seen;
    seen.reserve(members.size());
    for (const ValueMember& member : members) {
        if (!seen.insert(member.key).second) return &member.key;
    }
    return nullptr;
}

}  // namespace bezo
