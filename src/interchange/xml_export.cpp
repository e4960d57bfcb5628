#include "interchange/xml_export.hpp"

#include "core/text.hpp"
#include "interchange/canonical_reader.hpp"
#include "interchange/xml_writer.hpp"

namespace bezo {
namespace {

// How many bytes of the text are "&", "<", ">" or a double quote, the bytes
// that XML text and attribute values spell as references.
std::size_t count_markup_bytes(std::string_view text) {
    std::size_t count = 0;
    std::size_t pos = 0;
#ifdef __SSE2__
    // Each found byte takes one from its lane of `lanes` (0xFF is -1),
    // which are summed before any can wrap.
    constexpr std::size_t kChunksPerSum = 255;
    while (pos + 16 <= text.size()) {
        __m128i lanes = _mm_setzero_si128();
        for (std::size_t chunks = 0; chunks < kChunksPerSum && pos + 16 <= text.size(); ++chunks, pos += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
            __m128i found = _mm_cmpeq_epi8(chunk, _mm_set1_epi8('&'));
            found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8('<')));
            found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8('>')));
            found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8('"')));
            lanes = _mm_sub_epi8(lanes, found);
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        count += c == '&' || c == '<' || c == '>' || c == '"' ? 1 : 0;
    }
    return count;
}

}  // namespace

Result<std::string> export_xml(std::string_view canonical_text) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    // Elements spell their names twice and their depth in blanks where
    // canonical lines spell the whole path and the type: documents come out
    // at about the size of their text, rarely much more, but for the
    // references of markup bytes (at most six bytes for one). Room for them
    // all spares text full of them a copy at each doubling of the buffer;
    // pages of the reserve that are not written are never touched.
    const std::size_t size = canonical_text.size();
    return write_xml_document(*tree, size + size / 8 + 5 * count_markup_bytes(canonical_text) + 64);
}

}  // namespace bezo
