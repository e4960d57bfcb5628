#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "avro/avro_encode.hpp"
#include "avro/avro_infer.hpp"
#include "interchange/bytes_hex.hpp"

namespace bezo {
namespace {

std::string long_hex(std::int64_t value) {
    std::vector<std::uint8_t> out;
    write_avro_long(value, out);
    return hex(out);
}

Value numbers(std::initializer_list<const char*> texts) {
    ValueArray items;
    for (const char* text : texts) items.push_back(Value::number(text));
    return Value::array(std::move(items));
}

// The schema JSON of a value's inferred and normalised schema.
std::string inferred_json(const Value& value) {
    auto schema = infer_avro_schema(value, 0);
    EXPECT_TRUE(schema);
    normalise_avro_schema(*schema);
    std::string json;
    EXPECT_TRUE(write_avro_schema_json(*schema, json));
    return json;
}

TEST(AvroEncode, ZigzagLongs) {
    const std::pair<std::int64_t, std::string> cases[] = {
        {0, "00"},
        {63, "7e"},
        {64, "8001"},
        {-64, "7f"},
        {-65, "8101"},
        {std::numeric_limits<std::int64_t>::max(), "feffffffffffffffff01"},
        {std::numeric_limits<std::int64_t>::min(), "ffffffffffffffffff01"},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(long_hex(value), expected) << value;
}

TEST(AvroInfer, UnifiesNumbers) {
    const std::pair<Value, std::string> cases[] = {
        {numbers({"1", "2.5"}), R"({"type":"bytes","logicalType":"decimal","precision":20,"scale":1})"},
        {numbers({"1", "2.25", "3.125"}), R"({"type":"bytes","logicalType":"decimal","precision":22,"scale":3})"},
        {numbers({"0.5", "2.5"}), R"("double")"},
        {numbers({"12345678901234567890"}), R"({"type":"bytes","logicalType":"decimal","precision":20,"scale":0})"},
        {numbers({"-9223372036854775808", "1"}), R"("long")"},
        {numbers({"1e999999999999"}), R"("double")"},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(inferred_json(value), R"({"type":"array","items":)" + expected + "}") << expected;
    }
}

TEST(AvroEncode, Datums) {
    ValueObject members;
    members.push_back(ValueMember{"a", Value::number("1")});
    members.push_back(ValueMember{"b", Value::string("x")});
    const std::pair<Value, std::string> cases[] = {
        {Value::object(std::move(members)), "020278"},
        {numbers({"1", "2", "3"}), "0602040600"},
        {numbers({"1.5", "0.001"}),
         "04"
         "04"
         "05dc"
         "02"
         "01"
         "00"},
        {Value::typed("std/num", "nan", "nan"), "000000000000f87f"},
    };
    for (const auto& [value, expected] : cases) {
        auto schema = infer_avro_schema(value, 0);
        ASSERT_TRUE(schema);
        std::vector<std::uint8_t> out;
        ASSERT_TRUE(encode_avro_datum(value, *schema, out, 0));
        EXPECT_EQ(hex(out), expected);
    }
}

}  // namespace
}  // namespace bezo
