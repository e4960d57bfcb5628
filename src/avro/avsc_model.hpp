// An Avro schema JSON value read into the Avro schema model, with its named
// types resolved by copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "avro/avro_schema.hpp"
#include "core/error.hpp"
#include "core/hash.hpp"
#include "interchange/value.hpp"
#include "schema_import/conventions.hpp"

namespace bezo {

// The named types of one import, in the order they were completed. A name
// keeps the first type registered under it. Every copy of a type, into the
// registry or at a reference, is charged to the import's budget: nodes,
// fields and symbols as steps, names and symbols as output bytes.
class AvscRegistry {
public:
    explicit AvscRegistry(ImportBudget& budget) : budget_(budget) {}

    // Registers a completed type under its full name ("a.b.T", or "T" in no
    // namespace) and, as a last resort for references, under its own name
    // after the last dot.
    Result<void> add(std::string_view full_name, const AvroSchema& schema);
    // A copy of the type registered under the full name `full_name`; none
    // when there is none.
    Result<std::optional<AvroSchema>> copy_of(std::string_view full_name);
    // A copy of the first type whose own name (after the last dot) is
    // `name`; none when there is none.
    Result<std::optional<AvroSchema>> copy_of_short_name(std::string_view name);

private:
    struct Entry {
        AvroSchema schema;
        std::uint64_t steps;  // nodes, fields and symbols in the schema
        std::size_t bytes;    // bytes of its names and symbols
    };

    Result<void> charge(std::uint64_t steps, std::size_t bytes);
    Result<std::optional<AvroSchema>> copy_at(const TextMap<std::size_t>& positions, std::string_view name);

    ImportBudget& budget_;
    std::size_t copied_bytes_ = 0;
    std::vector<Entry> entries_;
    TextMap<std::size_t> full_names_;
    TextMap<std::size_t> short_names_;
};

// The schema one JSON value stands for. A type is registered once complete,
// so it can name only the types completed before it. Names resolve as Avro
// resolves them: a named type takes its own namespace (a dotted name is
// full already), else the one of the type around it; a reference without a
// dot is tried in the enclosing namespace first, then as written.
Result<AvroSchema> avsc_to_schema_model(const Value& value, AvscRegistry& registry);

}  // namespace bezo
