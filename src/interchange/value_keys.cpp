#include "interchange/value_keys.hpp"

namespace bezo {

const std::string* first_repeated_key(const ValueObject& members) {
    const auto repeated =
        find_repeated_key(members, [](const ValueMember& member) -> const std::string& { return member.key; });
    return repeated == members.end() ? nullptr : &repeated->key;
}

}  // namespace bezo
