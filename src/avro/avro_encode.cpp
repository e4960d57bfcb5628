#include "avro/avro_encode.hpp"

#include <bit>
#include <charconv>
#include <limits>
#include <unordered_map>

#include "avro/avro_tokens.hpp"
#include "core/budget.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "interchange/base64url.hpp"
#include "interchange/integer_token.hpp"
#include "interchange/json_text.hpp"

namespace bezo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Objects up to this size are searched member by member; larger ones get an
// index when their members are out of schema order.
constexpr std::size_t kScannedObjectSize = 16;

std::unexpected<Error> mismatch() { return fail("internal: value does not match its inferred schema"); }

std::string_view as_text(const Bytes& bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }

bool is_typed(const Value& value, std::string_view library) {
    const auto* typed = value.get_if<TypedValue>();
    return typed && typed->library == library;
}

bool is_binary(const Value& value) {
    const auto* typed = value.get_if<TypedValue>();
    return typed && typed->library == "std/enc" && typed->type_name == "bin";
}

// A std/time value of one of the four types a time logical type can carry.
bool is_time_logical(const TypedValue& typed) {
    return typed.library == "std/time" && (typed.type_name == "date" || typed.type_name == "time" ||
                                           typed.type_name == "datetime" || typed.type_name == "localdatetime");
}

// Typed values that no other branch carries are written as their text.
bool is_text(const Value& value) {
    if (value.is<StringValue>()) return true;
    const auto* typed = value.get_if<TypedValue>();
    return typed && typed->library != "std/num" && !is_binary(value) && !is_time_logical(*typed);
}

// Whether a std/time type is the one a time logical type carries: only
// such a value fits a time branch of a union, so every other std/time value
// goes to the string branch wherever the two stand.
bool time_type_fits(TimeKind kind, std::string_view type_name) { return time_kind_std_time_type(kind) == type_name; }

bool branch_fits(const AvroSchema& branch, const Value& value) {
    if (branch.is<AvroNull>()) return value.is<NullValue>();
    if (branch.is<AvroBoolean>()) return value.is<BoolValue>();
    // A union holds a long or a decimal for the finite numbers and a double
    // for the others, so a number goes to the double only when the other
    // cannot hold it.
    if (branch.is<AvroLong>()) {
        const auto* number = value.get_if<NumberValue>();
        return number && parse_decimal_i64(number->text, PlusSign::Accepted);
    }
    if (branch.is<AvroDecimal>()) {
        const auto* number = value.get_if<NumberValue>();
        return number && parse_decimal_token(number->text);
    }
    if (branch.is<AvroDouble>()) return value.is<NumberValue>() || is_typed(value, "std/num");
    if (branch.is<AvroBytes>()) return is_binary(value);
    if (const auto* time = branch.get_if<AvroTime>()) {
        const auto* typed = value.get_if<TypedValue>();
        return typed && typed->library == "std/time" && time_type_fits(time->kind, typed->type_name);
    }
    if (branch.is<AvroString>()) return is_text(value);
    if (branch.is<AvroArray>()) return value.is<ValueArray>();
    if (branch.is<AvroRecord>()) return value.is<ValueObject>();
    return false;
}

void write_double(double number, Bytes& out) {
    const auto bits = std::bit_cast<std::uint64_t>(number);
    for (int shift = 0; shift < 64; shift += 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
}

// A number text under "double": it must be the exact value of a binary64
// number, so that nothing is rounded on the way.
Result<void> write_number_double(std::string_view text, Bytes& out) {
    double number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (stop != end || error == std::errc::invalid_argument) return fail("bad number: " + quoted_excerpt(text));
    if (!is_double_exact(text)) return fail("cannot represent " + quoted_excerpt(text) + " exactly as an Avro double");
    write_double(number, out);
    return {};
}

double non_finite(std::string_view literal) {
    if (literal == "-inf") return -std::numeric_limits<double>::infinity();
    if (literal == "inf") return std::numeric_limits<double>::infinity();
    return std::bit_cast<double>(std::uint64_t{0x7FF8000000000000});
}

Result<void> write_long(std::string_view text, Bytes& out) {
    const auto number = parse_decimal_i64(text, PlusSign::Accepted);
    if (!number) return fail("bad long: " + quoted_excerpt(text));
    write_avro_long(*number, out);
    return {};
}

// The unscaled integer of a number at `scale`, as two's-complement bytes.
Result<void> write_decimal(std::string_view text, std::uint64_t scale, Bytes& out) {
    const auto token = parse_decimal_token(text);
    if (!token) return fail("not a finite number: " + quoted_excerpt(text));
    if (token->scale > scale) {
        return fail("cannot represent " + quoted_excerpt(text) + " exactly at decimal scale " + decimal_text(scale));
    }
    std::string unscaled;
    unscaled.reserve(token->digits.size() + scale - token->scale + 1);
    if (token->negative) unscaled += '-';
    unscaled.append(token->digits).append(scale - token->scale, '0');
    auto bytes = parse_integer_token(unscaled);
    if (!bytes) return forward_error(bytes);
    write_avro_bytes(as_text(*bytes), out);
    return {};
}

bool is_millis(TimeKind kind) {
    return kind == TimeKind::TimeMillis || kind == TimeKind::TimestampMillis || kind == TimeKind::LocalTimestampMillis;
}

// The days or microseconds of a std/time literal of a type that
// time_type_fits.
Result<std::int64_t> time_number(std::string_view type_name, std::string_view literal) {
    if (type_name == "date") return parse_date_token(literal);
    if (type_name == "time") return parse_time_token(literal);
    if (type_name == "datetime") return parse_avro_datetime_token(literal, DatetimeZone::Offset);
    return parse_avro_datetime_token(literal, DatetimeZone::Local);
}

Result<void> write_time(TimeKind kind, const Value& value, Bytes& out) {
    const auto* typed = value.get_if<TypedValue>();
    if (!typed || typed->library != "std/time") return mismatch();
    auto number = avro_time_value(kind, typed->type_name, typed->literal);
    if (!number) return forward_error(number);
    write_avro_long(*number, out);
    return {};
}

// Finds an object's members by field name, in schema order. Members mostly
// stand in that order, so the one after the last found is tried first; else
// a small object is scanned and a large one indexed once.
class MemberFinder {
public:
    explicit MemberFinder(const ValueObject& members) : members_(members), next_(members.begin()) {}

    const Value* find(std::string_view name) {
        if (next_ != members_.end() && next_->key == name) return &(next_++)->value;
        if (members_.size() > kScannedObjectSize) return indexed(name);
        for (auto member = members_.begin(); member != members_.end(); ++member) {
            if (member->key == name) {
                next_ = std::next(member);
                return &member->value;
            }
        }
        return nullptr;
    }

private:
    const Value* indexed(std::string_view name) {
        if (index_.empty()) {
            index_.reserve(members_.size());
            for (const ValueMember& member : members_) index_.emplace(member.key, &member.value);
        }
        const auto found = index_.find(name);
        return found == index_.end() ? nullptr : found->second;
    }

    const ValueObject& members_;
    ValueObject::const_iterator next_;
    std::unordered_map<std::string_view, const Value*, KeyedTextHash, std::equal_to<>> index_;
};

// Appends a value under a schema that holds neither an array, a record nor
// a union.
Result<void> write_plain(const Value& value, const AvroSchema& schema, Bytes& out) {
    if (schema.is<AvroNull>()) {
        if (!value.is<NullValue>()) return mismatch();
    } else if (schema.is<AvroBoolean>()) {
        const auto* flag = value.get_if<BoolValue>();
        if (!flag) return mismatch();
        out.push_back(flag->value ? 1 : 0);
    } else if (schema.is<AvroLong>()) {
        const auto* number = value.get_if<NumberValue>();
        if (!number) return mismatch();
        return write_long(number->text, out);
    } else if (schema.is<AvroDouble>()) {
        if (const auto* number = value.get_if<NumberValue>()) return write_number_double(number->text, out);
        if (!is_typed(value, "std/num")) return mismatch();
        write_double(non_finite(value.get_if<TypedValue>()->literal), out);
    } else if (schema.is<AvroBytes>()) {
        if (!is_binary(value)) return mismatch();
        const auto bytes = base64url_decode(value.get_if<TypedValue>()->literal);
        if (!bytes) return fail("invalid base64url payload");
        write_avro_bytes(*bytes, out);
    } else if (schema.is<AvroString>()) {
        if (const auto* text = value.get_if<StringValue>()) {
            write_avro_bytes(text->text, out);
        } else if (const auto* typed = value.get_if<TypedValue>()) {
            write_avro_bytes(typed->literal, out);
        } else {
            return mismatch();
        }
    } else if (const auto* decimal = schema.get_if<AvroDecimal>()) {
        const auto* number = value.get_if<NumberValue>();
        if (!number) return mismatch();
        return write_decimal(number->text, decimal->scale, out);
    } else if (const auto* time = schema.get_if<AvroTime>()) {
        return write_time(time->kind, value, out);
    } else {
        return mismatch();
    }
    return {};
}

const AvroSchema* fitting_branch(const AvroUnion& united, const Value& value, std::size_t& index) {
    for (index = 0; index < united.branches.size(); ++index) {
        if (branch_fits(united.branches[index], value)) return &united.branches[index];
    }
    return nullptr;
}

// A field a record writes, and for a union field the index of its null
// branch, which is all an absent member writes.
struct WrittenField {
    std::size_t position = 0;
    std::optional<std::size_t> null_branch;
};

// What the writer needs of a record schema, worked out once per datum: the
// fields it writes (a null field writes nothing, so an object is not
// visited for each of them), how many are unions, each of which writes at
// least its branch index, and the position of each field by name.
struct RecordLayout {
    std::vector<WrittenField> written;
    std::size_t unions = 0;
    std::unordered_map<std::string_view, std::size_t, KeyedTextHash, std::equal_to<>> positions;
    // Whether every written field has a null branch, so that any of them
    // may be absent; then, built on first need for objects that hold few
    // of the fields, the bytes all written fields take when absent (their
    // null branch indices, in order) and where each field's bytes start.
    bool all_nullable = true;
    std::vector<std::uint8_t> absent_bytes;
    std::vector<std::size_t> absent_offsets;
    // For each field of the record, its place among the written fields.
    std::vector<std::size_t> written_index;
};

// An object holding fewer than one in this many of its record's written
// fields is written by its members, the absent fields between them copied
// as a run of null branch indices.
constexpr std::size_t kSparseObjectRatio = 8;

constexpr std::size_t kNotWritten = static_cast<std::size_t>(-1);

// Bytes kept free after the datum, for a container's sync marker.
constexpr std::size_t kClosingRoom = 32;

// Writes one datum into `out`, which may not grow past `limit` bytes. Data
// can ask for far more than its size (objects that differ in their keys
// each write a null for every key of the others), so before writing, the
// least the datum needs is added up, in time linear in the value, and a
// datum that cannot fit fails at once; what it needs beyond that is checked
// as it is written.
class DatumWriter {
public:
    DatumWriter(Bytes& out, std::size_t limit) : out_(out), limit_(limit) {}

    Result<void> write_within_limit(const Value& value, const AvroSchema& schema, unsigned depth) {
        std::size_t least = out_.size();
        add_least_size(value, schema, least);
        if (least > limit_) return std::unexpected(output_budget_exceeded(limit_));
        // What the datum takes at least is known: the buffer grows once to
        // it, with room for the few bytes a container closes with, rather
        // than doubling its way there.
        out_.reserve(least + kClosingRoom);
        if (auto written = write(value, schema, depth); !written) return written;
        return check_limit();
    }

private:
    Result<void> write(const Value& value, const AvroSchema& schema, unsigned depth) {
        if (depth > kMaxAvroDepth) return fail("nesting too deep for Avro export");
        if (const auto* array = schema.get_if<AvroArray>()) return write_array(value, *array->items, depth);
        if (const auto* record = schema.get_if<AvroRecord>()) return write_record(value, *record, depth);
        if (const auto* united = schema.get_if<AvroUnion>()) return write_union(value, *united, depth);
        return write_plain(value, schema, out_);
    }

    Result<void> check_limit() const {
        if (out_.size() <= limit_) return {};
        return std::unexpected(output_budget_exceeded(limit_));
    }

    Result<void> write_array(const Value& value, const AvroSchema& items, unsigned depth) {
        const auto* elements = value.get_if<ValueArray>();
        if (!elements) return mismatch();
        if (!elements->empty()) {
            write_avro_long(static_cast<std::int64_t>(elements->size()), out_);
            for (const Value& element : *elements) {
                if (auto written = write(element, items, depth + 1); !written) return written;
                if (auto checked = check_limit(); !checked) return checked;
            }
        }
        out_.push_back(0x00);
        return {};
    }

    Result<void> write_record(const Value& value, const AvroRecord& record, unsigned depth) {
        const auto* members = value.get_if<ValueObject>();
        if (!members) return mismatch();
        RecordLayout& fields = layout(record);
        if (fields.all_nullable && members->size() * kSparseObjectRatio < fields.written.size()) {
            return write_sparse_record(*members, record, fields, depth);
        }
        static const Value kAbsent = Value::null();
        MemberFinder finder(*members);
        for (const auto& [position, null_branch] : fields.written) {
            const AvroField& field = record.fields[position];
            const Value* member = finder.find(field.name);
            if (!member && null_branch) {
                write_avro_long(static_cast<std::int64_t>(*null_branch), out_);
            } else if (auto written = write(member ? *member : kAbsent, field.schema, depth + 1); !written) {
                return written;
            }
            if (auto checked = check_limit(); !checked) return checked;
        }
        return {};
    }

    // An object that holds few of its record's fields: its members are
    // placed among the written fields, and each run of absent fields
    // between them is copied whole, so that the work follows the members
    // and the bytes written rather than the fields of the record.
    Result<void> write_sparse_record(const ValueObject& members, const AvroRecord& record, RecordLayout& fields,
                                     unsigned depth) {
        build_absent_bytes(record, fields);
        std::vector<std::pair<std::size_t, const Value*>> present;
        present.reserve(members.size());
        for (const ValueMember& member : members) {
            const auto found = fields.positions.find(member.key);
            if (found == fields.positions.end()) continue;
            const std::size_t written = fields.written_index[found->second];
            if (written != kNotWritten) present.emplace_back(written, &member.value);
        }
        std::ranges::sort(present, {}, &std::pair<std::size_t, const Value*>::first);
        std::size_t next = 0;
        for (const auto& [written, member] : present) {
            if (auto copied = write_absent_run(fields, next, written); !copied) return copied;
            const AvroField& field = record.fields[fields.written[written].position];
            if (auto wrote = write(*member, field.schema, depth + 1); !wrote) return wrote;
            if (auto checked = check_limit(); !checked) return checked;
            next = written + 1;
        }
        return write_absent_run(fields, next, fields.written.size());
    }

    Result<void> write_absent_run(const RecordLayout& fields, std::size_t first, std::size_t end) {
        const auto from = fields.absent_bytes.begin() + static_cast<std::ptrdiff_t>(fields.absent_offsets[first]);
        const auto to = fields.absent_bytes.begin() + static_cast<std::ptrdiff_t>(fields.absent_offsets[end]);
        if (out_.size() + static_cast<std::size_t>(to - from) > limit_) {
            return std::unexpected(output_budget_exceeded(limit_));
        }
        out_.insert(out_.end(), from, to);
        return {};
    }

    void build_absent_bytes(const AvroRecord& record, RecordLayout& fields) {
        if (!fields.absent_offsets.empty()) return;
        index_positions(record, fields);
        fields.written_index.assign(record.fields.size(), kNotWritten);
        fields.absent_offsets.reserve(fields.written.size() + 1);
        for (std::size_t i = 0; i < fields.written.size(); ++i) {
            fields.written_index[fields.written[i].position] = i;
            fields.absent_offsets.push_back(fields.absent_bytes.size());
            write_avro_long(static_cast<std::int64_t>(*fields.written[i].null_branch), fields.absent_bytes);
        }
        fields.absent_offsets.push_back(fields.absent_bytes.size());
    }

    static void index_positions(const AvroRecord& record, RecordLayout& fields) {
        if (!fields.positions.empty()) return;
        fields.positions.reserve(record.fields.size());
        for (std::size_t i = 0; i < record.fields.size(); ++i) fields.positions.emplace(record.fields[i].name, i);
    }

    Result<void> write_union(const Value& value, const AvroUnion& united, unsigned depth) {
        std::size_t index = 0;
        const AvroSchema* branch = fitting_branch(united, value, index);
        if (!branch) return fail("internal: no union branch fits the value");
        write_avro_long(static_cast<std::int64_t>(index), out_);
        return write(value, *branch, depth);
    }

    RecordLayout& layout(const AvroRecord& record) {
        auto [found, added] = layouts_.try_emplace(&record);
        RecordLayout& layout = found->second;
        if (added) {
            for (std::size_t i = 0; i < record.fields.size(); ++i) {
                const AvroSchema& schema = record.fields[i].schema;
                if (schema.is<AvroNull>()) continue;
                WrittenField field{i, std::nullopt};
                if (const auto* united = schema.get_if<AvroUnion>()) {
                    ++layout.unions;
                    const auto null_branch = std::ranges::find_if(united->branches, &AvroSchema::is<AvroNull>);
                    if (null_branch != united->branches.end()) {
                        field.null_branch = static_cast<std::size_t>(null_branch - united->branches.begin());
                    }
                }
                layout.all_nullable = layout.all_nullable && field.null_branch.has_value();
                layout.written.push_back(field);
            }
        }
        return layout;
    }

    // Adds to `total` the least number of bytes `value` takes under the
    // schema (every scalar at least one byte, a double eight), stopping
    // once the total passes the limit. Values the schema does not fit add
    // nothing: writing them fails.
    void add_least_size(const Value& value, const AvroSchema& schema, std::size_t& total) {
        if (total > limit_ || schema.is<AvroNull>()) return;
        if (const auto* united = schema.get_if<AvroUnion>()) {
            total += 1;
            add_least_branch_size(value, *united, total);
        } else if (const auto* array = schema.get_if<AvroArray>()) {
            const auto* elements = value.get_if<ValueArray>();
            total += elements && !elements->empty() ? 2 : 1;
            if (!elements) return;
            for (const Value& element : *elements) {
                add_least_size(element, *array->items, total);
                if (total > limit_) return;
            }
        } else if (const auto* record = schema.get_if<AvroRecord>()) {
            add_least_record_size(value, *record, total);
        } else {
            total += schema.is<AvroDouble>() ? 8 : 1;
        }
    }

    // A union's value without its branch index.
    void add_least_branch_size(const Value& value, const AvroUnion& united, std::size_t& total) {
        std::size_t index = 0;
        if (const AvroSchema* branch = fitting_branch(united, value, index)) add_least_size(value, *branch, total);
    }

    // One branch index for each union field, present or not, and the
    // members that stand for fields: linear in the members, whatever the
    // number of fields.
    void add_least_record_size(const Value& value, const AvroRecord& record, std::size_t& total) {
        const auto* members = value.get_if<ValueObject>();
        if (!members) return;
        RecordLayout& fields = layout(record);
        total += fields.unions;
        index_positions(record, fields);
        for (const ValueMember& member : *members) {
            const auto found = fields.positions.find(member.key);
            if (found == fields.positions.end()) continue;
            const AvroSchema& schema = record.fields[found->second].schema;
            if (const auto* united = schema.get_if<AvroUnion>()) {
                add_least_branch_size(member.value, *united, total);
            } else {
                add_least_size(member.value, schema, total);
            }
            if (total > limit_) return;
        }
    }

    Bytes& out_;
    std::size_t limit_;
    std::unordered_map<const AvroRecord*, RecordLayout> layouts_;
};

void append_logical_type(std::string_view base, std::string_view logical_type, std::string& out) {
    out += "{\"type\":\"";
    out += base;
    out += "\",\"logicalType\":\"";
    out += logical_type;
    out += '"';
}

void append_decimal_json(const AvroDecimal& decimal, std::string& out) {
    append_logical_type("bytes", "decimal", out);
    out += ",\"precision\":";
    append_decimal(decimal.precision, out);
    out += ",\"scale\":";
    append_decimal(decimal.scale, out);
    out += '}';
}

Result<void> append_record_json(const AvroRecord& record, std::string& out) {
    out += "{\"type\":\"record\",\"name\":";
    append_json_string(record.name, out);
    out += ",\"fields\":[";
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
        if (i > 0) out += ',';
        out += "{\"name\":";
        append_json_string(record.fields[i].name, out);
        out += ",\"type\":";
        if (auto written = write_avro_schema_json(record.fields[i].schema, out); !written) return written;
        out += '}';
    }
    out += "]}";
    return {};
}

Result<void> append_union_json(const AvroUnion& united, std::string& out) {
    out += '[';
    for (std::size_t i = 0; i < united.branches.size(); ++i) {
        if (i > 0) out += ',';
        if (auto written = write_avro_schema_json(united.branches[i], out); !written) return written;
    }
    out += ']';
    return {};
}

}  // namespace

void write_avro_long(std::int64_t value, Bytes& out) {
    auto zigzag = (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
    while (zigzag > 0x7F) {
        out.push_back(static_cast<std::uint8_t>(zigzag | 0x80));
        zigzag >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(zigzag));
}

void write_avro_bytes(std::string_view bytes, Bytes& out) {
    write_avro_long(static_cast<std::int64_t>(bytes.size()), out);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

Result<void> write_avro_schema_json(const AvroSchema& schema, std::string& out) {
    const std::size_t variant = schema.node.index();
    if (variant < kAvroPrimitiveNames.size()) {
        out += '"';
        out += kAvroPrimitiveNames[variant];
        out += '"';
    } else if (const auto* decimal = schema.get_if<AvroDecimal>()) {
        append_decimal_json(*decimal, out);
    } else if (const auto* time = schema.get_if<AvroTime>()) {
        append_logical_type(time_kind_base(time->kind), time_kind_logical_type(time->kind), out);
        out += '}';
    } else if (const auto* array = schema.get_if<AvroArray>()) {
        out += "{\"type\":\"array\",\"items\":";
        if (auto written = write_avro_schema_json(*array->items, out); !written) return written;
        out += '}';
    } else if (const auto* record = schema.get_if<AvroRecord>()) {
        return append_record_json(*record, out);
    } else if (const auto* united = schema.get_if<AvroUnion>()) {
        return append_union_json(*united, out);
    } else {
        return fail("internal: schema kind not inferred on export");
    }
    return {};
}

Result<void> encode_avro_datum(const Value& value, const AvroSchema& schema, Bytes& out, unsigned depth,
                               std::size_t output_limit) {
    return DatumWriter(out, output_limit).write_within_limit(value, schema, depth);
}

Result<std::int64_t> avro_time_value(TimeKind kind, std::string_view type_name, std::string_view literal) {
    if (!time_type_fits(kind, type_name)) {
        return fail("std/time/" + quoted_excerpt(type_name) + " does not fit this Avro time logical type");
    }
    auto micros = time_number(type_name, literal);
    if (!micros || !is_millis(kind)) return micros;
    if (*micros % 1000 != 0) {
        return fail("sub-millisecond value in a millis logical type: " + quoted_excerpt(literal));
    }
    return *micros / 1000;
}

}  // namespace bezo
