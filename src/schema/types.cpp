#include "schema/types.hpp"

#include <algorithm>
#include <type_traits>
#include <variant>

#include "core/fault.hpp"
#include "core/text.hpp"
#include "lang/unit.hpp"
#include "lang/yezo.hpp"
#include "schema/bcp47.hpp"
#include "schema/domains.hpp"
#include "schema/rex_compile.hpp"

namespace bezo {

namespace {

// Resolution depths from here on fail: type definitions nest at most 32 deep.
constexpr int kTypeDepthLimit = 33;

constexpr std::string_view kCoreLibrary = "std/core";

// The pattern that accepts every value: the items of a field that has no
// other, and the guard in front of items that would read as a comment.
constexpr std::string_view kAcceptAll = "/^/";

Error recursion_too_deep() { return Error::Other("type-definition recursion too deep (cycle?)"); }

// The most one resolution may gather (see TypeResolution::gathered), and the
// charge for entering one definition, which bounds the number of definitions
// walked even when they file nothing.
constexpr std::size_t kGatheredLimit = std::size_t{16} << 20;
constexpr std::size_t kDefinitionCharge = 64;

Result<void> charge(TypeResolution& resolution, std::size_t amount) {
    resolution.gathered += amount;
    if (resolution.gathered > kGatheredLimit) {
        return fail("type-definition expansion too large");
    }
    return {};
}

// Records a definition entered on the way: its value is a candidate default.
Result<void> enter_definition(std::string value, TypeResolution& resolution) {
    const std::size_t size = value.size();
    resolution.candidates.push_back(std::move(value));
    return charge(resolution, kDefinitionCharge + size);
}

const TypeLibrary& core_library() {
    const TypeLibrary* core = builtin_type_library(kCoreLibrary);
    if (core == nullptr) {
        raise_fault("the built-in std/core type library is available");
    }
    return *core;
}

// Names that stand for plain text and are never looked up.
bool is_unresolved_name(std::string_view name) {
    return name.empty() || name == "str" || name == "map" || name == "text";
}

Result<void> file_constraint(const Constraint& constraint, TypeCollector& collector, TypeResolution& resolution) {
    std::string text = render_schema_constraint(constraint);
    const std::size_t size = text.size();
    std::visit(
        [&](const auto& payload) {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, Constraint::Pattern>) {
                collector.patterns.push_back(std::move(text));
            } else if constexpr (std::is_same_v<Payload, Constraint::Span>) {
                collector.spans.push_back(std::move(text));
            } else if constexpr (std::is_same_v<Payload, Constraint::Length>) {
                collector.lengths.push_back(payload);
            } else {
                collector.ranges_and_sets.push_back(std::move(text));
            }
        },
        constraint.value);
    return charge(resolution, size);
}

Result<void> file_constraints(std::span<const Constraint> constraints, TypeCollector& collector,
                              TypeResolution& resolution) {
    for (const Constraint& constraint : constraints) {
        if (auto filed = file_constraint(constraint, collector, resolution); !filed) {
            return filed;
        }
    }
    return {};
}

// Looks a type up in a library through the resolver and walks its items.
Result<void> walk_library_type(std::string_view library, std::string_view type, Resolver& resolver,
                               RegistryEntries entries, TypeCollector& collector, TypeResolution& resolution,
                               int depth) {
    auto definition = resolver.lookup_library_type(library, type, entries);
    if (!definition) {
        return forward_error(definition);
    }
    if (auto entered = enter_definition(std::move(definition->value), resolution); !entered) {
        return entered;
    }
    return resolve_type_items(definition->items, library, resolver, entries, collector, resolution, depth);
}

// A named type: a std/core type, or a type of the library a qualified name
// points into.
Result<void> resolve_named_type(const std::string& name, Resolver& resolver, RegistryEntries entries,
                                TypeCollector& collector, TypeResolution& resolution, int depth) {
    const TypeLibrary& core = core_library();
    if (const auto found = core.types.find(name); found != core.types.end()) {
        resolution.b64 = resolution.b64 || name == "b64";
        if (auto entered = enter_definition(found->second.value, resolution); !entered) {
            return entered;
        }
        return resolve_type_items(found->second.items, kCoreLibrary, resolver, entries, collector, resolution,
                                  depth + 1);
    }
    const auto slash = name.rfind('/');
    if (slash == std::string::npos) {
        return fail("unresolvable type in schema: !" + quoted_excerpt(name));
    }
    const std::string_view qualified = name;
    return walk_library_type(qualified.substr(0, slash), qualified.substr(slash + 1), resolver, entries, collector,
                             resolution, depth + 1);
}

void append_decimal(std::string& out, UInt128 value) {
    char digits[40];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        out.push_back(digits[--count]);
    }
}

// A byte-length bound as a bound of the encoded text; a bound that is not a
// byte count stays as written, since dropping it would widen the range.
std::string encoded_length_bound(const std::string& bound) { return base64_length_bound(bound).value_or(bound); }

Constraint::Length encoded_length(const Constraint::Length& length) {
    Constraint::Length encoded = length;
    if (auto* range = std::get_if<Constraint::Range>(&encoded.inner)) {
        for (std::optional<std::string>* bound : {&range->lo, &range->hi}) {
            if (*bound) {
                **bound = encoded_length_bound(**bound);
            }
        }
    } else {
        for (std::string& member : std::get<Constraint::Set>(encoded.inner).members) {
            member = encoded_length_bound(member);
        }
    }
    return encoded;
}

// Where span items go among the rendered items. Inside a union member's
// parenthesised group a plain "..lex" directly before a range would be read
// back as the collation span "..lex[lo,hi]", so in that one case the spans
// follow the ranges and sets; they keep their own order, and the domain of a
// list is its first span wherever it stands.
enum class SpanPlacement : std::uint8_t { BeforeRanges, AfterRanges };

SpanPlacement group_span_placement(const TypeCollector& collector) {
    const bool lex_meets_range = !collector.spans.empty() && collector.spans.back() == kDefaultDomain &&
                                 !collector.ranges_and_sets.empty() &&
                                 collector.ranges_and_sets.front().starts_with('[');
    return lex_meets_range ? SpanPlacement::AfterRanges : SpanPlacement::BeforeRanges;
}

std::vector<std::string> render_items(const TypeCollector& collector, bool b64, SpanPlacement placement) {
    std::vector<std::string> items;
    items.reserve(collector.patterns.size() + collector.spans.size() + collector.ranges_and_sets.size() +
                  collector.lengths.size());
    items.insert(items.end(), collector.patterns.begin(), collector.patterns.end());
    if (placement == SpanPlacement::BeforeRanges) {
        items.insert(items.end(), collector.spans.begin(), collector.spans.end());
    }
    items.insert(items.end(), collector.ranges_and_sets.begin(), collector.ranges_and_sets.end());
    if (placement == SpanPlacement::AfterRanges) {
        items.insert(items.end(), collector.spans.begin(), collector.spans.end());
    }
    for (const Constraint::Length& length : collector.lengths) {
        items.push_back(render_schema_constraint(Constraint{b64 ? encoded_length(length) : length}));
    }
    return items;
}

bool has_numeric_span(const TypeCollector& collector) {
    return std::ranges::any_of(collector.spans, [](const std::string& span) { return span.starts_with("..num"); });
}

std::string join(std::span<const std::string> pieces, std::string_view separator) {
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            joined.append(separator);
        }
        joined.append(pieces[i]);
    }
    return joined;
}

Result<std::string> lower_union(const Annotation& annotation, Resolver& resolver, RegistryEntries entries) {
    auto first = lower_union_alternatives(annotation.name, annotation.constraints, optional_view(annotation.unit),
                                          resolver, entries);
    if (!first) {
        return first;
    }
    std::string text = "!" + *first;
    for (const Alternative& alternative : annotation.alternatives) {
        auto member = lower_union_alternatives(alternative.name, alternative.constraints,
                                               optional_view(alternative.unit), resolver, entries);
        if (!member) {
            return member;
        }
        text.append("|").append(*member);
    }
    return text;
}

bool constraint_usable(const Constraint& constraint) {
    if (const auto* pattern = std::get_if<Constraint::Pattern>(&constraint.value)) {
        return rex_compile(pattern->text).has_value();
    }
    if (const auto* span = std::get_if<Constraint::Span>(&constraint.value)) {
        const auto tag = collation_domain_tag(span->word);
        return !tag || is_valid_language_tag(*tag);
    }
    return true;
}

bool constraints_usable(std::span<const Constraint> constraints) {
    return std::ranges::all_of(constraints, constraint_usable);
}

bool is_boolean_set(const Constraint::Set& set) {
    return set.members.size() == 2 && ((set.members[0] == "true" && set.members[1] == "false") ||
                                       (set.members[0] == "false" && set.members[1] == "true"));
}

// The class an item tells, or no value for an item that tells nothing.
std::optional<ValueClass> telling_class(const AnnotationItem& item) {
    if (const auto* annotation = std::get_if<Annotation>(&item.value)) {
        if (!annotation->alternatives.empty()) {
            return std::nullopt;
        }
        if (annotation->name == "float" || annotation->name == "int") {
            return ValueClass::Numeric;
        }
        if (annotation->name == "bool") {
            return ValueClass::Boolean;
        }
        return std::nullopt;
    }
    const auto* constraint = std::get_if<Constraint>(&item.value);
    if (constraint == nullptr) {
        return std::nullopt;
    }
    if (const auto* set = std::get_if<Constraint::Set>(&constraint->value); set && is_boolean_set(*set)) {
        return ValueClass::Boolean;
    }
    if (const auto* span = std::get_if<Constraint::Span>(&constraint->value); span && span->word.starts_with("..num")) {
        return ValueClass::Numeric;
    }
    return std::nullopt;
}

}  // namespace

Result<void> resolve_schema_type(const Annotation& annotation, Resolver& resolver, RegistryEntries entries,
                                 TypeCollector& collector, TypeResolution& resolution, int depth) {
    if (depth >= kTypeDepthLimit) {
        return std::unexpected(recursion_too_deep());
    }
    if (annotation.unit && !resolution.unit) {
        auto canonical = canonical_unit_text(*annotation.unit);
        if (!canonical) {
            return fail("invalid unit expression: " + quoted_excerpt(*annotation.unit));
        }
        resolution.unit = std::move(*canonical);
    }
    if (!is_unresolved_name(annotation.name)) {
        if (auto named = resolve_named_type(annotation.name, resolver, entries, collector, resolution, depth); !named) {
            return named;
        }
    }
    return file_constraints(annotation.constraints, collector, resolution);
}

Result<void> resolve_type_items(std::span<const AnnotationItem> items, std::string_view library, Resolver& resolver,
                                RegistryEntries entries, TypeCollector& collector, TypeResolution& resolution,
                                int depth) {
    if (depth >= kTypeDepthLimit) {
        return std::unexpected(recursion_too_deep());
    }
    for (const AnnotationItem& item : items) {
        Result<void> walked;
        if (const auto* annotation = std::get_if<Annotation>(&item.value)) {
            walked = resolve_schema_type(*annotation, resolver, entries, collector, resolution, depth + 1);
        } else if (const auto* ref = std::get_if<AnnotationItem::Ref>(&item.value)) {
            walked = walk_library_type(library, ref->name, resolver, entries, collector, resolution, depth + 1);
        } else {
            walked = file_constraint(std::get<Constraint>(item.value), collector, resolution);
        }
        if (!walked) {
            return walked;
        }
    }
    return {};
}

std::string render_schema_constraint(const Constraint& constraint) {
    return std::visit(
        [](const auto& payload) -> std::string {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, Constraint::Pattern>) {
                return "/" + payload.text + "/";
            } else if constexpr (std::is_same_v<Payload, Constraint::Range>) {
                return "[" + payload.lo.value_or("") + "," + payload.hi.value_or("") + "]";
            } else if constexpr (std::is_same_v<Payload, Constraint::Set>) {
                return "{" + join(payload.members, ",") + "}";
            } else if constexpr (std::is_same_v<Payload, Constraint::Length>) {
                return "#" + std::visit([](const auto& inner) { return render_schema_constraint(Constraint{inner}); },
                                        payload.inner);
            } else {
                return payload.word;
            }
        },
        constraint.value);
}

std::vector<std::string> render_type_items(const TypeCollector& collector, bool b64) {
    return render_items(collector, b64, SpanPlacement::BeforeRanges);
}

std::optional<std::string> base64_length_bound(std::optional<std::string_view> bound) {
    if (!bound) {
        return std::nullopt;
    }
    const auto bytes = read_unsigned_decimal(*bound);
    if (!bytes) {
        return std::nullopt;
    }
    // Every 3 bytes take 4 characters; 1 or 2 bytes left over take 2 or 3.
    // Near the top of the 64-bit range the length no longer fits 64 bits.
    constexpr unsigned kTail[] = {0, 2, 3};
    const UInt128 length = static_cast<UInt128>(*bytes / 3) * 4 + kTail[*bytes % 3];
    std::string text;
    append_decimal(text, length);
    return text;
}

Result<LoweredType> lower_field_type(const Annotation& annotation, Resolver& resolver, RegistryEntries entries) {
    if (!annotation.alternatives.empty()) {
        auto union_item = lower_union(annotation, resolver, entries);
        if (!union_item) {
            return forward_error(union_item);
        }
        return LoweredType{{std::move(*union_item)}, {}};
    }
    TypeCollector collector;
    TypeResolution resolution;
    if (auto resolved = resolve_schema_type(annotation, resolver, entries, collector, resolution, 0); !resolved) {
        return forward_error(resolved);
    }
    if (resolution.unit && !has_numeric_span(collector)) {
        return fail("unit annotation on a non-numeric type: !" + quoted_excerpt(annotation.name));
    }
    std::vector<std::string> items = render_type_items(collector, resolution.b64);
    if (resolution.unit) {
        items.insert(items.begin(), "!" + annotation.name + ":" + *resolution.unit);
    } else if (!annotation.name.empty() && annotation.name != "map") {
        items.insert(items.begin(), "!" + annotation.name);
    } else if (items.empty()) {
        items.emplace_back(kAcceptAll);
    }
    if (items.front().starts_with('#') || items.front().starts_with("//")) {
        items.insert(items.begin(), std::string(kAcceptAll));
    }
    return LoweredType{std::move(items), std::move(resolution.candidates)};
}

Result<std::vector<std::string>> lower_type_items(const Annotation& annotation, Resolver& resolver,
                                                  RegistryEntries entries) {
    auto lowered = lower_field_type(annotation, resolver, entries);
    if (!lowered) {
        return forward_error(lowered);
    }
    return std::move(lowered->items);
}

Result<std::string> lower_union_alternatives(std::string_view name, std::span<const Constraint> constraints,
                                             std::optional<std::string_view> unit, Resolver& resolver,
                                             RegistryEntries entries) {
    Annotation member;
    member.name = name;
    member.constraints.assign(constraints.begin(), constraints.end());
    TypeCollector collector;
    TypeResolution resolution;
    if (auto resolved = resolve_schema_type(member, resolver, entries, collector, resolution, 0); !resolved) {
        return forward_error(resolved);
    }
    std::string text(name);
    if (unit) {
        if (!has_numeric_span(collector)) {
            return fail("unit annotation on a non-numeric union alternative: " + quoted_excerpt(name) + ":" +
                        quoted_excerpt(*unit));
        }
        const auto canonical = canonical_unit_text(*unit);
        if (!canonical) {
            return fail("invalid unit expression: " + quoted_excerpt(*unit));
        }
        text.append(":").append(*canonical);
    }
    const std::vector<std::string> items = render_items(collector, resolution.b64, group_span_placement(collector));
    if (!items.empty()) {
        text.append("(").append(join(items, "")).append(")");
    }
    return text;
}

bool check_lex_locales(std::span<const AnnotationItem> items) {
    return std::ranges::all_of(items, [](const AnnotationItem& item) {
        if (const auto* constraint = std::get_if<Constraint>(&item.value)) {
            return constraint_usable(*constraint);
        }
        if (const auto* annotation = std::get_if<Annotation>(&item.value)) {
            return constraints_usable(annotation->constraints) &&
                   std::ranges::all_of(annotation->alternatives, [](const Alternative& alternative) {
                       return constraints_usable(alternative.constraints);
                   });
        }
        return true;
    });
}

ValueClass type_orders_numerically(std::string_view name, Resolver& resolver, RegistryEntries entries) {
    Annotation annotation;
    annotation.name = name;
    TypeCollector collector;
    TypeResolution resolution;
    if (!resolve_schema_type(annotation, resolver, entries, collector, resolution, 0)) {
        return ValueClass::Other;
    }
    if (has_numeric_span(collector)) {
        return ValueClass::Numeric;
    }
    if (std::ranges::find(collector.ranges_and_sets, "{true,false}") != collector.ranges_and_sets.end()) {
        return ValueClass::Boolean;
    }
    return ValueClass::Other;
}

ValueClass classify_value_type(std::span<const AnnotationItem> items) {
    for (const AnnotationItem& item : items) {
        if (const auto telling = telling_class(item)) {
            return *telling;
        }
    }
    return ValueClass::Other;
}

std::string_view default_type_name() { return "str"; }

}  // namespace bezo
