// The interchange value tree: the one in-memory form through which foreign
// data crosses the boundary. Numbers stay as their decimal text so that
// integers of any size and every written spelling survive; object members
// keep document order and repeated keys stay separate members.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace bezo {

struct Value;
struct ValueMember;

using ValueArray = std::vector<Value>;
using ValueObject = std::vector<ValueMember>;

struct NullValue {
    friend bool operator==(const NullValue&, const NullValue&) = default;
};

struct BoolValue {
    bool value = false;
    friend bool operator==(const BoolValue&, const BoolValue&) = default;
};

struct NumberValue {
    std::string text;  // the number exactly as written in the source
    friend bool operator==(const NumberValue&, const NumberValue&) = default;
};

struct StringValue {
    std::string text;  // already unescaped UTF-8
    friend bool operator==(const StringValue&, const StringValue&) = default;
};

// A scalar that no JSON type carries, e.g. ("std/time", "date", "2024-01-02").
struct TypedValue {
    std::string library;
    std::string type_name;
    std::string literal;
    friend bool operator==(const TypedValue&, const TypedValue&) = default;
};

// A typed scalar held behind a pointer: it is rare, and held inline its three
// texts would triple the size of every value of a tree. It copies and
// compares as the TypedValue it holds, and reads as one.
class BoxedTypedValue {
public:
    BoxedTypedValue(TypedValue typed) : typed_(std::make_unique<TypedValue>(std::move(typed))) {}
    BoxedTypedValue(const BoxedTypedValue& other)
        : typed_(other.typed_ ? std::make_unique<TypedValue>(*other.typed_) : nullptr) {}
    BoxedTypedValue(BoxedTypedValue&&) noexcept = default;
    BoxedTypedValue& operator=(const BoxedTypedValue& other) {
        *this = BoxedTypedValue(other);
        return *this;
    }
    BoxedTypedValue& operator=(BoxedTypedValue&&) noexcept = default;

    operator const TypedValue&() const { return *typed_; }
    const TypedValue* get() const { return typed_.get(); }
    TypedValue* get() { return typed_.get(); }

    friend bool operator==(const BoxedTypedValue& a, const BoxedTypedValue& b) {
        return a.typed_ && b.typed_ ? *a.typed_ == *b.typed_ : a.typed_ == b.typed_;
    }

private:
    std::unique_ptr<TypedValue> typed_;  // null only once moved from
};

struct Value {
    std::variant<NullValue, BoolValue, NumberValue, StringValue, BoxedTypedValue, ValueArray, ValueObject> data;

    static Value null() { return Value{NullValue{}}; }
    static Value boolean(bool value) { return Value{BoolValue{value}}; }
    static Value number(std::string text) { return Value{NumberValue{std::move(text)}}; }
    static Value string(std::string text) { return Value{StringValue{std::move(text)}}; }
    static Value typed(std::string library, std::string type_name, std::string literal) {
        return Value{TypedValue{std::move(library), std::move(type_name), std::move(literal)}};
    }
    static Value array(ValueArray items = {}) { return Value{std::move(items)}; }
    static Value object(ValueObject members = {}) { return Value{std::move(members)}; }

    // A TypedValue is asked for by its own type, not by its box.
    template <class T>
    bool is() const {
        return std::holds_alternative<Held<T>>(data);
    }
    template <class T>
    const T* get_if() const {
        if constexpr (std::is_same_v<T, TypedValue>) {
            const auto* boxed = std::get_if<BoxedTypedValue>(&data);
            return boxed ? boxed->get() : nullptr;
        } else {
            return std::get_if<T>(&data);
        }
    }
    template <class T>
    T* get_if() {
        if constexpr (std::is_same_v<T, TypedValue>) {
            auto* boxed = std::get_if<BoxedTypedValue>(&data);
            return boxed ? boxed->get() : nullptr;
        } else {
            return std::get_if<T>(&data);
        }
    }

    friend bool operator==(const Value&, const Value&);

private:
    template <class T>
    using Held = std::conditional_t<std::is_same_v<T, TypedValue>, BoxedTypedValue, T>;
};

struct ValueMember {
    std::string key;
    Value value;
    friend bool operator==(const ValueMember&, const ValueMember&) = default;
};

inline bool operator==(const Value& a, const Value& b) { return a.data == b.data; }

}  // namespace bezo
