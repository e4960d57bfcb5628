// The writer schema of an Avro export, derived from the data alone: each
// value gets a schema, the elements of an array and the objects met in one
// place are unified into one, exact decimals become doubles and the records
// are named after the fields that hold them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "avro/avro_schema.hpp"
#include "core/error.hpp"
#include "core/hash.hpp"
#include "interchange/value.hpp"

namespace bezo {

// The schema of one value at `depth` (the document root at 0). Every object
// becomes a record with an empty name.
Result<AvroSchema> infer_avro_schema(const Value& value, unsigned depth);

// Turns `a` into one schema that accepts the values of both `a` and `b`.
Result<void> unify_avro_schemas(AvroSchema& a, AvroSchema b);

// The schema unify_avro_schemas gives when it folds the schemas from left
// to right, in time linear in their size: where unification merges each
// record into the fields gathered so far, records are merged all at once.
// Fails on no schemas and with the first failure of a group of branches.
Result<AvroSchema> fold_avro_schemas(std::vector<AvroSchema> schemas);

// Adds a schema, or each branch of a union, to a union's branches: into the
// branch of its variant (all records count as one, and a date stands apart
// from the long-based time types) when there is one, else at the end. The
// numbers join into one long or decimal and, for non-finite values, one
// double after it, whatever the order they come in.
Result<void> union_add_branch(std::vector<AvroSchema>& branches, AvroSchema schema);

// Replaces every decimal whose numbers were all exact binary64 values by a
// double, and drops from a union the long or decimal whose numbers the
// double beside it holds exactly.
void normalise_avro_schema(AvroSchema& schema);

// Readers refuse a union of two branches of one Avro type, such as a long
// beside a timestamp or bytes beside a decimal; fails with "an Avro union
// cannot hold two {} branches".
Result<void> check_avro_unions(const AvroSchema& schema);

// The record names given so far, with the eight primitive names taken from
// the start (a reader would take a record named "string" for the primitive),
// and for each base name the suffix to try next.
class AvroRecordNames {
public:
    AvroRecordNames();
    // `base` when it is free, else the first free of base_2, base_3, ...;
    // the name returned is taken.
    std::string take(std::string_view base);

private:
    TextSet used_;
    TextMap<std::uint64_t> next_suffix_;
};

// Names each record after `base` (the field that holds it, through arrays
// and unions), suffixed with _2, _3, ... where a name is taken.
void name_avro_records(AvroSchema& schema, std::string_view base, AvroRecordNames& names);

}  // namespace bezo
