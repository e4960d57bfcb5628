// The schema lines of a resolved .proto message: singular message fields
// flattened into nested paths, repeated messages as array sections, maps as
// map annotations, repeated scalars as array fields. Every field is written
// optional; what the schema language cannot hold becomes a "// dropped:"
// note.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/proto_model.hpp"

namespace bezo {

// Singular message fields expanded inside one another deeper than this end
// the import.
inline constexpr std::size_t kMaxProtoExpansionDepth = 32;

struct ProtoWriteContext {
    explicit ProtoWriteContext(const ProtoFile& file) : file(file), enum_annotations(file.enums.size()) {}

    std::string body;
    const ProtoFile& file;
    LibrarySet libraries;  // "std/num" for floating fields
    // A message held twice by each of its parents doubles its lines at every
    // level: every field visited and every expansion counts.
    ImportBudget budget;
    std::vector<std::string> enum_annotations;  // per enum, built on first use
    FieldLineCounts lines;                      // the field lines written so far
};

// The names JSON data gives a message's fields: a printer writes either
// every declared name or every JSON name (lowerCamelCase, or the
// "json_name" option), and a parser takes both.
enum class ProtoSpelling : std::uint8_t {
    Both,      // each field under both names: the root, and below names that are spelled alike
    Declared,  // below a field written under its declared name where the JSON name differs
    Json,      // below a field written under its JSON name
};

// Appends the lines of the fields of `message` under the table `prefix`
// ("" for the root, "/a/b" further down), under the names `spelling` gives
// them. `stack` holds the root and every message being expanded, in order.
Result<void> write_proto_message(ProtoWriteContext& context, std::size_t message, std::string_view prefix,
                                 std::vector<std::size_t>& stack, ProtoSpelling spelling = ProtoSpelling::Both);

// The annotation of a scalar or enum type ("!bool", "!int|str{A,B}", a
// base64 pattern for bytes), none for string; records the type library it
// names.
std::optional<std::string_view> map_proto_scalar(ProtoWriteContext& context, ProtoType type);

// Appends the annotation that also admits null: "!null|" before an "!"
// annotation that does not already begin with "!null"; others unchanged.
void make_nullable_annotation(std::string_view annotation, std::string& out);

}  // namespace bezo
