// Searching a short piece of a larger buffer for a few bytes. A reader that
// walks a long text line by line searches many pieces of a few dozen bytes;
// the generic search takes the last bytes of a short piece one at a time.
// When the buffer goes on past the piece, sixteen bytes can be read at once
// however short the piece, and the bytes past its end are ignored.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <string_view>

#include "core/text.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace bezo {

#ifdef __SSE2__
// The sixteen bytes at `at`, each all ones where it is one of `bytes` and
// zero elsewhere.
template <char... bytes>
__m128i marks_of_bytes(const char* at) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i marks = _mm_setzero_si128();
    ((marks = _mm_or_si128(marks, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(bytes)))), ...);
    return marks;
}
#endif

// The position of the first of `bytes` in `piece` at or after `from`, or the
// piece's size. Every byte from the piece's start up to `readable_end` may
// be read: it belongs to the same buffer.
template <char... bytes>
std::size_t find_first_of_bytes_before(std::string_view piece, std::size_t from, const char* readable_end) {
    std::size_t pos = from;
#ifdef __SSE2__
    const char* data = piece.data();
    const auto readable = static_cast<std::size_t>(readable_end - data);
    for (; pos < piece.size() && pos + 16 <= readable; pos += 16) {
        if (const auto marked = static_cast<unsigned>(_mm_movemask_epi8(marks_of_bytes<bytes...>(data + pos)))) {
            return std::min(pos + static_cast<std::size_t>(std::countr_zero(marked)), piece.size());
        }
    }
    if (pos >= piece.size()) return piece.size();
#endif
    return find_first_of_bytes<bytes...>(piece, pos);
}

// The position of the first of `bytes` in `text` at or after `from`, or the
// text's size: for bytes that a long text seldom holds, which are sought
// sixty-four bytes at a time.
template <char... bytes>
std::size_t find_rare_bytes(std::string_view text, std::size_t from = 0) {
    std::size_t pos = from;
#ifdef __SSE2__
    const char* data = text.data();
    for (; pos + 64 <= text.size(); pos += 64) {
        const __m128i marks = _mm_or_si128(
            _mm_or_si128(marks_of_bytes<bytes...>(data + pos), marks_of_bytes<bytes...>(data + pos + 16)),
            _mm_or_si128(marks_of_bytes<bytes...>(data + pos + 32), marks_of_bytes<bytes...>(data + pos + 48)));
        // The search below finds it within the block that holds one.
        if (_mm_movemask_epi8(marks) != 0) break;
    }
#endif
    return find_first_of_bytes<bytes...>(text, pos);
}

}  // namespace bezo
