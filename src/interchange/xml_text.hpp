// Character classes and small text helpers that the XML reader, the
// element mapping and the XML writer share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"

namespace bezo {

// The white space of the XML grammar: space, TAB, LF and CR.
constexpr bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The characters XML 1.0 allows besides TAB, LF and CR: the ranges 20-D7FF,
// E000-FFFD and 10000-10FFFF.
constexpr bool is_xml_char_beyond_controls(char32_t c) {
    return (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Whether all eight bytes of a word are printable ASCII other than the
// markup characters "&", "<", ">" and the double quote.
constexpr bool is_plain_xml_word(std::uint64_t word) {
    return (word_has_non_ascii(word) | word_has_byte_below(word, 0x20) | word_has_byte(word, '&') |
            word_has_byte(word, '<') | word_has_byte(word, '>') | word_has_byte(word, '"')) == 0;
}

// The last bytes of `text` from `pos`, fewer than eight, in a word padded
// with spaces, which is_plain_xml_word accepts. The word is built in a
// register: written to memory byte by byte and read back whole, it would
// wait for the stores.
inline std::uint64_t load_padded_tail(std::string_view text, std::size_t pos) {
    std::uint64_t word = 0x2020202020202020;
    for (std::size_t i = 0; pos + i < text.size(); ++i) {
        const unsigned shift = 8 * static_cast<unsigned>(i);
        word = (word & ~(std::uint64_t{0xFF} << shift)) |
               (std::uint64_t{static_cast<unsigned char>(text[pos + i])} << shift);
    }
    return word;
}

// Copies UTF-8 `text` onto `out` in runs: bytes that `is_plain` accepts and
// characters above U+007F that XML allows are copied as they stand. At any
// other ASCII byte, `replace(pos, out)` appends what stands for it and gives
// the position behind it, or an error; a character above U+007F that XML
// does not allow fails with the error `refuse(c)`. Runs of words that
// is_plain_xml_word accepts are passed over whole, so `is_plain` must
// accept every byte such a word holds; a tail shorter than a word is
// checked in one word padded with spaces.
template <class IsPlain, class Replace, class Refuse>
Result<void> rewrite_xml_text(std::string_view text, std::string& out, IsPlain is_plain, Replace replace,
                              Refuse refuse) {
    std::size_t run = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos + 8 <= text.size() && is_plain_xml_word(load_word(text.data() + pos))) pos += 8;
        if (pos + 8 > text.size() && is_plain_xml_word(load_padded_tail(text, pos))) pos = text.size();
        if (pos == text.size()) break;
        auto byte = static_cast<unsigned char>(text[pos]);
        if (is_plain(byte)) {
            ++pos;
            continue;
        }
        if (byte >= 0x80) {
            auto decoded = utf8_next(text, pos);
            if (!decoded) return fail("text is not valid UTF-8");
            if (!is_xml_char_beyond_controls(*decoded)) return std::unexpected(refuse(*decoded));
            continue;
        }
        out.append(text, run, pos - run);
        Result<std::size_t> next = replace(pos, out);
        if (!next) return forward_error(next);
        pos = run = *next;
    }
    out.append(text, run, pos - run);
    return {};
}

#ifdef __SSE2__
// The bytes of a chunk that markup or a character reference may stand for:
// "&", "<", ">", bytes below 0x20, and `quote` (a double quote in attribute
// values, else "&" again), one bit each in text order.
inline unsigned xml_markup_bytes(__m128i chunk, __m128i quote) {
    const __m128i last_control = _mm_set1_epi8(0x1F);
    __m128i found = _mm_cmpeq_epi8(_mm_max_epu8(chunk, last_control), last_control);
    found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8('&')));
    found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8('<')));
    found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8('>')));
    found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, quote));
    return static_cast<unsigned>(_mm_movemask_epi8(found));
}

// Checks a text sixteen bytes at a time: well-formed UTF-8 (no overlong
// form, surrogate, value above U+10FFFF or cut sequence) of characters XML
// allows, that is without U+FFFE and U+FFFF. Each byte class is a mask with
// one bit per byte; a sequence that runs into the next chunk is checked
// there against the masks of the one before, kept in the low sixteen bits.
// A text must end with a chunk of ASCII bytes (a padded tail) for a cut
// sequence at its end to be seen.
class XmlUtf8Check {
public:
    // Whether the chunk goes on from the ones before as such a text.
    [[gnu::always_inline]] bool accepts(__m128i chunk) {
        const auto high = static_cast<std::uint32_t>(_mm_movemask_epi8(chunk));
        if (high == 0 && at_sequence_end()) {
            // Every class is empty when no byte of the last chunk was high.
            if (before_.high != 0) forget();
            return true;
        }
        return accepts_non_ascii(chunk, high);
    }

    // Whether no sequence of the chunks so far may run on into the next:
    // their last three bytes are ASCII.
    bool at_sequence_end() const { return (before_.high >> 13) == 0; }

private:
    // After a chunk whose last bytes are ASCII, nothing of it bears on the
    // next.
    void forget() {
        before_.high = before_.leads = before_.leads3 = before_.leads4 = before_.narrowing = 0;
        before_.e0 = before_.ed = before_.ef = before_.f0 = before_.f4 = before_.bf = 0;
    }

    struct Classes {
        std::uint32_t high = 0;       // bytes from 0x80
        std::uint32_t leads = 0;      // from 0xC2: one continuation byte follows
        std::uint32_t leads3 = 0;     // from 0xE0: a second one
        std::uint32_t leads4 = 0;     // from 0xF0: a third one
        std::uint32_t narrowing = 0;  // E0, ED, EF and the leads4, after which not every continuation may follow
        std::uint32_t e0 = 0, ed = 0, ef = 0, f0 = 0, f4 = 0, bf = 0;  // each of them, and BF, when there are some
    };

    static std::uint32_t mask(__m128i found) { return static_cast<std::uint32_t>(_mm_movemask_epi8(found)); }
    static __m128i equal(__m128i chunk, unsigned char byte) {
        return _mm_cmpeq_epi8(chunk, _mm_set1_epi8(static_cast<char>(byte)));
    }
    static std::uint32_t at_least(__m128i chunk, unsigned char bound) {
        const __m128i low = _mm_set1_epi8(static_cast<char>(bound));
        return mask(_mm_cmpeq_epi8(_mm_max_epu8(chunk, low), chunk));
    }
    // The bits of this chunk, `shift` bytes on from the bytes of `before`
    // and `now`.
    static std::uint32_t shifted(std::uint32_t before, std::uint32_t now, unsigned shift) {
        return (((now << 16) | before) << shift) >> 16 & 0xFFFF;
    }

    [[gnu::always_inline]] bool accepts_non_ascii(__m128i chunk, std::uint32_t high) {
        // Signed, the continuation bytes 0x80-0xBF are the ones below 0xC0.
        const std::uint32_t continuation = mask(_mm_cmplt_epi8(chunk, _mm_set1_epi8(static_cast<char>(0xC0))));
        const std::uint32_t leads = at_least(chunk, 0xC2);
        const std::uint32_t leads3 = at_least(chunk, 0xE0);
        const std::uint32_t leads4 = at_least(chunk, 0xF0);
        // 0xC0, 0xC1 and 0xF5 up begin no sequence.
        const std::uint32_t stray = (high & ~continuation & ~leads) | at_least(chunk, 0xF5);
        const std::uint32_t needed =
            shifted(before_.leads, leads, 1) | shifted(before_.leads3, leads3, 2) | shifted(before_.leads4, leads4, 3);
        if (stray != 0 || needed != continuation) return false;
        std::uint32_t narrowing = 0;
        if (leads3 != 0) {
            const __m128i three =
                _mm_or_si128(equal(chunk, 0xE0), _mm_or_si128(equal(chunk, 0xED), equal(chunk, 0xEF)));
            narrowing = mask(three) | leads4;
        }
        if ((narrowing | before_.narrowing) != 0) {
            if (!accepts_after_narrowing(chunk, continuation)) return false;
        } else {
            before_.e0 = before_.ed = before_.ef = before_.f0 = before_.f4 = before_.bf = 0;
        }
        // Field by field: a copy of the whole record would read back in
        // wide loads what was just stored in narrow ones, and wait for it.
        before_.high = high;
        before_.leads = leads;
        before_.leads3 = leads3;
        before_.leads4 = leads4;
        before_.narrowing = narrowing;
        return true;
    }

    // Overlong forms after E0 and F0, surrogates after ED, beyond U+10FFFF
    // after F4, and EF BF BE or EF BF BF are refused. Keeps where each of
    // these bytes stands for the next chunk.
    bool accepts_after_narrowing(__m128i chunk, std::uint32_t continuation) {
        const std::uint32_t e0 = mask(equal(chunk, 0xE0)), ed = mask(equal(chunk, 0xED)), ef = mask(equal(chunk, 0xEF));
        const std::uint32_t f0 = mask(equal(chunk, 0xF0)), f4 = mask(equal(chunk, 0xF4)), bf = mask(equal(chunk, 0xBF));
        const std::uint32_t from_90 = at_least(chunk, 0x90) & continuation;
        const std::uint32_t from_a0 = at_least(chunk, 0xA0) & continuation;
        const std::uint32_t from_be = at_least(chunk, 0xBE) & continuation;
        const std::uint32_t refused =
            (shifted(before_.e0, e0, 1) & ~from_a0 & continuation) | (shifted(before_.ed, ed, 1) & from_a0) |
            (shifted(before_.f0, f0, 1) & ~from_90 & continuation) | (shifted(before_.f4, f4, 1) & from_90) |
            (shifted(before_.ef, ef, 2) & shifted(before_.bf, bf, 1) & from_be);
        before_.e0 = e0, before_.ed = ed, before_.ef = ef, before_.f0 = f0, before_.f4 = f4, before_.bf = bf;
        return refused == 0;
    }

    Classes before_;
};
#endif

// "U+" and the code point in upper-case hexadecimal, at least four digits.
std::string code_point_label(char32_t c);

// Remembers names in the order they were added and finds the position of
// one in constant time on average: a short list is scanned, a long one is
// hashed into an open-addressing table, so wide elements cost linear time.
// The names are views and must outlive the index.
class XmlNameIndex {
public:
    // The position of `name` when it was added before; otherwise adds it as
    // the next position and gives none.
    std::optional<std::size_t> find_or_add(std::string_view name);

private:
    // Slots are small so that the table of a wide element stays in cache:
    // 32 bits of the name's hash pick the slot and screen comparisons.
    struct Slot {
        std::uint32_t position_plus_one = 0;  // 0 for an empty slot
        std::uint32_t hash = 0;
    };

    // The slot holding `name`, or the empty one where it would go.
    Slot& probe(std::string_view name, std::uint32_t hash);
    void rehash(std::size_t slot_count);

    std::vector<std::string_view> names_;
    std::vector<Slot> slots_;  // empty while the names are scanned; else a power of two
};

}  // namespace bezo
