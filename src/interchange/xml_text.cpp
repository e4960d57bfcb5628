#include "interchange/xml_text.hpp"

#include <unicode/uchar.h>

#include "core/fault.hpp"
#include "core/utf8.hpp"

namespace bezo {
namespace {

// Lists up to this long are scanned; longer ones are hashed.
constexpr std::size_t kScannedNames = 16;

bool is_ascii_white_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The length of the white-space character that starts at `pos`, or 0.
std::size_t white_space_at(std::string_view text, std::size_t pos) {
    auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) return is_ascii_white_space(byte) ? 1 : 0;
    std::size_t next = pos;
    auto decoded = utf8_next(text, next);
    return decoded && is_unicode_white_space(*decoded) ? next - pos : 0;
}

// The start of the character that ends just before `end`.
std::size_t previous_char_start(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    return start;
}

}  // namespace

std::string code_point_label(char32_t c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (char32_t rest = c; rest != 0 || digits.size() < 4; rest >>= 4) digits.insert(digits.begin(), kHex[rest & 0xF]);
    return "U+" + digits;
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

std::optional<std::size_t> XmlNameIndex::find_or_add(std::string_view name) {
    if (slots_.empty()) {
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == name) return i;
        }
        names_.push_back(name);
        if (names_.size() > kScannedNames) rehash(4 * kScannedNames);
        return std::nullopt;
    }
    const auto hash = static_cast<std::uint32_t>(KeyedTextHash{}(name));
    Slot& slot = probe(name, hash);
    if (slot.position_plus_one != 0) return slot.position_plus_one - 1;
    // More names than 32 bits count would take far more memory than a
    // process can have: their elements alone are larger.
    if (names_.size() >= UINT32_MAX) raise_fault("XmlNameIndex holds more than 2^32 names");
    names_.push_back(name);
    slot = Slot{static_cast<std::uint32_t>(names_.size()), hash};
    if (2 * names_.size() > slots_.size()) rehash(2 * slots_.size());
    return std::nullopt;
}

XmlNameIndex::Slot& XmlNameIndex::probe(std::string_view name, std::uint32_t hash) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot& slot = slots_[at];
        if (slot.position_plus_one == 0) return slot;
        if (slot.hash == hash && names_[slot.position_plus_one - 1] == name) return slot;
    }
}

void XmlNameIndex::rehash(std::size_t slot_count) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(slot_count, Slot{});
    if (old.empty()) {
        for (std::size_t i = 0; i < names_.size(); ++i) {
            const auto hash = static_cast<std::uint32_t>(KeyedTextHash{}(names_[i]));
            probe(names_[i], hash) = Slot{static_cast<std::uint32_t>(i + 1), hash};
        }
        return;
    }
    for (const Slot& slot : old) {
        if (slot.position_plus_one != 0) probe(names_[slot.position_plus_one - 1], slot.hash) = slot;
    }
}

}  // namespace bezo
