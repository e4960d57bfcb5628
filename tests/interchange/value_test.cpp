#include "interchange/value.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

// A tree holds one Value per node and one ValueMember per object member:
// the typed scalar's three texts stand behind a pointer, so that a node
// costs no more than its largest common alternative, a text.
static_assert(sizeof(Value) <= sizeof(std::string) + 8);

TEST(Value, TypedValuesCopyCompareAndReadAsTheirOwnType) {
    const Value typed = Value::typed("std/time", "date", "2024-01-02");
    ASSERT_TRUE(typed.is<TypedValue>());
    ASSERT_NE(typed.get_if<TypedValue>(), nullptr);
    EXPECT_EQ(typed.get_if<TypedValue>()->literal, "2024-01-02");
    EXPECT_EQ(typed.get_if<StringValue>(), nullptr);

    Value copy = typed;
    EXPECT_EQ(copy, typed);
    EXPECT_NE(copy.get_if<TypedValue>(), typed.get_if<TypedValue>());
    copy.get_if<TypedValue>()->literal = "2024-01-03";
    EXPECT_NE(copy, typed);
    EXPECT_NE(Value::string("2024-01-02"), typed);

    Value assigned = Value::null();
    assigned = copy;
    EXPECT_EQ(assigned, copy);
}

}  // namespace
}  // namespace bezo
