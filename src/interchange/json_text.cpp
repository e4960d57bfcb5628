#include "interchange/json_text.hpp"

#include <array>
#include <charconv>
#include <cmath>

#include "core/text.hpp"

namespace bezo {
namespace {

// The escape of one byte that needs one, or an empty view.
std::string_view short_escape(unsigned char c) {
    switch (c) {
        case '"': return "\\\"";
        case '\\': return "\\\\";
        case '\b': return "\\b";
        case '\t': return "\\t";
        case '\n': return "\\n";
        case '\f': return "\\f";
        case '\r': return "\\r";
        default: return {};
    }
}

void append_escape(unsigned char c, std::string& out) {
    char escape[kMaxJsonEscape];
    out.append(escape, write_json_escape(c, escape));
}

// Rewrites the exponent of shortest scientific text ("1.5e+20") without
// its "+" and leading zeros ("1.5e20").
void append_plain_exponent_form(std::string_view scientific, std::string& out) {
    std::size_t e = scientific.find('e');
    out += scientific.substr(0, e + 1);
    std::size_t digits = e + 1;
    if (scientific[digits] == '+') {
        ++digits;
    } else if (scientific[digits] == '-') {
        out += '-';
        ++digits;
    }
    while (digits + 1 < scientific.size() && scientific[digits] == '0') ++digits;
    out += scientific.substr(digits);
}

}  // namespace

std::size_t find_json_escape_byte(std::string_view text, std::size_t from) {
    return find_byte_below_or_of<0x20, '"', '\\'>(text, from);
}

char* copy_plain_json_text_long(std::string_view text, char* at) {
    const char* data = text.data();
    const std::size_t size = text.size();
#ifdef __SSE2__
    // Blocks of sixteen, each copied as it is checked; the last block ends
    // with the text and may overlap the one before.
    const __m128i last_control = _mm_set1_epi8(0x1F);
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const auto copy_block = [&](std::size_t pos) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + pos), block);
        const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(block, last_control), last_control);
        const __m128i marked =
            _mm_or_si128(control, _mm_or_si128(_mm_cmpeq_epi8(block, quote), _mm_cmpeq_epi8(block, backslash)));
        return _mm_movemask_epi8(marked) != 0;
    };
    for (std::size_t pos = 0; pos + 16 < size; pos += 16) {
        if (copy_block(pos)) return nullptr;
    }
    return copy_block(size - 16) ? nullptr : at + size;
#else
    if (find_json_escape_byte(text, 0) != size) return nullptr;
    return copy_text(text, at);
#endif
}

char* write_json_escape(unsigned char byte, char* at) {
    const std::string_view escape = short_escape(byte);
    if (!escape.empty()) return copy_text(escape, at);
    static constexpr char kHex[] = "0123456789abcdef";
    at = copy_text(text_piece("\\u00"), at);
    *at++ = kHex[byte >> 4];
    *at++ = kHex[byte & 0xF];
    return at;
}

void append_json_string(std::string_view text, std::string& out) {
    out += '"';
    for_each_json_escape_run(
        text, [&out](std::string_view run) { out += run; }, [&out](unsigned char byte) { append_escape(byte, out); });
    out += '"';
}

std::string quote_json_string(std::string_view text) {
    std::string out;
    append_json_string(text, out);
    return out;
}

std::string format_float_exponent_form(double number) {
    std::array<char, 64> buffer;
    auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number, std::chars_format::scientific).ptr;
    std::string out;
    append_plain_exponent_form(std::string_view(buffer.data(), end), out);
    return out;
}

std::string format_json_float(double number) {
    if (std::isnan(number)) return "NaN";
    if (std::isinf(number)) return number < 0 ? "-inf" : "inf";
    // Plain decimals of a binary64 never need more than about 330 bytes.
    std::array<char, 512> buffer;
    bool integral = number == std::trunc(number);
    if (integral && std::fabs(number) >= 1e16) return format_float_exponent_form(number);
    auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number, std::chars_format::fixed).ptr;
    std::string out(buffer.data(), end);
    if (integral) out += ".0";
    return out;
}

}  // namespace bezo
