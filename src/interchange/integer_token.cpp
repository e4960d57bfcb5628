#include "interchange/integer_token.hpp"

#include <algorithm>
#include <string>

#include "core/text.hpp"
#include "lang/decimal.hpp"

namespace bezo {
namespace {

// Digits are taken 19 at a time: 10^19 is the largest power of ten below
// 2^64, so a chunk fits one limb and the limb products fit 128 bits.
constexpr std::size_t kChunkDigits = 19;

std::uint64_t power_of_ten(std::size_t exponent) {
    std::uint64_t power = 1;
    while (exponent-- > 0) power *= 10;
    return power;
}

// limbs = limbs * factor + addend, limbs little-endian base 2^64.
void multiply_add(std::vector<std::uint64_t>& limbs, std::uint64_t factor, std::uint64_t addend) {
    UInt128 carry = addend;
    for (std::uint64_t& limb : limbs) {
        const UInt128 product = static_cast<UInt128>(limb) * factor + carry;
        limb = static_cast<std::uint64_t>(product);
        carry = product >> 64;
    }
    if (carry != 0) limbs.push_back(static_cast<std::uint64_t>(carry));
}

// Inverts every byte and adds one, the carry running from the last byte.
void negate_in_place(std::vector<std::uint8_t>& bytes) {
    unsigned carry = 1;
    for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) {
        const unsigned sum = static_cast<std::uint8_t>(~*byte) + carry;
        *byte = static_cast<std::uint8_t>(sum);
        carry = sum >> 8;
    }
}

}  // namespace

Result<std::vector<std::uint8_t>> decimal_to_magnitude_bytes(std::string_view digits) {
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > kMaxIntegerDigits) {
        return fail("integer too long: more than " + decimal_text(kMaxIntegerDigits) + " digits");
    }
    std::vector<std::uint64_t> limbs;
    limbs.reserve(digits.size() / kChunkDigits + 1);
    std::size_t chunk = digits.size() % kChunkDigits;
    if (chunk == 0) chunk = kChunkDigits;
    for (std::size_t start = 0; start < digits.size(); start += chunk, chunk = kChunkDigits) {
        std::uint64_t value = 0;
        for (const char digit : digits.substr(start, chunk)) value = value * 10 + static_cast<unsigned>(digit - '0');
        multiply_add(limbs, power_of_ten(chunk), value);
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(limbs.size() * 8);
    for (auto limb = limbs.rbegin(); limb != limbs.rend(); ++limb) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            const auto byte = static_cast<std::uint8_t>(*limb >> shift);
            if (bytes.empty() && byte == 0) continue;
            bytes.push_back(byte);
        }
    }
    return bytes;
}

Result<std::vector<std::uint8_t>> parse_integer_token(std::string_view text) {
    const bool negative = text.starts_with('-');
    const std::string_view digits = text.substr(negative ? 1 : 0);
    if (!is_ascii_digits(digits)) return fail("not an integer token: " + quoted_excerpt(text));
    auto bytes = decimal_to_magnitude_bytes(digits);
    if (!bytes) return bytes;
    if (bytes->empty()) return std::vector<std::uint8_t>{0x00};
    if (negative) {
        negate_in_place(*bytes);
        if (bytes->front() < 0x80) bytes->insert(bytes->begin(), 0xFF);
    } else if (bytes->front() >= 0x80) {
        bytes->insert(bytes->begin(), 0x00);
    }
    return bytes;
}

}  // namespace bezo
