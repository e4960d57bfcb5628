// Spells the members of an imported root object as one authored document,
// choosing for every value the most compact line form that carries it
// exactly and embedding as base64url JSON whatever the line grammar cannot
// carry.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "interchange/json_reader.hpp"
#include "interchange/value.hpp"

namespace bezo {

// The whole document: the ".!bezo" declaration, the `mark` line when one is
// given, one ".!types" line per library used, an empty line, then the body.
// With `embed_containers` every root array and object becomes one
// embedded-JSON line pair. The output budget (core/budget.hpp) counts from
// `input_size`, the size of the text the tree was read from; without it the
// budget is the smallest one.
Result<std::string> tree_to_authored(const ValueObject& members, bool embed_containers, std::size_t input_size = 0,
                                     std::string_view mark = {});

// tree_to_authored for the members of the root object of a JsonTree.
Result<std::string> json_tree_to_authored(const JsonNode& root_object, bool embed_containers, std::size_t input_size);

}  // namespace bezo
