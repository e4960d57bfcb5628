#include "interchange/base64url.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

namespace bezo {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> make_decode_table() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNotInAlphabet);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecode = make_decode_table();

std::uint32_t byte_at(std::string_view bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); }

}  // namespace

void append_base64url(std::string_view bytes, std::string& out) {
    out.reserve(out.size() + (bytes.size() * 4 + 2) / 3);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t group = byte_at(bytes, i) << 16 | byte_at(bytes, i + 1) << 8 | byte_at(bytes, i + 2);
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += kAlphabet[(group >> 6) & 0x3F];
        out += kAlphabet[group & 0x3F];
    }
    std::size_t rest = bytes.size() - i;
    if (rest == 0) return;
    std::uint32_t group = byte_at(bytes, i) << 16;
    if (rest == 2) group |= byte_at(bytes, i + 1) << 8;
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 0x3F];
    if (rest == 2) out += kAlphabet[(group >> 6) & 0x3F];
}

std::string base64url_encode(std::string_view bytes) {
    std::string out;
    append_base64url(bytes, out);
    return out;
}

bool is_base64url(std::string_view text) {
    return text.size() % 4 != 1 &&
           std::ranges::none_of(text, [](char c) { return kDecode[static_cast<unsigned char>(c)] == kNotInAlphabet; });
}

std::optional<std::string> base64url_decode(std::string_view text) {
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t bits = 0;
    int bit_count = 0;
    for (unsigned char c : text) {
        std::uint8_t sextet = kDecode[c];
        if (sextet == kNotInAlphabet) return std::nullopt;
        bits = (bits << 6 | sextet) & 0xFFFFFF;
        bit_count += 6;
        if (bit_count >= 8) {
            bit_count -= 8;
            out += static_cast<char>((bits >> bit_count) & 0xFF);
        }
    }
    return out;
}

}  // namespace bezo
