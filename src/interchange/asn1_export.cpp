#include "interchange/asn1_export.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "core/fault.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/asn1_time.hpp"
#include "interchange/base64url.hpp"
#include "interchange/binary_export.hpp"
#include "interchange/integer_token.hpp"
#include "lang/decimal.hpp"

namespace bezo {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBooleanTag = 1;
constexpr std::uint32_t kIntegerTag = 2;
constexpr std::uint32_t kBitStringTag = 3;
constexpr std::uint32_t kOctetStringTag = 4;
constexpr std::uint32_t kNullTag = 5;
constexpr std::uint32_t kOidTag = 6;
constexpr std::uint32_t kEnumeratedTag = 10;
constexpr std::uint32_t kUtf8StringTag = 12;
constexpr std::uint32_t kRelativeOidTag = 13;
constexpr std::uint32_t kSequenceTag = 16;
constexpr std::uint32_t kSetTag = 17;
constexpr std::uint32_t kUniversalStringTag = 28;
constexpr std::uint32_t kBmpStringTag = 30;

// How a fixed wrapper key writes its value.
enum class Wrap : std::uint8_t { Constructed, Integer, Boolean, Null, Oid, RelativeOid, Octets, Bits, Text, Time };

struct WrapperKey {
    std::string_view key;
    Wrap wrap;
    std::uint32_t tag;
    std::string_view expects;  // what the wrapped value must be, for the message
};

constexpr WrapperKey kWrapperKeys[] = {
    {"seq", Wrap::Constructed, kSequenceTag, "an array"},
    {"set", Wrap::Constructed, kSetTag, "an array"},
    {"int", Wrap::Integer, kIntegerTag, "an integer"},
    {"enum", Wrap::Integer, kEnumeratedTag, "an integer"},
    {"bool", Wrap::Boolean, kBooleanTag, "a boolean"},
    {"null", Wrap::Null, kNullTag, "null"},
    {"oid", Wrap::Oid, kOidTag, "a dotted OID string"},
    {"reloid", Wrap::RelativeOid, kRelativeOidTag, "a dotted OID string"},
    {"octets", Wrap::Octets, kOctetStringTag, "binary content"},
    {"bits", Wrap::Bits, kBitStringTag, "binary content or a 0/1 string"},
    {"utf8", Wrap::Text, kUtf8StringTag, "a string"},
    {"numeric", Wrap::Text, 18, "a string"},
    {"printable", Wrap::Text, 19, "a string"},
    {"t61", Wrap::Text, 20, "a string"},
    {"videotex", Wrap::Text, 21, "a string"},
    {"ia5", Wrap::Text, 22, "a string"},
    {"graphic", Wrap::Text, 25, "a string"},
    {"visible", Wrap::Text, 26, "a string"},
    {"general", Wrap::Text, 27, "a string"},
    {"universal", Wrap::Text, kUniversalStringTag, "a string"},
    {"bmp", Wrap::Text, kBmpStringTag, "a string"},
    {"utc", Wrap::Time, kUtcTimeTag, "a datetime"},
    {"gentime", Wrap::Time, kGeneralizedTimeTag, "a datetime"},
};

const WrapperKey* find_wrapper_key(std::string_view key) {
    const auto found = std::ranges::find(kWrapperKeys, key, &WrapperKey::key);
    return found == std::end(kWrapperKeys) ? nullptr : found;
}

std::unexpected<Error> expects(std::string_view key, std::string_view kind) {
    return fail(quoted_excerpt(key) + " expects " + std::string(kind));
}

void write_primitive(std::uint32_t tag, std::span<const std::uint8_t> content, Bytes& out) {
    write_der_header(DerClass::Universal, false, tag, content, out);
}

void write_boolean(bool value, Bytes& out) {
    out.insert(out.end(), {0x01, 0x01, static_cast<std::uint8_t>(value ? 0xFF : 0x00)});
}

void write_null(Bytes& out) { out.insert(out.end(), {0x05, 0x00}); }

Result<void> write_integer(std::uint32_t tag, std::string_view text, Bytes& out) {
    auto content = parse_integer_token(text);
    if (!content) return forward_error(content);
    write_primitive(tag, *content, out);
    return {};
}

const TypedValue* as_binary(const Value& value) {
    const auto* typed = value.get_if<TypedValue>();
    return typed && typed->library == "std/enc" && typed->type_name == "bin" ? typed : nullptr;
}

Result<std::string> decode_binary(const TypedValue& binary) {
    auto bytes = base64url_decode(binary.literal);
    if (!bytes) return fail("invalid base64url payload");
    return std::move(*bytes);
}

// The bytes of a string or a std/enc bin payload, the content of OCTET
// STRING and of primitive tags; any other value fails with "{key} expects
// binary content".
Result<std::string> binary_content(const Value& value, std::string_view key) {
    if (const auto* text = value.get_if<StringValue>()) return text->text;
    if (const auto* binary = as_binary(value)) return decode_binary(*binary);
    return expects(key, "binary content");
}

// BIT STRING content: the count of unused bits in the last byte, then the
// bits of a 0/1 string packed first-bit-most-significant, or a whole payload.
Result<Bytes> bit_string_content(const Value& value, std::string_view key) {
    if (const auto* binary = as_binary(value)) {
        auto bytes = decode_binary(*binary);
        if (!bytes) return forward_error(bytes);
        Bytes content{0x00};
        content.insert(content.end(), bytes->begin(), bytes->end());
        return content;
    }
    const auto* text = value.get_if<StringValue>();
    const auto is_bit = [](char c) { return c == '0' || c == '1'; };
    if (!text || !std::ranges::all_of(text->text, is_bit)) return expects(key, "binary content or a 0/1 string");
    const std::string& bits = text->text;
    Bytes content{static_cast<std::uint8_t>((8 - bits.size() % 8) % 8)};
    content.resize(1 + (bits.size() + 7) / 8);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (bits[i] == '1') content[1 + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    }
    return content;
}

void append_big_endian(char32_t unit, std::size_t width, std::string& out) {
    while (width-- > 0) out.push_back(static_cast<char>(unit >> (8 * width)));
}

// The text re-encoded as UTF-32BE (width 4) or UTF-16BE with surrogate pairs
// beyond U+FFFF (width 2).
std::string wide_encoding(std::string_view text, std::size_t width) {
    std::string out;
    out.reserve(text.size() * width);
    for (std::size_t pos = 0; pos < text.size();) {
        const auto code_point = utf8_next(text, pos);
        if (!code_point) raise_fault("interchange string is not UTF-8");
        if (width == 2 && *code_point > 0xFFFF) {
            const char32_t offset = *code_point - 0x10000;
            append_big_endian(0xD800 + (offset >> 10), 2, out);
            append_big_endian(0xDC00 + (offset & 0x3FF), 2, out);
        } else {
            append_big_endian(*code_point, width, out);
        }
    }
    return out;
}

// One arc of an OID: decimal digits whose value fits 128 bits.
std::optional<UInt128> parse_arc(std::string_view digits) {
    if (!is_ascii_digits(digits)) return std::nullopt;
    constexpr UInt128 kMax = std::numeric_limits<UInt128>::max();
    UInt128 value = 0;
    for (const char c : digits) {
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

Result<void> write_oid(std::uint32_t tag, const Value& value, std::string_view key, Bytes& out) {
    const auto* text = value.get_if<StringValue>();
    if (!text) return expects(key, "a dotted OID string");
    auto content = encode_oid(text->text, tag == kRelativeOidTag);
    if (!content) return forward_error(content);
    write_primitive(tag, *content, out);
    return {};
}

Result<void> write_time(std::uint32_t tag, const Value& value, std::string_view key, Bytes& out) {
    const auto literal = der_datetime_literal(value);
    if (!literal) return expects(key, "a datetime");
    return tag == kUtcTimeTag ? format_utc_time(*literal, out) : format_generalized_time(*literal, out);
}

Result<void> write_fixed_wrapper(const WrapperKey& fixed, const Value& value, Bytes& out, unsigned depth) {
    const std::string_view key = fixed.key;
    switch (fixed.wrap) {
        case Wrap::Constructed:
            if (const auto* items = value.get_if<ValueArray>()) {
                return write_der_constructed(DerClass::Universal, fixed.tag, *items, out, depth);
            }
            break;
        case Wrap::Integer:
            if (const auto* number = value.get_if<NumberValue>()) return write_integer(fixed.tag, number->text, out);
            break;
        case Wrap::Boolean:
            if (const auto* boolean = value.get_if<BoolValue>()) {
                write_boolean(boolean->value, out);
                return {};
            }
            break;
        case Wrap::Null:
            if (value.is<NullValue>()) {
                write_null(out);
                return {};
            }
            break;
        case Wrap::Oid:
        case Wrap::RelativeOid: return write_oid(fixed.tag, value, key, out);
        case Wrap::Octets: {
            auto content = binary_content(value, key);
            if (!content) return forward_error(content);
            write_primitive(fixed.tag, as_der_bytes(*content), out);
            return {};
        }
        case Wrap::Bits: {
            auto content = bit_string_content(value, key);
            if (!content) return forward_error(content);
            write_primitive(fixed.tag, *content, out);
            return {};
        }
        case Wrap::Text: return encode_der_string(value, fixed.tag, out, key);
        case Wrap::Time: return write_time(fixed.tag, value, key, out);
    }
    return expects(key, fixed.expects);
}

// A key naming a tag of its own: a constructed tag holds an array of
// children, a primitive one binary content.
Result<void> write_tag_wrapper(std::string_view key, const Value& value, Bytes& out, unsigned depth) {
    const auto tag = parse_tag_key(key);
    if (!tag) return fail("unknown ASN.1 wrapper key: " + quoted_excerpt(key));
    if (tag->constructed) {
        const auto* items = value.get_if<ValueArray>();
        if (!items) return expects(key, "an array of children");
        return write_der_constructed(tag->tag_class, tag->number, *items, out, depth);
    }
    auto content = binary_content(value, key);
    if (!content) return forward_error(content);
    write_der_header(tag->tag_class, false, tag->number, as_der_bytes(*content), out);
    return {};
}

Result<void> write_typed(const TypedValue& typed, Bytes& out) {
    if (typed.library == "std/enc" && typed.type_name == "bin") {
        auto content = decode_binary(typed);
        if (!content) return forward_error(content);
        write_primitive(kOctetStringTag, as_der_bytes(*content), out);
        return {};
    }
    if (typed.library == "std/time") {
        if (typed.type_name == "datetime" || typed.type_name == "localdatetime") {
            return format_generalized_time(typed.literal, out);
        }
        return fail("std/time/" + quoted_excerpt(typed.type_name) + " has no ASN.1 mapping");
    }
    return fail("this typed value has no ASN.1 mapping");
}

}  // namespace

std::optional<DerTag> parse_tag_key(std::string_view key) {
    if (key.size() < 2) return std::nullopt;
    DerTag tag;
    switch (key.front()) {
        case 'u': tag.tag_class = DerClass::Universal; break;
        case 'a': tag.tag_class = DerClass::Application; break;
        case 'c': tag.tag_class = DerClass::ContextSpecific; break;
        case 'x': tag.tag_class = DerClass::Private; break;
        default: return std::nullopt;
    }
    std::string_view number = key.substr(1);
    if (number.ends_with('p')) {
        number.remove_suffix(1);
    } else if (tag.tag_class != DerClass::Universal) {
        tag.constructed = true;
    } else if (number.ends_with('c')) {
        number.remove_suffix(1);
        tag.constructed = true;
    } else {
        return std::nullopt;
    }
    const auto value = parse_ascii_unsigned(number);
    if (!value || *value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    tag.number = static_cast<std::uint32_t>(*value);
    return tag;
}

Result<Bytes> encode_oid(std::string_view text, bool relative) {
    const auto malformed = [text] { return fail("malformed OID: " + quoted_excerpt(text)); };
    std::vector<UInt128> arcs;
    for (std::size_t start = 0;;) {
        const std::size_t dot = std::min(text.find('.', start), text.size());
        const auto arc = parse_arc(text.substr(start, dot - start));
        if (!arc) return malformed();
        arcs.push_back(*arc);
        if (dot == text.size()) break;
        start = dot + 1;
    }
    if (!relative) {
        if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) return malformed();
        // With a first arc of 2 the second is unbounded: the combined arc must
        // still fit 128 bits.
        if (arcs[1] > std::numeric_limits<UInt128>::max() - arcs[0] * 40) return malformed();
        arcs[1] += arcs[0] * 40;
        arcs.erase(arcs.begin());
    }
    Bytes content;
    for (const UInt128 arc : arcs) append_base128(arc, content);
    return content;
}

std::optional<std::string_view> der_datetime_literal(const Value& value) {
    if (const auto* text = value.get_if<StringValue>()) return text->text;
    const auto* typed = value.get_if<TypedValue>();
    if (typed && typed->library == "std/time" &&
        (typed->type_name == "datetime" || typed->type_name == "localdatetime")) {
        return typed->literal;
    }
    return std::nullopt;
}

Result<void> encode_der_value(const Value& value, Bytes& out, unsigned depth) {
    if (depth > kMaxDerDepth) return fail("nesting too deep for ASN.1 export");
    if (value.is<NullValue>()) {
        write_null(out);
        return {};
    }
    if (const auto* boolean = value.get_if<BoolValue>()) {
        write_boolean(boolean->value, out);
        return {};
    }
    if (const auto* number = value.get_if<NumberValue>()) return write_integer(kIntegerTag, number->text, out);
    if (const auto* text = value.get_if<StringValue>()) {
        write_primitive(kUtf8StringTag, as_der_bytes(text->text), out);
        return {};
    }
    if (const auto* items = value.get_if<ValueArray>()) {
        return write_der_constructed(DerClass::Universal, kSequenceTag, *items, out, depth);
    }
    if (const auto* members = value.get_if<ValueObject>()) {
        if (members->size() != 1) return fail("a multi-member namespace has no DER form (ASN.1 fields are positional)");
        const ValueMember& member = *members->begin();
        if (const auto* fixed = find_wrapper_key(member.key))
            return write_fixed_wrapper(*fixed, member.value, out, depth);
        return write_tag_wrapper(member.key, member.value, out, depth);
    }
    return write_typed(*value.get_if<TypedValue>(), out);
}

Result<void> write_der_constructed(DerClass tag_class, std::uint32_t number, const ValueArray& items, Bytes& out,
                                   unsigned depth) {
    Bytes content;
    for (const Value& item : items) {
        if (auto written = encode_der_value(item, content, depth + 1); !written) return forward_error(written);
    }
    write_der_header(tag_class, true, number, content, out);
    return {};
}

Result<void> encode_der_string(const Value& value, std::uint32_t tag, Bytes& out, std::string_view key) {
    const auto* text = value.get_if<StringValue>();
    if (!text) return expects(key, "a string");
    if (tag == kUniversalStringTag || tag == kBmpStringTag) {
        write_primitive(tag, as_der_bytes(wide_encoding(text->text, tag == kBmpStringTag ? 2 : 4)), out);
    } else {
        write_primitive(tag, as_der_bytes(text->text), out);
    }
    return {};
}

Result<Bytes> asn1_export_body(const CanonicalValue& tree) { return encode_canonical_tree(tree, encode_der_value); }

Result<Bytes> export_asn1(std::string_view canonical_text) {
    return encode_canonical_text(canonical_text, asn1_export_body);
}

}  // namespace bezo
