// Converts the canonical tree into the interchange tree that every exporter
// but JSON encodes.
#pragma once

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/value.hpp"

namespace bezo {

// Namespaces become objects, Json texts are read again as JSON (an embedded
// document becomes its whole subtree) and leaves become typed values.
Result<Value> tree_to_value(const CanonicalTree& tree);

}  // namespace bezo
