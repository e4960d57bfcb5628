#include "interchange/cbor_export.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "core/decimal_float.hpp"
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
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i) {
        bytes[1 + i] = static_cast<char>(value >> (8 * (sizeof(Unsigned) - 1 - i)));
    }
    out.append_short(bytes, 1 + sizeof(Unsigned));
}

void write_half(std::uint16_t bits, Bytes& out) { append_with_big_endian(kHalf, bits, out); }

void write_text(std::string_view text, Bytes& out) {
    cbor_write_head(kTextString, text.size(), out);
    out.append(text);
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

// The value of at most nineteen ASCII digits, which 64 bits always hold,
// read in one pass; none for any other text.
std::optional<std::uint64_t> short_digits_value(std::string_view digits) {
    constexpr std::size_t kMostDigits = 19;
    if (digits.empty() || digits.size() > kMostDigits) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (!is_ascii_digit(c)) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
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

// The value of a plain decimal of at most fifteen digits with an optional
// "-" ("-497.3", "0.25", "5."), or none for any other text. Its digits read
// as an integer and the power of ten of its fraction are both exact in
// binary64, so their one division rounds as a full reading does.
std::optional<double> short_decimal_value(std::string_view text) {
    constexpr std::size_t kMostDigits = 15;
    const bool negative = text.starts_with('-');
    std::uint64_t digits = 0;
    std::size_t count = 0;
    std::size_t fraction = 0;
    bool point = false;
    for (std::size_t pos = negative ? 1 : 0; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (!is_ascii_digit(c) || ++count > kMostDigits) return std::nullopt;
        digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
        fraction += point ? 1 : 0;
    }
    if (count == 0) return std::nullopt;
    const double value = static_cast<double>(digits) / kExactPowersOfTen[fraction];
    return negative ? -value : value;
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

// Encodes a value tree, keeping the way to the value being written so that
// a number CBOR cannot carry is refused with its place.
class CborEncoder {
public:
    explicit CborEncoder(Bytes& out) : out_(out) {}

    Result<void> encode(const ExportView& value, unsigned depth) {
        if (depth > kMaxCborDepth) return fail("nesting too deep for CBOR export");
        switch (value.kind()) {
            case ExportKind::Null: out_.push_back(kNull); return {};
            case ExportKind::Bool: out_.push_back(value.boolean() ? kTrue : kFalse); return {};
            case ExportKind::Number: return write_number(value.text());
            case ExportKind::String: write_text(value.string_text(scratch_), out_); return {};
            case ExportKind::Typed: return write_typed(value, out_);
            case ExportKind::Array: return write_array(value, depth);
            case ExportKind::Object: break;
        }
        return write_map(value, depth);
    }

    // An integer as an integer or bignum; any other number as a float,
    // which must keep its value: a finite number beyond binary64's range
    // would read back as an infinity and a non-zero one below its least
    // subnormal as a zero, so both are refused.
    Result<void> write_number(std::string_view text) {
        const bool negative = text.starts_with('-');
        const std::string_view digits = text.substr(negative ? 1 : 0);
        if (const auto magnitude = short_digits_value(digits)) {
            write_word_integer(negative, *magnitude, out_);
            return {};
        }
        if (is_ascii_digits(digits)) return write_integer(negative, digits, out_);
        auto value = short_decimal_value(text);
        if (!value) value = parse_decimal_double(text);
        if (!value) return fail("bad number: " + quoted_excerpt(text));
        if (std::isinf(*value)) return refuse_float(text, "overflows f64");
        if (*value == 0 && has_nonzero_mantissa(text)) return refuse_float(text, "underflows f64");
        write_float(*value, out_);
        return {};
    }

private:
    Result<void> write_array(const ExportView& array, unsigned depth) {
        cbor_write_head(kArray, array.size(), out_);
        path_.push_back(PathStep{{}, 0, true});
        auto written = array.each_item([&](const ExportView& item) -> Result<void> {
            if (auto encoded = encode(item, depth + 1); !encoded) return encoded;
            ++path_.back().index;
            return {};
        });
        if (!written) return written;
        path_.pop_back();
        return {};
    }

    Result<void> write_map(const ExportView& object, unsigned depth) {
        if (const auto key = object.first_repeated_key()) {
            return fail("CBOR cannot represent the repeated key " + quoted_excerpt(*key));
        }
        cbor_write_head(kMap, object.size(), out_);
        return object.each_member([&](std::string_view key, const ExportView& value) -> Result<void> {
            write_text(key, out_);
            path_.push_back(PathStep{key, 0, false});
            if (auto encoded = encode(value, depth + 1); !encoded) return encoded;
            path_.pop_back();
            return {};
        });
    }

    std::unexpected<Error> refuse_float(std::string_view text, std::string_view why) const {
        std::string message = "CBOR cannot represent the float " + quoted_excerpt(text);
        if (!path_.empty()) message += " at " + quoted_excerpt(path_text());
        message += " (" + std::string(why) + ")";
        return fail(message);
    }

    // The keys and indices from the root, joined with "/".
    std::string path_text() const {
        std::string text;
        for (const PathStep& step : path_) {
            if (!text.empty()) text += '/';
            if (step.is_item) {
                append_decimal(step.index, text);
            } else {
                text += step.key;
            }
        }
        return text;
    }

    Bytes& out_;
    std::vector<PathStep> path_;
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

void cbor_write_head(std::uint8_t major, std::uint64_t argument, Bytes& out) {
    const auto initial = static_cast<std::uint8_t>(major << 5);
    if (argument < 24) {
        out.push_back(static_cast<std::uint8_t>(initial | argument));
    } else if (argument <= 0xFF) {
        append_with_big_endian(initial | 24, static_cast<std::uint8_t>(argument), out);
    } else if (argument <= 0xFFFF) {
        append_with_big_endian(initial | 25, static_cast<std::uint16_t>(argument), out);
    } else if (argument <= 0xFFFFFFFF) {
        append_with_big_endian(initial | 26, static_cast<std::uint32_t>(argument), out);
    } else {
        append_with_big_endian(initial | 27, argument, out);
    }
}

Result<void> encode_cbor_number(std::string_view text, Bytes& out) { return CborEncoder(out).write_number(text); }

Result<Bytes> export_cbor(std::string_view canonical_text) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    auto document = ExportDocument::of(*tree);
    if (!document) return forward_error(document);
    // Canonical lines spell every key of their path and every value as
    // text, so the encoding hardly ever outgrows the text; pages of the
    // reserve that are not written are never touched.
    Bytes out(canonical_text.size() + 64);
    if (auto written = CborEncoder(out).encode(document->root(), 0); !written) return forward_error(written);
    return out;
}

}  // namespace bezo
