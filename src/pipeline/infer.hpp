// Schema inference: an authored schema (kind hezo) derived from a canonical
// document (kind nezo). Only the metadata and the name path of each content
// line are read: a field's type is the type its signature carries, never a
// guess from its value. Root fields, lists of scalars and tables of records
// become schema fields; what the schema cannot state (a field missing from
// some items of a table, element fields in no consistent order, nested
// arrays) is written as a comment line and left out. Every item of a table
// counts as one of its elements, whether a record or not.
#pragma once

#include <functional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// The type-library module paths an inferred schema imports, in byte order.
using LibrarySet = std::set<std::string, std::less<>>;

// The annotation line of a field seen with these types (distinct, in byte
// order; a type is a name, followed by ":" and the unit when it carries
// one), its LF included; empty when the field needs none (plain "str").
// Adds to `libraries` the module of every type name that holds "/".
std::string write_field_type(std::span<const std::string_view> types, LibrarySet& libraries);

// The authored schema of a canonical text, declared under `name`.
Result<std::string> infer_main(std::string_view canonical, std::string_view name);

}  // namespace bezo
