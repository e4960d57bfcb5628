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
