#include "lang/path.hpp"

#include "core/text.hpp"

namespace bezo {

namespace {

// The position of the first `c` or double quote at or after `from`, or the
// text's size.
std::size_t find_byte_or_quote(std::string_view text, char c, std::size_t from) {
    return scan_to(
        text, from,
        [c](std::uint64_t word) {
            return word_has_byte(word, static_cast<unsigned char>(c)) | word_has_byte(word, '"');
        },
        [c](char byte) { return byte == c || byte == '"'; });
}

// Calls `each` with every piece of `path` split at "/" outside double
// quotes, empty pieces included.
template <class Each>
void for_each_path_piece(std::string_view path, Each each) {
    const bool quoted = path.find('"') != std::string_view::npos;
    std::size_t start = 0;
    while (true) {
        const auto slash = quoted ? find_unquoted(path, '/', start) : std::optional(path.find('/', start));
        if (!slash || *slash == std::string_view::npos) break;
        each(path.substr(start, *slash - start));
        start = *slash + 1;
    }
    each(path.substr(start));
}

}  // namespace

// A byte stands inside quotes exactly when an odd number of double quotes
// come before it (from where the walk starts): a doubled quote inside
// quotes closes and reopens them, which leaves them open. So only the
// quotes and the bytes sought need a look.
std::optional<std::size_t> find_unquoted(std::string_view text, char c, std::size_t from) {
    const std::size_t first = text.find(c, from);
    if (first == std::string_view::npos) return std::nullopt;
    const std::size_t first_quote = text.substr(0, first).find('"', from);
    if (first_quote == std::string_view::npos) return first;
    bool inside = false;
    for (std::size_t pos = first_quote; pos < text.size(); pos = find_byte_or_quote(text, c, pos + 1)) {
        if (text[pos] == '"') {
            inside = !inside;
        } else if (!inside) {
            return pos;
        }
    }
    return std::nullopt;
}

std::size_t count_unquoted(std::string_view text, char c) {
    if (text.find('"') == std::string_view::npos) return count_byte(text, c);
    std::size_t count = 0;
    for (auto found = find_unquoted(text, c); found; found = find_unquoted(text, c, *found + 1)) ++count;
    return count;
}

std::vector<std::string_view> split_path(std::string_view path) {
    std::vector<std::string_view> pieces;
    for_each_path_piece(path, [&](std::string_view piece) { pieces.push_back(piece); });
    return pieces;
}

namespace {

// The segment without its optional "@" and "." prefixes.
std::string_view segment_name(std::string_view segment) {
    if (segment.starts_with('@')) {
        segment.remove_prefix(1);
    }
    if (segment.starts_with('.')) {
        segment.remove_prefix(1);
    }
    return segment;
}

bool is_quoted_name(std::string_view name) { return name.size() >= 3 && name.front() == '"' && name.back() == '"'; }

bool is_decimal_index(std::string_view name) {
    return is_ascii_digits(name) && (name.size() == 1 || name.front() != '0');
}

bool all_segments_valid(std::span<const std::string_view> segments) {
    for (std::string_view segment : segments) {
        if (!is_valid_segment(segment)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool is_valid_segment(std::string_view segment) {
    if (segment.starts_with('@')) {
        segment.remove_prefix(1);
        if (segment.empty()) {
            return false;
        }
    }
    if (segment.starts_with('.')) {
        segment.remove_prefix(1);
    }
    if (segment.empty()) {
        return false;
    }
    if (segment.front() == '"') {
        return is_quoted_name(segment);
    }
    return is_decimal_index(segment) || is_plain_identifier(segment);
}

bool is_path_line(std::string_view text) {
    if (!text.starts_with('/')) {
        return false;
    }
    return all_segments_valid(split_path(text.substr(1)));
}

bool is_section_head_path(std::string_view text) {
    if (text.starts_with('/')) {
        text.remove_prefix(1);
    }
    auto segments = split_path(text);
    return all_segments_valid(segments) && segments.back().starts_with('@');
}

void append_normalized_segment(std::string& out, std::string_view segment) {
    std::string_view name = segment_name(segment);
    if (is_quoted_name(name)) {
        std::string_view inner = name.substr(1, name.size() - 2);
        if (is_plain_identifier(inner)) {
            out += segment.substr(0, segment.size() - name.size());
            out += inner;
            return;
        }
    }
    out += segment;
}

std::string normalize_segment(std::string_view segment) {
    std::string spelled;
    append_normalized_segment(spelled, segment);
    return spelled;
}

std::vector<std::string> normalize_segments(std::span<const std::string_view> segments) {
    std::vector<std::string> spelled;
    spelled.reserve(segments.size());
    for (std::string_view segment : segments) {
        if (!segment.empty()) {
            spelled.push_back(normalize_segment(segment));
        }
    }
    return spelled;
}

std::optional<std::size_t> find_namespace_separator(std::string_view text) {
    std::optional<std::size_t> last;
    bool inside = false;
    for (std::size_t pos = find_first_of_bytes<':', '"'>(text); pos < text.size();
         pos = find_first_of_bytes<':', '"'>(text, pos + 1)) {
        if (text[pos] == '"') {
            inside = !inside;
        } else if (!inside && pos + 1 < text.size() && text[pos + 1] == ':') {
            last = pos++;
        }
    }
    return last;
}

void append_key_path_segments(std::string& out, std::string_view path) {
    if (path.starts_with('/')) path.remove_prefix(1);
    // Without quotes every segment is spelled as written; without an empty
    // one the path is appended whole.
    const bool spelled_as_written = !path.empty() && !path.starts_with('/') && !path.ends_with('/') &&
                                    path.find('"') == std::string_view::npos &&
                                    find_byte_pair(path, 0, '/', '/') == path.size();
    if (spelled_as_written) {
        append_pieces(out, "/", path);
        return;
    }
    for_each_path_piece(path, [&](std::string_view segment) {
        if (segment.empty()) return;
        out += '/';
        append_normalized_segment(out, segment);
    });
}

KeyPath parse_key_path(std::string_view text) {
    auto separator = find_namespace_separator(text);
    if (!separator) {
        return KeyPath{{}, normalize_segment(text)};
    }
    std::string_view path = text.substr(0, *separator);
    if (path.starts_with('/')) {
        path.remove_prefix(1);
    }
    return KeyPath{normalize_segments(split_path(path)), normalize_segment(text.substr(*separator + 2))};
}

std::size_t field_reference_length(std::string_view text) {
    std::size_t length = 0;
    while (length < text.size()) {
        const char c = text[length];
        if (is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '/') {
            ++length;
        } else if (c == ':' && length + 1 < text.size() && text[length + 1] == ':') {
            length += 2;
        } else if (c == '@' && (length == 0 || text[length - 1] == '/')) {
            ++length;
        } else {
            break;
        }
    }
    while (length > 0 && (text[length - 1] == '/' || text[length - 1] == ':' || text[length - 1] == '@')) --length;
    return length;
}

}  // namespace bezo
