#include "core/utf8.hpp"

#include <unicode/uchar.h>

#include <cstddef>

#include "core/text.hpp"

namespace bezo {
namespace {

// The length of the sequence that `lead` opens, with the range allowed for
// its second byte (which rules out overlongs, surrogates and values above
// U+10FFFF); 0 for a byte that opens no sequence.
struct LeadRule {
    std::size_t length;
    unsigned char second_min;
    unsigned char second_max;
};

LeadRule lead_rule(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

bool is_ascii_white_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// white_space_at for a character that is not ASCII: apart, so that the
// ASCII test stays small enough to be inlined into the loops below.
[[gnu::noinline]] std::size_t non_ascii_white_space_at(std::string_view text, std::size_t pos) {
    std::size_t next = pos;
    auto decoded = utf8_next(text, next);
    return decoded && is_unicode_white_space(*decoded) ? next - pos : 0;
}

// The length of the white-space character that starts at `pos`, or 0.
inline std::size_t white_space_at(std::string_view text, std::size_t pos) {
    auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) return is_ascii_white_space(byte) ? 1 : 0;
    return non_ascii_white_space_at(text, pos);
}

// The start of the character that ends just before `end`.
std::size_t previous_char_start(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && is_utf8_continuation(text[start])) --start;
    return start;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    std::size_t i = 0;
    while (true) {
        i = scan_to(bytes, i, word_has_non_ascii, [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        if (i == bytes.size()) return true;
        auto lead = static_cast<unsigned char>(bytes[i]);
        LeadRule rule = lead_rule(lead);
        if (rule.length == 0 || i + rule.length > bytes.size()) return false;
        auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < rule.second_min || second > rule.second_max) return false;
        for (std::size_t k = 2; k < rule.length; ++k) {
            if (!is_utf8_continuation(bytes[i + k])) return false;
        }
        i += rule.length;
    }
}

bool is_unicode_white_space(char32_t c) {
    if (c < 0x80) return is_ascii_white_space(static_cast<unsigned char>(c));
    return u_isUWhiteSpace(static_cast<UChar32>(c));
}

std::string_view trim_leading_unicode_white_space(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t length = white_space_at(text, start);
        if (length == 0) break;
        start += length;
    }
    return text.substr(start);
}

std::string_view trim_unicode_white_space(std::string_view text) {
    text = trim_leading_unicode_white_space(text);
    std::size_t end = text.size();
    while (end > 0) {
        std::size_t last = previous_char_start(text, end);
        if (white_space_at(text, last) != end - last) break;
        end = last;
    }
    return text.substr(0, end);
}

bool has_non_white_space(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t length = white_space_at(text, pos);
        if (length == 0) return true;
        pos += length;
    }
    return false;
}

}  // namespace bezo
