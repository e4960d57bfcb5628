#include "interchange/canonical_reader.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/base64url.hpp"
#include "interchange/json_reader.hpp"
#include "lang/anno.hpp"
#include "lang/canonical_line.hpp"

namespace bezo {
namespace {

constexpr std::size_t kNoNext = std::string_view::npos;

// ---- Values ----

constexpr std::string_view kTimeLibrary = "std/time";
constexpr std::string_view kNumLibrary = "std/num";
constexpr std::string_view kEncLibrary = "std/enc";

// How the values of a line's type name are converted.
enum class ValueRule : std::uint8_t {
    TimeLeaf,      // "std/time/..."
    NumLeaf,       // "std/num/..."
    Number,        // "int", "float"
    Bool,          // "bool"
    Null,          // "null"
    TextLines,     // "text"
    EmbeddedJson,  // "std/enc/json"
    EncLeaf,       // any other "std/enc/..."
    String,        // any other type
};

ValueRule rule_of(std::string_view type_name) {
    if (type_name.starts_with("std/time/")) return ValueRule::TimeLeaf;
    if (type_name.starts_with("std/num/")) return ValueRule::NumLeaf;
    if (type_name == "int" || type_name == "float") return ValueRule::Number;
    if (type_name == "bool") return ValueRule::Bool;
    if (type_name == "null") return ValueRule::Null;
    if (type_name == "text") return ValueRule::TextLines;
    if (type_name == "std/enc/json") return ValueRule::EmbeddedJson;
    if (type_name.starts_with("std/enc/")) return ValueRule::EncLeaf;
    return ValueRule::String;
}

bool is_leaf_rule(ValueRule rule) {
    return rule == ValueRule::TimeLeaf || rule == ValueRule::NumLeaf || rule == ValueRule::EncLeaf;
}

// The type name of a line's metadata and the rule of its values.
struct LineType {
    std::string_view name;
    ValueRule rule;
    std::uint32_t leaf_type = 0;  // the name's position among the tree's leaf types, for a leaf rule
};

// What a line's value becomes in the tree.
struct ConvertedValue {
    static ConvertedValue json(std::string_view text, JsonSpelling spelling) {
        ConvertedValue value;
        value.text = text;
        value.spelling = spelling;
        return value;
    }
    static ConvertedValue leaf(std::uint32_t type, std::string_view library, std::string_view literal) {
        ConvertedValue value;
        value.kind = CanonicalKind::Leaf;
        value.text = literal;
        value.leaf_type = type;
        value.library_length = static_cast<std::uint8_t>(library.size());
        return value;
    }

    void place_in(CanonicalNode& node) const {
        node.kind = kind;
        node.set_text(text);
        node.spelling = spelling;
        node.leaf_type = leaf_type;
        node.library_length = library_length;
    }

    CanonicalKind kind = CanonicalKind::Json;
    JsonSpelling spelling = JsonSpelling::Null;
    std::string_view text;
    std::uint32_t leaf_type = 0;
    std::uint8_t library_length = 0;
};

// How many ASCII digits the text holds from `pos` on, up to its first other
// byte.
std::size_t digits_from(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && is_ascii_digit(text[end])) ++end;
    return end - pos;
}

// Whether a text is a number as JSON writes most of them: a "-" or none,
// digits without a leading zero, and perhaps a point and more digits; told
// apart without the whole grammar of a JSON number, which has the last word
// on anything else.
bool is_plain_number(std::string_view text) {
    std::size_t pos = text.starts_with('-') ? 1 : 0;
    const std::size_t whole = digits_from(text, pos);
    if (whole == 0 || (whole > 1 && text[pos] == '0')) return false;
    pos += whole;
    if (pos == text.size()) return true;
    if (text[pos] != '.') return false;
    const std::size_t fraction = digits_from(text, pos + 1);
    return fraction > 0 && pos + 1 + fraction == text.size();
}

// An embedded JSON document: base64url of UTF-8 text holding exactly one
// JSON value, kept with its own formatting.
Result<ConvertedValue> embedded_json_value(std::string_view value, CanonicalTreeBuilder& builder) {
    auto decoded = base64url_decode(value);
    if (!decoded) return fail("invalid base64url payload");
    if (!is_valid_utf8(*decoded)) return fail("std/enc/json payload is not UTF-8");
    JsonCursor cursor{*decoded};
    if (auto read = parse_json_value(cursor, 0); !read) return forward_error(read);
    skip_json_whitespace(cursor);
    if (cursor.pos != decoded->size()) return fail("std/enc/json payload is not a single JSON value");
    return ConvertedValue::json(builder.store(*decoded), JsonSpelling::Document);
}

// Converts a value by the type name of its line's annotation.
Result<ConvertedValue> convert_value(const LineType& type, std::string_view value, CanonicalTreeBuilder& builder) {
    switch (type.rule) {
        case ValueRule::TimeLeaf: return ConvertedValue::leaf(type.leaf_type, kTimeLibrary, value);
        case ValueRule::NumLeaf: return ConvertedValue::leaf(type.leaf_type, kNumLibrary, value);
        case ValueRule::Number:
            if (!is_plain_number(value) && !is_whole_json_number(value)) {
                return fail("!" + std::string(type.name) + " value is not a JSON number: " + quoted_excerpt(value));
            }
            return ConvertedValue::json(value, JsonSpelling::Number);
        case ValueRule::Bool:
            if (value != "true" && value != "false") {
                return fail("!bool value is not true/false: " + quoted_excerpt(value));
            }
            return ConvertedValue::json(value, JsonSpelling::Boolean);
        case ValueRule::Null:
            if (!value.empty()) return fail("!null value carries a payload");
            return ConvertedValue::json("null", JsonSpelling::Null);
        case ValueRule::TextLines: return ConvertedValue::json(value, JsonSpelling::TextLines);
        case ValueRule::EmbeddedJson: return embedded_json_value(value, builder);
        case ValueRule::EncLeaf:
            if (!is_base64url(value)) return fail("invalid base64url payload");
            return ConvertedValue::leaf(type.leaf_type, kEncLibrary, value);
        case ValueRule::String: break;
    }
    return ConvertedValue::json(value, JsonSpelling::String);
}

// ---- Name paths ----

// One step of a name path: its characters with quoting removed, whether a
// double quote occurred in it, and whether it opened with an unquoted "@".
struct NamepathSegment {
    std::string_view text;
    bool quoted = false;
    bool array = false;
};

// One segment as split, with where the text after its separator begins
// (kNoNext when no separator follows) and whether its text was rebuilt in
// the scratch text.
struct SplitSegment {
    NamepathSegment segment;
    std::size_t next = kNoNext;
    bool in_scratch = false;
};

NamepathSegment unquoted_segment(std::string_view text) { return NamepathSegment{text, false, text.starts_with('@')}; }

// A segment holding double quotes, rebuilt in `scratch` character by
// character: inside quotes a doubled quote stands for one and a lone one
// closes them; separators count only outside quotes.
SplitSegment read_quoted_segment(std::string_view path, std::size_t pos, std::string& scratch) {
    const std::size_t begin = scratch.size();
    SplitSegment split;
    split.in_scratch = true;
    NamepathSegment& segment = split.segment;
    auto next_is = [&](char c) { return pos + 1 < path.size() && path[pos + 1] == c; };
    bool in_quotes = false;
    for (; pos < path.size() && split.next == kNoNext; ++pos) {
        const char c = path[pos];
        if (in_quotes) {
            if (c != '"') {
                scratch += c;
            } else if (next_is('"')) {
                scratch += '"';
                ++pos;
            } else {
                in_quotes = false;
            }
        } else if (c == '"') {
            in_quotes = true;
            segment.quoted = true;
        } else if (c == '/') {
            split.next = pos + 1;
        } else if (c == ':' && next_is(':')) {
            split.next = pos + 2;
        } else {
            if (c == '@' && scratch.size() == begin && !segment.quoted) segment.array = true;
            scratch += c;
        }
    }
    segment.text = std::string_view(scratch).substr(begin);
    return split;
}

// Reads the segment that starts at `pos`, outside quotes: the start of the
// path or just after a separator. Segments without quotes are views of the
// path.
SplitSegment read_segment(std::string_view path, std::size_t pos, std::string& scratch) {
    const std::size_t start = pos;
    while (true) {
        pos = find_first_of_bytes<'/', ':', '"'>(path, pos);
        if (pos == path.size()) return SplitSegment{unquoted_segment(path.substr(start))};
        if (path[pos] == '"') return read_quoted_segment(path, start, scratch);
        const std::size_t separator = path[pos] == '/' ? 1 : (pos + 1 < path.size() && path[pos + 1] == ':') ? 2 : 0;
        if (separator != 0) return SplitSegment{unquoted_segment(path.substr(start, pos - start)), pos + separator};
        ++pos;
    }
}

// Splits a name path at "/" and "::" outside double quotes, from `pos` (0,
// or just after a separator) on, and hands each non-empty segment to `take`.
// `count` segments came before `pos`. Fails on a path without segments and
// on one of more than kMaxNamepathSegments, whose split stops at the first
// segment past the limit, so that a hostile path costs no more than the
// limit however long it is.
template <class Take>
Result<void> split_namepath(std::string_view path, std::size_t pos, std::size_t count, std::string& scratch,
                            Take take) {
    scratch.clear();
    scratch.reserve(path.size());
    while (pos != kNoNext && count <= kMaxNamepathSegments) {
        const SplitSegment split = read_segment(path, pos, scratch);
        pos = split.next;
        if (split.segment.text.empty()) continue;
        take(split);
        ++count;
    }
    if (count == 0) return fail("empty namepath: " + quoted_excerpt(path));
    if (count > kMaxNamepathSegments) return fail("namepath nests deeper than 512 segments");
    return {};
}

// Whether two texts, mostly of a few bytes such as metadata, are equal: two
// word compares are quicker than a call to memcmp.
bool same_short_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.size() < 4 || a.size() > 8) return a == b;
    // The first four bytes and the last four, which overlap below 8 bytes.
    auto word_at = [](const char* at) {
        std::uint32_t word;
        std::memcpy(&word, at, sizeof word);
        return word;
    };
    const std::size_t last = a.size() - 4;
    return word_at(a.data()) == word_at(b.data()) && word_at(a.data() + last) == word_at(b.data() + last);
}

Error collision_at(std::string_view name) {
    return Error::Other("namespace/leaf collision at " + quoted_excerpt(name));
}

Error collision_at_element(std::uint64_t index) {
    return Error::Other("namespace/leaf collision at element " + decimal_text(index));
}

// A place that a scalar may not overwrite: a namespace holding members, or
// an array.
bool holds_structure(const CanonicalNode& node) {
    return node.kind == CanonicalKind::Array || (node.kind == CanonicalKind::Namespace && node.child_count > 0);
}

std::optional<std::uint64_t> parse_array_index(const NamepathSegment& segment) {
    std::string_view text = segment.text;
    if (segment.quoted || (text.size() >= 2 && text.front() == '0')) return std::nullopt;
    if (text.starts_with('+')) text.remove_prefix(1);
    return parse_ascii_unsigned(text);
}

// Reads lines into a tree. Consecutive lines mostly share the start of
// their paths, so the segments of the previous line's path, and the nodes
// they led to, are taken over for as long as the two paths agree byte for
// byte up to a separator.
class CanonicalReader {
public:
    explicit CanonicalReader(std::size_t text_size) : builder_(text_size) {}

    Result<void> read_line(std::string_view line) {
        const std::size_t apostrophe = find_first_of_bytes<'\''>(line);
        if (apostrophe == line.size()) return fail("not a canonical line: " + quoted_excerpt(line));
        const LineType* type = line_type(line.substr(0, apostrophe));
        if (!type) return fail("bad metadata prefix: " + quoted_excerpt(line));
        const std::string_view rest = line.substr(apostrophe + 1);
        const SplitLine split = split_path(rest);
        if (split.equals == kNoNext) return fail("canonical line without =: " + quoted_excerpt(line));
        auto value = convert_value(*type, rest.substr(split.equals + 1), builder_);
        if (!value) return forward_error(value);
        if (!split.path) return split.path;
        return insert(*value);
    }

    CanonicalTree finish() && { return std::move(builder_).finish(); }

    // A copy of the text kept with the tree.
    std::string_view keep(std::string_view text) { return builder_.store(text); }

private:
    // A metadata text met lately and its type.
    struct RecentType {
        std::string_view metadata;
        const LineType* type = nullptr;
    };

    // Which keys a namespace may hold, one bit of 64 for each key by its
    // size and its first, middle and last bytes: a clear bit proves a key
    // absent, so that appending a new member needs no scan of the members
    // before it. Only a namespace made by the current run of lines (its
    // step taken over from line to line ever since) has all its members in
    // the filter; any other is kUnknownMembers, which proves nothing.
    using MemberFilter = std::uint64_t;
    static constexpr MemberFilter kUnknownMembers = ~MemberFilter{0};

    static MemberFilter member_bit(std::string_view key) {
        if (key.empty()) return 1;
        auto byte_at = [&](std::size_t pos, int shift) {
            return static_cast<std::uint64_t>(static_cast<unsigned char>(key[pos])) << shift;
        };
        const std::uint64_t bytes = byte_at(0, 0) | byte_at(key.size() / 2, 8) | byte_at(key.size() - 1, 16) |
                                    static_cast<std::uint64_t>(key.size() & 0xFF) << 24;
        return MemberFilter{1} << ((bytes * 0x9E3779B97F4A7C15ull) >> 58);
    }

    // One segment of the current path and the node it led to (a namespace,
    // an array or an element), once inserted, with the filter of that
    // node's members.
    struct Step {
        NamepathSegment segment;
        std::size_t next = kNoNext;  // kNoNext: not to be taken over by the next line
        bool in_scratch = false;
        CanonicalIndex node = 0;
        MemberFilter members = kUnknownMembers;
    };

    // Where a line's name path ends (at its "=", kNoNext when there is none)
    // and whether it split into steps.
    struct SplitLine {
        std::size_t equals = kNoNext;
        Result<void> path;
    };

    // The type of a metadata text, parsed once per distinct text; null when
    // it is no annotation.
    const LineType* line_type(std::string_view metadata) {
        RecentType& recent = recent_types_[recent_slot(metadata)];
        if (same_short_text(recent.metadata, metadata)) return recent.type;
        return line_type_of_new(metadata, recent);
    }

    // The type of a metadata text that is not in its recent slot, which it
    // then takes.
    [[gnu::noinline]] const LineType* line_type_of_new(std::string_view metadata, RecentType& recent) {
        auto found = types_.find(metadata);
        if (found == types_.end()) {
            std::optional<LineType> type;
            if (auto annotation = parse_annotation(metadata)) {
                type = LineType{builder_.store(annotation->name), rule_of(annotation->name)};
                if (is_leaf_rule(type->rule)) type->leaf_type = builder_.add_leaf_type(type->name);
            }
            found = types_.emplace(metadata, type).first;
        }
        const LineType* type = found->second ? &*found->second : nullptr;
        recent = RecentType{metadata, type};
        return type;
    }

    // The slot of `recent_types_` that a metadata text may sit in, by its
    // size and the byte after its "!", which tell apart the few type names
    // of most documents ("!int", "!str", "!float", "!bool", "!null",
    // "!text"). A metadata text is followed by its line's apostrophe, so
    // that byte is there to read when the text holds one byte.
    static std::size_t recent_slot(std::string_view metadata) {
        const std::size_t second = metadata.empty() ? 0 : static_cast<unsigned char>(metadata.data()[1]);
        return (second + metadata.size() * 3) % kRecentSlots;
    }

    // Splits the name path at the front of `rest` (a line after its
    // apostrophe) into steps, taking over the steps of the previous line's
    // path for as long as the two agree. Those steps hold neither quotes nor
    // "=", so the scan for the segments that follow starts outside quotes,
    // and the first "=" it meets ends the path. A quote, a line without "="
    // or a path at the depth limit goes the general way.
    SplitLine split_path(std::string_view rest) {
        const std::size_t common = common_prefix_length(last_path_, rest);
        reused_ = 0;
        while (reused_ < depth_ && steps_[reused_].next <= common) ++reused_;
        depth_ = reused_;
        SplitLine split;
        split.equals = split_unquoted_path(rest);
        if (split.equals == kNoNext) {
            split = split_path_generally(rest);
            if (split.equals == kNoNext || !split.path) return split;
        }
        last_path_ = rest.substr(0, split.equals);
        // The last step leads to the value, never to a container: it is
        // always walked, and never taken over.
        reused_ = std::min(reused_, depth_ - 1);
        steps_[depth_ - 1].next = kNoNext;
        return split;
    }

    // Splits a path that holds a quote, that has no "=" or that reaches the
    // depth limit, after the steps taken over from the previous line.
    [[gnu::noinline]] SplitLine split_path_generally(std::string_view rest) {
        depth_ = reused_;  // drops the steps the scan got to
        SplitLine split;
        const auto equals = find_unquoted(rest, '=');
        if (!equals) return split;
        split.equals = *equals;
        split.path = split_namepath(
            rest.substr(0, *equals), resume_position(), reused_, scratch_, [this](const SplitSegment& segment) {
                push_step(Step{segment.segment, segment.in_scratch ? kNoNext : segment.next, segment.in_scratch});
            });
        return split;
    }

    void push_step(const Step& step) { steps_[depth_++] = step; }

    // Where the steps taken over end in the path.
    std::size_t resume_position() const { return reused_ > 0 ? steps_[reused_ - 1].next : 0; }

    // Appends the steps of a path without quotes up to its "=" and gives the
    // position of the "="; kNoNext when the line needs the general split.
    std::size_t split_unquoted_path(std::string_view rest) {
        std::size_t start = resume_position();
        std::size_t pos = start;
        while (true) {
            pos = find_first_of_bytes<'/', ':', '"', '='>(rest, pos);
            if (pos == rest.size() || rest[pos] == '"') return kNoNext;
            const char separator = rest[pos];
            std::size_t width = 1;
            if (separator == ':') {
                if (pos + 1 == rest.size() || rest[pos + 1] != ':') {
                    ++pos;
                    continue;
                }
                width = 2;
            }
            if (pos > start) {
                if (depth_ == kMaxNamepathSegments) return kNoNext;
                const std::size_t next = separator == '=' ? kNoNext : pos + width;
                push_step(Step{unquoted_segment(rest.substr(start, pos - start)), next});
            }
            if (separator == '=') return depth_ == 0 ? kNoNext : pos;
            pos += width;
            start = pos;
        }
    }

    // The member `key` of namespace `ns`, added when it has none: a key that
    // `members` proves absent is appended without a look at the others.
    // Texts of the line are views into the canonical text and live as long
    // as the tree; texts rebuilt in the scratch do not.
    CanonicalIndex find_or_add_member(CanonicalIndex ns, MemberFilter& members, const Step& step,
                                      std::string_view key) {
        const MemberFilter bit = member_bit(key);
        const bool absent = (members & bit) == 0;
        members |= bit;
        if (absent) return builder_.add_member(ns, key, !step.in_scratch);
        return builder_.find_or_add_member(ns, key, !step.in_scratch);
    }

    // The filter of the members of the node that step `i` starts from.
    MemberFilter& members_before(std::size_t i) { return i == 0 ? root_members_ : steps_[i - 1].members; }

    // Places `value` at the path of the steps, walking from the last step
    // taken over from the previous line. A step that adds its node starts
    // that node's filter empty.
    [[gnu::noinline]] Result<void> insert(const ConvertedValue& value) {
        CanonicalIndex current = reused_ > 0 ? steps_[reused_ - 1].node : 0;
        for (std::size_t i = reused_; i < depth_; ++i) {
            Step& step = steps_[i];
            const bool last = i + 1 == depth_;
            const std::size_t node_count = builder_.node_count();
            if (builder_.node(current).kind == CanonicalKind::Array) {
                auto element = array_element(current, step.segment, last);
                if (!element) return forward_error(element);
                current = *element;
            } else if (!step.segment.array) {
                const std::string_view name = step.segment.text;
                current = find_or_add_member(current, members_before(i), step, name);
                // A member just added is an empty namespace, which takes
                // anything.
                if (current < node_count) {
                    const CanonicalNode& member = builder_.node(current);
                    if (last ? holds_structure(member) : member.kind != CanonicalKind::Namespace) {
                        return std::unexpected(collision_at(name));
                    }
                }
            } else {
                const std::string_view name = step.segment.text.substr(1);
                current = find_or_add_member(current, members_before(i), step, name);
                CanonicalNode& member = builder_.node(current);
                if (member.kind == CanonicalKind::Namespace && member.child_count == 0)
                    member.kind = CanonicalKind::Array;
                if (member.kind != CanonicalKind::Array) return std::unexpected(collision_at(name));
                if (last) return fail("array without index");
            }
            step.node = current;
            step.members = current >= node_count ? 0 : kUnknownMembers;
        }
        value.place_in(builder_.node(current));
        if (value.spelling == JsonSpelling::Document) builder_.note_embedded_document(current);
        return {};
    }

    // The element of `array` that an index step names, appended (as an
    // empty namespace) when the index is one past the end.
    Result<CanonicalIndex> array_element(CanonicalIndex array, const NamepathSegment& segment, bool last) {
        auto index = parse_array_index(segment);
        if (!index) return fail("bad array index: " + quoted_excerpt(segment.text));
        const std::uint64_t size = builder_.node(array).child_count;
        if (*index > size) {
            return fail("array index " + decimal_text(*index) + " leaves a gap (canonical arrays are contiguous)");
        }
        if (*index == size) return builder_.add_element(array);  // an empty namespace, which takes anything
        const CanonicalIndex element = builder_.element(array, static_cast<std::size_t>(*index));
        const CanonicalNode& node = builder_.node(element);
        if (last ? holds_structure(node) : node.kind != CanonicalKind::Namespace) {
            return std::unexpected(collision_at_element(*index));
        }
        return element;
    }

    CanonicalTreeBuilder builder_;
    std::unordered_map<std::string_view, std::optional<LineType>, KeyedTextHash, std::equal_to<>> types_;
    // Metadata texts met lately and their types (kept in `types_`, whose
    // entries stay in place; null for no annotation), each in the slot that
    // recent_slot gives it: records repeat a handful of them line after
    // line. The empty text, which a slot holds at first, is no annotation.
    static constexpr std::size_t kRecentSlots = 16;
    std::array<RecentType, kRecentSlots> recent_types_{};
    std::string_view last_path_;
    // The steps of the current path: the first `depth_` of room for as many
    // as a path may hold and the one past the limit that fails it.
    std::vector<Step> steps_ = std::vector<Step>(kMaxNamepathSegments + 1);
    std::size_t depth_ = 0;
    // The filter of the root's members, which are all added by this reader.
    MemberFilter root_members_ = 0;
    // How many steps of the current path were taken over from the previous
    // line's.
    std::size_t reused_ = 0;
    std::string scratch_;
};

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

namespace {

// Reads a canonical text; with `keep_copy` the tree holds a copy of the text
// and points into that.
Result<CanonicalTree> read_canonical_text(std::string_view text, bool keep_copy) {
    // Every node but the root stands for at least one byte of the text.
    if (text.size() >= CanonicalTreeBuilder::kMaxNodes) return fail("canonical text too large: 4 GiB or more");
    CanonicalReader reader(text.size());
    if (keep_copy) text = reader.keep(text);
    // Every line loses its line feed and then a carriage return before it,
    // the last line too when it has no line feed.
    for (std::string_view rest = text; !rest.empty();) {
        std::string_view line = take_line(rest, FinalCr::Dropped);
        // Most lines open with the "!" of their metadata, which no blank or
        // skipped line does.
        if (!line.starts_with('!')) {
            line = trim_leading_blanks(line);
            if (is_skipped_line(line)) continue;
        }
        if (auto read = reader.read_line(line); !read) return forward_error(read);
    }
    return std::move(reader).finish();
}

}  // namespace

Result<CanonicalTree> canonical_to_tree(std::string_view text) { return read_canonical_text(text, true); }

Result<CanonicalTree> canonical_to_tree_borrowing(std::string_view text) { return read_canonical_text(text, false); }

}  // namespace bezo
