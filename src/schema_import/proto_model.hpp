// The in-memory form of a parsed .proto text, built by the parser, completed
// by type resolution and read by the schema writer. Records refer to each
// other by index into the file's lists, never by pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bezo {

// The fifteen scalar type words in their order, then the two named kinds.
// Int32 through String is exactly the run a map key may have.
enum class ProtoTypeKind : std::uint8_t {
    Double,
    Float,
    Int32,
    Int64,
    Uint32,
    Uint64,
    Sint32,
    Sint64,
    Fixed32,
    Fixed64,
    Sfixed32,
    Sfixed64,
    Bool,
    String,
    Bytes,
    Message,
    Enum,
};

struct ProtoType {
    ProtoTypeKind kind = ProtoTypeKind::String;
    std::uint32_t index = 0;  // into `messages` or `enums` for Message and Enum

    friend bool operator==(const ProtoType&, const ProtoType&) = default;
};

struct ProtoMapTypes {
    ProtoType key;
    ProtoType value;
};

// A field after resolution. A map field's `type` is String and unused.
struct ProtoField {
    ProtoType type;
    std::optional<ProtoMapTypes> map;
    std::string name;
    std::uint32_t number = 0;
    bool repeated = false;
    // The name JSON data gives the field: its "json_name" option, else its
    // name in lowerCamelCase.
    std::string json_name;
};

struct ProtoMessage {
    std::string full_name;  // scope, ".", name; the scope is the package or the holding message
    std::vector<ProtoField> fields;
    bool top_level = false;
};

struct ProtoEnumValue {
    std::string name;
    std::int32_t number = 0;
};

struct ProtoEnum {
    std::string full_name;
    std::vector<ProtoEnumValue> values;  // in declaration order, duplicates kept
};

struct ProtoFile {
    std::vector<ProtoMessage> messages;  // in the order their declarations begin
    std::vector<ProtoEnum> enums;        // in the order their declarations end
};

// A field as the parser reads it, before its type names are resolved. Its
// texts are views into the source, or into names the parser keeps, and live
// as long as the parse.
struct ProtoMapTypeTexts {
    std::string_view key;
    std::string_view value;
};

struct ProtoFieldDecl {
    std::string_view name;
    std::string_view type_text;  // as written, "." first when fully qualified; empty for a map
    std::optional<ProtoMapTypeTexts> map_types;
    std::uint32_t number = 0;
    bool repeated = false;
    std::optional<std::string_view> json_name;  // the "json_name" option, escapes undecoded
};

// The field declarations of one message, waiting for resolution.
struct ProtoPendingFields {
    std::size_t message = 0;
    std::vector<ProtoFieldDecl> fields;
};

}  // namespace bezo
