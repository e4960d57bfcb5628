// Small locale-independent text helpers shared by every subsystem: ASCII
// character tests, blank trimming, digit runs, decimal text, and scanning a
// text eight bytes at a time for the few bytes a reader stops at.
#pragma once

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace bezo {

constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_ascii_upper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_ascii_lower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool is_ascii_letter(char c) { return is_ascii_upper(c) || is_ascii_lower(c); }
constexpr bool is_blank_or_tab(char c) { return c == ' ' || c == '\t'; }
constexpr char to_ascii_lower(char c) { return is_ascii_upper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

// The ASCII white space that separates the words of a declaration or
// directive line: blank, tab, line feed, form feed and carriage return.
inline constexpr std::string_view kAsciiWhitespace = " \t\n\f\r";

// The pieces joined into one text.
inline std::string concat(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (const std::string_view piece : pieces) out.append(piece);
    return out;
}

// ASCII case-insensitive equality.
constexpr bool ascii_iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return to_ascii_lower(x) == to_ascii_lower(y); });
}

// The value of an ASCII hexadecimal digit of either case; -1 for any other
// character.
constexpr int hex_digit_value(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
    return -1;
}

// Non-empty and made only of ASCII digits.
constexpr bool is_ascii_digits(std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, is_ascii_digit);
}

// Non-empty and made only of ASCII letters.
constexpr bool is_ascii_letters(std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, is_ascii_letter);
}

// A plain identifier: an ASCII letter or "_", then ASCII letters, digits or
// "_". This is the name form of path segments and column names.
constexpr bool is_plain_identifier(std::string_view text) {
    if (text.empty() || !(is_ascii_letter(text.front()) || text.front() == '_')) return false;
    return std::ranges::all_of(text.substr(1),
                               [](char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '_'; });
}

// The text without its leading blanks and tabs.
constexpr std::string_view trim_leading_blanks(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && is_blank_or_tab(text[start])) ++start;
    return text.substr(start);
}

// The text without its trailing blanks and tabs.
constexpr std::string_view trim_trailing_blanks(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && is_blank_or_tab(text[end - 1])) --end;
    return text.substr(0, end);
}

// The text without blanks and tabs at either end.
constexpr std::string_view trim_blanks(std::string_view text) {
    return trim_trailing_blanks(trim_leading_blanks(text));
}

// A view of an optional text; none when it is absent.
inline std::optional<std::string_view> optional_view(const std::optional<std::string>& text) {
    return text ? std::optional<std::string_view>(*text) : std::nullopt;
}

// A line split before its trailing run of CR and LF characters.
struct LineEnding {
    std::string_view body;
    std::string_view ending;  // the run, possibly empty
};

constexpr LineEnding split_line_ending(std::string_view line) {
    std::size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r')) --end;
    return {line.substr(0, end), line.substr(end)};
}

// The pieces of the text between occurrences of the separator, empty ones
// included; the piece after the last separator is always there, so the
// empty text gives one empty piece.
inline std::vector<std::string_view> split_at(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (auto found = text.find(separator); found != std::string_view::npos; found = text.find(separator)) {
        pieces.push_back(text.substr(0, found));
        text.remove_prefix(found + 1);
    }
    pieces.push_back(text);
    return pieces;
}

// The non-empty runs of the text between bytes of `separators`.
inline std::vector<std::string_view> split_words(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> words;
    for (auto start = text.find_first_not_of(separators); start != std::string_view::npos;
         start = text.find_first_not_of(separators, start)) {
        const auto end = std::min(text.find_first_of(separators, start), text.size());
        words.push_back(text.substr(start, end - start));
        start = end;
    }
    return words;
}

// The value of one or more ASCII digits (no sign); none when the text holds
// anything else or the value does not fit 64 bits.
inline std::optional<std::uint64_t> parse_ascii_unsigned(std::string_view digits) {
    if (!is_ascii_digits(digits)) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// Whether a leading "+" may stand where "-" may.
enum class PlusSign : bool { Refused, Accepted };

// An optional sign and one or more ASCII digits whose value fits a signed
// 64-bit integer (down to -9223372036854775808); none for anything else.
inline std::optional<std::int64_t> parse_decimal_i64(std::string_view text, PlusSign plus) {
    const bool negative = text.starts_with('-');
    if (negative || (plus == PlusSign::Accepted && text.starts_with('+'))) text.remove_prefix(1);
    const auto magnitude = parse_ascii_unsigned(text);
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!magnitude || *magnitude > kMax + (negative ? 1 : 0)) return std::nullopt;
    // Negating in unsigned arithmetic reaches the minimum without overflow.
    return static_cast<std::int64_t>(negative ? 0 - *magnitude : *magnitude);
}

// Appends the decimal text of an integer.
template <class Integer>
void append_decimal(Integer number, std::string& out) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(digits, end);
}

// Appends the decimal text of an integer with zeros before it, up to
// `width` characters in all.
template <class Integer>
void append_zero_padded(Integer number, std::size_t width, std::string& out) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(width - std::min(width, static_cast<std::size_t>(end - digits)), '0');
    out.append(digits, end);
}

// The decimal text of an integer, e.g. for messages and paths.
template <class Integer>
std::string decimal_text(Integer number) {
    std::string out;
    append_decimal(number, out);
    return out;
}

// Appends "\u{", the hexadecimal digits of a code point (lower case, no
// leading zeros) and "}": the escape that diagnostic and authored texts use.
inline void append_code_point_escape(char32_t code_point, std::string& out) {
    char digits[8];
    std::size_t count = 0;
    do {
        digits[count++] = "0123456789abcdef"[code_point & 0xF];
        code_point >>= 4;
    } while (code_point != 0);
    out += "\\u{";
    while (count > 0) out += digits[--count];
    out += '}';
}

// ---- Scanning eight bytes at a time ----
//
// Long texts are mostly runs of bytes that a reader passes over. These tests
// look at one 64-bit word of the text at once and mark a byte by setting its
// high bit. Each is exact for the least significant byte it marks: nonzero
// when, and only when, some byte has the property, and the lowest marked byte
// has it (a borrow may mark bytes above it).

constexpr std::uint64_t repeated_byte(unsigned char byte) { return 0x0101010101010101ull * byte; }

// Some byte of the word is below `bound`, which is at most 0x80.
constexpr std::uint64_t word_has_byte_below(std::uint64_t word, unsigned char bound) {
    return (word - repeated_byte(bound)) & ~word & repeated_byte(0x80);
}

// Some byte of the word equals `byte`.
constexpr std::uint64_t word_has_byte(std::uint64_t word, unsigned char byte) {
    return word_has_byte_below(word ^ repeated_byte(byte), 1);
}

// Some byte of the word is not ASCII.
constexpr std::uint64_t word_has_non_ascii(std::uint64_t word) { return word & repeated_byte(0x80); }

inline std::uint64_t load_word(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// A word whose least significant byte is the first in memory, so that the
// lowest byte a test marks is the first in the text.
inline std::uint64_t load_word_in_text_order(const char* bytes) {
    const std::uint64_t word = load_word(bytes);
    if constexpr (std::endian::native == std::endian::big) return std::byteswap(word);
    return word;
}

// The position of the first byte at or after `from` for which `stops` holds,
// or the text's size. `word_stops` marks the bytes of a word of eight that
// stop, as the tests above do: the first marked byte is the first that
// stops, so a word is passed over whole or left at that byte at once.
template <class WordTest, class ByteTest>
std::size_t scan_to(std::string_view text, std::size_t from, WordTest word_stops, ByteTest stops) {
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t pos = from;
    for (; pos + 8 <= size; pos += 8) {
        if (const std::uint64_t marked = word_stops(load_word_in_text_order(data + pos))) {
            return pos + static_cast<std::size_t>(std::countr_zero(marked)) / 8;
        }
    }
    for (; pos < size; ++pos) {
        if (stops(data[pos])) return pos;
    }
    return size;
}

// How many bytes of the text equal `byte`.
inline std::size_t count_byte(std::string_view text, char byte) {
    constexpr std::uint64_t kLow7 = repeated_byte(0x7F);
    const std::uint64_t pattern = repeated_byte(static_cast<unsigned char>(byte));
    std::size_t count = 0;
    std::size_t pos = 0;
    for (; pos + 8 <= text.size(); pos += 8) {
        const std::uint64_t word = load_word(text.data() + pos) ^ pattern;
        // The high bit of each zero byte, and of no other byte; moved to the
        // low bit and summed into the top byte by the multiplication.
        const std::uint64_t zero_bytes = ~(((word & kLow7) + kLow7) | word | kLow7);
        count += static_cast<std::size_t>(((zero_bytes >> 7) * repeated_byte(1)) >> 56);
    }
    for (; pos < text.size(); ++pos) count += text[pos] == byte ? 1 : 0;
    return count;
}

// The length of the longest common start of two texts.
inline std::size_t common_prefix_length(std::string_view a, std::string_view b) {
    const std::size_t size = std::min(a.size(), b.size());
    std::size_t pos = 0;
    for (; pos + 8 <= size; pos += 8) {
        if (const std::uint64_t differ = load_word(a.data() + pos) ^ load_word(b.data() + pos)) {
            // The first differing byte is the lowest one in memory order.
            const int bits =
                std::endian::native == std::endian::little ? std::countr_zero(differ) : std::countl_zero(differ);
            return pos + static_cast<std::size_t>(bits) / 8;
        }
    }
    while (pos < size && a[pos] == b[pos]) ++pos;
    return pos;
}

// The position of the first byte at or after `from` that is below `below`
// (0: none is) or is one of `bytes`, or the text's size. Sixteen bytes are
// compared at once where SSE2 is there (every x86-64), the last few of a
// text of sixteen or more in the sixteen that end it; eight at a time
// elsewhere and in shorter texts.
template <unsigned char below, char... bytes>
std::size_t find_byte_below_or_of(std::string_view text, std::size_t from = 0) {
    std::size_t pos = from;
#ifdef __SSE2__
    const char* data = text.data();
    // One bit per byte of the sixteen at `at`, set for each byte sought.
    const auto marks = [data](std::size_t at) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        __m128i found = _mm_setzero_si128();
        if constexpr (below > 0) {
            // Unsigned: the byte is below `below` when the larger of it and
            // below - 1 is below - 1.
            const __m128i last_below = _mm_set1_epi8(static_cast<char>(below - 1));
            found = _mm_cmpeq_epi8(_mm_max_epu8(chunk, last_below), last_below);
        }
        ((found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(bytes)))), ...);
        return static_cast<unsigned>(_mm_movemask_epi8(found));
    };
    for (; pos + 16 <= text.size(); pos += 16) {
        if (const unsigned marked = marks(pos)) return pos + static_cast<std::size_t>(std::countr_zero(marked));
    }
    if (pos < text.size() && text.size() >= 16) {
        // The bytes before `pos` in the last sixteen are not looked at again.
        const std::size_t last = text.size() - 16;
        const unsigned marked = marks(last) >> (pos - last);
        return marked != 0 ? pos + static_cast<std::size_t>(std::countr_zero(marked)) : text.size();
    }
#endif
    return scan_to(
        text, pos,
        [](std::uint64_t word) {
            std::uint64_t marked = 0;
            if constexpr (below > 0) marked = word_has_byte_below(word, below);
            return (marked | ... | word_has_byte(word, static_cast<unsigned char>(bytes)));
        },
        [](char c) { return static_cast<unsigned char>(c) < below || ((c == bytes) || ...); });
}

// The position of the first `first` at or after `from` that `second`
// follows, or the text's size: find for a two-byte text, which a search
// for its first byte alone would stop at far more often (".!" in a text
// whose every line starts with "!", say).
inline std::size_t find_byte_pair(std::string_view text, std::size_t from, char first, char second) {
    std::size_t pos = from;
#ifdef __SSE2__
    const char* data = text.data();
    const __m128i firsts = _mm_set1_epi8(first);
    const __m128i seconds = _mm_set1_epi8(second);
    for (; pos + 17 <= text.size(); pos += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 1));
        const __m128i found = _mm_and_si128(_mm_cmpeq_epi8(here, firsts), _mm_cmpeq_epi8(next, seconds));
        if (const int marked = _mm_movemask_epi8(found)) {
            return pos + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(marked)));
        }
    }
#endif
    for (; pos + 1 < text.size(); ++pos) {
        if (text[pos] == first && text[pos + 1] == second) return pos;
    }
    return text.size();
}

// Whether only blanks and tabs stand between the start of the line that
// holds `pos` and `pos`.
inline bool starts_line_after_blanks(std::string_view text, std::size_t pos) {
    while (pos > 0 && is_blank_or_tab(text[pos - 1])) --pos;
    return pos == 0 || text[pos - 1] == '\n';
}

// The position of the first of `bytes` in `text` at or after `from`, or the
// text's size: find_first_of for a handful of bytes known at compile time.
template <char... bytes>
std::size_t find_first_of_bytes(std::string_view text, std::size_t from = 0) {
    return find_byte_below_or_of<0, bytes...>(text, from);
}

// Copies a text to `at` and gives the end of the copy. Most pieces are a
// few bytes, which two overlapping word moves copy faster than a call or a
// loop; a long text value is left to memcpy.
inline char* copy_text(std::string_view text, char* at) {
    constexpr std::size_t kShortText = 16;
    const std::size_t size = text.size();
    const char* from = text.data();
    if (size > kShortText) {
        std::memcpy(at, from, size);
    } else if (size >= 8) {
        std::memcpy(at, from, 8);
        std::memcpy(at + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
        std::memcpy(at, from, 4);
        std::memcpy(at + size - 4, from + size - 4, 4);
    } else {
        for (std::size_t i = 0; i < size; ++i) at[i] = from[i];
    }
    return at + size;
}

// A piece of text to append: a string literal without a call to strlen.
template <std::size_t N>
constexpr std::string_view text_piece(const char (&literal)[N]) {
    return {literal, N - 1};
}
constexpr std::string_view text_piece(std::string_view text) { return text; }

// Appends the pieces one after another with a single check of the room
// left: the writers of every export append many small pieces.
template <class... Pieces>
void append_pieces(std::string& out, const Pieces&... pieces) {
    // The size the operation is handed may be the grown capacity rather
    // than the size asked for, so the new size is worked out here.
    const std::size_t start = out.size();
    const std::size_t end = start + (text_piece(pieces).size() + ...);
    out.resize_and_overwrite(end, [&](char* data, std::size_t) {
        char* at = data + start;
        ((at = copy_text(text_piece(pieces), at)), ...);
        return end;
    });
}

}  // namespace bezo
