#include "avro/avro_schema.hpp"

#include <gtest/gtest.h>

#include <utility>

namespace bezo {
namespace {

AvroSchema record(std::string name, AvroSchema field) {
    AvroRecord made{std::move(name), {}};
    made.fields.push_back(AvroField{"f", std::move(field)});
    return AvroSchema{std::move(made)};
}

AvroSchema decimal(std::optional<std::uint64_t> fixed_size, bool exact) {
    return AvroSchema{AvroDecimal{fixed_size, 2, 5, exact}};
}

AvroSchema union_of(std::vector<AvroSchema> branches) { return AvroSchema{AvroUnion{std::move(branches)}}; }

AvroSchema nested_array(AvroSchema leaf) { return avro_array_of(avro_array_of(std::move(leaf))); }

TEST(AvroSchemaEq, ComparesVariantsPayloadsNamesAndOrder) {
    struct Case {
        AvroSchema a, b;
        bool equal;
    };
    Case cases[] = {
        {decimal(std::nullopt, true), decimal(std::nullopt, false), false},
        {decimal(std::nullopt, false), decimal(8, false), false},
        {decimal(8, false), decimal(8, false), true},
        {record("A", AvroSchema{AvroInt{}}), record("B", AvroSchema{AvroInt{}}), false},
        {record("A", AvroSchema{AvroInt{}}), record("A", AvroSchema{AvroInt{}}), true},
        {nested_array(AvroSchema{AvroInt{}}), nested_array(AvroSchema{AvroInt{}}), true},
        {nested_array(AvroSchema{AvroInt{}}), nested_array(AvroSchema{AvroLong{}}), false},
        {avro_array_of(AvroSchema{AvroInt{}}), avro_map_of(AvroSchema{AvroInt{}}), false},
        {union_of({}), union_of({}), true},
        {AvroSchema{AvroEnum{}}, AvroSchema{AvroEnum{}}, true},
        {AvroSchema{AvroEnum{{"a", "b"}}}, AvroSchema{AvroEnum{{"b", "a"}}}, false},
        {AvroSchema{AvroTime{TimeKind::Date}}, AvroSchema{AvroTime{TimeKind::TimeMillis}}, false},
        {AvroSchema{AvroFixed{4}}, AvroSchema{AvroFixed{8}}, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(avro_schema_eq(cases[i].a, cases[i].b), cases[i].equal) << i;
    }
    std::vector<AvroSchema> null_long, long_null;
    null_long.push_back(AvroSchema{AvroNull{}});
    null_long.push_back(AvroSchema{AvroLong{}});
    long_null.push_back(AvroSchema{AvroLong{}});
    long_null.push_back(AvroSchema{AvroNull{}});
    EXPECT_FALSE(avro_schema_eq(union_of(std::move(null_long)), union_of(std::move(long_null))));
}

TEST(AvroSchemaClone, OutlivesItsSource) {
    auto source = std::make_unique<AvroSchema>(record("R", avro_map_of(AvroSchema{AvroEnum{{"x"}}})));
    const AvroSchema copy = clone_avro_schema(*source);
    const AvroSchema expected = record("R", avro_map_of(AvroSchema{AvroEnum{{"x"}}}));
    source.reset();
    EXPECT_TRUE(avro_schema_eq(copy, expected));
}

}  // namespace
}  // namespace bezo
