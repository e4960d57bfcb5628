#include "interchange/canonical_tree.hpp"

namespace bezo {

CanonicalValue& CanonicalNamespace::find_or_add(std::string_view key) {
    if (auto found = positions_.find(key); found != positions_.end()) return members_[found->second].value;
    positions_.emplace(std::string(key), members_.size());
    members_.push_back(CanonicalMember{std::string(key), CanonicalValue{CanonicalNamespace{}}});
    return members_.back().value;
}

}  // namespace bezo
