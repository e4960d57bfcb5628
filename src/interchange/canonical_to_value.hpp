// Converts the canonical tree into the interchange tree that every exporter
// but JSON encodes.
#pragma once

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/value.hpp"

namespace bezo {

// Namespaces become objects, Json values the scalars their spelling names
// (an embedded document is read as JSON and becomes its whole subtree) and
// leaves typed values.
Result<Value> tree_to_value(const CanonicalTree& tree);

}  // namespace bezo
