// A canonical document as one CBOR data item (RFC 8949): definite lengths,
// shortest heads, integers as integers (bignums beyond 64 bits) and other
// numbers as the shortest float that holds them exactly.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// The root is at depth 0; members and items are one deeper than their holder.
inline constexpr unsigned kMaxCborDepth = 512;

// The bytes of an encoding as they are written: a buffer that doubles when
// it is full and whose room past the bytes written is not filled first, so
// that pages a large reserve does not reach are never touched.
class CborBytes {
public:
    // The most bytes append_short copies, and the longest head.
    static constexpr std::size_t kShortMost = 9;

    explicit CborBytes(std::size_t capacity);

    void push_back(std::uint8_t byte) {
        make_room(1);
        data_[size_++] = static_cast<char>(byte);
    }
    void append(std::string_view bytes) {
        make_room(bytes.size());
        if (!bytes.empty()) std::memcpy(data_.get() + size_, bytes.data(), bytes.size());
        size_ += bytes.size();
    }
    // Appends the first `size` bytes of `bytes`, all of which are copied in
    // one move of fixed size.
    void append_short(const std::array<char, kShortMost>& bytes, std::size_t size) {
        make_room(kShortMost);
        std::memcpy(data_.get() + size_, bytes.data(), kShortMost);
        size_ += size;
    }

    // Where the next `count` bytes go; the caller writes at most that many
    // and hands the end of what it wrote to `written_to`.
    char* room_for(std::size_t count) {
        make_room(count);
        return data_.get() + size_;
    }
    void written_to(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

    std::string_view view() const { return {data_.get(), size_}; }

private:
    void make_room(std::size_t count) {
        if (capacity_ - size_ < count) grow(count);
    }
    void grow(std::size_t count);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_;
};

// Writes the head of major type `major` (0..7) with the shortest form of
// `argument` at `at`, which has room for CborBytes::kShortMost bytes, and
// gives the end of the head.
inline char* put_cbor_head(char* at, std::uint8_t major, std::uint64_t argument) {
    const auto initial = static_cast<char>(major << 5);
    if (argument < 24) {
        *at = static_cast<char>(initial | static_cast<char>(argument));
        return at + 1;
    }
    const auto put = [&](char size_code, auto value) {
        at[0] = static_cast<char>(initial | size_code);
        const auto big_endian = std::byteswap(value);
        std::memcpy(at + 1, &big_endian, sizeof big_endian);
        return at + 1 + sizeof big_endian;
    };
    if (argument <= 0xFF) return put(24, static_cast<std::uint8_t>(argument));
    if (argument <= 0xFFFF) return put(25, static_cast<std::uint16_t>(argument));
    if (argument <= 0xFFFFFFFF) return put(26, static_cast<std::uint32_t>(argument));
    return put(27, argument);
}

// Appends the head of major type `major` (0..7) with the shortest form of
// `argument`.
inline void cbor_write_head(std::uint8_t major, std::uint64_t argument, CborBytes& out) {
    out.written_to(put_cbor_head(out.room_for(CborBytes::kShortMost), major, argument));
}

// Appends a number: an integer as an integer or bignum, any other number
// as the shortest float that holds it exactly.
Result<void> encode_cbor_number(std::string_view text, CborBytes& out);

// The body of export_to("cbor", ...).
Result<CborBytes> export_cbor(std::string_view canonical_text);

}  // namespace bezo
