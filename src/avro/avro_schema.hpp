// The one in-memory Avro schema, shared by the schema importer (Avro schema
// JSON in) and the exporter (a schema inferred from the data, then written
// as schema JSON and used to encode the datum). Every node owns its
// children outright: a named type used twice is copied twice, so a tree is
// finite, acyclic and dropped recursively.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bezo {

// The date and time logical types, in the order of their table below.
enum class TimeKind : std::uint8_t {
    Date,
    TimeMillis,
    TimeMicros,
    TimestampMillis,
    TimestampMicros,
    LocalTimestampMillis,
    LocalTimestampMicros,
};

// "int" for the two 32-bit kinds, "long" for the others.
std::string_view time_kind_base(TimeKind kind);
// The logicalType word, e.g. "timestamp-micros".
std::string_view time_kind_logical_type(TimeKind kind);
// The std/time type whose values the kind carries: "date", "time",
// "datetime" or "localdatetime".
std::string_view time_kind_std_time_type(TimeKind kind);
// The kind of a logicalType word on its base type ("int" or "long"); none
// when the pair names no date or time type.
std::optional<TimeKind> time_kind_of(std::string_view base, std::string_view logical_type);

struct AvroSchema;
struct AvroField;

struct AvroNull {};
struct AvroBoolean {};
struct AvroInt {};
// `double_exact`, set only by the exporter's inference: every number
// behind the long is exactly a binary64 value, so a double beside it in a
// union holds them all.
struct AvroLong {
    bool double_exact = false;
};
struct AvroFloat {};
struct AvroDouble {};
struct AvroBytes {};
struct AvroString {};
struct AvroFixed {
    std::uint64_t size = 0;
};
// The "decimal" logical type. `fixed_size` is set only for a decimal on a
// "fixed" schema; `precision` only by the exporter's inference, which also
// sets `double_exact` when every number behind the decimal is exactly the
// shortest text of its nearest binary64 value and no long was joined into
// it, and `values_double_exact` when that holds of every number, longs
// included (a double beside it in a union then holds them all).
struct AvroDecimal {
    std::optional<std::uint64_t> fixed_size;
    std::uint64_t scale = 0;
    std::uint64_t precision = 0;
    bool double_exact = false;
    bool values_double_exact = false;
};
struct AvroTime {
    TimeKind kind = TimeKind::Date;
};
struct AvroEnum {
    std::vector<std::string> symbols;
};
struct AvroArray {
    std::unique_ptr<AvroSchema> items;
};
struct AvroMap {
    std::unique_ptr<AvroSchema> values;  // keys are strings
};
struct AvroRecord {
    std::string name;
    std::vector<AvroField> fields;  // schema order
};
struct AvroUnion {
    std::vector<AvroSchema> branches;
};
// A reference, met while importing, to a record whose definition is still
// open around it (a linked list's "next", a tree's children). The importer
// notes it instead of copying the record into itself without end.
struct AvroRecursiveRef {
    std::string name;  // the full name of the record referred to
};

// The variant order is the tag order the writers and tables index by.
struct AvroSchema {
    std::variant<AvroNull, AvroBoolean, AvroInt, AvroLong, AvroFloat, AvroDouble, AvroBytes, AvroString, AvroFixed,
                 AvroDecimal, AvroTime, AvroEnum, AvroArray, AvroMap, AvroRecord, AvroUnion, AvroRecursiveRef>
        node;

    template <class T>
    bool is() const {
        return std::holds_alternative<T>(node);
    }
    template <class T>
    const T* get_if() const {
        return std::get_if<T>(&node);
    }
    template <class T>
    T* get_if() {
        return std::get_if<T>(&node);
    }
    // Whether both nodes are of one variant (payloads aside).
    bool same_variant(const AvroSchema& other) const { return node.index() == other.node.index(); }
};

struct AvroField {
    std::string name;
    AvroSchema schema;
};

// The eight primitive type names, in variant order ("null" to "string").
inline constexpr std::array<std::string_view, 8> kAvroPrimitiveNames{"null",  "boolean", "int",   "long",
                                                                     "float", "double",  "bytes", "string"};

// The primitive schema a type name stands for; none for other names.
std::optional<AvroSchema> avro_primitive(std::string_view name);

// The Avro type word a union tells its branches apart by: the primitive
// name, or the base type of a logical type ("long" for a timestamp, "bytes"
// for a decimal without fixed size), or "array" and "map"; empty for the
// named types (records, enums, fixed), which are told apart by name.
std::string_view avro_branch_type(const AvroSchema& schema);

// An array or map node owning a new box around its child.
AvroSchema avro_array_of(AvroSchema items);
AvroSchema avro_map_of(AvroSchema values);

// A deep copy: every string, list and box is copied anew.
AvroSchema clone_avro_schema(const AvroSchema& schema);

// Structural equality: variants, payloads, names and orders all equal.
bool avro_schema_eq(const AvroSchema& a, const AvroSchema& b);

}  // namespace bezo
