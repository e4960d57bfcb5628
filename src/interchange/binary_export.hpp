// The road the binary exporters share: canonical text read into the
// canonical tree, converted to the interchange tree and encoded into bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/value.hpp"

namespace bezo {

// Appends the encoding of a value at a depth (the root is at 0).
using BinaryValueEncoder = Result<void> (*)(const Value& value, std::vector<std::uint8_t>& out, unsigned depth);

// tree_to_value, then `encode` of the root into a new buffer.
Result<std::vector<std::uint8_t>> encode_canonical_tree(const CanonicalValue& tree, BinaryValueEncoder encode);

// canonical_to_tree of the text, then `body` of the tree.
Result<std::vector<std::uint8_t>> encode_canonical_text(
    std::string_view canonical_text, Result<std::vector<std::uint8_t>> (*body)(const CanonicalValue& tree));

}  // namespace bezo
