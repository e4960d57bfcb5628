// Character classes and small text helpers that the XML reader, the
// element mapping and the XML writer share.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/hash.hpp"

namespace bezo {

// The white space of the XML grammar: space, TAB, LF and CR.
constexpr bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The characters XML 1.0 allows besides TAB, LF and CR: the ranges 20-D7FF,
// E000-FFFD and 10000-10FFFF.
constexpr bool is_xml_char_beyond_controls(char32_t c) {
    return (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// "U+" and the code point in upper-case hexadecimal, at least four digits.
std::string code_point_label(char32_t c);

// Whether a character has the Unicode White_Space property.
bool is_unicode_white_space(char32_t c);

// The text without Unicode white space at its start, or at both ends.
std::string_view trim_leading_unicode_white_space(std::string_view text);
std::string_view trim_unicode_white_space(std::string_view text);

// Whether the text holds a character that is not Unicode white space.
bool has_non_white_space(std::string_view text);

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
    struct Slot {
        std::size_t position_plus_one = 0;  // 0 for an empty slot
        std::size_t hash = 0;
    };

    // Where `hash` is or would go: the slot holding `name`, or the first empty one.
    Slot& probe(std::string_view name, std::size_t hash);
    void rehash(std::size_t slot_count);

    std::vector<std::string_view> names_;
    std::vector<Slot> slots_;  // empty while the names are scanned; else a power of two
};

}  // namespace bezo
