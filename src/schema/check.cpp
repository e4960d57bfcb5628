#include "schema/check.hpp"

#include <algorithm>
#include <expected>
#include <type_traits>
#include <unordered_set>
#include <variant>

#include "core/embedded_json.hpp"
#include "core/fault.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/base64url.hpp"
#include "interchange/canonical_reader.hpp"
#include "interchange/json_reader.hpp"
#include "lang/unit.hpp"
#include "schema/collate_icu.hpp"
#include "schema/domains.hpp"
#include "schema/rex_match.hpp"
#include "schema/types.hpp"

namespace bezo {

namespace {

// The orderings whose ranges are prepared: those that read a bound as a
// whole before comparing it (a number, an instant, a collation sort key) or
// piece by piece (a version). Bytewise comparison stops at the first
// difference on its own.
enum class RangeOrder : std::uint8_t { Number, Version, Instant, Collation };

// A range bound read once, in the form of its range's ordering only.
struct PreparedBound {
    std::string_view text;
    NumericText number;
    VersionText version;
    std::optional<DateInstant> instant;  // none when the bound reads as no instant
    std::string sort_key;
};

struct PreparedRange {
    RangeOrder order = RangeOrder::Number;
    std::optional<PreparedBound> lo;
    std::optional<PreparedBound> hi;
    std::optional<CollatorHandle> collator;  // for Collation; none when the tag gives no collator
};

// The members of a byte-compared set, by hash; views of the set's own texts.
using ByteSet = std::unordered_set<std::string_view, KeyedTextHash, std::equal_to<>>;

}  // namespace

// A range or set as one domain compares it: a range's bounds read, a set's
// members indexed by bytes or, in a collation domain, by sort key (no index
// when the tag gives no collator).
struct PreparedConstraint {
    std::string domain;
    std::variant<PreparedRange, ByteSet, std::optional<CollatedSetIndex>> form;
};

namespace {

constexpr std::string_view kTextType = "text";

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

// The first `limit` Unicode scalar values of a UTF-8 text, and whether
// anything was cut off.
std::pair<std::string_view, bool> cut_to_scalars(std::string_view text, std::size_t limit) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!is_utf8_continuation(text[i]) && seen++ == limit) {
            return {text.substr(0, i), true};
        }
    }
    return {text, false};
}

std::optional<std::string_view> first_span(std::span<const Constraint> constraints) {
    for (const Constraint& c : constraints) {
        if (const auto* span = std::get_if<Constraint::Span>(&c.value)) {
            return span->word;
        }
    }
    return std::nullopt;
}

CheckResult from_collated(CollatedAnswer answer) {
    switch (answer) {
        case CollatedAnswer::In: return CheckResult::pass();
        case CollatedAnswer::Out: return CheckResult::fail(AppErrorKind::ConstraintViolation);
        case CollatedAnswer::NoCollator: break;
    }
    return CheckResult::fail(AppErrorKind::CollationUnsupported);
}

CheckResult pass_if(bool ok) { return ok ? CheckResult::pass() : CheckResult::fail(AppErrorKind::ConstraintViolation); }

// What a check works with: the call's cache, and whether the items checked
// stay in place for the cache's whole life, so that the prepared forms of
// their ranges and sets may be kept in it.
struct Checker {
    PatternCache& cache;
    bool lasting = false;
};

bool bytewise_less_equal(std::string_view a, std::string_view b) { return a.compare(b) <= 0; }

// Instants when both sides read as dates or times (`x` and `y` read from `a`
// and `b`), bytes otherwise.
bool instant_less_equal(const std::optional<DateInstant>& x, std::string_view a, const std::optional<DateInstant>& y,
                        std::string_view b) {
    return x && y ? *x <= *y : bytewise_less_equal(a, b);
}

bool time_less_equal(std::string_view a, std::string_view b) {
    return instant_less_equal(parse_date_value(a), a, parse_date_value(b), b);
}

using LessEqual = bool (*)(std::string_view, std::string_view);

LessEqual ordering_of(std::string_view domain) {
    if (domain == "..num") {
        return compare_numeric_text;
    }
    if (domain == "..ver") {
        return compare_version_text;
    }
    if (domain == "..time") {
        return time_less_equal;
    }
    return bytewise_less_equal;
}

// Bounds up to this long, and sets of up to this many members, are checked
// as written: reading them costs about as much as a lookup would.
constexpr std::size_t kShortBound = 32;
constexpr std::size_t kFewMembers = 8;

bool long_bound(const std::optional<std::string>& bound) { return bound && bound->size() > kShortBound; }

std::optional<RangeOrder> prepared_order(std::string_view domain) {
    if (domain == "..num") return RangeOrder::Number;
    if (domain == "..ver") return RangeOrder::Version;
    if (domain == "..time") return RangeOrder::Instant;
    if (collation_domain_tag(domain)) return RangeOrder::Collation;
    return std::nullopt;
}

// Whether a range is worth preparing in a domain: a long bound read again
// for every value would cost its length each time.
bool worth_preparing(const Constraint::Range& range, std::string_view domain) {
    return prepared_order(domain) && (long_bound(range.lo) || long_bound(range.hi));
}

PreparedRange prepare_range(const Constraint::Range& range, RangeOrder order, std::string_view domain) {
    PreparedRange prepared;
    prepared.order = order;
    if (order == RangeOrder::Collation) prepared.collator = collator_for_locale(*collation_domain_tag(domain));
    const auto read = [&](const std::optional<std::string>& text) -> std::optional<PreparedBound> {
        if (!text) return std::nullopt;
        PreparedBound bound;
        bound.text = *text;
        switch (order) {
            case RangeOrder::Number: bound.number = read_numeric_text(*text, true); break;
            case RangeOrder::Version: bound.version = read_version_text(*text); break;
            case RangeOrder::Instant: bound.instant = parse_date_value(*text); break;
            case RangeOrder::Collation:
                if (prepared.collator) bound.sort_key = prepared.collator->sort_key(*text);
                break;
        }
        return bound;
    };
    prepared.lo = read(range.lo);
    prepared.hi = read(range.hi);
    return prepared;
}

// low <= value when the range has a low bound, value <= high when it has a
// high one.
template <class LowHolds, class HighHolds>
bool within(const PreparedRange& range, LowHolds low_holds, HighHolds high_holds) {
    return (!range.lo || low_holds(*range.lo)) && (!range.hi || high_holds(*range.hi));
}

CheckResult check_prepared_range(const PreparedRange& range, std::string_view value) {
    switch (range.order) {
        case RangeOrder::Number: {
            const NumericText number = read_numeric_text(value);
            return pass_if(within(
                range, [&](const PreparedBound& low) { return numeric_less_equal(low.number, number); },
                [&](const PreparedBound& high) { return numeric_less_equal(number, high.number); }));
        }
        case RangeOrder::Version:
            return pass_if(within(
                range, [&](const PreparedBound& low) { return version_less_equal(low.version, value); },
                [&](const PreparedBound& high) { return version_less_equal(value, high.version); }));
        case RangeOrder::Instant: {
            const auto instant = parse_date_value(value);
            return pass_if(within(
                range,
                [&](const PreparedBound& low) { return instant_less_equal(low.instant, low.text, instant, value); },
                [&](const PreparedBound& high) {
                    return instant_less_equal(instant, value, high.instant, high.text);
                }));
        }
        case RangeOrder::Collation: break;
    }
    if (!range.collator) return CheckResult::fail(AppErrorKind::CollationUnsupported);
    // Sort keys order as the collator compares.
    const std::string key = range.collator->sort_key(value);
    return pass_if(within(
        range, [&](const PreparedBound& low) { return low.sort_key <= key; },
        [&](const PreparedBound& high) { return key <= high.sort_key; }));
}

CheckResult check_range(const Constraint::Range& range, std::string_view domain, std::string_view value,
                        const Checker& checker) {
    if (checker.lasting && worth_preparing(range, domain)) {
        return check_prepared_range(std::get<PreparedRange>(checker.cache.prepared(range, domain).form), value);
    }
    if (const auto tag = collation_domain_tag(domain)) {
        return from_collated(collated_range_contains(*tag, value, optional_view(range.lo), optional_view(range.hi)));
    }
    const LessEqual less_equal = ordering_of(domain);
    return pass_if((!range.lo || less_equal(*range.lo, value)) && (!range.hi || less_equal(value, *range.hi)));
}

// Sets match texts byte for byte in every domain but the collation domains:
// under "..num" the value 7.0 is not in {7}.
CheckResult check_set(const Constraint::Set& set, std::string_view domain, std::string_view value,
                      const Checker& checker) {
    const auto tag = collation_domain_tag(domain);
    if (checker.lasting && set.members.size() > kFewMembers) {
        const PreparedConstraint& prepared = checker.cache.prepared(set, domain);
        if (tag) {
            const auto& index = std::get<std::optional<CollatedSetIndex>>(prepared.form);
            return from_collated(!index                   ? CollatedAnswer::NoCollator
                                 : index->contains(value) ? CollatedAnswer::In
                                                          : CollatedAnswer::Out);
        }
        return pass_if(std::get<ByteSet>(prepared.form).contains(value));
    }
    if (tag) {
        return from_collated(collated_set_contains(*tag, value, set.members));
    }
    return pass_if(std::ranges::find(set.members, value) != set.members.end());
}

// A length constraint counts Unicode scalar values and compares the count as
// a number, whatever the list's domain.
CheckResult check_length(const Constraint::Length& length, std::string_view value, const Checker& checker) {
    const std::string count = decimal_text(count_scalars(value));
    return std::visit(
        [&](const auto& inner) -> CheckResult {
            using Inner = std::decay_t<decltype(inner)>;
            if constexpr (std::is_same_v<Inner, Constraint::Range>) {
                return check_range(inner, "..num", count, checker);
            } else {
                return check_set(inner, "..num", count, checker);
            }
        },
        length.inner);
}

CheckResult check_one(const Constraint& constraint, std::string_view domain, std::string_view value,
                      const Checker& checker) {
    if (const auto tag = collation_domain_tag(domain); tag && !collator_for_locale(*tag)) {
        return CheckResult::fail(AppErrorKind::CollationUnsupported);
    }
    return std::visit(Overloaded{
                          [&](const Constraint::Pattern& pattern) {
                              const RexProgram* program = checker.cache.program(pattern.text);
                              return pass_if(program != nullptr && rex_is_match(*program, value));
                          },
                          [&](const Constraint::Range& range) { return check_range(range, domain, value, checker); },
                          [&](const Constraint::Set& set) { return check_set(set, domain, value, checker); },
                          [&](const Constraint::Length& length) { return check_length(length, value, checker); },
                          [](const Constraint::Span&) { return CheckResult::pass(); },
                      },
                      constraint.value);
}

// The first failure of the constraints in order, or pass.
CheckResult check_all(std::span<const Constraint> constraints, std::string_view domain, std::string_view value,
                      const Checker& checker) {
    for (const Constraint& c : constraints) {
        if (const CheckResult result = check_one(c, domain, value, checker); result.failed()) {
            return result;
        }
    }
    return CheckResult::pass();
}

bool all_pass(std::span<const Constraint> constraints, std::string_view domain, std::string_view value,
              const Checker& checker) {
    return check_all(constraints, domain, value, checker).passed();
}

// A member's unit against the line's unit (both canonical): a member with a
// unit needs the same unit on the line, a member without one needs none.
bool unit_matches(const std::optional<std::string>& member_unit, const std::optional<std::string>& line_unit) {
    const auto member = member_unit ? canonical_unit_text(*member_unit) : std::nullopt;
    if (member) {
        return line_unit && *line_unit == *member;
    }
    return !line_unit;
}

// The pairs of a field's type and a line's type that never meet unless the
// names are equal: a plain string, the empty value, multi-line text and
// encoded payloads each keep to their own type.
bool is_strictly_typed_pair(std::string_view field_type, std::string_view line_type) {
    return field_type == "str" || field_type == "null" || line_type == "null" || field_type == "text" ||
           line_type == "text" || field_type.starts_with("std/enc/") || line_type.starts_with("std/enc/");
}

// One member of an annotation: the annotation's own first member or one of
// its alternatives.
struct MemberView {
    std::string_view name;
    std::span<const Constraint> constraints;
    const std::optional<std::string>& unit;
};

// Calls visit on the members in order (the annotation itself, then its
// alternatives) until it returns true; returns the member it stopped at.
template <class Visit>
std::optional<MemberView> find_member(const Annotation& annotation, Visit&& visit) {
    if (MemberView own{annotation.name, annotation.constraints, annotation.unit}; visit(own)) return own;
    for (const Alternative& alternative : annotation.alternatives) {
        if (MemberView member{alternative.name, alternative.constraints, alternative.unit}; visit(member)) {
            return member;
        }
    }
    return std::nullopt;
}

// A member's constraints on a value, in the member's own domain when its
// list names one, else in `domain`.
CheckResult check_member(const MemberView& member, std::string_view domain, std::string_view value,
                         const Checker& checker) {
    return check_all(member.constraints, first_span(member.constraints).value_or(domain), value, checker);
}

// The first member of a union annotation whose constraints, each in the
// domain of its own list, accept the value.
std::optional<MemberView> first_passing_member(const Annotation& annotation, std::string_view value,
                                               const Checker& checker) {
    return find_member(annotation, [&](const MemberView& candidate) {
        return check_member(candidate, kDefaultDomain, value, checker).passed();
    });
}

// The facts of a canonical line that the choice of a member looks at.
struct LineFacts {
    std::string_view type;
    const std::optional<std::string>& unit;  // canonical
    std::string_view value;
    // A "str" line made of the string that a text or embedded JSON line
    // carries: only members that expect a string may take it.
    bool carried = false;
};

// Whether a member expects a string: not null, no number, no boolean, no
// encoded payload.
bool member_expects_string(const MemberView& member) {
    static constexpr std::string_view kNonStrings[] = {"null", "int", "float", "bool"};
    if (std::ranges::find(kNonStrings, member.name) != std::end(kNonStrings) || member.name.starts_with("std/enc/")) {
        return false;
    }
    if (first_span(member.constraints).value_or("").starts_with("..num")) return false;
    return std::ranges::none_of(member.constraints, [](const Constraint& c) {
        const auto* set = std::get_if<Constraint::Set>(&c.value);
        return set != nullptr && set->members.size() == 2 &&
               std::ranges::find(set->members, "true") != set->members.end() &&
               std::ranges::find(set->members, "false") != set->members.end();
    });
}

// Whether a member whose name differs from the line's type may take the
// line by its value. A carried string meets a member that expects a string,
// a "text" member included (as a "str" line meets a "text" field) unless it
// holds "|:|", which text reads as a line feed.
bool member_meets_type(const MemberView& member, const LineFacts& line) {
    if (!line.carried) return !is_strictly_typed_pair(member.name, line.type);
    if (member.name == kTextType) return line.value.find("|:|") == std::string_view::npos;
    return !is_strictly_typed_pair(member.name, line.type) && member_expects_string(member);
}

// A union whose members name no member of the line's type: the first
// member that a single annotation of its name would take (by type, unit and
// constraints), so that a member accepts what it accepts alone; none is a
// TypeMismatch.
CheckResult check_union_by_value(const Annotation& annotation, const LineFacts& line, std::string_view domain,
                                 const Checker& checker) {
    const auto exact = find_member(annotation, [&](const MemberView& member) {
        return member.name == line.type && unit_matches(member.unit, line.unit);
    });
    if (exact) return check_member(*exact, domain, line.value, checker);
    const auto taken = find_member(annotation, [&](const MemberView& member) {
        return member_meets_type(member, line) && unit_matches(member.unit, line.unit) &&
               check_member(member, domain, line.value, checker).passed();
    });
    return taken ? CheckResult::pass() : CheckResult::fail(AppErrorKind::TypeMismatch);
}

// The annotation of a field against one line: the member whose constraints
// apply is chosen by name (an exact name wins; a "str" line meets a "text"
// field; a single annotation takes any other type but the strictly typed
// ones), then its constraints are checked.
CheckResult check_annotation(const Annotation& annotation, const LineFacts& line, std::string_view domain,
                             const Checker& checker) {
    const bool single = annotation.alternatives.empty();
    const bool own_type = annotation.name == line.type && (single || unit_matches(annotation.unit, line.unit));
    if (!own_type) {
        if (annotation.name == "text" && line.type == "str") {
            if (line.value.find("|:|") != std::string_view::npos) {
                return CheckResult::fail(AppErrorKind::DelimiterCollision);
            }
        } else if (!single) {
            return check_union_by_value(annotation, line, domain, checker);
        } else if (is_strictly_typed_pair(annotation.name, line.type)) {
            return CheckResult::fail(AppErrorKind::TypeMismatch);
        }
    }
    return check_member(MemberView{annotation.name, annotation.constraints, annotation.unit}, domain, line.value,
                        checker);
}

// Every item of a field against a line: constraints in the list's domain,
// annotations by the member they choose; the first failure is the result.
CheckResult check_items(std::span<const AnnotationItem> items, const LineFacts& line, std::string_view domain,
                        const Checker& checker) {
    for (const AnnotationItem& item : items) {
        CheckResult result = CheckResult::pass();
        if (const auto* constraint = std::get_if<Constraint>(&item.value)) {
            result = check_one(*constraint, domain, line.value, checker);
        } else if (const auto* annotation = std::get_if<Annotation>(&item.value)) {
            result = check_annotation(*annotation, line, domain, checker);
        }
        if (result.failed()) return result;
    }
    return CheckResult::pass();
}

// The line's unit against the first annotation of the field.
bool field_unit_accepts(std::span<const AnnotationItem> items, const std::optional<std::string>& line_unit) {
    const auto first = std::ranges::find_if(
        items, [](const AnnotationItem& item) { return std::holds_alternative<Annotation>(item.value); });
    if (first == items.end()) {
        return !line_unit;
    }
    const Annotation& annotation = std::get<Annotation>(first->value);
    return !annotation.alternatives.empty() || unit_matches(annotation.unit, line_unit);
}

// The string that a multi-line text line (every "|:|" standing for a line
// feed) or an embedded JSON string line carries; none for any other line.
std::optional<std::string> carried_string(const CanonicalLine& line) {
    if (line.type_name == kTextType) return join_text_lines(line.value);
    if (line.type_name == kEmbeddedJsonType) return embedded_json_string(line.value);
    return std::nullopt;
}

}  // namespace

PatternCache::PatternCache() = default;
PatternCache::~PatternCache() = default;
PatternCache::PatternCache(PatternCache&&) noexcept = default;
PatternCache& PatternCache::operator=(PatternCache&&) noexcept = default;

const PreparedConstraint& PatternCache::prepared(const Constraint::Range& range, std::string_view domain) {
    auto& slot = prepared_[&range];
    if (!slot || slot->domain != domain) {
        const auto order = prepared_order(domain);
        if (!order) raise_fault("a range prepared for a domain that compares it as written");
        slot = std::make_unique<PreparedConstraint>(std::string(domain), prepare_range(range, *order, domain));
        ++preparations_;
    }
    return *slot;
}

const PreparedConstraint& PatternCache::prepared(const Constraint::Set& set, std::string_view domain) {
    auto& slot = prepared_[&set];
    if (!slot || slot->domain != domain) {
        if (const auto tag = collation_domain_tag(domain)) {
            slot =
                std::make_unique<PreparedConstraint>(std::string(domain), CollatedSetIndex::build(*tag, set.members));
        } else {
            slot = std::make_unique<PreparedConstraint>(std::string(domain),
                                                        ByteSet(set.members.begin(), set.members.end()));
        }
        ++preparations_;
    }
    return *slot;
}

void PatternCache::forget_prepared() { prepared_.clear(); }

const RexProgram* PatternCache::program(std::string_view pattern) {
    auto found = programs_.find(pattern);
    if (found == programs_.end()) {
        auto compiled = rex_compile(pattern);
        const std::size_t size = compiled ? compiled->insts.size() : 1;
        if (instructions_ + size > kMaxInstructions) {
            programs_.clear();
            instructions_ = 0;
        }
        instructions_ += size;
        found = programs_.emplace(std::string(pattern), std::move(compiled)).first;
    }
    return found->second ? &*found->second : nullptr;
}

std::string_view comparison_domain(std::span<const Constraint> constraints) {
    return first_span(constraints).value_or(kDefaultDomain);
}

std::string_view comparison_domain(std::span<const AnnotationItem> items) {
    for (const AnnotationItem& item : items) {
        if (const auto* constraint = std::get_if<Constraint>(&item.value)) {
            if (const auto* span = std::get_if<Constraint::Span>(&constraint->value)) {
                return span->word;
            }
        }
    }
    return kDefaultDomain;
}

CheckResult check_constraint(const Constraint& constraint, std::string_view domain, std::string_view value,
                             PatternCache& patterns) {
    return check_one(constraint, domain, value, Checker{patterns});
}

CheckResult check_field_value(std::span<const AnnotationItem> items, const CanonicalLine& line,
                              PatternCache& patterns) {
    // The items of a compiled field stay in place for the whole call.
    const Checker checker{patterns, true};
    const std::string_view domain = comparison_domain(items);
    if (const auto tag = collation_domain_tag(domain); tag && !collator_for_locale(*tag)) {
        return CheckResult::fail(AppErrorKind::CollationUnsupported);
    }
    if (line.type_name.empty()) {
        return CheckResult::fail(AppErrorKind::TypeMismatch);
    }
    const std::optional<std::string> unit = line.unit ? canonical_unit_text(*line.unit) : std::nullopt;
    if ((line.unit && !unit) || !field_unit_accepts(items, unit)) {
        return CheckResult::fail(AppErrorKind::TypeMismatch);
    }
    const CheckResult result = check_items(items, LineFacts{line.type_name, unit, line.value}, domain, checker);
    if (result.passed() || result.kind() != AppErrorKind::TypeMismatch || unit) return result;
    // A string that a plain value cannot carry travels as multi-line text or
    // as embedded JSON; a field that expects a string checks the string
    // itself, as a "str" line.
    if (classify_value_type(items) != ValueClass::Other) return result;
    const auto text = carried_string(line);
    if (!text) return result;
    return check_items(items, LineFacts{"str", unit, *text, true}, domain, checker);
}

bool satisfies_constraints(std::span<const AnnotationItem> items, std::string_view value, PatternCache& patterns,
                           ItemsStay stay) {
    const Checker checker{patterns, stay == ItemsStay::Yes};
    const std::string_view domain = comparison_domain(items);
    return std::ranges::all_of(items, [&](const AnnotationItem& item) {
        if (const auto* constraint = std::get_if<Constraint>(&item.value)) {
            return check_one(*constraint, domain, value, checker).passed();
        }
        if (const auto* annotation = std::get_if<Annotation>(&item.value)) {
            if (annotation->alternatives.empty()) {
                return all_pass(annotation->constraints, domain, value, checker);
            }
            return first_passing_member(*annotation, value, checker).has_value();
        }
        return true;
    });
}

std::optional<UnionMember> match_union_alternative(const Annotation& annotation, std::string_view value,
                                                   PatternCache& patterns) {
    const Checker checker{patterns};
    // A member that an earlier one of its name and unit shadows is taken
    // only when no other member accepts the value: "1.5" under
    // "int|text/^x/|text|float" is a float, which validation takes, not a
    // text, which it checks against "text/^x/".
    std::optional<MemberView> shadowed;
    std::size_t position = 0;
    auto member = find_member(annotation, [&](const MemberView& candidate) {
        const bool hidden = is_shadowed_member(annotation, position++);
        if ((hidden && shadowed) || !check_member(candidate, kDefaultDomain, value, checker).passed()) return false;
        if (hidden) shadowed.emplace(candidate);
        return !hidden;
    });
    if (!member && shadowed) member.emplace(*shadowed);
    if (!member) return std::nullopt;
    return UnionMember{member->name, optional_view(member->unit)};
}

std::optional<std::string> embedded_json_string(std::string_view value) {
    const auto decoded = base64url_decode(value);
    if (!decoded) return std::nullopt;
    JsonCursor cursor{*decoded};
    skip_json_whitespace(cursor);
    // Only a string is read: a payload of another kind is not parsed at all.
    if (cursor.pos == decoded->size() || (*decoded)[cursor.pos] != '"') return std::nullopt;
    auto read = parse_json_value(cursor, 0);
    if (!read) return std::nullopt;
    skip_json_whitespace(cursor);
    auto* string = std::get_if<JsonSpan::String>(&read->data);
    if (string == nullptr || cursor.pos != decoded->size()) return std::nullopt;
    return std::move(string->text);
}

AppErrorAt type_violation_message(AppErrorKind kind, const SchemaField& field, const CanonicalLine& line) {
    // The value is cut to 40 characters here; its excerpt only escapes them
    // (an escape such as "\u{1b}" takes at most 6 bytes), so it cuts nothing more.
    constexpr std::size_t kShownScalars = 40;
    const auto [shown, cut] = cut_to_scalars(line.value, kShownScalars);
    std::string_view verb = "violates";
    if (kind == AppErrorKind::TypeMismatch) {
        verb = "does not satisfy";
    } else if (kind == AppErrorKind::CollationUnsupported) {
        verb = "needs a collation unavailable in";
    }
    std::string context;
    context.reserve(line.path.size() + shown.size() + field.metadata.size() + 64);
    context.append(quoted_excerpt(line.path)).append("=").append(quoted_excerpt(shown, 6 * kShownScalars));
    if (cut) {
        context.append("\u2026");
    }
    context.append(" (type !").append(quoted_excerpt(line.type_name));
    if (line.unit) {
        context.append(":").append(quoted_excerpt(*line.unit));
    }
    context.append(") ").append(verb).append(" ").append(field.metadata);
    return AppErrorAt{kind, line.line, std::move(context)};
}

}  // namespace bezo
