#include "lang/path.hpp"

#include "core/text.hpp"

namespace bezo {

std::size_t QuoteTracker::advance(std::string_view text, std::size_t pos) {
    if (text[pos] != '"') {
        return pos + 1;
    }
    if (inside_ && pos + 1 < text.size() && text[pos + 1] == '"') {
        return pos + 2;
    }
    inside_ = !inside_;
    return pos + 1;
}

std::optional<std::size_t> find_unquoted(std::string_view text, char c, std::size_t from) {
    QuoteTracker quotes;
    for (std::size_t pos = from; pos < text.size(); pos = quotes.advance(text, pos)) {
        if (!quotes.inside() && text[pos] == c) {
            return pos;
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> split_path(std::string_view path) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (auto slash = find_unquoted(path, '/', start)) {
        pieces.push_back(path.substr(start, *slash - start));
        start = *slash + 1;
    }
    pieces.push_back(path.substr(start));
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

std::string normalize_segment(std::string_view segment) {
    std::string_view name = segment_name(segment);
    if (is_quoted_name(name)) {
        std::string_view inner = name.substr(1, name.size() - 2);
        if (is_plain_identifier(inner)) {
            std::string spelled(segment.substr(0, segment.size() - name.size()));
            spelled += inner;
            return spelled;
        }
    }
    return std::string(segment);
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
    QuoteTracker quotes;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (!quotes.inside() && text.substr(pos, 2) == "::") {
            last = pos;
            pos += 2;
            continue;
        }
        pos = quotes.advance(text, pos);
    }
    return last;
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
