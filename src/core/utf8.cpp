#include "core/utf8.hpp"

#include <cstddef>

#include "core/text.hpp"

namespace bezo {
namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

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
            if (!is_continuation(static_cast<unsigned char>(bytes[i + k]))) return false;
        }
        i += rule.length;
    }
}

}  // namespace bezo
