#include "pipeline/union_member.hpp"

#include <optional>
#include <vector>

#include "schema/check.hpp"
#include "schema/types.hpp"

namespace bezo {
namespace {

// The constraint items of a lowered member text such as
// «int:km(/^-?[0-9]+$/..num[0,5])»: the part between the first "(" and the
// final ")", or no value when the text has none (the member then takes any
// value). The items stand back to back, so they are read with the annotation
// grammar's group rules, which end a span word at the first character that
// is not a letter; a line split would read "..num[0,5]" as one span word and
// lose the range.
[[nodiscard]] Result<std::optional<std::vector<AnnotationItem>>> lowered_member_items(std::string_view lowered,
                                                                                      const std::string& member) {
    const auto open = lowered.find('(');
    if (open == std::string_view::npos || !lowered.ends_with(')')) return std::nullopt;
    std::string group = "!str";
    group += lowered.substr(open);
    auto parsed = parse_annotation(group);
    if (!parsed) return std::unexpected(Error::Other("unloadable union alternative: " + member));
    std::vector<AnnotationItem> items;
    items.reserve(parsed->constraints.size());
    for (auto& constraint : parsed->constraints) items.push_back(AnnotationItem{std::move(constraint)});
    return items;
}

[[nodiscard]] Result<bool> member_accepts(CompileState& state, const Alternative& member, std::string_view value) {
    std::optional<std::string_view> unit;
    if (member.unit) unit = *member.unit;
    auto lowered = lower_union_alternatives(member.name, member.constraints, unit, state.resolver, state.registry);
    if (!lowered) return forward_error(lowered);
    auto items = lowered_member_items(*lowered, member.name);
    if (!items) return forward_error(items);
    return !*items || satisfies_constraints(**items, value, state.patterns);
}

}  // namespace

Result<Annotation> choose_union_member(CompileState& state, const Annotation& annotation, std::string_view value) {
    std::vector<Alternative> members;
    members.reserve(annotation.alternatives.size() + 1);
    members.push_back(Alternative{annotation.name, annotation.constraints, annotation.unit});
    members.insert(members.end(), annotation.alternatives.begin(), annotation.alternatives.end());
    for (auto& member : members) {
        auto accepts = member_accepts(state, member, value);
        if (!accepts) return forward_error(accepts);
        if (!*accepts) continue;
        Annotation chosen;
        chosen.name = std::move(member.name);
        chosen.constraints = std::move(member.constraints);
        chosen.unit = std::move(member.unit);
        chosen.provenance = annotation.provenance;
        return chosen;
    }
    return std::unexpected(Error::App(AppErrorKind::TypeMismatch));
}

}  // namespace bezo
