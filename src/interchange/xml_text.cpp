#include "interchange/xml_text.hpp"

#include "core/fault.hpp"

namespace bezo {
namespace {

// Lists up to this long are scanned; longer ones are hashed.
constexpr std::size_t kScannedNames = 16;

}  // namespace

std::string code_point_label(char32_t c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (char32_t rest = c; rest != 0 || digits.size() < 4; rest >>= 4) digits.insert(digits.begin(), kHex[rest & 0xF]);
    return "U+" + digits;
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
