#include "avro/avro_encode.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "avro/avro_infer.hpp"
#include "avro/avro_values.hpp"
#include "interchange/bytes_hex.hpp"

namespace bezo {
namespace {

std::string long_hex(std::int64_t value) {
    std::vector<std::uint8_t> out;
    write_avro_long(value, out);
    return hex(out);
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

TEST(AvroEncode, DatumWithinItsLimit) {
    // Each object writes a union index for every field of the others.
    const Value sparse = json(R"([{"a":1},{"b":2},{"c":3}])");
    // Strings take more than the least a value can take, so the check
    // before writing passes and the one while writing fails.
    const Value texts = json(R"(["aaaaaaaaaa","bbbbbbbbbb","cccccccccc"])");
    // Objects holding one of twenty fields each are written member by
    // member, the nulls of the others copied as runs: 20 bytes of union
    // indices and the value each.
    std::string one_of_twenty = "[";
    std::string texts_one_of_twenty = "[";
    for (int i = 0; i < 20; ++i) {
        const std::string separator = i > 0 ? "," : "";
        one_of_twenty += separator + "{\"k" + std::to_string(i) + "\":" + std::to_string(i) + "}";
        texts_one_of_twenty += separator + "{\"k" + std::to_string(i) + "\":\"aaaaaaaaaa\"}";
    }
    const Value sparse_members = json(one_of_twenty + "]");
    const Value sparse_texts = json(texts_one_of_twenty + "]");
    struct Case {
        const Value& value;
        std::size_t size;
        bool refused_before_writing;
    };
    const Case cases[] = {
        {sparse, 14, true}, {texts, 35, false}, {sparse_members, 422, true}, {sparse_texts, 622, false}};
    for (const auto& [value, size, refused_before_writing] : cases) {
        auto schema = infer_avro_schema(value, 0);
        ASSERT_TRUE(schema);
        std::vector<std::uint8_t> out;
        ASSERT_TRUE(encode_avro_datum(value, *schema, out, 0, size));
        EXPECT_EQ(out.size(), size);
        out.clear();
        const auto refused = encode_avro_datum(value, *schema, out, 0, size - 1);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().other(), "output too large: more than " + std::to_string(size - 1) + " bytes");
        EXPECT_EQ(out.empty(), refused_before_writing);
    }
}

}  // namespace
}  // namespace bezo
