// The state of one XSD import and the lookups its converters share. The
// importer walks the schema document as the XML reader's value tree: every
// element an object whose attributes are "@" members and whose children are
// members under their names as written, several of one name gathered into an
// array. Namespaces are never resolved: the XML Schema vocabulary is matched
// by its literal prefix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "core/error.hpp"
#include "core/hash.hpp"
#include "interchange/value.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/number_spelling.hpp"

namespace bezo {

// The resolved type of an element or attribute: a complex type to expand,
// a scalar with its annotation (none for unconstrained text), or nothing
// that could be found.
struct XsdComplex {
    const Value* type;  // the complexType element in the schema tree
};
struct XsdScalar {
    std::optional<std::string> annotation;
};
struct XsdUnresolved {};
using XsdType = std::variant<XsdComplex, XsdScalar, XsdUnresolved>;

// Named types nested deeper than this end the import.
inline constexpr std::size_t kMaxXsdTypeNesting = 32;
// So do complex elements nested deeper than this, named types or not.
inline constexpr std::size_t kMaxXsdElementNesting = 512;

class XsdContext {
public:
    // `schema` is the value of the schema element, an object; it must
    // outlive the context, which keeps views into it. The named complex and
    // simple types among its children are indexed once, the first of each
    // name winning.
    XsdContext(std::string_view prefix, const Value& schema);

    std::string body;       // field, table and note lines, in the order written
    FieldLineCounts lines;  // the field lines written so far
    LibrarySet libraries;   // for the ".!types" lines
    RexVerdictCache patterns;
    NumericPatternCache numeric_patterns;
    // Whether an annotation takes the empty string, by annotation text.
    TextMap<bool> empty_string_verdicts;

    const Value& schema() const { return schema_; }

    // The child elements of `element` named `local` in the XML Schema
    // vocabulary, in document order; empty for a value that is not an object.
    std::span<const Value> children(const Value& element, std::string_view local) const;
    bool has_child(const Value& element, std::string_view local) const { return !children(element, local).empty(); }

    // The first top-level complexType or simpleType of that name, or null.
    // A named type is read again at every use, so finding one counts what
    // reading it may cost against the budget.
    Result<const Value*> named_complex_type(std::string_view name);
    Result<const Value*> named_simple_type(std::string_view name);

    // Appends a "// dropped:" line made of the parts, kept on one line.
    void note(std::initializer_list<std::string_view> parts);
    // Counts one element, attribute or column reached and checks the body.
    Result<void> charge_step();
    // Checks the body size alone, once the body is complete.
    Result<void> charge_output() const { return budget_.charge_output(body.size()); }

private:
    struct NamedType {
        const Value* type;
        std::uint64_t reading_weight;  // its members, array items and text bytes, all the way down
    };
    using TypeIndex = std::unordered_map<std::string_view, NamedType, KeyedTextHash, std::equal_to<>>;

    bool is_vocabulary_name(std::string_view key, std::string_view local) const;
    TypeIndex index_named(std::string_view local) const;
    Result<const Value*> use_named_type(const TypeIndex& index, std::string_view name);

    std::string prefix_;
    const Value& schema_;
    TypeIndex complex_types_;
    TypeIndex simple_types_;
    ImportBudget budget_;
};

// The text of the attribute `name` of an element; none when the element is
// not an object or has no such attribute.
std::optional<std::string_view> find_attribute(const Value& element, std::string_view name);

// A type or base name without its prefix: the text after the first ":".
std::string_view xsd_local_name(std::string_view name);

// Where a note points: the path, or "root" for the empty path; with a name,
// that place followed by "/" and the name.
std::string_view path_or_root(std::string_view path);
std::string xsd_location(std::string_view path, std::string_view name);

}  // namespace bezo
