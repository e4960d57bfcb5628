// The canonical value tree: a canonical document read into nested
// namespaces and arrays, each value converted by its type name.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/hash.hpp"

namespace bezo {

struct CanonicalValue;
struct CanonicalMember;

// One JSON value as text: numbers, booleans, null, quoted strings, and
// embedded JSON documents (which keep their own formatting).
struct CanonicalJson {
    std::string text;
};

// A typed scalar of "std/time", "std/num" or "std/enc", kept as written.
struct CanonicalLeaf {
    std::string library;
    std::string type_name;
    std::string literal;
};

using CanonicalArray = std::vector<CanonicalValue>;

// Named values in the order their keys first appeared. Keys are unique; an
// index from key to position keeps lookups constant-time however wide the
// namespace grows.
class CanonicalNamespace {
public:
    const std::vector<CanonicalMember>& members() const { return members_; }
    bool empty() const { return members_.empty(); }

    // The value under `key`; a new member holding an empty namespace is
    // appended when there is none.
    CanonicalValue& find_or_add(std::string_view key);

private:
    std::vector<CanonicalMember> members_;
    TextMap<std::size_t> positions_;
};

struct CanonicalValue {
    std::variant<CanonicalNamespace, CanonicalArray, CanonicalJson, CanonicalLeaf> data;

    template <class T>
    bool is() const {
        return std::holds_alternative<T>(data);
    }
    template <class T>
    const T* get_if() const {
        return std::get_if<T>(&data);
    }
    template <class T>
    T* get_if() {
        return std::get_if<T>(&data);
    }
};

struct CanonicalMember {
    std::string key;
    CanonicalValue value;
};

}  // namespace bezo
