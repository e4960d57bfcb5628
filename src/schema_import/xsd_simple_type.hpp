// The built-in datatypes of XML Schema as annotations of the schema
// language, and simple types: a restriction of a built-in becomes the
// built-in's kind followed by the constraint items its facets can be said
// in (a value set, a pattern, a value range, a length range); what cannot be
// said is noted and dropped, so that the annotation accepts at least what
// the simple type accepted.
#pragma once

#include <optional>
#include <string_view>

#include "interchange/value.hpp"
#include "schema_import/xsd_context.hpp"

namespace bezo {

// One built-in datatype, by its local name.
struct XsdBuiltin {
    std::string_view name;
    // Empty: unconstrained text. A numeric built-in's annotation is followed
    // by the "str" member that takes its text values when it is used.
    std::string_view annotation;
    std::string_view library;  // the type library the annotation names, if any
    // The kind its facets constrain ("int", "float", "bool" or "str"); empty
    // for a type-library type, whose facets are not expressed.
    std::string_view kind;
    std::string_view lower;  // the bounds of an integer type; empty when open
    std::string_view upper;
    // What the annotation leaves unchecked in text values, for a note.
    std::string_view unchecked = {};
};

// The built-in of that local name, compared byte for byte; none for any
// other name (anyType among them).
const XsdBuiltin* find_xsd_builtin(std::string_view local_name);

// The scalar type of a built-in local name, adding the library its
// annotation names to the context; none for a name that is not a built-in.
std::optional<XsdScalar> map_xsd_builtin(XsdContext& context, std::string_view local_name);

// A simpleType element as a scalar type, or unresolved for a list, a union,
// a missing or repeated restriction and a restriction of a type that is not
// a built-in. Notes what it drops into the context's body.
XsdType convert_xsd_simple_type(XsdContext& context, const Value& simple_type);

}  // namespace bezo
