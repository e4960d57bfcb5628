#include "avro/avro_infer.hpp"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "avro/avro_encode.hpp"
#include "avro/avro_tokens.hpp"
#include "core/text.hpp"

namespace bezo {
namespace {

// Objects up to this size are checked for repeated keys pair by pair.
constexpr std::size_t kPairwiseObjectSize = 16;

// A long holds 19 digits; a decimal that also holds longs keeps that many
// before its point.
constexpr std::uint64_t kLongDigits = 19;

// Every integer of at most this magnitude (2^53) is a binary64 value.
constexpr std::int64_t kDoubleIntegerRange = std::int64_t{1} << 53;

using NameIndex = std::unordered_map<std::string_view, std::size_t, KeyedTextHash, std::equal_to<>>;

AvroSchema union_of(AvroSchema first) {
    AvroUnion united;
    united.branches.push_back(std::move(first));
    return AvroSchema{std::move(united)};
}

AvroSchema infer_number(std::string_view text) {
    const std::string_view digits = text.substr(text.starts_with('-') ? 1 : 0);
    if (is_ascii_digits(digits)) {
        if (const auto number = parse_decimal_i64(text, PlusSign::Refused)) {
            const bool exact =
                (*number >= -kDoubleIntegerRange && *number <= kDoubleIntegerRange) || is_double_exact(text);
            return AvroSchema{AvroLong{exact}};
        }
        return AvroSchema{AvroDecimal{std::nullopt, 0, digits.size(), false, false}};
    }
    const auto token = parse_decimal_token(text);
    if (!token) return AvroSchema{AvroDouble{}};
    const std::uint64_t precision = std::max<std::uint64_t>(token->digits.size(), token->scale);
    const bool exact = is_double_exact(text, *token);
    return AvroSchema{AvroDecimal{std::nullopt, token->scale, precision, exact, exact}};
}

AvroSchema infer_typed(const TypedValue& typed) {
    if (typed.library == "std/time") {
        if (typed.type_name == "date") return AvroSchema{AvroTime{TimeKind::Date}};
        if (typed.type_name == "time") return AvroSchema{AvroTime{TimeKind::TimeMicros}};
        if (typed.type_name == "datetime") return AvroSchema{AvroTime{TimeKind::TimestampMicros}};
        if (typed.type_name == "localdatetime") return AvroSchema{AvroTime{TimeKind::LocalTimestampMicros}};
    }
    if (typed.library == "std/enc" && typed.type_name == "bin") return AvroSchema{AvroBytes{}};
    if (typed.library == "std/num") return AvroSchema{AvroDouble{}};
    return AvroSchema{AvroString{}};
}

// The schemas of an array's elements are folded in batches of this many,
// each batch after the first led by the fold of those before it: a left
// fold gives the same schema either way, and no more than a batch of
// element schemas is held at once.
constexpr std::size_t kFoldBatch = 4096;

Result<AvroSchema> infer_array(const ValueArray& elements, unsigned depth) {
    if (elements.empty()) return avro_array_of(AvroSchema{AvroNull{}});
    std::vector<AvroSchema> schemas;
    schemas.reserve(std::min(elements.size(), kFoldBatch + 1));
    for (const Value& element : elements) {
        if (schemas.size() > kFoldBatch) {
            auto folded = fold_avro_schemas(std::move(schemas));
            if (!folded) return forward_error(folded);
            schemas.clear();
            schemas.reserve(kFoldBatch + 1);
            schemas.push_back(std::move(*folded));
        }
        auto schema = infer_avro_schema(element, depth + 1);
        if (!schema) return forward_error(schema);
        schemas.push_back(std::move(*schema));
    }
    auto folded = fold_avro_schemas(std::move(schemas));
    if (!folded) return forward_error(folded);
    return avro_array_of(std::move(*folded));
}

// Whether a key already stands among the fields inferred before it.
class SeenFieldNames {
public:
    explicit SeenFieldNames(std::size_t members) : hashed_(members > kPairwiseObjectSize) {
        if (hashed_) names_.reserve(members);
    }

    bool repeats(std::string_view key, const std::vector<AvroField>& earlier) {
        if (hashed_) return !names_.insert(key).second;
        return std::ranges::any_of(earlier, [key](const AvroField& field) { return field.name == key; });
    }

private:
    bool hashed_;
    std::unordered_set<std::string_view, KeyedTextHash, std::equal_to<>> names_;
};

Result<AvroSchema> infer_record(const ValueObject& members, unsigned depth) {
    AvroRecord record;
    record.fields.reserve(members.size());
    SeenFieldNames seen(members.size());
    for (const ValueMember& member : members) {
        if (!is_plain_identifier(member.key)) return fail("not a valid Avro field name: " + quoted_excerpt(member.key));
        if (seen.repeats(member.key, record.fields))
            return fail("duplicate Avro field name: " + quoted_excerpt(member.key));
        auto schema = infer_avro_schema(member.value, depth + 1);
        if (!schema) return forward_error(schema);
        record.fields.push_back(AvroField{member.key, std::move(*schema)});
    }
    return AvroSchema{std::move(record)};
}

bool is_numeric(const AvroSchema& schema) {
    return schema.is<AvroLong>() || schema.is<AvroDouble>() || schema.is<AvroDecimal>();
}

// Whether every number behind a long or decimal is exactly a binary64 value.
bool values_double_exact(const AvroSchema& schema) {
    if (const auto* number = schema.get_if<AvroLong>()) return number->double_exact;
    const auto* decimal = schema.get_if<AvroDecimal>();
    return decimal && decimal->values_double_exact;
}

// The numbers met in one place, joined in any order to the same schema:
// the finite ones into one long or decimal, the others (non-finite values,
// texts no decimal holds) into a double beside it.
class NumericJoin {
public:
    void add(const AvroSchema& schema) {
        if (schema.is<AvroDouble>()) {
            has_double_ = true;
        } else if (!finite_) {
            finite_ = clone_avro_schema(schema);
        } else {
            join_finite(schema);
        }
    }

    // The finite part first, then the double: one or two branches.
    std::vector<AvroSchema> branches() && {
        std::vector<AvroSchema> result;
        if (finite_) result.push_back(std::move(*finite_));
        if (has_double_) result.push_back(AvroSchema{AvroDouble{}});
        return result;
    }

    // The one schema, or the union of the two branches.
    AvroSchema schema() && {
        std::vector<AvroSchema> joined = std::move(*this).branches();
        if (joined.size() == 1) return std::move(joined.front());
        return AvroSchema{AvroUnion{std::move(joined)}};
    }

private:
    // Two longs stay a long; otherwise a decimal wide enough for both
    // sides' digits before and after the point, to be written as a double
    // only when both sides are such decimals (a long keeps it a decimal).
    void join_finite(const AvroSchema& schema) {
        const auto* left = finite_->get_if<AvroDecimal>();
        const auto* right = schema.get_if<AvroDecimal>();
        const bool values_exact = values_double_exact(*finite_) && values_double_exact(schema);
        if (!left && !right) {
            finite_ = AvroSchema{AvroLong{values_exact}};
            return;
        }
        AvroDecimal merged;
        if (left && right) {
            merged.scale = std::max(left->scale, right->scale);
            merged.precision = std::max(left->precision - left->scale, right->precision - right->scale) + merged.scale;
            merged.double_exact = left->double_exact && right->double_exact;
        } else {
            const AvroDecimal& decimal = left ? *left : *right;
            merged.scale = decimal.scale;
            merged.precision = std::max(kLongDigits, decimal.precision - decimal.scale) + decimal.scale;
        }
        merged.values_double_exact = values_exact;
        finite_ = AvroSchema{merged};
    }

    bool has_double_ = false;
    std::optional<AvroSchema> finite_;
};

// Two different numeric schemas joined: a long or decimal, a double, or a
// union of both where the numbers need both.
void unify_numbers(AvroSchema& a, const AvroSchema& b) {
    NumericJoin join;
    join.add(a);
    join.add(b);
    a = std::move(join).schema();
}

// A date rides an Avro int, the other time types a long: a date beside
// another time type can share a union with it.
bool is_int_time(const AvroSchema& schema) {
    const auto* time = schema.get_if<AvroTime>();
    return time && time_kind_base(time->kind) == "int";
}

// The positions of the fields of `b` among the first fields of `a`, found
// at the same position when the records agree in order, else by an index
// built on first need.
class FieldMatcher {
public:
    explicit FieldMatcher(const std::vector<AvroField>& fields) : fields_(fields), count_(fields.size()) {}

    std::optional<std::size_t> find(std::size_t position, std::string_view name) {
        if (position < count_ && fields_[position].name == name) return position;
        if (index_.empty()) {
            index_.reserve(count_);
            for (std::size_t i = 0; i < count_; ++i) index_.emplace(fields_[i].name, i);
        }
        const auto found = index_.find(name);
        if (found == index_.end()) return std::nullopt;
        return found->second;
    }

private:
    const std::vector<AvroField>& fields_;
    std::size_t count_;
    NameIndex index_;
};

// Fields of both records unify; a field of one only becomes nullable.
Result<void> merge_records(AvroRecord& a, AvroRecord b) {
    const std::size_t original = a.fields.size();
    // Whether every field of `b` so far has met the field of `a` at its own
    // position; once not, `met` tells which fields of `a` met one.
    bool in_order = true;
    std::vector<bool> met;
    std::vector<AvroField> added;
    FieldMatcher matcher(a.fields);
    for (std::size_t j = 0; j < b.fields.size(); ++j) {
        AvroField& field = b.fields[j];
        const auto position = matcher.find(j, field.name);
        if (in_order && position != j) {
            in_order = false;
            // The fields before `j` met theirs in order (so j <= original).
            met.assign(original, false);
            for (std::size_t i = 0; i < j; ++i) met[i] = true;
        }
        if (!position) {
            if (auto unified = unify_avro_schemas(field.schema, AvroSchema{AvroNull{}}); !unified) return unified;
            added.push_back(std::move(field));
            continue;
        }
        if (!in_order) met[*position] = true;
        if (auto unified = unify_avro_schemas(a.fields[*position].schema, std::move(field.schema)); !unified) {
            return unified;
        }
    }
    for (std::size_t i = in_order ? b.fields.size() : 0; i < original; ++i) {
        if (!in_order && met[i]) continue;
        if (auto unified = unify_avro_schemas(a.fields[i].schema, AvroSchema{AvroNull{}}); !unified) return unified;
    }
    for (AvroField& field : added) a.fields.push_back(std::move(field));
    a.name.clear();
    return {};
}

// The branch a schema joins in a union: one per variant, with the three
// numeric variants as one and the int-based time type apart from the
// long-based ones.
std::size_t branch_group(const AvroSchema& schema) {
    const std::size_t variant = is_numeric(schema) ? AvroSchema{AvroLong{}}.node.index() : schema.node.index();
    return 2 * variant + (is_int_time(schema) ? 1 : 0);
}

// One field of records folded together: its schemas in record order, with
// the null of its first absence where that absence falls. Later absences
// add nothing: a schema unified with null once is unchanged by another.
struct FoldedField {
    std::string_view name;
    std::vector<AvroSchema> schemas;
    std::size_t present = 0;
    bool nullable = false;
};

// Records merged as a left fold of merge_records would merge them, each
// field folded once from its own sequence instead of every merge visiting
// every field gathered so far.
Result<AvroSchema> fold_records(std::vector<AvroRecord>& records) {
    std::vector<FoldedField> fields;
    // Names are views into the records, which keep their names until the end.
    NameIndex slots;
    for (std::size_t r = 0; r < records.size(); ++r) {
        for (AvroField& field : records[r].fields) {
            auto [slot, added] = slots.try_emplace(field.name, fields.size());
            if (added) fields.push_back(FoldedField{field.name, {}, 0, false});
            FoldedField& folded = fields[slot->second];
            folded.schemas.push_back(std::move(field.schema));
            // A field the first record lacks joins with its null at once;
            // one absent from an earlier record gets its null before this.
            if (added && r > 0) {
                folded.schemas.push_back(AvroSchema{AvroNull{}});
                folded.nullable = true;
            } else if (!folded.nullable && folded.present != r) {
                folded.schemas.insert(folded.schemas.end() - 1, AvroSchema{AvroNull{}});
                folded.nullable = true;
            }
            ++folded.present;
        }
    }
    AvroRecord merged;
    merged.fields.reserve(fields.size());
    for (FoldedField& field : fields) {
        if (!field.nullable && field.present != records.size()) field.schemas.push_back(AvroSchema{AvroNull{}});
        auto schema = fold_avro_schemas(std::move(field.schemas));
        if (!schema) return forward_error(schema);
        merged.fields.push_back(AvroField{std::string(field.name), std::move(*schema)});
    }
    return AvroSchema{std::move(merged)};
}

// The schemas of one union group folded into one; the numeric group may
// give a union of a long or decimal and a double.
Result<AvroSchema> fold_group(std::vector<AvroSchema>& members) {
    if (members.size() == 1) return std::move(members.front());
    if (is_numeric(members.front())) {
        NumericJoin join;
        for (const AvroSchema& member : members) join.add(member);
        return std::move(join).schema();
    }
    if (members.front().is<AvroRecord>()) {
        std::vector<AvroRecord> records;
        records.reserve(members.size());
        for (AvroSchema& member : members) records.push_back(std::move(*member.get_if<AvroRecord>()));
        return fold_records(records);
    }
    if (members.front().is<AvroArray>()) {
        std::vector<AvroSchema> items;
        items.reserve(members.size());
        for (AvroSchema& member : members) items.push_back(std::move(*member.get_if<AvroArray>()->items));
        auto folded = fold_avro_schemas(std::move(items));
        if (!folded) return forward_error(folded);
        return avro_array_of(std::move(*folded));
    }
    AvroSchema folded = std::move(members.front());
    for (std::size_t i = 1; i < members.size(); ++i) {
        if (auto unified = unify_avro_schemas(folded, std::move(members[i])); !unified) return forward_error(unified);
    }
    return folded;
}

// Joins a number into a union's numeric branches (none, one, or a long or
// decimal followed by a double), which stay where the first of them stood.
void add_numeric_branch(std::vector<AvroSchema>& branches, const AvroSchema& schema) {
    const auto first = std::ranges::find_if(branches, is_numeric);
    const auto at = first - branches.begin();
    NumericJoin join;
    for (const AvroSchema& branch : branches) {
        if (is_numeric(branch)) join.add(branch);
    }
    join.add(schema);
    std::erase_if(branches, is_numeric);
    std::vector<AvroSchema> joined = std::move(join).branches();
    branches.insert(branches.begin() + std::min<std::ptrdiff_t>(at, std::ssize(branches)),
                    std::make_move_iterator(joined.begin()), std::make_move_iterator(joined.end()));
}

// A long or decimal beside a double whose numbers the double holds exactly
// is dropped, and a union left with one branch becomes that branch.
void normalise_union(AvroSchema& schema, std::vector<AvroSchema>& branches) {
    const bool has_double = std::ranges::any_of(branches, &AvroSchema::is<AvroDouble>);
    const auto held = has_double ? std::ranges::find_if(branches, values_double_exact) : branches.end();
    const bool dropped = held != branches.end();
    if (dropped) branches.erase(held);
    for (AvroSchema& branch : branches) normalise_avro_schema(branch);
    if (dropped && branches.size() == 1) schema = AvroSchema{std::move(branches.front())};
}

}  // namespace

Result<AvroSchema> fold_avro_schemas(std::vector<AvroSchema> schemas) {
    // Unifying left to right puts each schema (each branch of a union) into
    // the union branch of its group, the groups in order of first
    // appearance; so the schemas are gathered by group and each group is
    // folded on its own.
    struct Group {
        std::size_t key;
        std::vector<AvroSchema> members;
    };
    std::vector<Group> groups;
    const auto gather = [&groups](AvroSchema schema) {
        const std::size_t key = branch_group(schema);
        auto group = std::ranges::find(groups, key, &Group::key);
        if (group == groups.end()) group = groups.insert(groups.end(), Group{key, {}});
        group->members.push_back(std::move(schema));
    };
    for (AvroSchema& schema : schemas) {
        if (auto* united = schema.get_if<AvroUnion>()) {
            for (AvroSchema& branch : united->branches) gather(std::move(branch));
        } else {
            gather(std::move(schema));
        }
    }
    if (groups.empty()) return fail("internal: no schema to fold");
    AvroUnion united;
    for (Group& group : groups) {
        auto folded = fold_group(group.members);
        if (!folded) return forward_error(folded);
        if (auto* numbers = folded->get_if<AvroUnion>()) {
            for (AvroSchema& branch : numbers->branches) united.branches.push_back(std::move(branch));
        } else {
            united.branches.push_back(std::move(*folded));
        }
    }
    if (united.branches.size() == 1) return std::move(united.branches.front());
    return AvroSchema{std::move(united)};
}

Result<AvroSchema> infer_avro_schema(const Value& value, unsigned depth) {
    if (depth > kMaxAvroDepth) return fail("nesting too deep for Avro export");
    if (value.is<NullValue>()) return AvroSchema{AvroNull{}};
    if (value.is<BoolValue>()) return AvroSchema{AvroBoolean{}};
    if (value.is<StringValue>()) return AvroSchema{AvroString{}};
    if (const auto* number = value.get_if<NumberValue>()) return infer_number(number->text);
    if (const auto* typed = value.get_if<TypedValue>()) return infer_typed(*typed);
    if (const auto* elements = value.get_if<ValueArray>()) return infer_array(*elements, depth);
    return infer_record(*value.get_if<ValueObject>(), depth);
}

Result<void> unify_avro_schemas(AvroSchema& a, AvroSchema b) {
    if (avro_schema_eq(a, b)) return {};
    if (auto* united = a.get_if<AvroUnion>()) return union_add_branch(united->branches, std::move(b));
    if (b.is<AvroUnion>() || a.is<AvroNull>()) {
        a = union_of(std::move(a));
        return union_add_branch(a.get_if<AvroUnion>()->branches, std::move(b));
    }
    if (b.is<AvroNull>()) {
        a = union_of(std::move(a));
        a.get_if<AvroUnion>()->branches.push_back(std::move(b));
        return {};
    }
    if (is_numeric(a) && is_numeric(b)) {
        unify_numbers(a, b);
        return {};
    }
    if (a.is<AvroTime>() && b.is<AvroTime>() && is_int_time(a) == is_int_time(b)) {
        return fail("cannot unify different time logical types");
    }
    if (auto* array = a.get_if<AvroArray>(); array && b.is<AvroArray>()) {
        return unify_avro_schemas(*array->items, std::move(*b.get_if<AvroArray>()->items));
    }
    if (auto* record = a.get_if<AvroRecord>(); record && b.is<AvroRecord>()) {
        return merge_records(*record, std::move(*b.get_if<AvroRecord>()));
    }
    a = union_of(std::move(a));
    a.get_if<AvroUnion>()->branches.push_back(std::move(b));
    return {};
}

Result<void> union_add_branch(std::vector<AvroSchema>& branches, AvroSchema schema) {
    if (auto* incoming = schema.get_if<AvroUnion>()) {
        for (AvroSchema& branch : incoming->branches) {
            if (auto added = union_add_branch(branches, std::move(branch)); !added) return added;
        }
        return {};
    }
    if (is_numeric(schema)) {
        add_numeric_branch(branches, schema);
        return {};
    }
    const std::size_t group = branch_group(schema);
    auto same =
        std::ranges::find_if(branches, [group](const AvroSchema& branch) { return branch_group(branch) == group; });
    if (same == branches.end()) {
        branches.push_back(std::move(schema));
        return {};
    }
    return unify_avro_schemas(*same, std::move(schema));
}

void normalise_avro_schema(AvroSchema& schema) {
    if (auto* united = schema.get_if<AvroUnion>()) {
        normalise_union(schema, united->branches);
        return;
    }
    if (const auto* decimal = schema.get_if<AvroDecimal>(); decimal && decimal->double_exact) {
        schema = AvroSchema{AvroDouble{}};
    } else if (auto* array = schema.get_if<AvroArray>()) {
        normalise_avro_schema(*array->items);
    } else if (auto* map = schema.get_if<AvroMap>()) {
        normalise_avro_schema(*map->values);
    } else if (auto* record = schema.get_if<AvroRecord>()) {
        for (AvroField& field : record->fields) normalise_avro_schema(field.schema);
    }
}

Result<void> check_avro_unions(const AvroSchema& schema) {
    if (const auto* array = schema.get_if<AvroArray>()) return check_avro_unions(*array->items);
    if (const auto* map = schema.get_if<AvroMap>()) return check_avro_unions(*map->values);
    if (const auto* record = schema.get_if<AvroRecord>()) {
        for (const AvroField& field : record->fields) {
            if (auto checked = check_avro_unions(field.schema); !checked) return checked;
        }
    }
    const auto* united = schema.get_if<AvroUnion>();
    if (!united) return {};
    const auto& branches = united->branches;
    for (std::size_t i = 0; i < branches.size(); ++i) {
        const std::string_view type = avro_branch_type(branches[i]);
        for (std::size_t j = 0; j < i && !type.empty(); ++j) {
            if (avro_branch_type(branches[j]) == type) {
                return fail("an Avro union cannot hold two " + std::string(type) + " branches");
            }
        }
        if (auto checked = check_avro_unions(branches[i]); !checked) return checked;
    }
    return {};
}

AvroRecordNames::AvroRecordNames() {
    for (const std::string_view primitive : kAvroPrimitiveNames) used_.emplace(primitive);
}

std::string AvroRecordNames::take(std::string_view base) {
    std::string candidate(base);
    if (used_.contains(candidate)) {
        // Suffixes below the one remembered for this base are all taken, and
        // names once taken stay taken.
        auto [next, _] = next_suffix_.try_emplace(candidate, 2);
        do {
            candidate.assign(base).append("_");
            append_decimal(next->second++, candidate);
        } while (used_.contains(candidate));
    }
    used_.insert(candidate);
    return candidate;
}

void name_avro_records(AvroSchema& schema, std::string_view base, AvroRecordNames& names) {
    AvroSchema* node = &schema;
    while (true) {
        if (auto* array = node->get_if<AvroArray>()) {
            node = array->items.get();
        } else if (auto* map = node->get_if<AvroMap>()) {
            node = map->values.get();
        } else {
            break;
        }
    }
    if (auto* united = node->get_if<AvroUnion>()) {
        for (AvroSchema& branch : united->branches) name_avro_records(branch, base, names);
    } else if (auto* record = node->get_if<AvroRecord>()) {
        record->name = names.take(base);
        for (AvroField& field : record->fields) name_avro_records(field.schema, field.name, names);
    }
}

}  // namespace bezo
