// A canonical document as one CBOR data item (RFC 8949): definite lengths,
// shortest heads, integers as integers (bignums beyond 64 bits) and other
// numbers as the shortest float that holds them exactly.
#pragma once

#include <array>
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
    // The most bytes append_short copies.
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

// Appends the head of major type `major` (0..7) with the shortest form of
// `argument`.
void cbor_write_head(std::uint8_t major, std::uint64_t argument, CborBytes& out);

// Appends a number: an integer as an integer or bignum, any other number
// as the shortest float that holds it exactly.
Result<void> encode_cbor_number(std::string_view text, CborBytes& out);

// The body of export_to("cbor", ...).
Result<CborBytes> export_cbor(std::string_view canonical_text);

}  // namespace bezo
