// Interchange values written briefly for the Avro tests: an array of
// numbers, and a value read from JSON text.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>
#include <utility>

#include "interchange/json_reader.hpp"
#include "interchange/value.hpp"

namespace bezo {

inline Value numbers(std::initializer_list<const char*> texts) {
    ValueArray items;
    for (const char* text : texts) items.push_back(Value::number(text));
    return Value::array(std::move(items));
}

inline Value json(std::string_view text) {
    auto value = parse_json_document(text);
    EXPECT_TRUE(value) << text;
    return value ? std::move(*value) : Value::null();
}

}  // namespace bezo
