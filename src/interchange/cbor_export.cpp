#include "interchange/cbor_export.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "core/decimal_float.hpp"
#include "core/fault.hpp"
#include "core/text.hpp"
#include "interchange/asn1_time.hpp"
#include "interchange/base64url.hpp"
#include "interchange/canonical_reader.hpp"
#include "interchange/export_view.hpp"
#include "interchange/integer_token.hpp"

namespace bezo {
namespace {

using Bytes = CborBytes;

constexpr std::uint8_t kUnsigned = 0;
constexpr std::uint8_t kNegative = 1;
constexpr std::uint8_t kByteString = 2;
constexpr std::uint8_t kTextString = 3;
constexpr std::uint8_t kArray = 4;
constexpr std::uint8_t kMap = 5;

constexpr std::uint8_t kDateTimeTag = 0xC0;
constexpr std::uint8_t kPositiveBignumTag = 0xC2;
constexpr std::uint8_t kNegativeBignumTag = 0xC3;
constexpr std::uint8_t kFalse = 0xF4;
constexpr std::uint8_t kTrue = 0xF5;
constexpr std::uint8_t kNull = 0xF6;
constexpr std::uint8_t kHalf = 0xF9;
constexpr std::uint8_t kSingle = 0xFA;
constexpr std::uint8_t kDouble = 0xFB;

constexpr std::uint16_t kHalfPositiveInfinity = 0x7C00;
constexpr std::uint16_t kHalfNegativeInfinity = 0xFC00;
constexpr std::uint16_t kHalfNan = 0x7E00;

// 2^64, the first magnitude that needs a bignum (for a negative integer, the
// first beyond it).
constexpr std::string_view kTwoToThe64 = "18446744073709551616";

// Appends `initial` and then the big-endian bytes of `value`.
template <class Unsigned>
void append_with_big_endian(std::uint8_t initial, Unsigned value, Bytes& out) {
    std::array<char, CborBytes::kShortMost> bytes{};
    bytes[0] = static_cast<char>(initial);
    const Unsigned big_endian = std::byteswap(value);
    std::memcpy(bytes.data() + 1, &big_endian, sizeof big_endian);
    out.append_short(bytes, 1 + sizeof big_endian);
}

void write_half(std::uint16_t bits, Bytes& out) { append_with_big_endian(kHalf, bits, out); }

// The head and the bytes of a text, with one check of the room.
void write_text(std::string_view text, Bytes& out) {
    char* at = out.room_for(CborBytes::kShortMost + text.size());
    at = put_cbor_head(at, kTextString, text.size());
    out.written_to(copy_text(text, at));
}

// Compares a digit run without leading zeros with 2^64 by its digits.
int compare_with_two_to_the_64(std::string_view digits) {
    if (digits.size() != kTwoToThe64.size()) return digits.size() < kTwoToThe64.size() ? -1 : 1;
    return digits.compare(kTwoToThe64);
}

// Tag 2 with the magnitude, or tag 3 with the magnitude less one.
Result<void> write_bignum(bool negative, std::string_view digits, Bytes& out) {
    auto converted = decimal_to_magnitude_bytes(digits);
    if (!converted) return forward_error(converted);
    std::vector<std::uint8_t>& magnitude = *converted;
    if (negative) {
        // Less one, the borrow running from the last byte.
        for (auto byte = magnitude.rbegin(); byte != magnitude.rend(); ++byte) {
            if ((*byte)-- != 0) break;
        }
        if (magnitude.front() == 0) magnitude.erase(magnitude.begin());
    }
    out.push_back(negative ? kNegativeBignumTag : kPositiveBignumTag);
    cbor_write_head(kByteString, magnitude.size(), out);
    out.append(std::string_view(reinterpret_cast<const char*>(magnitude.data()), magnitude.size()));
    return {};
}

void write_word_integer(bool negative, std::uint64_t magnitude, Bytes& out) {
    if (negative && magnitude != 0) {
        cbor_write_head(kNegative, magnitude - 1, out);
    } else {
        cbor_write_head(kUnsigned, magnitude, out);
    }
}

Result<void> write_integer(bool negative, std::string_view digits, Bytes& out) {
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.empty()) {
        out.push_back(0x00);
        return {};
    }
    const int order = compare_with_two_to_the_64(digits);
    if (order < 0) {
        write_word_integer(negative, *parse_ascii_unsigned(digits), out);
    } else if (order == 0 && negative) {
        cbor_write_head(kNegative, std::numeric_limits<std::uint64_t>::max(), out);
    } else {
        return write_bignum(negative, digits, out);
    }
    return {};
}

// The binary16 bits of a binary32 value that binary16 holds exactly.
std::optional<std::uint16_t> exact_half(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000);
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    const std::uint32_t fraction = bits & 0x7FFFFF;
    if (biased == 0xFF) return static_cast<std::uint16_t>(sign | kHalfPositiveInfinity);
    if (biased == 0) return fraction == 0 ? std::optional<std::uint16_t>(sign) : std::nullopt;
    const int exponent = biased - 127;
    if (exponent >= -14 && exponent <= 15) {
        if ((fraction & 0x1FFF) != 0) return std::nullopt;
        return static_cast<std::uint16_t>(sign | (exponent + 15) << 10 | fraction >> 13);
    }
    if (exponent >= -24 && exponent < -14) {
        // A binary16 subnormal: the significand in units of 2^-24.
        const std::uint32_t significand = fraction | 0x800000;
        const int shift = -exponent - 1;
        if ((significand & ((1u << shift) - 1)) != 0) return std::nullopt;
        return static_cast<std::uint16_t>(sign | significand >> shift);
    }
    return std::nullopt;
}

// Powers of ten that binary64 holds exactly.
constexpr std::array<double, 16> kExactPowersOfTen = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// What one scan of a number text finds: whether it is plain (an optional
// "-", then digits and at most one "."), how many digits it has and how
// many of them follow the point, and the value of its digits with the
// point left out, which is exact while there are at most nineteen.
struct NumberShape {
    bool negative = false;
    bool plain = true;
    bool point = false;
    std::size_t digits = 0;
    std::size_t fraction = 0;
    std::uint64_t value = 0;

    static constexpr std::size_t kMostWordDigits = 19;  // 64 bits hold any nineteen digits
    // Both the digits read as an integer and the power of ten of the
    // fraction are exact in binary64, so their one division rounds as a
    // full reading does.
    static constexpr std::size_t kMostShortDecimalDigits = 15;

    bool is_integer() const { return plain && !point && digits != 0; }
    bool is_word_integer() const { return is_integer() && digits <= kMostWordDigits; }
    // A plain decimal ("-497.3", "0.25", "5.") of at most fifteen digits.
    bool is_short_decimal() const { return plain && digits != 0 && digits <= kMostShortDecimalDigits; }
    double short_decimal() const {
        const double magnitude = static_cast<double>(value) / kExactPowersOfTen[fraction];
        return negative ? -magnitude : magnitude;
    }
};

NumberShape number_shape(std::string_view text) {
    const char* at = text.data();
    const char* const end = at + text.size();
    const bool negative = at != end && *at == '-';
    at += negative ? 1 : 0;
    // Past nineteen digits the value wraps; it is then not used.
    std::uint64_t value = 0;
    const auto read_digits = [&] {
        const char* const start = at;
        for (unsigned digit = 0; at != end && (digit = static_cast<unsigned char>(*at) - '0') <= 9; ++at) {
            value = value * 10 + digit;
        }
        return static_cast<std::size_t>(at - start);
    };
    const std::size_t whole = read_digits();
    const bool point = at != end && *at == '.';
    at += point ? 1 : 0;
    const std::size_t fraction = point ? read_digits() : 0;
    return NumberShape{negative, at == end, point, whole + fraction, fraction, value};
}

// The shortest of binary16, binary32 and binary64 that holds the value.
void write_float(double value, Bytes& out) {
    if (std::isnan(value)) {
        write_half(kHalfNan, out);
        return;
    }
    const bool fits_single = std::isinf(value) || std::fabs(value) <= std::numeric_limits<float>::max();
    const float single = fits_single ? static_cast<float>(value) : 0.0f;
    if (!fits_single || static_cast<double>(single) != value) {
        append_with_big_endian(kDouble, std::bit_cast<std::uint64_t>(value), out);
    } else if (const auto half = exact_half(single)) {
        write_half(*half, out);
    } else {
        append_with_big_endian(kSingle, std::bit_cast<std::uint32_t>(single), out);
    }
}

// Writes the numbers most texts hold, which one scan reads exactly and
// none of which can fail: integers of up to nineteen digits and plain
// decimals of up to fifteen (whose value is never out of range, and zero
// only when all their digits are). False, with nothing written, for a text
// of any other shape.
bool write_plain_number(const NumberShape& shape, Bytes& out) {
    if (shape.is_word_integer()) {
        write_word_integer(shape.negative, shape.value, out);
    } else if (shape.is_short_decimal()) {
        write_float(shape.short_decimal(), out);
    } else {
        return false;
    }
    return true;
}

// Tag 0 needs an RFC 3339 date-time with an upper-case "T" and "Z"; a
// literal of another shape, without a zone, or whose fields name no real
// instant (readers refuse those), stays a plain text.
std::optional<std::string> tagged_datetime(std::string_view literal) {
    const auto token = parse_datetime_token(literal);
    if (!token || token->zone.empty() || !is_calendar_instant(*token)) return std::nullopt;
    std::string stamp(literal);
    stamp[10] = 'T';
    if (stamp.back() == 'z') stamp.back() = 'Z';
    return stamp;
}

Result<void> write_typed(const ExportView& typed, Bytes& out) {
    const std::string_view library = typed.library();
    const std::string_view literal = typed.text();
    if (library == "std/enc" && typed.type_name() == "bin") {
        const auto bytes = base64url_decode(literal);
        if (!bytes) return fail("invalid base64url payload");
        cbor_write_head(kByteString, bytes->size(), out);
        out.append(*bytes);
    } else if (library == "std/num") {
        std::uint16_t half = kHalfNan;
        if (literal == "inf") half = kHalfPositiveInfinity;
        if (literal == "-inf") half = kHalfNegativeInfinity;
        write_half(half, out);
    } else if (library == "std/time" && typed.type_name() == "datetime") {
        const auto stamp = tagged_datetime(literal);
        if (stamp) out.push_back(kDateTimeTag);
        write_text(stamp ? *stamp : literal, out);
    } else {
        write_text(literal, out);
    }
    return {};
}

// One step of the way from the root to a value: a member's key or an
// item's index.
struct PathStep {
    std::string_view key;
    std::size_t index = 0;
    bool is_item = false;
};

// A float that CBOR cannot carry, and the way to it, which each holder adds
// its step to as the failure goes back up: nothing is kept of the way while
// the values are written.
struct RefusedFloat {
    std::string_view text;
    std::string_view why;
    std::vector<PathStep> way_up;  // from the float's holder to the root
};

// Encodes a value tree; a number CBOR cannot carry is refused with its
// place.
class CborEncoder {
public:
    explicit CborEncoder(Bytes& out) : out_(out) {}

    // Encodes a whole value; a refused float's message names its place.
    Result<void> encode_root(const ExportView& value) { return finished(encode(value, 0)); }
    Result<void> encode_number_alone(std::string_view text) { return finished(write_number(text)); }

private:
    Result<void> encode(const ExportView& value, unsigned depth) {
        return value.is_container() ? write_container(value, depth) : write_scalar(value);
    }

    Result<void> write_container(const ExportView& container, unsigned depth) {
        // What a container at the deepest level holds would be deeper still.
        if (depth >= kMaxCborDepth && container.size() != 0) return fail("nesting too deep for CBOR export");
        return container.kind() == ExportKind::Array ? write_array(container, depth) : write_map(container, depth);
    }

    Result<void> write_scalar(const ExportView& value) {
        switch (value.kind()) {
            case ExportKind::Null: out_.push_back(kNull); return {};
            case ExportKind::Bool: out_.push_back(value.boolean() ? kTrue : kFalse); return {};
            case ExportKind::Number: return write_number(value.text());
            case ExportKind::String: write_text(value.string_text(scratch_), out_); return {};
            case ExportKind::Typed: break;
            case ExportKind::Array:
            case ExportKind::Object: raise_fault("a container was written as a scalar");
        }
        return write_typed(value, out_);
    }

    // An integer as an integer or bignum; any other number as a float,
    // which must keep its value: a finite number beyond binary64's range
    // would read back as an infinity and a non-zero one below its least
    // subnormal as a zero, so both are refused.
    Result<void> write_number(std::string_view text) {
        const NumberShape shape = number_shape(text);
        if (write_plain_number(shape, out_)) return {};
        if (shape.is_integer()) return write_integer(shape.negative, text.substr(shape.negative ? 1 : 0), out_);
        const auto value = parse_decimal_double(text);
        if (!value) return fail("bad number: " + quoted_excerpt(text));
        if (std::isinf(*value)) return refuse_float(text, "overflows f64");
        if (*value == 0 && has_nonzero_mantissa(text)) return refuse_float(text, "underflows f64");
        write_float(*value, out_);
        return {};
    }

    Result<void> write_array(const ExportView& array, unsigned depth) {
        cbor_write_head(kArray, array.size(), out_);
        std::size_t index = 0;
        return array.each_item([&](const ExportView& item) -> Result<void> {
            if (auto encoded = encode(item, depth + 1); !encoded) {
                add_to_way(PathStep{{}, index, true});
                return encoded;
            }
            ++index;
            return {};
        });
    }

    Result<void> write_map(const ExportView& object, unsigned depth) {
        if (const auto key = object.first_repeated_key()) {
            return fail("CBOR cannot represent the repeated key " + quoted_excerpt(*key));
        }
        cbor_write_head(kMap, object.size(), out_);
        return object.each_member([&](std::string_view key, const ExportView& value) -> Result<void> {
            write_text(key, out_);
            if (auto encoded = encode(value, depth + 1); !encoded) {
                add_to_way(PathStep{key, 0, false});
                return encoded;
            }
            return {};
        });
    }

    // Refuses a float; the message is made once the way to it is known.
    std::unexpected<Error> refuse_float(std::string_view text, std::string_view why) {
        refused_ = RefusedFloat{text, why, {}};
        return fail("");
    }

    void add_to_way(const PathStep& step) {
        if (refused_) refused_->way_up.push_back(step);
    }

    Result<void> finished(Result<void> written) const {
        if (written || !refused_) return written;
        std::string message = "CBOR cannot represent the float " + quoted_excerpt(refused_->text);
        if (!refused_->way_up.empty()) message += " at " + quoted_excerpt(way_text(refused_->way_up));
        message += " (" + std::string(refused_->why) + ")";
        return fail(message);
    }

    // The keys and indices from the root, joined with "/".
    static std::string way_text(const std::vector<PathStep>& way_up) {
        std::string text;
        for (auto step = way_up.rbegin(); step != way_up.rend(); ++step) {
            if (!text.empty()) text += '/';
            if (step->is_item) {
                append_decimal(step->index, text);
            } else {
                text += step->key;
            }
        }
        return text;
    }

    Bytes& out_;
    std::optional<RefusedFloat> refused_;
    std::string scratch_;  // a text value with its line breaks made line feeds
};

}  // namespace

CborBytes::CborBytes(std::size_t capacity)
    : data_(std::make_unique_for_overwrite<char[]>(std::max(capacity, kShortMost))),
      capacity_(std::max(capacity, kShortMost)) {}

void CborBytes::grow(std::size_t count) {
    const std::size_t capacity = std::max(2 * capacity_, size_ + count);
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

Result<void> encode_cbor_number(std::string_view text, Bytes& out) {
    return CborEncoder(out).encode_number_alone(text);
}

Result<Bytes> export_cbor(std::string_view canonical_text) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    auto document = ExportDocument::of(*tree);
    if (!document) return forward_error(document);
    // Canonical lines spell every key of their path and every value as
    // text, so the encoding hardly ever outgrows the text; pages of the
    // reserve that are not written are never touched.
    Bytes out(canonical_text.size() + 64);
    if (auto written = CborEncoder(out).encode_root(document->root()); !written) return forward_error(written);
    return out;
}

}  // namespace bezo
