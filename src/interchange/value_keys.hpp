// Repeated keys in an object's members: the interchange tree keeps them
// (JSON payloads may repeat a key), but formats whose mappings hold one
// value per key cannot.
#pragma once

#include <string>

#include "interchange/value.hpp"

namespace bezo {

// The key of the first member whose key an earlier member already has, or
// null when every key is distinct.
const std::string* first_repeated_key(const ValueObject& members);

}  // namespace bezo
