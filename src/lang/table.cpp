#include "lang/table.hpp"

#include "core/text.hpp"
#include "lang/path.hpp"

namespace bezo {

namespace {

constexpr std::string_view kUniqueMarker = "=!";
constexpr std::string_view kRefSeparator = "/*::";
constexpr std::string_view kKeyPatternOpen = "[key::/";
constexpr std::string_view kKeyPatternClose = "/]";

// Reads "min=N" or "max=N" into the head. No value when the text is not a
// bound at all; false when it names a bound but its count is bad.
std::optional<bool> read_bound(std::string_view text, TableHead& head) {
    std::optional<std::uint64_t>* bound = nullptr;
    if (text.starts_with("min=")) {
        bound = &head.min;
    } else if (text.starts_with("max=")) {
        bound = &head.max;
    } else {
        return std::nullopt;
    }
    auto count = parse_ascii_unsigned(text.substr(4));
    if (!count) {
        return false;
    }
    *bound = count;
    return true;
}

bool is_quoted_column(std::string_view text) {
    if (text.size() < 3 || text.front() != '"' || text.back() != '"') {
        return false;
    }
    std::string_view inner = text.substr(1, text.size() - 2);
    for (std::size_t pos = 0; pos < inner.size(); ++pos) {
        if (inner[pos] == '"') {
            if (pos + 1 >= inner.size() || inner[pos + 1] != '"') {
                return false;
            }
            ++pos;
        }
    }
    return true;
}

std::string unquote_column(std::string_view quoted) {
    std::string_view inner = quoted.substr(1, quoted.size() - 2);
    std::string name;
    name.reserve(inner.size());
    for (std::size_t pos = 0; pos < inner.size(); ++pos) {
        name += inner[pos];
        if (inner[pos] == '"') {
            ++pos;
        }
    }
    return name;
}

// Authored unique key: "a=!,b=!".
std::optional<HeadItem> parse_authored_unique_key(std::string_view text) {
    HeadItem::UniqueKey key;
    for (std::string_view piece : split_unquoted(text, ',')) {
        if (!piece.ends_with(kUniqueMarker)) {
            return std::nullopt;
        }
        auto column = parse_column_name(piece.substr(0, piece.size() - kUniqueMarker.size()), false);
        if (!column) {
            return std::nullopt;
        }
        key.columns.push_back(std::move(*column));
    }
    return HeadItem{std::move(key)};
}

// A reference from `column_text` to `target_text` ("/table/@row/*::target").
std::optional<HeadItem> make_reference(std::string_view column_text, bool allow_min_max, std::string_view target_text) {
    auto column = parse_column_name(column_text, allow_min_max);
    auto target = parse_ref_target(target_text);
    if (!column || !target) {
        return std::nullopt;
    }
    return HeadItem{HeadItem::Reference{std::move(*column), std::move(target->table), std::move(target->column)}};
}

// Authored reference: "col=/table/@row/*::target".
std::optional<HeadItem> parse_authored_reference(std::string_view text) {
    auto pieces = split_unquoted(text, '=');
    if (pieces.size() != 2) {
        return std::nullopt;
    }
    return make_reference(pieces[0], false, pieces[1]);
}

std::optional<HeadItem> parse_authored_item(std::string_view text) {
    if (text.ends_with(kUniqueMarker)) {
        return parse_authored_unique_key(text);
    }
    return parse_authored_reference(text);
}

// Bracketed unique key: the columns of "[unique::a,b]".
std::optional<HeadItem> parse_bracketed_unique_key(std::string_view columns) {
    HeadItem::UniqueKey key;
    for (std::string_view piece : split_unquoted(columns, ',')) {
        auto column = parse_column_name(piece, true);
        if (!column) {
            return std::nullopt;
        }
        key.columns.push_back(std::move(*column));
    }
    return HeadItem{std::move(key)};
}

// Bracketed reference: the body of "[ref::col=/table/@row/*::target]".
std::optional<HeadItem> parse_bracketed_reference(std::string_view body) {
    auto equals = find_unquoted(body, '=');
    if (!equals) {
        return std::nullopt;
    }
    return make_reference(body.substr(0, *equals), true, body.substr(*equals + 1));
}

// One alternative of a bracketed group: a bound goes into the head, an item
// into the group. False refuses the whole text.
bool read_bracketed_alternative(std::string_view text, TableHead& head, std::vector<HeadItem>& group) {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
        return false;
    }
    std::string_view body = text.substr(1, text.size() - 2);
    if (auto bound = read_bound(body, head)) {
        return *bound;
    }
    std::optional<HeadItem> item;
    if (body.starts_with("unique::")) {
        item = parse_bracketed_unique_key(body.substr(8));
    } else if (body.starts_with("ref::")) {
        item = parse_bracketed_reference(body.substr(5));
    }
    if (!item) {
        return false;
    }
    group.push_back(std::move(*item));
    return true;
}

// The end of a "[key::/" field starting at `start`: just behind the "/]" that
// closes the pattern, where a backslash escapes the next character.
std::optional<std::size_t> key_pattern_end(std::string_view text, std::size_t start) {
    std::size_t pos = start + kKeyPatternOpen.size();
    while (pos < text.size()) {
        if (text[pos] == '\\') {
            pos += 2;
        } else if (text.substr(pos, kKeyPatternClose.size()) == kKeyPatternClose) {
            return pos + kKeyPatternClose.size();
        } else {
            ++pos;
        }
    }
    return std::nullopt;
}

// The end of an ordinary field starting at `start`: the first blank or tab
// outside double quotes, or the end of the text.
std::size_t plain_field_end(std::string_view text, std::size_t start) {
    QuoteTracker quotes;
    std::size_t pos = start;
    while (pos < text.size() && (quotes.inside() || !is_blank_or_tab(text[pos]))) {
        pos = quotes.advance(text, pos);
    }
    return pos;
}

std::size_t skip_blanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && is_blank_or_tab(text[pos])) {
        ++pos;
    }
    return pos;
}

// Fields of the bracketed grammar; a key-pattern field keeps its blanks.
std::optional<std::vector<std::string_view>> split_bracketed_fields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t pos = skip_blanks(text, 0); pos < text.size(); pos = skip_blanks(text, pos)) {
        std::size_t end = 0;
        if (text.substr(pos).starts_with(kKeyPatternOpen)) {
            auto pattern_end = key_pattern_end(text, pos);
            if (!pattern_end) {
                return std::nullopt;
            }
            end = *pattern_end;
        } else {
            end = plain_field_end(text, pos);
        }
        fields.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

void render_item(const HeadItem& item, std::string& out) {
    if (const auto* key = std::get_if<HeadItem::UniqueKey>(&item.rule)) {
        out += "[unique::";
        for (std::size_t i = 0; i < key->columns.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            out += quote_column_name(key->columns[i]);
        }
        out += ']';
        return;
    }
    const auto& reference = std::get<HeadItem::Reference>(item.rule);
    out += "[ref::";
    out += quote_column_name(reference.column);
    out += '=';
    out += reference.table;
    out += kRefSeparator;
    out += quote_column_name(reference.target);
    out += ']';
}

std::string render_bound(std::string_view name, std::uint64_t value) {
    std::string out = "[";
    out += name;
    out += '=';
    append_decimal(value, out);
    out += ']';
    return out;
}

void append_piece(std::string& out, std::string_view piece) {
    if (!out.empty()) {
        out += ' ';
    }
    out += piece;
}

}  // namespace

std::vector<std::string_view> split_fields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t pos = skip_blanks(text, 0); pos < text.size(); pos = skip_blanks(text, pos)) {
        std::size_t end = plain_field_end(text, pos);
        fields.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

std::vector<std::string_view> split_unquoted(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (auto found = find_unquoted(text, separator, start)) {
        pieces.push_back(text.substr(start, *found - start));
        start = *found + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::optional<std::string> parse_column_name(std::string_view text, bool allow_min_max) {
    if (is_plain_identifier(text)) {
        if (!allow_min_max && (text == "min" || text == "max")) {
            return std::nullopt;
        }
        return std::string(text);
    }
    if (is_quoted_column(text)) {
        return unquote_column(text);
    }
    return std::nullopt;
}

std::string quote_column_name(std::string_view name) {
    if (is_plain_identifier(name)) {
        return std::string(name);
    }
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::optional<TableHead> parse_section_head_args(std::span<const std::string_view> fields) {
    TableHead head;
    for (std::string_view field : fields) {
        if (auto bound = read_bound(field, head)) {
            if (!*bound) {
                return std::nullopt;
            }
            continue;
        }
        std::vector<HeadItem> group;
        for (std::string_view alternative : split_unquoted(field, '|')) {
            auto item = parse_authored_item(alternative);
            if (!item) {
                return std::nullopt;
            }
            group.push_back(std::move(*item));
        }
        head.groups.push_back(std::move(group));
    }
    return head;
}

std::optional<RefTarget> parse_ref_target(std::string_view text) {
    std::size_t separator = text.find(kRefSeparator);
    if (separator == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view table = text.substr(0, separator);
    if (!table.starts_with('/')) {
        return std::nullopt;
    }
    auto segments = split_path(table.substr(1));
    for (std::size_t i = 0; i < segments.size(); ++i) {
        bool last = i + 1 == segments.size();
        bool row = segments[i].starts_with('@');
        if (segments[i].empty() || row != last || (last && segments[i].size() < 2)) {
            return std::nullopt;
        }
    }
    auto column = parse_column_name(text.substr(separator + kRefSeparator.size()), true);
    if (!column) {
        return std::nullopt;
    }
    return RefTarget{std::string(table), std::move(*column)};
}

std::optional<TableHead> parse_head_items(std::string_view text) {
    auto fields = split_bracketed_fields(text);
    if (!fields) {
        return std::nullopt;
    }
    TableHead head;
    for (std::string_view field : *fields) {
        if (field.starts_with(kKeyPatternOpen)) {
            std::size_t length = field.size() - kKeyPatternOpen.size() - kKeyPatternClose.size();
            head.key_pattern = std::string(field.substr(kKeyPatternOpen.size(), length));
            continue;
        }
        std::vector<HeadItem> group;
        for (std::string_view alternative : split_unquoted(field, '|')) {
            if (!read_bracketed_alternative(alternative, head, group)) {
                return std::nullopt;
            }
        }
        if (!group.empty()) {
            head.groups.push_back(std::move(group));
        }
    }
    return head;
}

std::string render_ref_items(std::span<const HeadItem> group) {
    std::string out;
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (i > 0) {
            out += '|';
        }
        render_item(group[i], out);
    }
    return out;
}

std::string render_head_items(const TableHead& head) {
    std::string out;
    if (head.key_pattern) {
        append_piece(out, std::string(kKeyPatternOpen) + *head.key_pattern + std::string(kKeyPatternClose));
    }
    for (const auto& group : head.groups) {
        append_piece(out, render_ref_items(group));
    }
    if (head.min) {
        append_piece(out, render_bound("min", *head.min));
    }
    if (head.max) {
        append_piece(out, render_bound("max", *head.max));
    }
    return out;
}

}  // namespace bezo
