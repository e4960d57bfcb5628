// Compact JSON from both trees: no whitespace of the writer's own, keys and
// strings quoted by one rule.
#pragma once

#include <string>
#include <string_view>

#include "interchange/canonical_tree.hpp"
#include "interchange/json_reader.hpp"
#include "interchange/value.hpp"

namespace bezo {

// Appends the compact JSON of an interchange value. Typed values are written
// as the string of their literal; repeated keys are written as they stand.
void write_json_value(const Value& value, std::string& out);

// Appends the compact JSON of one node of a JsonTree and its subtree.
void write_json_node(const JsonNode& node, std::string& out);

// Appends the compact JSON of a canonical tree. Json texts are written
// unchanged, so an embedded document keeps its own formatting.
void write_canonical_json(const CanonicalTree& tree, std::string& out);

}  // namespace bezo
