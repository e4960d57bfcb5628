#include "avro/avro_infer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "avro/avro_encode.hpp"
#include "avro/avro_schema.hpp"
#include "avro/avro_values.hpp"

namespace bezo {
namespace {

// The schema JSON of a value's inferred and normalised schema.
std::string inferred_json(const Value& value) {
    auto schema = infer_avro_schema(value, 0);
    EXPECT_TRUE(schema);
    normalise_avro_schema(*schema);
    std::string json;
    EXPECT_TRUE(write_avro_schema_json(*schema, json));
    return json;
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

// An array long enough to be folded in several batches, whose elements
// bring new fields, nulls and wider numbers in late batches, infers the
// schema that unifying its elements left to right gives.
TEST(AvroInfer, ALongArrayInfersAsUnifyingLeftToRight) {
    const Value late_elements[] = {json(R"({"b":"x"})"), json(R"({"a":2.5})"), json("{}"), json(R"({"a":"s"})")};
    for (std::size_t length : {4096u, 4097u, 4098u, 20000u}) {
        ValueArray elements(length, json(R"({"a":1})"));
        for (std::size_t i = 0; i < std::size(late_elements); ++i) {
            elements[length - 1 - i * (length / 5)] = late_elements[i];
        }
        auto inferred = infer_avro_schema(Value::array(elements), 0);
        ASSERT_TRUE(inferred);
        EXPECT_EQ(schema_json(*inferred), R"({"type":"array","items":)" + unified_left_to_right(elements) + "}")
            << length;
    }
}

// The schema JSON of a value's inferred and normalised schema with the
// branches of every union sorted, or the failure's message: what must not
// depend on the order of an array's items.
std::string order_free_form(const AvroSchema& schema) {
    if (const auto* array = schema.get_if<AvroArray>()) return "array of " + order_free_form(*array->items);
    if (const auto* united = schema.get_if<AvroUnion>()) {
        std::vector<std::string> branches;
        for (const AvroSchema& branch : united->branches) branches.push_back(order_free_form(branch));
        std::ranges::sort(branches);
        std::string form = "union of";
        for (const std::string& branch : branches) form += " (" + branch + ")";
        return form;
    }
    return schema_json(schema);
}

std::string inferred_in_any_order(const ValueArray& items) {
    auto schema = infer_avro_schema(Value::array(ValueArray(items)), 0);
    if (!schema) return schema.error().other();
    normalise_avro_schema(*schema);
    if (auto checked = check_avro_unions(*schema); !checked) return checked.error().other();
    return order_free_form(*schema);
}

TEST(AvroInfer, ArrayTypeDoesNotDependOnItemOrder) {
    const Value inf = Value::typed("std/num", "inf", "inf");
    const Value nan = Value::typed("std/num", "nan", "nan");
    const Value date = Value::typed("std/time", "date", "2024-01-02");
    const Value stamp = Value::typed("std/time", "datetime", "2024-01-02T00:00:00Z");
    const Value time = Value::typed("std/time", "time", "10:00:00");
    const auto number = [](const char* text) { return Value::number(text); };
    // Each array with what every order of its items must give.
    const std::pair<ValueArray, std::string> cases[] = {
        {{number("1"), number("0.5"), inf}, R"("double")"},
        {{number("1"), inf}, R"("double")"},
        {{number("0.5"), nan, Value::null()}, R"(union of ("double") ("null"))"},
        {{number("9007199254740993"), inf}, R"(union of ("double") ("long"))"},
        {{number("3.14159265358979323846"), nan, number("1")},
         R"(union of ("double") ({"type":"bytes","logicalType":"decimal","precision":39,"scale":20}))"},
        {{number("12345678901234567890"), number("0.5"), inf, Value::string("s")},
         R"(union of ("double") ("string") ({"type":"bytes","logicalType":"decimal","precision":21,"scale":1}))"},
        {{number("1"), number("2.5")}, R"({"type":"bytes","logicalType":"decimal","precision":20,"scale":1})"},
        {{date, stamp, Value::null()},
         R"(union of ("null") ({"type":"int","logicalType":"date"}) ({"type":"long","logicalType":"timestamp-micros"}))"},
        {{date, stamp, time}, "cannot unify different time logical types"},
        {{stamp, number("1"), Value::string("s")}, "an Avro union cannot hold two long branches"},
    };
    for (const auto& [items, expected] : cases) {
        ValueArray order = items;
        std::vector<std::size_t> positions(items.size());
        for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = i;
        do {
            for (std::size_t i = 0; i < positions.size(); ++i) order[i] = Value(items[positions[i]]);
            const std::string got = inferred_in_any_order(order);
            EXPECT_EQ(got, expected.starts_with("union") || expected.starts_with("\"") || expected.starts_with("{")
                               ? "array of " + expected
                               : expected);
        } while (std::ranges::next_permutation(positions).found);
    }
}

}  // namespace
}  // namespace bezo
