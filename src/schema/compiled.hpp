// Compiled schemas (kind word "whezo"): the validation contract that the
// schema compiler writes and the validator and the denormalizer read. This
// module holds the in-memory form and the reader of the text.
//
// The text is a list of lines:
//   ".!whezo [name] [strict]"          declaration; "strict" sets the flag
//   ".!provenance:required|source|none" provenance requirement
//   "{items}'{path}[?]={default}"      one field rule
//   "/table/@row {bracketed head}"     one table rule
//   "/sub [schema::a|b]"               one delegation
// and comments ("#", "//"), blank lines and other header lines, which are
// skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "lang/anno.hpp"
#include "lang/table.hpp"

namespace bezo {

// What a schema requires of the provenance of every content line.
enum class ProvenanceLevel : std::uint8_t {
    Required = 0,      // a source and a timestamp
    Source = 1,        // a source
    Prohibited = 2,    // no provenance at all
    Undeclared = 255,  // no requirement: the check is off
};

// One field rule.
struct SchemaField {
    // The metadata split into annotation and constraint items.
    std::vector<AnnotationItem> items;
    // The field's path, without the final "?" of an optional field.
    std::string path;
    bool optional = false;
    // Everything after the "=" to the end of the line, untrimmed: the default
    // value, empty when there is none.
    std::string value;
    // The text before the apostrophe, exactly as written.
    std::string metadata;

    friend bool operator==(const SchemaField&, const SchemaField&) = default;
};

// One table rule: the head of the table at `path` (which begins with "/").
struct TableConstraint {
    std::string path;
    TableHead head;

    friend bool operator==(const TableConstraint&, const TableConstraint&) = default;
};

// One delegation: the lines under `path` are governed by the named schemas.
struct DelegatedSchema {
    std::string path;
    std::vector<std::string> names;  // in the order written

    friend bool operator==(const DelegatedSchema&, const DelegatedSchema&) = default;
};

// The strictness and provenance requirement that a delegated schema imposes
// on the lines under its path.
struct SchemaScope {
    std::string path;
    bool strict = false;
    ProvenanceLevel provenance = ProvenanceLevel::Undeclared;

    friend bool operator==(const SchemaScope&, const SchemaScope&) = default;
};

struct CompiledSchema {
    std::vector<SchemaField> fields;           // in text order
    std::vector<TableConstraint> tables;       // in text order
    std::vector<DelegatedSchema> delegations;  // in text order
    std::vector<SchemaScope> scopes;           // filled only by the document-schema loader
    bool strict = false;
    ProvenanceLevel provenance = ProvenanceLevel::Undeclared;

    friend bool operator==(const CompiledSchema&, const CompiledSchema&) = default;
};

// The level named by the text after ".!provenance:" (already trimmed):
// "required", "source" or "none"; no value for anything else.
std::optional<ProvenanceLevel> parse_provenance_level(std::string_view word);

// True when a word of the line, cut at blanks, is exactly "strict".
bool has_strict_word(std::string_view line);

// Reads a compiled schema text line by line, without checking its format
// declaration. Every failure is an Other error with its message; nothing
// partial is returned.
Result<CompiledSchema> parse_compiled_schema(std::string_view text);

// Reads a compiled schema text as parse_compiled_schema does, failing where
// it fails, without keeping what it reads.
Result<void> check_compiled_schema(std::string_view text);

// Checks that the text declares the kind "whezo" (a FormatKind lexer error
// with the line examined when it does not), then reads it.
Result<CompiledSchema> load_compiled_schema(std::string_view text);

}  // namespace bezo
