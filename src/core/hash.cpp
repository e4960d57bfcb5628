#include "core/hash.hpp"

#include <cstdint>
#include <cstring>
#include <random>

namespace bezo {
namespace {

struct SipKey {
    std::uint64_t k0;
    std::uint64_t k1;
};

SipKey draw_thread_key() {
    std::random_device source;
    auto word = [&source] { return (std::uint64_t{source()} << 32) | source(); };
    return {word(), word()};
}

constexpr std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    void round() {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }

    void absorb(std::uint64_t m) {
        v3 ^= m;
        round();
        v0 ^= m;
    }
};

std::uint64_t load_le64(const unsigned char* p) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

// SipHash with one compression and three finalisation rounds.
std::uint64_t siphash13(const SipKey& key, std::string_view text) {
    SipState s{key.k0 ^ 0x736f6d6570736575ull, key.k1 ^ 0x646f72616e646f6dull, key.k0 ^ 0x6c7967656e657261ull,
               key.k1 ^ 0x7465646279746573ull};
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t full = text.size() / 8 * 8;
    for (std::size_t i = 0; i < full; i += 8) s.absorb(load_le64(bytes + i));
    std::uint64_t last = std::uint64_t{text.size() & 0xff} << 56;
    for (std::size_t i = full; i < text.size(); ++i) last |= std::uint64_t{bytes[i]} << (8 * (i - full));
    s.absorb(last);
    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace

std::size_t KeyedTextHash::operator()(std::string_view text) const noexcept {
    thread_local const SipKey key = draw_thread_key();
    return static_cast<std::size_t>(siphash13(key, text));
}

}  // namespace bezo
