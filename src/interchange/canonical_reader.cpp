#include "interchange/canonical_reader.hpp"

#include <cstdint>
#include <optional>

#include "core/fault.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/base64url.hpp"
#include "interchange/json_reader.hpp"
#include "interchange/json_text.hpp"
#include "lang/anno.hpp"

namespace bezo {
namespace {

bool is_skipped_line(std::string_view line) {
    return line.empty() || line.starts_with('#') || line.starts_with("//") || line.starts_with(".!") ||
           line.starts_with(".?");
}

// The position of the first "=" outside double quotes. A doubled quote
// inside quotes closes and reopens them, which leaves them open, so
// toggling on every quote is exact.
std::size_t find_unquoted_equals(std::string_view text) {
    bool in_quotes = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            in_quotes = !in_quotes;
        } else if (text[i] == '=' && !in_quotes) {
            return i;
        }
    }
    return std::string_view::npos;
}

CanonicalValue json_value(std::string text) { return CanonicalValue{CanonicalJson{std::move(text)}}; }

CanonicalValue leaf_value(std::string_view library, std::string_view type_name, std::string_view literal) {
    return CanonicalValue{CanonicalLeaf{std::string(library), std::string(type_name), std::string(literal)}};
}

bool is_whole_json_number(std::string_view value) {
    JsonCursor cursor{value};
    return parse_json_number(cursor).has_value() && cursor.pos == value.size();
}

bool is_json_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// An embedded JSON document: base64url of UTF-8 text holding exactly one
// JSON value, kept with its own formatting.
[[nodiscard]] Result<CanonicalValue> embedded_json_value(std::string_view value) {
    auto decoded = base64url_decode(value);
    if (!decoded) return fail("invalid base64url payload");
    if (!is_valid_utf8(*decoded)) return fail("std/enc/json payload is not UTF-8");
    JsonCursor cursor{*decoded};
    if (auto read = parse_json_value(cursor, 0); !read) return forward_error(read);
    while (cursor.pos < decoded->size() && is_json_whitespace((*decoded)[cursor.pos])) ++cursor.pos;
    if (cursor.pos != decoded->size()) return fail("std/enc/json payload is not a single JSON value");
    return json_value(std::move(*decoded));
}

// Converts a value by the type name of its line's annotation.
[[nodiscard]] Result<CanonicalValue> convert_value(std::string_view type_name, std::string_view value) {
    if (type_name.starts_with("std/time/")) return leaf_value("std/time", type_name.substr(9), value);
    if (type_name.starts_with("std/num/")) return leaf_value("std/num", type_name.substr(8), value);
    if (type_name == "int" || type_name == "float") {
        if (!is_whole_json_number(value)) {
            return fail("!" + std::string(type_name) + " value is not a JSON number: " + std::string(value));
        }
        return json_value(std::string(value));
    }
    if (type_name == "bool") {
        if (value != "true" && value != "false") return fail("!bool value is not true/false: " + std::string(value));
        return json_value(std::string(value));
    }
    if (type_name == "null") {
        if (!value.empty()) return fail("!null value carries a payload");
        return json_value("null");
    }
    if (type_name == "text") return json_value(quote_json_string(join_text_lines(value)));
    if (type_name == "std/enc/json") return embedded_json_value(value);
    if (type_name.starts_with("std/enc/")) {
        if (!base64url_decode(value)) return fail("invalid base64url payload");
        return leaf_value("std/enc", type_name.substr(8), value);
    }
    return json_value(quote_json_string(value));
}

Error collision_at(std::string_view name) { return Error::Other("namespace/leaf collision at " + std::string(name)); }

Error collision_at_element(std::uint64_t index) {
    return Error::Other("namespace/leaf collision at element " + decimal_text(index));
}

// A place that a scalar may not overwrite: a namespace holding members, or
// an array.
bool holds_structure(const CanonicalValue& value) {
    if (const auto* ns = value.get_if<CanonicalNamespace>()) return !ns->empty();
    return value.is<CanonicalArray>();
}

std::optional<std::uint64_t> parse_array_index(const NamepathSegment& segment) {
    std::string_view text = segment.text;
    if (segment.quoted || (text.size() >= 2 && text.front() == '0')) return std::nullopt;
    if (text.starts_with('+')) text.remove_prefix(1);
    return parse_ascii_unsigned(text);
}

// The array named by an "@" segment, turning a fresh (empty) namespace into
// an empty array.
[[nodiscard]] Result<CanonicalArray*> array_member(CanonicalNamespace& ns, std::string_view name) {
    CanonicalValue& member = ns.find_or_add(name);
    if (auto* inner = member.get_if<CanonicalNamespace>(); inner && inner->empty()) member.data = CanonicalArray{};
    auto* array = member.get_if<CanonicalArray>();
    if (!array) return std::unexpected(collision_at(name));
    return array;
}

// The element at `index_segment` of `array`, appending a placeholder null
// when the index is one past the end. `appended` tells whether it did.
[[nodiscard]] Result<CanonicalValue*> array_element(CanonicalArray& array, const NamepathSegment& index_segment,
                                                    bool& appended) {
    auto index = parse_array_index(index_segment);
    if (!index) return fail("bad array index: " + index_segment.text);
    if (*index > array.size()) {
        return fail("array index " + decimal_text(*index) + " leaves a gap (canonical arrays are contiguous)");
    }
    appended = *index == array.size();
    if (appended) array.push_back(json_value("null"));
    return &array[*index];
}

// Splits a name path character by character, keeping the quote state and
// the segment being collected.
class NamepathSplitter {
public:
    NamepathSplitter(std::string_view path, std::vector<NamepathSegment>& segments)
        : path_(path), segments_(segments) {}

    // Stops once the path holds more segments than it may, so that a hostile
    // path costs no more than the limit however long it is.
    void split() {
        segments_.clear();
        for (pos_ = 0; pos_ < path_.size() && segments_.size() <= kMaxNamepathSegments; ++pos_) take(path_[pos_]);
        end_segment();
    }

private:
    bool next_is(char c) const { return pos_ + 1 < path_.size() && path_[pos_ + 1] == c; }

    void take(char c) {
        if (in_quotes_) {
            take_quoted(c);
        } else if (c == '"') {
            in_quotes_ = true;
            current_.quoted = true;
        } else if (c == '/') {
            end_segment();
        } else if (c == ':' && next_is(':')) {
            end_segment();
            ++pos_;
        } else {
            if (c == '@' && current_.text.empty() && !current_.quoted) current_.array = true;
            current_.text += c;
        }
    }

    // Inside quotes a doubled quote stands for one; a lone one closes them.
    void take_quoted(char c) {
        if (c != '"') {
            current_.text += c;
        } else if (next_is('"')) {
            current_.text += '"';
            ++pos_;
        } else {
            in_quotes_ = false;
        }
    }

    void end_segment() {
        if (!current_.text.empty()) segments_.push_back(std::move(current_));
        current_ = NamepathSegment{};
    }

    std::string_view path_;
    std::vector<NamepathSegment>& segments_;
    std::size_t pos_ = 0;
    bool in_quotes_ = false;
    NamepathSegment current_;
};

[[nodiscard]] Result<void> read_canonical_line(std::string_view line, CanonicalNamespace& root,
                                               std::vector<NamepathSegment>& segments) {
    std::size_t apostrophe = line.find('\'');
    if (apostrophe == std::string_view::npos) return fail("not a canonical line: " + std::string(line));
    auto annotation = parse_annotation(line.substr(0, apostrophe));
    if (!annotation) return fail("bad metadata prefix: " + std::string(line));
    std::string_view rest = line.substr(apostrophe + 1);
    std::size_t equals = find_unquoted_equals(rest);
    if (equals == std::string_view::npos) return fail("canonical line without =: " + std::string(line));
    auto value = convert_value(annotation->name, rest.substr(equals + 1));
    if (!value) return forward_error(value);
    if (auto split = split_namepath(rest.substr(0, equals), segments); !split) return split;
    return insert_namepath(root, segments, std::move(*value));
}

}  // namespace

std::string join_text_lines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t found; (found = text.find("|:|", start)) != std::string_view::npos; start = found + 3) {
        out.append(text, start, found - start);
        out += '\n';
    }
    out.append(text, start);
    return out;
}

Result<void> split_namepath(std::string_view path, std::vector<NamepathSegment>& segments) {
    NamepathSplitter(path, segments).split();
    if (segments.empty()) return fail("empty namepath: " + std::string(path));
    if (segments.size() > kMaxNamepathSegments) return fail("namepath nests deeper than 512 segments");
    return {};
}

Result<void> insert_namepath(CanonicalNamespace& root, std::span<const NamepathSegment> segments,
                             CanonicalValue value) {
    if (segments.empty()) raise_fault("insert_namepath needs at least one segment");
    CanonicalNamespace* ns = &root;
    std::size_t i = 0;
    while (true) {
        const NamepathSegment& segment = segments[i];
        CanonicalValue* place = nullptr;
        std::size_t next = i + 1;
        if (!segment.array) {
            place = &ns->find_or_add(segment.text);
            if (next == segments.size()) {
                if (holds_structure(*place)) return std::unexpected(collision_at(segment.text));
                *place = std::move(value);
                return {};
            }
            ns = place->get_if<CanonicalNamespace>();
            if (!ns) return std::unexpected(collision_at(segment.text));
            i = next;
            continue;
        }
        auto array = array_member(*ns, std::string_view(segment.text).substr(1));
        if (!array) return forward_error(array);
        if (next == segments.size()) return fail("array without index");
        bool appended = false;
        auto element = array_element(**array, segments[next], appended);
        if (!element) return forward_error(element);
        place = *element;
        std::uint64_t index = static_cast<std::uint64_t>(place - (*array)->data());
        if (next + 1 == segments.size()) {
            if (holds_structure(*place)) return std::unexpected(collision_at_element(index));
            *place = std::move(value);
            return {};
        }
        if (appended) place->data = CanonicalNamespace{};
        ns = place->get_if<CanonicalNamespace>();
        if (!ns) return std::unexpected(collision_at_element(index));
        i = next + 1;
    }
}

Result<CanonicalValue> canonical_to_tree(std::string_view text) {
    CanonicalNamespace root;
    std::vector<NamepathSegment> segments;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t line_feed = text.find('\n', start);
        std::size_t end = line_feed == std::string_view::npos ? text.size() : line_feed;
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        // Every line loses its line feed and then a carriage return before
        // it, the last line too when it has no line feed.
        if (line.ends_with('\r')) line.remove_suffix(1);
        line = trim_leading_blanks(line);
        if (is_skipped_line(line)) continue;
        if (auto read = read_canonical_line(line, root, segments); !read) return forward_error(read);
    }
    return CanonicalValue{std::move(root)};
}

}  // namespace bezo
