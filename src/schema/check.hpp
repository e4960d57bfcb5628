// Checks of value texts against constraints: one constraint in one comparison
// domain, a compiled field's whole item list against one canonical line
// (type, unit and constraints), a plain item list against a value, and the
// choice of a union member. Also the verdict message of a failed value check.
//
// Comparison domains: the first span item of a list names the ordering that
// its ranges and sets use: "..lex" (bytewise, the default), "..lex[tag]"
// (collation of a locale), "..num", "..ver" and "..time".
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/error.hpp"
#include "lang/anno.hpp"
#include "schema/compiled.hpp"
#include "schema/rex_compile.hpp"

namespace bezo {

// The outcome of a check: pass, or the kind of the failure (TypeMismatch,
// ConstraintViolation, CollationUnsupported or DelimiterCollision). One byte,
// with pass outside the range of the kinds.
class CheckResult {
public:
    static constexpr CheckResult pass() { return CheckResult(kPass); }
    static constexpr CheckResult fail(AppErrorKind kind) { return CheckResult(static_cast<std::uint8_t>(kind)); }

    constexpr bool passed() const { return raw_ == kPass; }
    constexpr bool failed() const { return raw_ != kPass; }
    // The failure kind; only meaningful when failed().
    constexpr AppErrorKind kind() const { return static_cast<AppErrorKind>(raw_); }

    friend constexpr bool operator==(CheckResult, CheckResult) = default;

private:
    static constexpr std::uint8_t kPass = 0xFF;
    constexpr explicit CheckResult(std::uint8_t raw) : raw_(raw) {}
    std::uint8_t raw_;
};

// One content line of a canonical text as the validator reads it. `path`
// and `value` are slices of the canonical text, which must outlive the line;
// the rest are views of the line's parsed metadata annotation, kept by the
// reader (many lines share one).
struct CanonicalLine {
    std::string_view type_name;
    std::string_view path;
    std::string_view value;
    std::optional<std::string_view> unit;
    std::optional<std::string_view> provenance;
    std::uint64_t line = 0;  // 1-based
};

struct PreparedConstraint;

// What the checks of one call work out once, for the length of the call.
//
// Compiled patterns by pattern text: each pattern is compiled once however
// many values it is checked against. A small pattern can compile to a large
// program, so the cache holds at most kMaxInstructions instructions in all;
// a program that would pass that empties it first.
//
// The prepared forms of long ranges and large sets: bounds read once,
// members indexed by hash or by collation sort key, so that a value costs the
// same whatever the bounds' digits or the members' count. They are kept by
// the address of the constraint, so they serve only items that stay in place,
// unchanged, until the cache ends or forget_prepared is called
// (check_field_value, satisfies_constraints with ItemsStay::Yes); their size
// is bounded by the size of those items.
class PatternCache {
public:
    static constexpr std::size_t kMaxInstructions = std::size_t{1} << 20;

    PatternCache();
    ~PatternCache();
    PatternCache(PatternCache&&) noexcept;
    PatternCache& operator=(PatternCache&&) noexcept;

    // The program of the pattern, or nullptr when it does not compile. The
    // program stays valid until the next call.
    const RexProgram* program(std::string_view pattern);

    // The prepared form of a range or set in a domain, made on first use (or
    // made again when the domain differs from the one it was made for).
    const PreparedConstraint& prepared(const Constraint::Range& range, std::string_view domain);
    const PreparedConstraint& prepared(const Constraint::Set& set, std::string_view domain);

    // Drops the prepared forms, before the items they were made for are
    // freed or changed.
    void forget_prepared();

    // How many constraints have been prepared: one per constraint and
    // domain, however many values they were checked against.
    std::size_t prepared_count() const { return preparations_; }

private:
    std::map<std::string, std::expected<RexProgram, RexRefusal>, std::less<>> programs_;
    std::size_t instructions_ = 0;
    std::unordered_map<const void*, std::unique_ptr<PreparedConstraint>> prepared_;
    std::size_t preparations_ = 0;
};

// The domain word of a list: its first span item, else "..lex".
std::string_view comparison_domain(std::span<const AnnotationItem> items);
std::string_view comparison_domain(std::span<const Constraint> constraints);

// One constraint against a value in a domain. In a collation domain whose
// locale gives no collator every constraint is CollationUnsupported.
CheckResult check_constraint(const Constraint& constraint, std::string_view domain, std::string_view value,
                             PatternCache& patterns);

// A compiled field's items against one canonical line: the line's type and
// unit against the field's annotation, then every constraint on the value.
// A union member takes a line of another type when it would alone. A
// "text" line (its "|:|" standing for line feeds) or a "std/enc/json" line
// that holds a JSON string, under a field that takes no such line but
// expects a string, is checked as a "str" line of the string it carries.
// The items must stay in place, unchanged, while `patterns` lives: the
// prepared forms of their long ranges and large sets are kept in it.
CheckResult check_field_value(std::span<const AnnotationItem> items, const CanonicalLine& line, PatternCache& patterns);

// Whether the items of a check stay in place, unchanged, while the cache
// keeps what it prepares for them (until PatternCache::forget_prepared).
enum class ItemsStay : bool { No, Yes };

// True when the value passes every constraint of the list (union
// annotations pass when one of their members does). With ItemsStay::Yes the
// prepared forms of long ranges and large sets are kept in `patterns`, as
// check_field_value keeps them.
bool satisfies_constraints(std::span<const AnnotationItem> items, std::string_view value, PatternCache& patterns,
                           ItemsStay stay = ItemsStay::No);

// One member of a union annotation, as views of the annotation: its name
// and its unit in canonical spelling.
struct UnionMember {
    std::string_view name;
    std::optional<std::string_view> unit;

    friend bool operator==(const UnionMember&, const UnionMember&) = default;
};

// The first member of a union annotation (the annotation's own first
// member, then its alternatives) whose constraints accept the value, passing
// over a member that an earlier one of its name and unit shadows unless no
// other member accepts it.
std::optional<UnionMember> match_union_alternative(const Annotation& annotation, std::string_view value,
                                                   PatternCache& patterns);

// The text of a base64url value whose payload is one JSON string (blanks
// around it allowed); no value for any other payload.
std::optional<std::string> embedded_json_string(std::string_view value);

// The verdict of a failed check of `line` under `field`:
// "{path}={value} (type !{type}[:{unit}]) {verb} {metadata}", the value cut
// to its first 40 characters followed by "…" when it is longer.
AppErrorAt type_violation_message(AppErrorKind kind, const SchemaField& field, const CanonicalLine& line);

}  // namespace bezo
