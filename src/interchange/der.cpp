#include "interchange/der.hpp"

namespace bezo {
namespace {

void append_length(std::size_t length, std::vector<std::uint8_t>& out) {
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
        return;
    }
    std::size_t count = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8) ++count;
    out.push_back(static_cast<std::uint8_t>(0x80 + count));
    while (count-- > 0) out.push_back(static_cast<std::uint8_t>(length >> (8 * count)));
}

}  // namespace

void append_base128(UInt128 value, std::vector<std::uint8_t>& out) {
    std::uint8_t groups[19];
    std::size_t count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(groups[--count] | 0x80);
    out.push_back(groups[0]);
}

void write_der_header(DerClass tag_class, bool constructed, std::uint32_t number, std::span<const std::uint8_t> content,
                      std::vector<std::uint8_t>& out) {
    const auto leading = static_cast<std::uint8_t>(static_cast<unsigned>(tag_class) << 6 | (constructed ? 0x20 : 0));
    if (number < 31) {
        out.push_back(leading | static_cast<std::uint8_t>(number));
    } else {
        out.push_back(leading | 31);
        append_base128(number, out);
    }
    append_length(content.size(), out);
    out.insert(out.end(), content.begin(), content.end());
}

}  // namespace bezo
