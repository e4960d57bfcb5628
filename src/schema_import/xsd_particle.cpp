#include "schema_import/xsd_particle.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "core/text.hpp"
#include "lang/anno.hpp"
#include "schema/check.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/xsd_resolve.hpp"
#include "schema_import/xsd_simple_type.hpp"

namespace bezo {
namespace {

// The key of an element's character data, a column or a field.
constexpr std::string_view kTextKey = "\"#text\"";

constexpr std::array<std::string_view, 3> kParticleKinds{"sequence", "all", "choice"};
constexpr std::array<std::string_view, 4> kNestedParticleKinds{"sequence", "choice", "all", "group"};

// An occurrence count: an optional "+", then digits whose value fits 64
// bits; none for anything else, "unbounded" included.
std::optional<std::uint64_t> read_occurs(std::string_view text) {
    return parse_ascii_unsigned(text.starts_with('+') ? text.substr(1) : text);
}

// "unbounded", or a count above 1; a count beyond 64 bits is as good as
// unbounded.
bool repeats(std::string_view max_occurs) {
    if (max_occurs == "unbounded") return true;
    const std::string_view digits = max_occurs.starts_with('+') ? max_occurs.substr(1) : max_occurs;
    if (!is_ascii_digits(digits)) return false;
    const auto count = parse_ascii_unsigned(digits);
    return !count || *count > 1;
}

bool may_be_absent(std::string_view min_occurs) {
    const auto count = read_occurs(min_occurs);
    return count && *count == 0;
}

// The annotation of a scalar type; none for unconstrained text and for any
// other type.
std::optional<std::string> annotation_of(XsdType type) {
    auto* scalar = std::get_if<XsdScalar>(&type);
    return scalar ? std::move(scalar->annotation) : std::nullopt;
}

// The key of a field in a content line: "path::key".
std::string field_key(std::string_view path, std::string_view key) {
    std::string joined(path);
    joined += "::";
    joined += key;
    return joined;
}

// What an element takes up under `path`: the vector or table "path/@key",
// the fields under "path/key", or the field "path::key".
std::string element_place(std::string_view path, std::string_view key, bool repeated, bool complex) {
    if (!repeated && !complex) return field_key(path, key);
    std::string place(path);
    place += repeated ? "/@" : "/";
    place += key;
    return place;
}

// The kinds that simple types are restricted from, whose constraint items
// follow the name directly.
constexpr std::array<std::string_view, 4> kRestrictedKinds{"int", "float", "bool", "str"};

bool is_type_name_char(char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '-' || c == '_'; }

// The annotation of an optional field, admitting null beside the type. A
// pattern right behind a kind's name would be read as part of a type path
// ("null|str/a/"), so the constraint items then go in a group.
std::string widened_with_null(std::string_view annotation) {
    if (!annotation.starts_with('!') || annotation.substr(1).starts_with("null")) return std::string(annotation);
    const std::string_view rest = annotation.substr(1);
    const auto name_end = std::ranges::find_if_not(rest, is_type_name_char) - rest.begin();
    const std::string_view name = rest.substr(0, name_end);
    std::string widened = "!null|";
    if (rest.substr(name_end).starts_with('/') && std::ranges::find(kRestrictedKinds, name) != kRestrictedKinds.end()) {
        widened += name;
        widened += '(';
        widened += rest.substr(name_end);
        widened += ')';
    } else {
        widened += rest;
    }
    return widened;
}

// Whether a member's own constraints all accept the empty value, in the
// member's domain when its list names one, else in the line's.
bool member_accepts_empty(std::span<const Constraint> constraints, std::string_view domain, PatternCache& patterns) {
    const auto span = std::ranges::find_if(
        constraints, [](const Constraint& c) { return std::holds_alternative<Constraint::Span>(c.value); });
    const std::string_view used = span == constraints.end() ? domain : comparison_domain(constraints);
    return std::ranges::all_of(constraints,
                               [&](const Constraint& c) { return check_constraint(c, used, "", patterns).passed(); });
}

// Whether an annotation takes the empty string through a "str" member:
// an element of such a type may be empty, and an empty element imports as
// null, not as an empty string.
bool admits_empty_string(std::string_view annotation) {
    const auto items = split_annotation_line(annotation);
    if (!items) return false;
    PatternCache patterns;
    const std::string_view domain = comparison_domain(*items);
    bool annotated = false;
    for (const AnnotationItem& item : *items) {
        if (const auto* constraint = std::get_if<Constraint>(&item.value)) {
            if (check_constraint(*constraint, domain, "", patterns).failed()) return false;
        } else if (const auto* type = std::get_if<Annotation>(&item.value)) {
            bool taken = type->name == "str" && member_accepts_empty(type->constraints, domain, patterns);
            for (const Alternative& member : type->alternatives) {
                taken = taken || (member.name == "str" && member_accepts_empty(member.constraints, domain, patterns));
            }
            if (!taken) return false;
            annotated = true;
        }
    }
    return annotated;
}

// The same, each distinct annotation checked once per import: a named
// type's annotation comes back at every use, and checking it compiles its
// patterns.
bool admits_empty_string(XsdContext& context, std::string_view annotation) {
    auto& verdicts = context.empty_string_verdicts;
    if (const auto found = verdicts.find(annotation); found != verdicts.end()) return found->second;
    const bool admits = admits_empty_string(annotation);
    verdicts.emplace(std::string(annotation), admits);
    return admits;
}

// Why the members of a particle may be absent: a parent that may be absent
// (an optional element or model group), or a choice, which writes every
// member optional and says so in its own note.
struct Membership {
    bool parent_optional = false;
    bool choice = false;

    bool optional() const { return parent_optional || choice; }
    // Whether a member's own requirement is lost to a parent that may be
    // absent and no note says so yet.
    bool drops_requirements() const { return parent_optional && !choice; }
};

// One complex type on its way to lines, with the named types being expanded.
class ParticleConverter {
public:
    ParticleConverter(XsdContext& context, std::vector<std::string_view>& type_stack)
        : context_(context), type_stack_(type_stack) {}

    Result<void> convert(const Value& complex_type, std::string_view path, bool optional) {
        // Anonymous types nest too, up to the reader's depth inside each named
        // type: the element bound keeps the recursion off the end of the stack.
        if (type_stack_.size() > kMaxXsdTypeNesting || nesting_ > kMaxXsdElementNesting) {
            return fail("type nesting too deep");
        }
        const auto simple_content = context_.children(complex_type, "simpleContent");
        // The places taken under this path: a schema declares each field once.
        TextSet places;
        if (simple_content.size() == 1) return convert_simple_content(simple_content.front(), path, optional, places);
        if (context_.has_child(complex_type, "complexContent")) {
            context_.note({"complexContent at ", path_or_root(path)});
            return {};
        }
        if (auto written = convert_attributes(complex_type, path, optional, places); !written) {
            return forward_error(written);
        }
        for (const auto kind : kParticleKinds) {
            for (const Value& particle : context_.children(complex_type, kind)) {
                auto converted = convert_particle(particle, kind, path, optional, places);
                if (!converted) return forward_error(converted);
            }
        }
        if (context_.has_child(complex_type, "anyAttribute")) context_.note({"anyAttribute at ", path_or_root(path)});
        return {};
    }

private:
    // The annotation of an element's value: an empty element imports as
    // null, so a type that takes the empty string takes null too. A union
    // cannot carry blanks, so such an annotation is dropped with a note.
    std::optional<std::string> element_annotation(std::optional<std::string> annotation, std::string_view key_text) {
        if (!annotation || !admits_empty_string(context_, *annotation)) return annotation;
        if (has_blank_or_tab(*annotation)) {
            context_.note({"whitespace-bearing constraints on ", key_text,
                           " (an empty element imports as null; union items are whitespace-free)"});
            return std::nullopt;
        }
        return widened_with_null(*annotation);
    }

    // The one extension of a simple content, or none for a restriction and
    // for no or several extensions.
    const Value* single_extension(const Value& simple_content) const {
        const auto extensions = context_.children(simple_content, "extension");
        return extensions.size() == 1 ? &extensions.front() : nullptr;
    }

    Result<void> convert_simple_content(const Value& simple_content, std::string_view path, bool optional,
                                        TextSet& places) {
        const Value* extension = single_extension(simple_content);
        if (!extension) {
            context_.note({"simpleContent restriction at ", path_or_root(path)});
            return {};
        }
        // The attributes come before the text, as in the imported data.
        if (auto written = convert_attributes(*extension, path, optional, places); !written) {
            return forward_error(written);
        }
        const std::string_view base = find_attribute(*extension, "base").value_or("string");
        auto type = resolve_xsd_type_name(context_, base);
        if (!type) return forward_error(type);
        if (auto* scalar = std::get_if<XsdScalar>(&*type)) {
            // Empty text imports as no "#text" member at all.
            const std::string key = field_key(path, kTextKey);
            const bool may_be_empty = !scalar->annotation || admits_empty_string(context_, *scalar->annotation);
            if (optional && !may_be_empty) note_requirement("presence", xsd_location(path, "#text"));
            write_field(scalar->annotation, key, optional || may_be_empty);
        } else {
            context_.note({"simpleContent base ", base, " at ", path_or_root(path)});
        }
        return {};
    }

    Result<void> convert_attributes(const Value& owner, std::string_view path, bool optional, TextSet& places) {
        for (const Value& attribute : context_.children(owner, "attribute")) {
            if (auto charged = context_.charge_step(); !charged) return forward_error(charged);
            const auto name = find_attribute(attribute, "name");
            if (!name) {
                context_.note({"attribute ref at ", path_or_root(path)});
                continue;
            }
            const std::string_view use = find_attribute(attribute, "use").value_or("optional");
            if (use == "prohibited") continue;
            const auto key = property_key("@" + std::string(*name));
            if (!key) {
                context_.note({"unrepresentable attribute name: ", name_debug_form(*name)});
                continue;
            }
            std::optional<std::string> annotation;
            if (const auto type_name = find_attribute(attribute, "type")) {
                auto type = resolve_xsd_type_name(context_, *type_name);
                if (!type) return forward_error(type);
                if (std::holds_alternative<XsdComplex>(*type)) {
                    context_.note({"attribute ", *name, " with a complex type at ", path_or_root(path)});
                    continue;
                }
                annotation = annotation_of(std::move(*type));
            } else if (const auto simple = context_.children(attribute, "simpleType"); simple.size() == 1) {
                annotation = annotation_of(convert_xsd_simple_type(context_, simple.front()));
            }
            if (!places.emplace(field_key("", *key)).second) {
                context_.note({"duplicate attribute ", *name, " at ", path_or_root(path)});
                continue;
            }
            if (optional && use == "required")
                note_requirement("presence", xsd_location(path, "@" + std::string(*name)));
            write_field(annotation, field_key(path, *key), optional || use != "required");
        }
        return {};
    }

    Result<void> convert_particle(const Value& particle, std::string_view kind, std::string_view path, bool optional,
                                  TextSet& places) {
        const std::string_view at = path_or_root(path);
        if (kind == "choice") context_.note({"choice exclusivity at ", at, " (members emitted optional)"});
        const Membership members{particle_may_be_absent(particle, kind, at) || optional, kind == "choice"};
        for (const Value& element : context_.children(particle, "element")) {
            if (auto converted = convert_element(element, path, members, places); !converted) {
                return forward_error(converted);
            }
        }
        if (context_.has_child(particle, "any")) context_.note({"xs:any at ", at});
        for (const auto nested : kNestedParticleKinds) {
            if (context_.has_child(particle, nested)) context_.note({"nested ", nested, " particle at ", at});
        }
        return {};
    }

    // Whether a whole model group may be left out; a group that repeats is
    // noted, since its members are written once each. Called before any
    // other reason for optional members is weighed, so the note is never
    // skipped.
    bool particle_may_be_absent(const Value& particle, std::string_view kind, std::string_view at) {
        if (const auto max_occurs = find_attribute(particle, "maxOccurs"); max_occurs && repeats(*max_occurs)) {
            context_.note({"maxOccurs=", *max_occurs, " on ", kind, " at ", at});
        }
        const auto min_occurs = find_attribute(particle, "minOccurs");
        return min_occurs && may_be_absent(*min_occurs);
    }

    Result<void> convert_element(const Value& element, std::string_view path, Membership members, TextSet& places) {
        if (auto charged = context_.charge_step(); !charged) return forward_error(charged);
        const auto name = find_attribute(element, "name");
        if (!name) {
            context_.note({"element ref at ", path_or_root(path)});
            return {};
        }
        const auto key = property_key(*name);
        if (!key) {
            context_.note({"unrepresentable element name: ", name_debug_form(*name)});
            return {};
        }
        const std::string_view min_occurs = find_attribute(element, "minOccurs").value_or("1");
        const std::string_view max_occurs = find_attribute(element, "maxOccurs").value_or("1");
        const bool required_by_itself = !may_be_absent(min_occurs);
        const bool optional = members.optional() || !required_by_itself;
        const auto type_name = find_attribute(element, "type");
        if (type_name && std::ranges::find(type_stack_, *type_name) != type_stack_.end()) {
            context_.note({"recursive type ", *type_name, " at ", xsd_location(path, *name)});
            return {};
        }
        auto type = resolve_element_type(context_, element);
        if (!type) return forward_error(type);
        if (std::holds_alternative<XsdUnresolved>(*type)) {
            context_.note({"element ", *name, " at ", path_or_root(path), " has no resolvable type"});
            return {};
        }
        const auto* complex = std::get_if<XsdComplex>(&*type);
        const bool repeated = repeats(max_occurs);
        const std::string place = element_place(path, *key, repeated, complex != nullptr);
        if (!places.emplace(std::string_view(place).substr(path.size())).second) {
            context_.note({"duplicate element ", *name, " at ", path_or_root(path)});
            return {};
        }
        const std::string location = xsd_location(path, *name);
        if (members.drops_requirements() && required_by_itself) {
            note_requirement(repeated ? "minOccurs=" + std::string(min_occurs) : "presence", location);
        }
        if (repeated) {
            write_head(place, optional, min_occurs, max_occurs, location);
            if (complex) return write_table(*complex->type, location);
            write_vector(element_annotation(annotation_of(std::move(*type)), place), place);
            return {};
        }
        if (!complex) {
            write_field(element_annotation(annotation_of(std::move(*type)), place), place, optional);
            return {};
        }
        if (type_name) type_stack_.push_back(*type_name);
        ++nesting_;
        const FieldLineCounts before = context_.lines;
        auto converted = convert(*complex->type, place, optional);
        --nesting_;
        if (type_name) type_stack_.pop_back();
        if (!converted) return converted;
        for (const auto& note : record_notes(before, context_.lines, !optional, location)) context_.note({note});
        return {};
    }

    // A field of the element's own record (not a table's column), counted
    // toward the notes of the records around it.
    void write_field(const std::optional<std::string>& annotation, std::string_view key_text, bool optional) {
        write_xsd_scalar_field(context_, annotation, key_text, optional);
        context_.lines.count_field(!optional);
    }

    void note_requirement(std::string_view requirement, std::string_view location) {
        context_.note({requirement_under_optional_parent_note(requirement, location)});
    }

    // A repeated scalar element: its occurrence bounds in a table head of no
    // columns, which counts the vector's items, then the vector line.
    void write_vector(const std::optional<std::string>& annotation, std::string_view vector) {
        std::string& body = context_.body;
        body += "[]\n";
        if (annotation) {
            body += *annotation;
            body += '\n';
        }
        body += vector;
        body += ";=\n";
    }

    // The head of a repeated element's table with the bounds its occurrences
    // give. A minimum binds only a table that is present whenever its parent
    // is. A single occurrence imports as one record or value, which build
    // against the schema makes the table's entry 0. A minimum that is no
    // count the head can hold is noted.
    void write_head(std::string_view table, bool optional, std::string_view min_occurs, std::string_view max_occurs,
                    std::string_view location) {
        const auto least = read_occurs(min_occurs);
        const bool bounded_below = !optional && least && *least != 0;
        if (!optional && !least) context_.note({"minOccurs=", min_occurs, " on the repeated element at ", location});
        std::string& body = context_.body;
        body += '[';
        body += table;
        if (bounded_below) {
            body += " min=";
            append_decimal(*least, body);
            ++context_.lines.required;
        }
        if (const auto most = read_occurs(max_occurs)) {
            body += " max=";
            append_decimal(*most, body);
        }
        body += "]\n";
    }

    // A repeated complex element below its head: one column per scalar
    // member, and the closing line.
    Result<void> write_table(const Value& row_type, std::string_view location) {
        TextSet columns;
        if (auto written = write_columns(row_type, columns, location); !written) return forward_error(written);
        context_.body += "[]\n";
        return {};
    }

    Result<void> write_columns(const Value& row_type, TextSet& columns, std::string_view location) {
        if (const auto simple_content = context_.children(row_type, "simpleContent"); simple_content.size() == 1) {
            return write_simple_content_columns(simple_content.front(), columns, location);
        }
        if (auto written = write_attribute_columns(row_type, columns, location); !written) {
            return forward_error(written);
        }
        for (const auto kind : kParticleKinds) {
            for (const Value& particle : context_.children(row_type, kind)) {
                const bool members_optional = particle_may_be_absent(particle, kind, location) || kind == "choice";
                for (const Value& member : context_.children(particle, "element")) {
                    auto written = write_element_column(member, members_optional, columns, location);
                    if (!written) return forward_error(written);
                }
            }
        }
        return {};
    }

    Result<void> write_simple_content_columns(const Value& simple_content, TextSet& columns,
                                              std::string_view location) {
        const Value* extension = single_extension(simple_content);
        if (!extension) {
            context_.note({"simpleContent restriction at ", location});
            return {};
        }
        const std::string_view base = find_attribute(*extension, "base").value_or("string");
        auto type = resolve_xsd_type_name(context_, base);
        if (!type) return forward_error(type);
        std::optional<std::string> annotation = annotation_of(std::move(*type));
        if (auto written = write_attribute_columns(*extension, columns, location); !written) {
            return forward_error(written);
        }
        write_xsd_scalar_field(context_, annotation, kTextKey, true);
        return {};
    }

    Result<void> write_attribute_columns(const Value& owner, TextSet& columns, std::string_view location) {
        for (const Value& attribute : context_.children(owner, "attribute")) {
            if (auto charged = context_.charge_step(); !charged) return forward_error(charged);
            const auto name = find_attribute(attribute, "name");
            const std::string_view use = find_attribute(attribute, "use").value_or("optional");
            if (!name || use == "prohibited") continue;
            const auto key = property_key("@" + std::string(*name));
            if (!key) continue;
            std::optional<std::string> annotation;
            if (const auto type_name = find_attribute(attribute, "type")) {
                auto type = resolve_xsd_type_name(context_, *type_name);
                if (!type) return forward_error(type);
                annotation = annotation_of(std::move(*type));
            }
            if (!columns.emplace(*key).second) {
                context_.note({"duplicate attribute ", *name, " at ", location});
                continue;
            }
            write_xsd_scalar_field(context_, annotation, *key, use != "required");
        }
        return {};
    }

    Result<void> write_element_column(const Value& member, bool members_optional, TextSet& columns,
                                      std::string_view location) {
        if (auto charged = context_.charge_step(); !charged) return forward_error(charged);
        const auto name = find_attribute(member, "name");
        const auto key = name ? property_key(*name) : std::nullopt;
        if (!key) return {};
        auto type = resolve_element_type(context_, member);
        if (!type) return forward_error(type);
        const bool repeated = repeats(find_attribute(member, "maxOccurs").value_or("1"));
        if (!std::holds_alternative<XsdScalar>(*type) || repeated) {
            context_.note({"non-scalar element field ", *name, " at ", location});
            return {};
        }
        if (!columns.emplace(*key).second) {
            context_.note({"duplicate element ", *name, " at ", location});
            return {};
        }
        const bool optional = members_optional || may_be_absent(find_attribute(member, "minOccurs").value_or("1"));
        write_xsd_scalar_field(context_, element_annotation(annotation_of(std::move(*type)), *key), *key, optional);
        return {};
    }

    XsdContext& context_;
    std::vector<std::string_view>& type_stack_;
    std::size_t nesting_ = 0;  // complex elements around the type being converted
};

}  // namespace

Result<void> convert_xsd_particle(XsdContext& context, const Value& complex_type, std::string_view path, bool optional,
                                  std::vector<std::string_view>& type_stack) {
    return ParticleConverter(context, type_stack).convert(complex_type, path, optional);
}

void write_xsd_scalar_field(XsdContext& context, const std::optional<std::string>& annotation,
                            std::string_view key_text, bool optional) {
    std::string& body = context.body;
    if (optional && annotation && has_blank_or_tab(*annotation)) {
        context.note({"whitespace-bearing constraints on optional ", key_text, " (union items are whitespace-free)"});
    } else if (annotation) {
        body += optional ? widened_with_null(*annotation) : *annotation;
        body += '\n';
    }
    body += key_text;
    if (optional) body += '?';
    body += "=\n";
}

}  // namespace bezo
