#include "schema/check.hpp"

#include <algorithm>
#include <expected>
#include <type_traits>
#include <variant>

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "lang/unit.hpp"
#include "schema/collate_icu.hpp"
#include "schema/domains.hpp"
#include "schema/rex_match.hpp"

namespace bezo {

namespace {

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

bool bytewise_less_equal(std::string_view a, std::string_view b) { return a.compare(b) <= 0; }

// Instants when both sides read as dates or times, bytes otherwise.
bool time_less_equal(std::string_view a, std::string_view b) {
    const auto x = parse_date_value(a);
    const auto y = parse_date_value(b);
    if (x && y) {
        return *x <= *y;
    }
    return bytewise_less_equal(a, b);
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

CheckResult check_range(const Constraint::Range& range, std::string_view domain, std::string_view value) {
    if (const auto tag = collation_domain_tag(domain)) {
        return from_collated(collated_range_contains(*tag, value, optional_view(range.lo), optional_view(range.hi)));
    }
    const LessEqual less_equal = ordering_of(domain);
    return pass_if((!range.lo || less_equal(*range.lo, value)) && (!range.hi || less_equal(value, *range.hi)));
}

// Sets match texts byte for byte in every domain but the collation domains:
// under "..num" the value 7.0 is not in {7}.
CheckResult check_set(const Constraint::Set& set, std::string_view domain, std::string_view value) {
    if (const auto tag = collation_domain_tag(domain)) {
        return from_collated(collated_set_contains(*tag, value, set.members));
    }
    return pass_if(std::ranges::find(set.members, value) != set.members.end());
}

// A length constraint counts Unicode scalar values and compares the count as
// a number, whatever the list's domain.
CheckResult check_length(const Constraint::Length& length, std::string_view value) {
    const std::string count = decimal_text(count_scalars(value));
    return std::visit(
        [&](const auto& inner) -> CheckResult {
            using Inner = std::decay_t<decltype(inner)>;
            if constexpr (std::is_same_v<Inner, Constraint::Range>) {
                return check_range(inner, "..num", count);
            } else {
                return check_set(inner, "..num", count);
            }
        },
        length.inner);
}

// The first failure of the constraints in order, or pass.
CheckResult check_all(std::span<const Constraint> constraints, std::string_view domain, std::string_view value,
                      PatternCache& patterns) {
    for (const Constraint& c : constraints) {
        if (const CheckResult result = check_constraint(c, domain, value, patterns); result.failed()) {
            return result;
        }
    }
    return CheckResult::pass();
}

bool all_pass(std::span<const Constraint> constraints, std::string_view domain, std::string_view value,
              PatternCache& patterns) {
    return check_all(constraints, domain, value, patterns).passed();
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

bool is_strictly_typed_pair(std::string_view field_type, std::string_view line_type) {
    return field_type == "str" || field_type == "null" || line_type == "null" || field_type == "text" ||
           line_type == "text" || field_type.starts_with("std/enc/") || line_type.starts_with("std/enc/");
}

// The member of a field annotation whose constraints apply to a line of type
// `type`, or the failure kind when none may.
[[nodiscard]] std::expected<std::span<const Constraint>, AppErrorKind> choose_member(
    const Annotation& annotation, std::string_view type, const std::optional<std::string>& unit,
    std::string_view value) {
    if (annotation.name == type && (annotation.alternatives.empty() || unit_matches(annotation.unit, unit))) {
        return annotation.constraints;
    }
    if (annotation.name == "text" && type == "str") {
        if (value.find("|:|") != std::string_view::npos) {
            return std::unexpected(AppErrorKind::DelimiterCollision);
        }
        return annotation.constraints;
    }
    if (!annotation.alternatives.empty()) {
        for (const Alternative& alternative : annotation.alternatives) {
            if (alternative.name == type && unit_matches(alternative.unit, unit)) {
                return alternative.constraints;
            }
        }
        return std::unexpected(AppErrorKind::TypeMismatch);
    }
    if (is_strictly_typed_pair(annotation.name, type)) {
        return std::unexpected(AppErrorKind::TypeMismatch);
    }
    return annotation.constraints;
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

}  // namespace

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
    if (const auto tag = collation_domain_tag(domain); tag && !collator_for_locale(*tag)) {
        return CheckResult::fail(AppErrorKind::CollationUnsupported);
    }
    return std::visit(Overloaded{
                          [&](const Constraint::Pattern& pattern) {
                              const RexProgram* program = patterns.program(pattern.text);
                              return pass_if(program != nullptr && rex_is_match(*program, value));
                          },
                          [&](const Constraint::Range& range) { return check_range(range, domain, value); },
                          [&](const Constraint::Set& set) { return check_set(set, domain, value); },
                          [&](const Constraint::Length& length) { return check_length(length, value); },
                          [](const Constraint::Span&) { return CheckResult::pass(); },
                      },
                      constraint.value);
}

CheckResult check_field_value(std::span<const AnnotationItem> items, const CanonicalLine& line,
                              PatternCache& patterns) {
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
    for (const AnnotationItem& item : items) {
        CheckResult result = CheckResult::pass();
        if (const auto* constraint = std::get_if<Constraint>(&item.value)) {
            result = check_constraint(*constraint, domain, line.value, patterns);
        } else if (const auto* annotation = std::get_if<Annotation>(&item.value)) {
            const auto member = choose_member(*annotation, line.type_name, unit, line.value);
            if (!member) {
                return CheckResult::fail(member.error());
            }
            result = check_all(*member, first_span(*member).value_or(domain), line.value, patterns);
        }
        if (result.failed()) {
            return result;
        }
    }
    return CheckResult::pass();
}

bool satisfies_constraints(std::span<const AnnotationItem> items, std::string_view value, PatternCache& patterns) {
    const std::string_view domain = comparison_domain(items);
    return std::ranges::all_of(items, [&](const AnnotationItem& item) {
        if (const auto* constraint = std::get_if<Constraint>(&item.value)) {
            return check_constraint(*constraint, domain, value, patterns).passed();
        }
        if (const auto* annotation = std::get_if<Annotation>(&item.value)) {
            if (annotation->alternatives.empty()) {
                return all_pass(annotation->constraints, domain, value, patterns);
            }
            return match_union_alternative(*annotation, value, patterns).has_value();
        }
        return true;
    });
}

std::optional<UnionMember> match_union_alternative(const Annotation& annotation, std::string_view value,
                                                   PatternCache& patterns) {
    const auto accepts = [&](std::span<const Constraint> constraints) {
        return all_pass(constraints, comparison_domain(constraints), value, patterns);
    };
    if (accepts(annotation.constraints)) {
        return UnionMember{annotation.name, optional_view(annotation.unit)};
    }
    for (const Alternative& alternative : annotation.alternatives) {
        if (accepts(alternative.constraints)) {
            return UnionMember{alternative.name, optional_view(alternative.unit)};
        }
    }
    return std::nullopt;
}

AppErrorAt type_violation_message(AppErrorKind kind, const SchemaField& field, const CanonicalLine& line) {
    const auto [shown, cut] = cut_to_scalars(line.value, 40);
    std::string_view verb = "violates";
    if (kind == AppErrorKind::TypeMismatch) {
        verb = "does not satisfy";
    } else if (kind == AppErrorKind::CollationUnsupported) {
        verb = "needs a collation unavailable in";
    }
    std::string context;
    context.reserve(line.path.size() + shown.size() + field.metadata.size() + 64);
    context.append(line.path).append("=").append(shown);
    if (cut) {
        context.append("\u2026");
    }
    context.append(" (type !").append(line.type_name);
    if (line.unit) {
        context.append(":").append(*line.unit);
    }
    context.append(") ").append(verb).append(" ").append(field.metadata);
    return AppErrorAt{kind, line.line, std::move(context)};
}

}  // namespace bezo
