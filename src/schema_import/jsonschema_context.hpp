// The state of one JSON Schema import, the small operations its converters
// share, and the resolver of local "$ref" references.
#pragma once

#include <cstdint>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/error.hpp"
#include "core/hash.hpp"
#include "interchange/value.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/number_spelling.hpp"

namespace bezo {

// KeyedTextHash as a hash that may throw: libstdc++ then keeps each key's
// hash code in its node, so a lookup compares codes instead of hashing every
// key of a bucket again to find where the bucket ends.
struct StoredTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return KeyedTextHash{}(text); }
};

// Sets and maps of texts that live in the parsed schema, which outlives them.
using TextViewSet = std::unordered_set<std::string_view, StoredTextHash, std::equal_to<>>;
template <class Mapped>
using TextViewMap = std::unordered_map<std::string_view, Mapped, StoredTextHash, std::equal_to<>>;

// Deeper object nesting, and longer reference chains, end the import.
inline constexpr unsigned kMaxJsonSchemaDepth = 32;

class JsonSchemaContext {
public:
    // `root` is the document root as parsed, an object; it must outlive the
    // context, which keeps views into it.
    explicit JsonSchemaContext(const Value& root);

    std::string body;      // schema and note lines, in the order written
    LibrarySet libraries;  // for the ".!types" lines
    RexVerdictCache patterns;
    NumericPatternCache numeric_patterns;
    // The object schemas whose properties are being converted, outermost
    // first: a property that leads back to one of them is a recursive
    // reference.
    std::vector<const Value*> open_objects;
    FieldLineCounts lines;  // the field lines written so far

    // Appends a "// dropped:" line to the body.
    void note(std::string_view text) { jsonschema_note_dropped(body, text); }
    // Counts one property or table field reached and the bytes of its name,
    // and checks the body size.
    Result<void> charge_property(std::string_view name);
    // Counts members, elements and text bytes read.
    Result<void> charge_reading(std::uint64_t units) { return budget_.charge_reading(units); }
    // Checks the body size alone, once the body is complete.
    Result<void> charge_output() const { return budget_.charge_output(body.size()); }
    // The definition named `name` under the root's "$defs" (or, without
    // them, "definitions"); `reference` words the failures.
    Result<const Value*> definition(std::string_view name, std::string_view reference) const;

private:
    ImportBudget budget_;
    const Value* definitions_ = nullptr;          // the container, when the root has one
    TextViewMap<const Value*> definition_index_;  // its members, the first of each key
};

// The schema a value stands for: the value itself when it holds no string
// "$ref", else the local definition it names, followed again while that is a
// reference. The result points into the parsed document. Every object met
// on the way is charged as read: the converters read each schema they get
// from here, and a definition is read again at every use.
Result<const Value*> resolve_local_ref(JsonSchemaContext& context, const Value& schema);

// The value of the first member named `key`; none for a non-object.
const Value* find_member(const Value& object, std::string_view key);
// The text of the first member named `key` when that member is a string.
const std::string* find_string_member(const Value& object, std::string_view key);

// The value of the first member named `key` when that member is a number
// made of decimal digits alone that fits 64 bits: a count such as
// "minLength" or "minItems".
std::optional<std::uint64_t> find_count_member(const Value& object, std::string_view key);

// The "type" words of a schema: one for a string, the string elements of an
// array, else none.
std::vector<std::string_view> schema_type_list(const Value& schema);

// The schema type of a JSON type word ("integer" gives "int"); none for
// "object", "array" and unknown words.
std::optional<std::string_view> jsonschema_type_keyword(std::string_view word);

// The string elements of an object schema's first "required" member, when
// that is an array. A short list is scanned; a long one is hashed once, and
// a cursor over it answers without hashing while the names are asked in the
// order the list gives them, as schemas mostly list them.
class RequiredNames {
public:
    explicit RequiredNames(const Value& schema);
    bool contains(std::string_view name);

private:
    static constexpr std::size_t kScanLimit = 8;
    const ValueArray* names_ = nullptr;
    std::ranges::iterator_t<const ValueArray> next_{};  // the cursor: the name expected next
    TextViewSet index_;                                 // filled only for a list longer than kScanLimit
};

}  // namespace bezo
