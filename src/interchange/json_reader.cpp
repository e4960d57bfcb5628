#include "interchange/json_reader.hpp"

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/json_text.hpp"

namespace bezo {
namespace {

// Errors and escaped strings stay out of line: the reader's loop inlines
// everything else it calls.
[[gnu::noinline]] Error invalid_at(std::size_t pos) {
    return Error::Other("invalid JSON at byte " + decimal_text(pos));
}

bool is_json_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool at_end(const JsonCursor& cursor) { return cursor.pos >= cursor.text.size(); }

char peek(const JsonCursor& cursor) { return cursor.text[cursor.pos]; }

void skip_digits(JsonCursor& cursor) {
    while (!at_end(cursor) && is_ascii_digit(peek(cursor))) ++cursor.pos;
}

// Moves past one or more digits; false when there is none.
bool take_digits(JsonCursor& cursor) {
    std::size_t start = cursor.pos;
    skip_digits(cursor);
    return cursor.pos > start;
}

// Reads the code point of a "\u" escape whose "\u" has been consumed,
// joining a surrogate pair.
Result<std::uint32_t> read_escaped_code_point(JsonCursor& cursor) {
    auto unit = read_hex4(cursor);
    if (!unit) return forward_error(unit);
    if (*unit >= 0xDC00 && *unit <= 0xDFFF) return fail("lone JSON low surrogate");
    if (*unit < 0xD800 || *unit > 0xDBFF) return *unit;
    std::string_view rest = cursor.text.substr(cursor.pos);
    if (!rest.starts_with("\\u")) return std::unexpected(invalid_at(cursor.pos));
    cursor.pos += 2;
    auto low = read_hex4(cursor);
    if (!low) return forward_error(low);
    if (*low < 0xDC00 || *low > 0xDFFF) return fail("invalid JSON surrogate pair");
    return 0x10000 + (std::uint32_t{*unit} - 0xD800) * 0x400 + (std::uint32_t{*low} - 0xDC00);
}

// Decodes the escape at the cursor (at its backslash) onto `out`.
Result<void> decode_escape(JsonCursor& cursor, std::string& out) {
    if (cursor.pos + 1 >= cursor.text.size()) return fail("unterminated JSON escape");
    char letter = cursor.text[cursor.pos + 1];
    cursor.pos += 2;
    switch (letter) {
        case '"': out += '"'; return {};
        case '\\': out += '\\'; return {};
        case '/': out += '/'; return {};
        case 'b': out += '\b'; return {};
        case 'f': out += '\f'; return {};
        case 'n': out += '\n'; return {};
        case 'r': out += '\r'; return {};
        case 't': out += '\t'; return {};
        case 'u': {
            auto code_point = read_escaped_code_point(cursor);
            if (!code_point) return forward_error(code_point);
            append_utf8(*code_point, out);
            return {};
        }
        default: return fail("invalid JSON escape");
    }
}

// Decodes the rest of a string, from the first byte that is not plain up to
// and including its closing quote, onto `out`.
[[gnu::noinline]] Result<void> decode_string_rest(JsonCursor& cursor, std::string& out) {
    while (true) {
        if (at_end(cursor)) return fail("unterminated JSON string");
        char c = peek(cursor);
        if (c == '"') {
            ++cursor.pos;
            return {};
        }
        if (c != '\\') return fail("unescaped control character in JSON string");
        if (auto escaped = decode_escape(cursor, out); !escaped) return escaped;
        std::size_t run_start = cursor.pos;
        cursor.pos = find_json_escape_byte(cursor.text, cursor.pos);
        out.append(cursor.text, run_start, cursor.pos - run_start);
    }
}

// The position of the first byte at or after `from` that a string literal
// cannot hold as it is, as find_json_escape_byte gives it; `dollar` is set
// when a "$" stands before it.
std::size_t find_string_run_end(std::string_view text, std::size_t from, bool& dollar) {
    const std::size_t pos = find_byte_below_or_of<0x20, '"', '\\', '$'>(text, from);
    if (pos == text.size() || text[pos] != '$') return pos;
    dollar = true;
    return find_json_escape_byte(text, pos + 1);
}

// A string read at its opening quote: a view of the JSON text when it holds
// no escape, else its decoded text, held in the reader's scratch.
struct ReadString {
    std::string_view text;
    bool plain = false;  // a view holding no "$"
};

// Reads a string at its opening quote.
Result<ReadString> read_json_string(JsonCursor& cursor, std::string& scratch) {
    if (at_end(cursor) || peek(cursor) != '"') return std::unexpected(invalid_at(cursor.pos));
    const std::size_t start = ++cursor.pos;
    bool dollar = false;
    cursor.pos = find_string_run_end(cursor.text, cursor.pos, dollar);
    if (!at_end(cursor) && peek(cursor) == '"') {
        return ReadString{cursor.text.substr(start, cursor.pos++ - start), !dollar};
    }
    scratch.assign(cursor.text, start, cursor.pos - start);
    if (auto decoded = decode_string_rest(cursor, scratch); !decoded) return forward_error(decoded);
    return ReadString{scratch};
}

}  // namespace

void skip_json_whitespace(JsonCursor& cursor) {
    while (cursor.pos < cursor.text.size() && is_json_whitespace(cursor.text[cursor.pos])) ++cursor.pos;
}

// Reads values into the nodes of a tree in one pass, without recursion: the
// containers still open are kept on a stack of their own.
class JsonTreeBuilder {
public:
    JsonTreeBuilder(JsonCursor& cursor, JsonTree& tree) : cursor_(cursor), tree_(tree) {
        // A node per six bytes is more than records and configurations hold;
        // pages beyond those written are never touched.
        tree_.nodes_.reserve(cursor.text.size() / 6 + 4);
    }

    // Reads one value at `depth`, leaving the cursor just after it. Every
    // step of a value is inlined here: their calls and returns cost more
    // than the work of most values.
    [[gnu::flatten]] Result<void> read(unsigned depth) {
        unsigned value_depth = depth;
        while (true) {
            auto opened = read_value(value_depth);
            if (!opened) return forward_error(opened);
            if (!*opened) {
                auto more = close_finished_containers();
                if (!more) return forward_error(more);
                if (!*more) return {};
            }
            value_depth = open_.back().depth + 1;
        }
    }

private:
    struct OpenContainer {
        std::size_t node;
        unsigned depth;
        std::size_t children = 0;
    };

    char closing_bracket(const OpenContainer& open) const {
        return tree_.nodes_[open.node].kind() == JsonKind::Array ? ']' : '}';
    }

    void add(JsonKind kind, std::string_view text = {}) { tree_.nodes_.emplace_back(kind, text); }

    // Compact texts hold no blank between tokens: that case costs one test.
    void skip_blanks() {
        if (!at_end(cursor_) && is_json_whitespace(peek(cursor_))) skip_json_whitespace(cursor_);
    }

    // Reads a value, or opens a container. True when a container was opened
    // and its first element or member value is due (an object's key read).
    Result<bool> read_value(unsigned depth) {
        if (depth > kMaxJsonDepth) return fail("JSON nesting too deep");
        skip_blanks();
        if (at_end(cursor_)) return std::unexpected(invalid_at(cursor_.pos));
        const char c = peek(cursor_);
        if (c == '[') return open_container(JsonKind::Array, depth);
        if (c == '{') return open_container(JsonKind::Object, depth);
        if (auto read = read_scalar(c); !read) return forward_error(read);
        return false;
    }

    Result<void> read_scalar(char c) {
        if (c == '"') return read_string();
        if (c == '-' || is_ascii_digit(c)) {
            const std::size_t start = cursor_.pos;
            if (auto scanned = parse_json_number(cursor_); !scanned) return scanned;
            add(JsonKind::Number, cursor_.text.substr(start, cursor_.pos - start));
            return {};
        }
        if (c == 't') return read_literal("true", JsonKind::True);
        if (c == 'f') return read_literal("false", JsonKind::False);
        if (c == 'n') return read_literal("null", JsonKind::Null);
        return std::unexpected(invalid_at(cursor_.pos));
    }

    Result<void> read_string() {
        auto read = read_json_string(cursor_, scratch_);
        if (!read) return forward_error(read);
        const bool decoded = read->text.data() == scratch_.data();
        tree_.nodes_.emplace_back(JsonKind::String, decoded ? tree_.decoded_.store(read->text) : read->text,
                                  read->plain);
        return {};
    }

    Result<void> read_literal(std::string_view word, JsonKind kind) {
        if (!cursor_.text.substr(cursor_.pos).starts_with(word)) return std::unexpected(invalid_at(cursor_.pos));
        cursor_.pos += word.size();
        add(kind);
        return {};
    }

    Result<bool> open_container(JsonKind kind, unsigned depth) {
        open_.push_back(OpenContainer{tree_.nodes_.size(), depth});
        add(kind);
        ++cursor_.pos;
        skip_blanks();
        if (!at_end(cursor_) && peek(cursor_) == closing_bracket(open_.back())) {
            ++cursor_.pos;
            open_.pop_back();
            return false;
        }
        if (kind == JsonKind::Array) return true;
        if (auto key = read_key(); !key) return forward_error(key);
        return true;
    }

    // Reads a member's key and the ":" after it.
    Result<void> read_key() {
        if (auto key = read_string(); !key) return key;
        skip_blanks();
        if (at_end(cursor_) || peek(cursor_) != ':') return std::unexpected(invalid_at(cursor_.pos));
        ++cursor_.pos;
        return {};
    }

    // After a complete value: closes every container that ends there. True
    // when the innermost open container has a further item due (an object's
    // key read), false when no container is left open.
    Result<bool> close_finished_containers() {
        while (!open_.empty()) {
            OpenContainer& open = open_.back();
            ++open.children;
            skip_blanks();
            if (at_end(cursor_)) return std::unexpected(invalid_at(cursor_.pos));
            const char c = peek(cursor_);
            ++cursor_.pos;
            if (c == ',') {
                skip_blanks();
                if (tree_.nodes_[open.node].kind() == JsonKind::Object) {
                    if (auto key = read_key(); !key) return forward_error(key);
                }
                return true;
            }
            if (c != closing_bracket(open)) return std::unexpected(invalid_at(cursor_.pos - 1));
            tree_.nodes_[open.node].close(open.children, tree_.nodes_.size() - open.node);
            open_.pop_back();
        }
        return false;
    }

    JsonCursor& cursor_;
    JsonTree& tree_;
    std::vector<OpenContainer> open_;
    std::string scratch_;
};

namespace {

// Reads one value at the cursor into a new tree.
Result<JsonTree> read_json_tree(JsonCursor& cursor, unsigned depth) {
    JsonTree tree;
    if (auto read = JsonTreeBuilder(cursor, tree).read(depth); !read) return forward_error(read);
    return tree;
}

}  // namespace

Result<std::uint16_t> read_hex4(JsonCursor& cursor) {
    std::string_view text = cursor.text;
    std::size_t end = cursor.pos + 4;
    if (end > text.size() || (end < text.size() && is_utf8_continuation(text[end]))) {
        return fail("truncated \\u escape");
    }
    std::uint16_t unit = 0;
    for (std::size_t i = cursor.pos; i < end; ++i) {
        int digit = hex_digit_value(text[i]);
        if (digit < 0) return fail("invalid \\u escape");
        unit = static_cast<std::uint16_t>(unit << 4 | digit);
    }
    cursor.pos = end;
    return unit;
}

Result<void> parse_json_number(JsonCursor& cursor) {
    std::size_t start = cursor.pos;
    auto malformed = [&] { return fail("invalid JSON number at byte " + decimal_text(start)); };
    if (!at_end(cursor) && peek(cursor) == '-') ++cursor.pos;
    if (at_end(cursor) || !is_ascii_digit(peek(cursor))) return malformed();
    if (peek(cursor) == '0') {
        ++cursor.pos;
    } else {
        skip_digits(cursor);
    }
    if (!at_end(cursor) && peek(cursor) == '.') {
        ++cursor.pos;
        if (!take_digits(cursor)) return malformed();
    }
    if (!at_end(cursor) && (peek(cursor) == 'e' || peek(cursor) == 'E')) {
        ++cursor.pos;
        if (!at_end(cursor) && (peek(cursor) == '+' || peek(cursor) == '-')) ++cursor.pos;
        if (!take_digits(cursor)) return malformed();
    }
    return {};
}

bool is_whole_json_number(std::string_view text) {
    JsonCursor cursor{text};
    return parse_json_number(cursor).has_value() && cursor.pos == text.size();
}

Result<JsonSpan> parse_json_value(JsonCursor& cursor, unsigned depth) {
    if (depth <= kMaxJsonDepth) skip_json_whitespace(cursor);
    const std::size_t start = cursor.pos;
    auto tree = read_json_tree(cursor, depth);
    if (!tree) return forward_error(tree);
    const JsonNode& root = tree->root();
    switch (root.kind()) {
        case JsonKind::Null: return JsonSpan{JsonSpan::Null{}};
        case JsonKind::False: return JsonSpan{JsonSpan::Bool{false}};
        case JsonKind::True: return JsonSpan{JsonSpan::Bool{true}};
        case JsonKind::Number: return JsonSpan{JsonSpan::Number{root.text()}};
        case JsonKind::String: return JsonSpan{JsonSpan::String{std::string(root.text())}};
        case JsonKind::Array:
        case JsonKind::Object: break;
    }
    return JsonSpan{JsonSpan::Raw{cursor.text.substr(start, cursor.pos - start)}};
}

Value json_node_value(const JsonNode& node) {
    switch (node.kind()) {
        case JsonKind::Null: return Value::null();
        case JsonKind::False: return Value::boolean(false);
        case JsonKind::True: return Value::boolean(true);
        case JsonKind::Number: return Value::number(std::string(node.text()));
        case JsonKind::String: return Value::string(std::string(node.text()));
        case JsonKind::Array: {
            ValueArray items;
            items.reserve(node.child_count());
            for (const JsonNode& item : JsonItems(node)) items.push_back(json_node_value(item));
            return Value::array(std::move(items));
        }
        case JsonKind::Object: break;
    }
    ValueObject members;
    members.reserve(node.child_count());
    for (const JsonMember member : JsonMembers(node)) {
        members.push_back(ValueMember{std::string(member.key), json_node_value(member.value)});
    }
    return Value::object(std::move(members));
}

Result<Value> build_json_value(const JsonSpan& span) {
    if (std::holds_alternative<JsonSpan::Bool>(span.data))
        return Value::boolean(std::get<JsonSpan::Bool>(span.data).value);
    if (auto* number = std::get_if<JsonSpan::Number>(&span.data)) return Value::number(std::string(number->lexeme));
    if (auto* string = std::get_if<JsonSpan::String>(&span.data)) return Value::string(string->text);
    if (auto* raw = std::get_if<JsonSpan::Raw>(&span.data)) {
        JsonCursor cursor{raw->slice};
        auto tree = read_json_tree(cursor, 0);
        if (!tree) return forward_error(tree);
        return json_node_value(tree->root());
    }
    return Value::null();
}

Result<JsonTree> parse_json_tree(std::string_view text) {
    JsonCursor cursor{text};
    auto tree = read_json_tree(cursor, 0);
    if (!tree) return tree;
    skip_json_whitespace(cursor);
    if (!at_end(cursor)) return fail("trailing content after JSON document");
    return tree;
}

Result<Value> parse_json_document(std::string_view text) {
    auto tree = parse_json_tree(text);
    if (!tree) return forward_error(tree);
    return json_node_value(tree->root());
}

}  // namespace bezo
