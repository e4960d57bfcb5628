// The definition parser of GraphQL SDL. It keeps what the conversion into an
// authored schema uses: the names and kinds of object, input, interface,
// enum, scalar and union definitions, the fields with their descriptions and
// type references, and enum value names. Arguments, defaults, directives,
// interfaces, union members, other descriptions, schema and directive
// definitions and extensions are read and thrown away.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "core/error.hpp"
#include "schema_import/graphql_lexer.hpp"

namespace bezo {

struct SdlTypeRef;

// A type named in a field: Int, User; `non_null` when a "!" follows.
struct SdlNamedType {
    std::string_view name;
    bool non_null = false;
};

// A list type; `non_null` when a "!" follows the closing bracket.
struct SdlListType {
    std::unique_ptr<SdlTypeRef> element;
    bool non_null = false;
};

struct SdlTypeRef {
    std::variant<SdlNamedType, SdlListType> form;
};

struct SdlField {
    std::string_view name;
    std::optional<std::string_view> description;  // the text token just before the name
    SdlTypeRef type;
};

// "type", "input" and "interface" all make an Object.
enum class SdlDefinitionKind : std::uint8_t { Object, Enum, Scalar, Union };

struct SdlDefinition {
    SdlDefinition(std::string_view name, SdlDefinitionKind kind) : name(name), kind(kind) {}

    std::string_view name;
    SdlDefinitionKind kind;
    std::vector<SdlField> fields;               // an Object's, in the order written
    std::vector<std::string_view> enum_values;  // an Enum's, in the order written
};

// Deeper "[" nesting in one type reference ends the parse.
inline constexpr unsigned kMaxSdlListNesting = 512;

// Every definition of the text, in document order, duplicates included. The
// definitions borrow the cursor's text.
Result<std::vector<SdlDefinition>> parse_sdl_document(SdlCursor& cursor);

}  // namespace bezo
