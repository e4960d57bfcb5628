#include "avro/avro_schema.hpp"

#include <array>
#include <utility>

namespace bezo {
namespace {

struct TimeKindRow {
    std::string_view base;
    std::string_view logical_type;
    std::string_view std_time_type;
};

// Indexed by TimeKind.
constexpr std::array<TimeKindRow, 7> kTimeKinds{{
    {"int", "date", "date"},
    {"int", "time-millis", "time"},
    {"long", "time-micros", "time"},
    {"long", "timestamp-millis", "datetime"},
    {"long", "timestamp-micros", "datetime"},
    {"long", "local-timestamp-millis", "localdatetime"},
    {"long", "local-timestamp-micros", "localdatetime"},
}};

// Copies one node and, through clone_avro_schema, everything under it.
struct Cloner {
    AvroSchema operator()(const AvroArray& array) const { return avro_array_of(clone_avro_schema(*array.items)); }
    AvroSchema operator()(const AvroMap& map) const { return avro_map_of(clone_avro_schema(*map.values)); }
    AvroSchema operator()(const AvroRecord& record) const {
        AvroRecord copy{record.name, {}};
        copy.fields.reserve(record.fields.size());
        for (const AvroField& field : record.fields) {
            copy.fields.push_back(AvroField{field.name, clone_avro_schema(field.schema)});
        }
        return AvroSchema{std::move(copy)};
    }
    AvroSchema operator()(const AvroUnion& united) const {
        AvroUnion copy;
        copy.branches.reserve(united.branches.size());
        for (const AvroSchema& branch : united.branches) copy.branches.push_back(clone_avro_schema(branch));
        return AvroSchema{std::move(copy)};
    }
    // Nodes without children copy their payload.
    AvroSchema operator()(const auto& leaf) const { return AvroSchema{leaf}; }
};

// Equality of everything but the children of arrays and maps.
bool equal_nodes(const AvroSchema& a, const AvroSchema& b) {
    if (!a.same_variant(b)) return false;
    if (const auto* fixed = a.get_if<AvroFixed>()) return fixed->size == b.get_if<AvroFixed>()->size;
    if (const auto* number = a.get_if<AvroLong>()) return number->double_exact == b.get_if<AvroLong>()->double_exact;
    if (const auto* decimal = a.get_if<AvroDecimal>()) {
        const auto* other = b.get_if<AvroDecimal>();
        return decimal->double_exact == other->double_exact &&
               decimal->values_double_exact == other->values_double_exact && decimal->scale == other->scale &&
               decimal->precision == other->precision && decimal->fixed_size == other->fixed_size;
    }
    if (const auto* time = a.get_if<AvroTime>()) return time->kind == b.get_if<AvroTime>()->kind;
    if (const auto* reference = a.get_if<AvroRecursiveRef>()) {
        return reference->name == b.get_if<AvroRecursiveRef>()->name;
    }
    if (const auto* enumeration = a.get_if<AvroEnum>()) return enumeration->symbols == b.get_if<AvroEnum>()->symbols;
    if (const auto* record = a.get_if<AvroRecord>()) {
        const auto& other = *b.get_if<AvroRecord>();
        if (record->name != other.name || record->fields.size() != other.fields.size()) return false;
        for (std::size_t i = 0; i < record->fields.size(); ++i) {
            const AvroField& field = record->fields[i];
            if (field.name != other.fields[i].name || !avro_schema_eq(field.schema, other.fields[i].schema)) {
                return false;
            }
        }
        return true;
    }
    if (const auto* united = a.get_if<AvroUnion>()) {
        const auto& other = *b.get_if<AvroUnion>();
        if (united->branches.size() != other.branches.size()) return false;
        for (std::size_t i = 0; i < united->branches.size(); ++i) {
            if (!avro_schema_eq(united->branches[i], other.branches[i])) return false;
        }
    }
    return true;
}

// The child of an array or map node; none for every other node.
const AvroSchema* container_child(const AvroSchema& schema) {
    if (const auto* array = schema.get_if<AvroArray>()) return array->items.get();
    if (const auto* map = schema.get_if<AvroMap>()) return map->values.get();
    return nullptr;
}

}  // namespace

std::string_view time_kind_base(TimeKind kind) { return kTimeKinds[static_cast<std::size_t>(kind)].base; }

std::string_view time_kind_logical_type(TimeKind kind) {
    return kTimeKinds[static_cast<std::size_t>(kind)].logical_type;
}

std::string_view time_kind_std_time_type(TimeKind kind) {
    return kTimeKinds[static_cast<std::size_t>(kind)].std_time_type;
}

std::optional<TimeKind> time_kind_of(std::string_view base, std::string_view logical_type) {
    for (std::size_t i = 0; i < kTimeKinds.size(); ++i) {
        if (kTimeKinds[i].base == base && kTimeKinds[i].logical_type == logical_type) return static_cast<TimeKind>(i);
    }
    return std::nullopt;
}

std::optional<AvroSchema> avro_primitive(std::string_view name) {
    constexpr std::array<AvroSchema (*)(), 8> kMake{
        [] { return AvroSchema{AvroNull{}}; },  [] { return AvroSchema{AvroBoolean{}}; },
        [] { return AvroSchema{AvroInt{}}; },   [] { return AvroSchema{AvroLong{}}; },
        [] { return AvroSchema{AvroFloat{}}; }, [] { return AvroSchema{AvroDouble{}}; },
        [] { return AvroSchema{AvroBytes{}}; }, [] { return AvroSchema{AvroString{}}; },
    };
    for (std::size_t i = 0; i < kAvroPrimitiveNames.size(); ++i) {
        if (kAvroPrimitiveNames[i] == name) return kMake[i]();
    }
    return std::nullopt;
}

std::string_view avro_branch_type(const AvroSchema& schema) {
    if (schema.node.index() < kAvroPrimitiveNames.size()) return kAvroPrimitiveNames[schema.node.index()];
    if (const auto* time = schema.get_if<AvroTime>()) return time_kind_base(time->kind);
    if (const auto* decimal = schema.get_if<AvroDecimal>()) return decimal->fixed_size ? "" : "bytes";
    if (schema.is<AvroArray>()) return "array";
    if (schema.is<AvroMap>()) return "map";
    return "";
}

AvroSchema avro_array_of(AvroSchema items) {
    return AvroSchema{AvroArray{std::make_unique<AvroSchema>(std::move(items))}};
}

AvroSchema avro_map_of(AvroSchema values) {
    return AvroSchema{AvroMap{std::make_unique<AvroSchema>(std::move(values))}};
}

AvroSchema clone_avro_schema(const AvroSchema& schema) { return std::visit(Cloner{}, schema.node); }

bool avro_schema_eq(const AvroSchema& a, const AvroSchema& b) {
    const AvroSchema* left = &a;
    const AvroSchema* right = &b;
    // Chains of arrays and maps are walked, not recursed into.
    while (true) {
        const AvroSchema* left_child = container_child(*left);
        if (!left_child) return equal_nodes(*left, *right);
        if (!left->same_variant(*right)) return false;
        left = left_child;
        right = container_child(*right);
    }
}

}  // namespace bezo
