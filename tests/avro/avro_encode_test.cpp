#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "avro/avro_encode.hpp"
#include "avro/avro_infer.hpp"
#include "interchange/bytes_hex.hpp"
#include "interchange/json_reader.hpp"

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

Value json(std::string_view text) {
    auto value = parse_json_document(text);
    EXPECT_TRUE(value) << text;
    return value ? std::move(*value) : Value::null();
}

std::string schema_json(const AvroSchema& schema) {
    std::string json;
    EXPECT_TRUE(write_avro_schema_json(schema, json));
    return json;
}

// The elements' schemas unified one after another, which the fold must
// match; a failure is its message.
std::string unified_left_to_right(const ValueArray& elements) {
    std::optional<AvroSchema> folded;
    for (const Value& element : elements) {
        auto schema = infer_avro_schema(element, 1);
        if (!schema) return schema.error().other();
        if (!folded) {
            folded = std::move(*schema);
        } else if (auto unified = unify_avro_schemas(*folded, std::move(*schema)); !unified) {
            return unified.error().other();
        }
    }
    return schema_json(*folded);
}

std::string folded_at_once(const ValueArray& elements) {
    std::vector<AvroSchema> schemas;
    for (const Value& element : elements) {
        auto schema = infer_avro_schema(element, 1);
        if (!schema) return schema.error().other();
        schemas.push_back(std::move(*schema));
    }
    auto folded = fold_avro_schemas(std::move(schemas));
    return folded ? schema_json(*folded) : folded.error().other();
}

TEST(AvroInfer, FoldAgreesWithUnifyingLeftToRight) {
    const Value date = Value::typed("std/time", "date", "2024-01-02");
    const Value stamp = Value::typed("std/time", "datetime", "2024-01-02T00:00:00Z");
    const Value inf = Value::typed("std/num", "inf", "inf");
    const std::string_view documents[] = {
        R"([{"a":1},{"b":true}])",
        // Where a field is first missing decides where null joins it.
        R"([{"a":1},{},{"a":"x"}])",
        R"([{"a":1},{"a":"x"},{}])",
        R"([{},{"a":1},{"a":"x"}])",
        R"([{"a":1,"b":2},{"b":3},{"a":4,"c":null},{"c":5},{"a":null,"b":6,"c":7}])",
        R"([{"a":1,"b":1},{"b":"x","a":2.5}])",
        R"([{"r":{"x":1}},{"r":{"y":2}},{"r":null},{"r":{"x":"s","z":[1]}}])",
        // Arrays whose items are unions already, records among them.
        R"([[{"a":1},"s"],[{"b":1}],[null,2],[]])",
        R"([{"a":[{"x":1}]},{"a":[{"y":1},{"x":"s"}]},{"a":[]}])",
        R"([1,"a",null,2.5,true,{"a":1},[1],{"b":2},[null],false,"b"])",
        R"([null,1])",
        R"([1,null])",
        R"([null,null])",
        R"([0.5,2.5,1])",
        R"([1,0.5])",
        R"([12345678901234567890,1.5,2])",
        R"([3.14159265358979323846,1e400])",
        R"([{"a-b":1}])",
    };
    for (const std::string_view document : documents) {
        const Value value = json(document);
        const auto& elements = *value.get_if<ValueArray>();
        EXPECT_EQ(folded_at_once(elements), unified_left_to_right(elements)) << document;
    }
    const ValueArray typed_cases[] = {
        {date, Value::string("x"), date},
        {date, Value::null(), stamp},
        {Value::number("0.5"), inf, Value::number("1")},
        {Value::number("1"), Value::number("0.5"), inf},
    };
    for (const ValueArray& elements : typed_cases) {
        EXPECT_EQ(folded_at_once(elements), unified_left_to_right(elements));
    }
}

TEST(AvroEncode, DatumWithinItsLimit) {
    // Each object writes a union index for every field of the others.
    const Value sparse = json(R"([{"a":1},{"b":2},{"c":3}])");
    // Strings take more than the least a value can take, so the check
    // before writing passes and the one while writing fails.
    const Value texts = json(R"(["aaaaaaaaaa","bbbbbbbbbb","cccccccccc"])");
    struct Case {
        const Value& value;
        std::size_t size;
        bool refused_before_writing;
    };
    const Case cases[] = {{sparse, 14, true}, {texts, 35, false}};
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
