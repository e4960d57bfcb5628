// Type libraries: modules of kind yezo that give names to constrained string
// types (std/time/date, std/net/hostname, ...). Six standard libraries are
// embedded in the module; every other library is read through the resolver.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "lang/anno.hpp"

namespace bezo {

// One named type: the items of the annotation and constraint lines written
// above its definition line, and the text after the definition's "=".
struct TypeDef {
    std::vector<AnnotationItem> items;
    std::string value;

    friend bool operator==(const TypeDef&, const TypeDef&) = default;
};

// A parsed library: its declared name and its types by name (without the
// "&"), in byte order of the names.
struct TypeLibrary {
    std::string name;
    std::map<std::string, TypeDef, std::less<>> types;

    friend bool operator==(const TypeLibrary&, const TypeLibrary&) = default;
};

// Parses a library text. Failures are lexer errors, FormatKind on line 1 for
// a text that declares no name, and Other messages for malformed lines.
Result<TypeLibrary> parse_type_library(std::string_view text);

// The standard library of exactly this name ("std/enc", "std/net", "std/num",
// "std/core", "std/math", "std/time"), or nullptr. The first call for a name
// parses its embedded text; later calls from any thread share that value.
const TypeLibrary* builtin_type_library(std::string_view name);

}  // namespace bezo
