#include "pipeline/union_member.hpp"

#include <optional>
#include <vector>

#include "pipeline/relational.hpp"
#include "schema/check.hpp"
#include "schema/types.hpp"

namespace bezo {
namespace {

constexpr std::size_t kMaxLoweredMemberBytes = std::size_t{64} << 20;

// The constraint items of a lowered member text such as
// «int:km(/^-?[0-9]+$/..num[0,5])»: the part between the first "(" and the
// final ")", or no value when the text has none (the member then takes any
// value). The items stand back to back, so they are read with the annotation
// grammar's group rules, which end a span word at the first character that
// is not a letter; a line split would read "..num[0,5]" as one span word and
// lose the range.
//
// A value must pass every item, so an item met again adds nothing and is
// dropped: types that refer to one another repeat their items many times.
// The first of each stays, so the first span, which names the domain, does.
Result<std::optional<std::vector<AnnotationItem>>> lowered_member_items(std::string_view lowered,
                                                                        const std::string& member) {
    const auto open = lowered.find('(');
    if (open == std::string_view::npos || !lowered.ends_with(')')) return std::nullopt;
    std::string group = "!str";
    group += lowered.substr(open);
    auto parsed = parse_annotation(group);
    if (!parsed) return fail("unloadable union alternative: " + quoted_excerpt(member));
    std::vector<AnnotationItem> items;
    TextSet seen;
    std::string text;
    for (auto& constraint : parsed->constraints) {
        text.clear();
        append_constraint(text, constraint);
        if (seen.insert(text).second) items.push_back(AnnotationItem{std::move(constraint)});
    }
    return items;
}

// The text a member is known by in the cache of lowered members: its name,
// constraints and unit, each closed by a byte no text holds.
std::string member_cache_key(const Alternative& member) {
    std::string key = member.name;
    key += '\0';
    for (const Constraint& constraint : member.constraints) {
        append_constraint(key, constraint);
        key += '\0';
    }
    if (member.unit) key += *member.unit;
    return key;
}

// The lowered items of a member, lowered once per compile: a member can
// stand for a long chain of type definitions, and a union annotation is met
// again for every value under it. The resolver keeps every library it
// loaded for the whole call, so a member lowers the same way every time.
Result<const LoweredMember*> lowered_member(CompileState& state, const Alternative& member) {
    std::string key = member_cache_key(member);
    if (auto found = state.lowered_members.find(key); found != state.lowered_members.end()) return &found->second;
    std::optional<std::string_view> unit;
    if (member.unit) unit = *member.unit;
    auto lowered = lower_union_alternatives(member.name, member.constraints, unit, state.resolver, state.registry);
    if (!lowered) return forward_error(lowered);
    auto items = lowered_member_items(*lowered, member.name);
    if (!items) return forward_error(items);
    // Lowered texts can be long; the cache keeps a bounded amount of them.
    if (state.lowered_member_bytes + lowered->size() > kMaxLoweredMemberBytes) {
        state.lowered_members.clear();
        state.patterns.forget_prepared();
        state.lowered_member_bytes = 0;
    }
    state.lowered_member_bytes += lowered->size();
    return &state.lowered_members.emplace(std::move(key), std::move(*items)).first->second;
}

Result<bool> member_accepts(CompileState& state, const Alternative& member, std::string_view value) {
    auto items = lowered_member(state, member);
    if (!items) return forward_error(items);
    // Lowered members stay in place until the cache of them is cleared, and
    // what was prepared for them is forgotten with them.
    return !**items || satisfies_constraints(***items, value, state.patterns, ItemsStay::Yes);
}

}  // namespace

Result<Annotation> choose_union_member(CompileState& state, const Annotation& annotation, std::string_view value) {
    std::vector<Alternative> members;
    members.reserve(annotation.alternatives.size() + 1);
    members.push_back(Alternative{annotation.name, annotation.constraints, annotation.unit});
    members.insert(members.end(), annotation.alternatives.begin(), annotation.alternatives.end());
    // A shadowed member is chosen only when no other member takes the value:
    // "1.5" under "int|text/^x/|text|float" is a float, which validation
    // takes, not a text, which it checks against "text/^x/".
    std::optional<std::size_t> chosen;
    for (std::size_t member = 0; member < members.size(); ++member) {
        const bool hidden = is_shadowed_member(annotation, member);
        if (hidden && chosen) continue;
        auto accepts = member_accepts(state, members[member], value);
        if (!accepts) return forward_error(accepts);
        if (!*accepts) continue;
        chosen = member;
        if (!hidden) break;
    }
    if (chosen) {
        Annotation picked;
        picked.name = std::move(members[*chosen].name);
        picked.constraints = std::move(members[*chosen].constraints);
        picked.unit = std::move(members[*chosen].unit);
        picked.provenance = annotation.provenance;
        return picked;
    }
    return std::unexpected(Error::App(AppErrorKind::TypeMismatch));
}

}  // namespace bezo
