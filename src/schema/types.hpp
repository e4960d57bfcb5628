// Schema types: lowering a field's type name into the constraint items it
// stands for, so that a compiled schema names no type the validator would
// have to look up. A name is resolved through the built-in std/core library
// or the type library that a qualified name points into (nested "!" items
// and "&" references included), the constraints met on the way are collected
// and ordered, byte-length bounds of base64url types become bounds of the
// encoded text, and union members are written inline.
//
// Also here: the usability check of patterns and collation tags in a list,
// and two classifiers telling numeric and boolean types apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "lang/anno.hpp"
#include "lang/resolve.hpp"

namespace bezo {

// The constraints one resolution gathers, in the order they are met.
// Patterns, spans, ranges and sets are kept as their item texts; lengths
// stay values because their bounds may still be rewritten.
struct TypeCollector {
    std::vector<std::string> patterns;
    std::vector<std::string> spans;
    std::vector<std::string> ranges_and_sets;
    std::vector<Constraint::Length> lengths;
};

// The state of resolving one field's type (or one union member's).
struct TypeResolution {
    // The value of every type definition passed on the way, outermost first.
    std::vector<std::string> candidates;
    // The first unit met, in canonical spelling.
    std::optional<std::string> unit;
    // The base64url core type was reached: length bounds count bytes.
    bool b64 = false;
    // What the resolution has gathered so far: the bytes of its item and
    // candidate texts and a fixed charge per definition entered. Types that
    // refer to one another more than once can expand exponentially within
    // the depth limit; this bounds the work and the memory of one resolution.
    std::size_t gathered = 0;
};

// Resolves an annotation's type into the collector (depth 0 for callers).
Result<void> resolve_schema_type(const Annotation& annotation, Resolver& resolver, RegistryEntries entries,
                                 TypeCollector& collector, TypeResolution& resolution, int depth);

// Walks the items of a type definition from `library`.
Result<void> resolve_type_items(std::span<const AnnotationItem> items, std::string_view library, Resolver& resolver,
                                RegistryEntries entries, TypeCollector& collector, TypeResolution& resolution,
                                int depth);

// The item text of one constraint: "/p/", "[lo,hi]", "{a,b}", "#[..]", "..num".
std::string render_schema_constraint(const Constraint& constraint);

// The collected item texts in order: patterns, spans, ranges and sets,
// lengths. With `b64`, byte-length bounds become encoded-text bounds.
std::vector<std::string> render_type_items(const TypeCollector& collector, bool b64);

// The length of the unpadded base64url text of n bytes, for a bound text n
// (digits, one leading "+" allowed); no value for an absent bound or a text
// that is not such a number of at most 64 bits.
std::optional<std::string> base64_length_bound(std::optional<std::string_view> bound);

// A field's lowered items and the candidate default values of the types
// passed while resolving it.
struct LoweredType {
    std::vector<std::string> items;
    std::vector<std::string> candidates;
};

// Lowers a field's annotation: the type item ("!int", "!float:km"), then the
// type's items, then the field's own constraints; a union becomes one inline
// item. A compiled field line never begins with "#" or "//".
Result<LoweredType> lower_field_type(const Annotation& annotation, Resolver& resolver, RegistryEntries entries);
Result<std::vector<std::string>> lower_type_items(const Annotation& annotation, Resolver& resolver,
                                                  RegistryEntries entries);

// One union member as inline text: its name (with ":" and its unit), then
// its lowered items in parentheses, e.g. «int(/^-?[0-9]+$/..num)».
Result<std::string> lower_union_alternatives(std::string_view name, std::span<const Constraint> constraints,
                                             std::optional<std::string_view> unit, Resolver& resolver,
                                             RegistryEntries entries);

// True when every pattern of the items (annotations and their alternatives
// included) compiles and every collation domain names a well-formed tag.
bool check_lex_locales(std::span<const AnnotationItem> items);

// How a type's values read: as numbers, as booleans, or as anything else.
enum class ValueClass : std::uint8_t {
    Numeric = 0,
    Boolean = 1,
    Other = 2,
};

// The class of a type name, resolved through the libraries; a name that
// does not resolve is Other.
ValueClass type_orders_numerically(std::string_view name, Resolver& resolver, RegistryEntries entries);

// The class of a compiled field's items, decided by the first of them that
// is a telling item.
ValueClass classify_value_type(std::span<const AnnotationItem> items);

// The entry type of a "!map" annotation that names none.
std::string_view default_type_name();

}  // namespace bezo
