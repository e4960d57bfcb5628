#include "interchange/json_reader.hpp"

#include "core/text.hpp"
#include "core/utf8.hpp"

namespace bezo {
namespace {

Error invalid_at(std::size_t pos) { return Error::Other("invalid JSON at byte " + decimal_text(pos)); }

bool is_json_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

void skip_whitespace(JsonCursor& cursor) {
    while (cursor.pos < cursor.text.size() && is_json_whitespace(cursor.text[cursor.pos])) ++cursor.pos;
}

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
[[nodiscard]] Result<std::uint32_t> read_escaped_code_point(JsonCursor& cursor) {
    auto unit = read_hex4(cursor);
    if (!unit) return forward_error(unit);
    if (*unit >= 0xDC00 && *unit <= 0xDFFF) return std::unexpected(Error::Other("lone JSON low surrogate"));
    if (*unit < 0xD800 || *unit > 0xDBFF) return *unit;
    std::string_view rest = cursor.text.substr(cursor.pos);
    if (!rest.starts_with("\\u")) return std::unexpected(invalid_at(cursor.pos));
    cursor.pos += 2;
    auto low = read_hex4(cursor);
    if (!low) return forward_error(low);
    if (*low < 0xDC00 || *low > 0xDFFF) return std::unexpected(Error::Other("invalid JSON surrogate pair"));
    return 0x10000 + (std::uint32_t{*unit} - 0xD800) * 0x400 + (std::uint32_t{*low} - 0xDC00);
}

// Decodes the escape at the cursor (at its backslash) onto `out`.
[[nodiscard]] Result<void> decode_escape(JsonCursor& cursor, std::string& out) {
    if (cursor.pos + 1 >= cursor.text.size()) return std::unexpected(Error::Other("unterminated JSON escape"));
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
        default: return std::unexpected(Error::Other("invalid JSON escape"));
    }
}

bool is_plain_string_byte(char c) { return c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20; }

// Decodes a string at its opening quote onto `out`, copying the runs between
// escapes in one piece.
[[nodiscard]] Result<void> decode_json_string(JsonCursor& cursor, std::string& out) {
    if (at_end(cursor) || peek(cursor) != '"') return std::unexpected(invalid_at(cursor.pos));
    ++cursor.pos;
    while (true) {
        std::size_t run_start = cursor.pos;
        while (!at_end(cursor) && is_plain_string_byte(peek(cursor))) ++cursor.pos;
        out.append(cursor.text, run_start, cursor.pos - run_start);
        if (at_end(cursor)) return std::unexpected(Error::Other("unterminated JSON string"));
        char c = peek(cursor);
        if (c == '"') {
            ++cursor.pos;
            return {};
        }
        if (c != '\\') return std::unexpected(Error::Other("unescaped control character in JSON string"));
        if (auto escaped = decode_escape(cursor, out); !escaped) return escaped;
    }
}

// Reads values in one pass. With a target it builds the Value there;
// without one it only validates, decoding strings into a reused buffer.
class JsonValueReader {
public:
    explicit JsonValueReader(JsonCursor& cursor) : cursor_(cursor) {}

    [[nodiscard]] Result<void> read(unsigned depth, Value* target) {
        if (depth > kMaxJsonDepth) return std::unexpected(Error::Other("JSON nesting too deep"));
        skip_whitespace(cursor_);
        if (at_end(cursor_)) return std::unexpected(invalid_at(cursor_.pos));
        char c = peek(cursor_);
        if (c == '"') return read_string(target);
        if (c == '-' || is_ascii_digit(c)) return read_number(target);
        if (c == 't') return read_literal("true", Value::boolean(true), target);
        if (c == 'f') return read_literal("false", Value::boolean(false), target);
        if (c == 'n') return read_literal("null", Value::null(), target);
        if (c == '[') return read_array(depth, target);
        if (c == '{') return read_object(depth, target);
        return std::unexpected(invalid_at(cursor_.pos));
    }

private:
    [[nodiscard]] Result<void> read_string(Value* target) {
        if (!target) {
            scratch_.clear();
            return decode_json_string(cursor_, scratch_);
        }
        target->data = StringValue{};
        return decode_json_string(cursor_, std::get<StringValue>(target->data).text);
    }

    [[nodiscard]] Result<void> read_number(Value* target) {
        std::size_t start = cursor_.pos;
        if (auto scanned = parse_json_number(cursor_); !scanned) return scanned;
        if (target) *target = Value::number(std::string(cursor_.text.substr(start, cursor_.pos - start)));
        return {};
    }

    [[nodiscard]] Result<void> read_literal(std::string_view word, Value value, Value* target) {
        if (!cursor_.text.substr(cursor_.pos).starts_with(word)) return std::unexpected(invalid_at(cursor_.pos));
        cursor_.pos += word.size();
        if (target) *target = std::move(value);
        return {};
    }

    // Reads one element or member value, appended to `items` when building.
    [[nodiscard]] Result<void> read_child(unsigned depth, ValueArray* items) {
        if (!items) return read(depth + 1, nullptr);
        items->emplace_back();
        return read(depth + 1, &items->back());
    }

    [[nodiscard]] Result<void> read_array(unsigned depth, Value* target) {
        ValueArray* items = nullptr;
        if (target) {
            target->data = ValueArray{};
            items = &std::get<ValueArray>(target->data);
        }
        return read_items(']', [&] { return read_child(depth, items); });
    }

    [[nodiscard]] Result<void> read_member(unsigned depth, ValueObject* members) {
        std::string* key = &scratch_;
        if (members) {
            members->emplace_back();
            key = &members->back().key;
        } else {
            scratch_.clear();
        }
        if (auto read_key = decode_json_string(cursor_, *key); !read_key) return read_key;
        skip_whitespace(cursor_);
        if (at_end(cursor_) || peek(cursor_) != ':') return std::unexpected(invalid_at(cursor_.pos));
        ++cursor_.pos;
        return read(depth + 1, members ? &members->back().value : nullptr);
    }

    [[nodiscard]] Result<void> read_object(unsigned depth, Value* target) {
        ValueObject* members = nullptr;
        if (target) {
            target->data = ValueObject{};
            members = &std::get<ValueObject>(target->data);
        }
        return read_items('}', [&] { return read_member(depth, members); });
    }

    // Reads the comma-separated items of an array or object whose opening
    // bracket is at the cursor, up to and including `close`.
    template <class ReadItem>
    [[nodiscard]] Result<void> read_items(char close, ReadItem&& read_item) {
        ++cursor_.pos;
        skip_whitespace(cursor_);
        if (!at_end(cursor_) && peek(cursor_) == close) {
            ++cursor_.pos;
            return {};
        }
        while (true) {
            if (auto item = read_item(); !item) return item;
            skip_whitespace(cursor_);
            if (at_end(cursor_)) return std::unexpected(invalid_at(cursor_.pos));
            const char c = peek(cursor_);
            ++cursor_.pos;
            if (c == close) return {};
            if (c != ',') return std::unexpected(invalid_at(cursor_.pos - 1));
            skip_whitespace(cursor_);
        }
    }

    JsonCursor& cursor_;
    std::string scratch_;
};

// The span of a scalar that was read into `value` from `lexeme`.
JsonSpan scalar_span(Value&& value, std::string_view lexeme) {
    if (value.is<BoolValue>()) return JsonSpan{JsonSpan::Bool{value.get_if<BoolValue>()->value}};
    if (value.is<NumberValue>()) return JsonSpan{JsonSpan::Number{lexeme}};
    if (auto* string = value.get_if<StringValue>()) return JsonSpan{JsonSpan::String{std::move(string->text)}};
    return JsonSpan{JsonSpan::Null{}};
}

}  // namespace

Result<std::uint16_t> read_hex4(JsonCursor& cursor) {
    std::string_view text = cursor.text;
    std::size_t end = cursor.pos + 4;
    if (end > text.size() || (end < text.size() && is_utf8_continuation(text[end]))) {
        return std::unexpected(Error::Other("truncated \\u escape"));
    }
    std::uint16_t unit = 0;
    for (std::size_t i = cursor.pos; i < end; ++i) {
        int digit = hex_digit_value(text[i]);
        if (digit < 0) return std::unexpected(Error::Other("invalid \\u escape"));
        unit = static_cast<std::uint16_t>(unit << 4 | digit);
    }
    cursor.pos = end;
    return unit;
}

Result<void> parse_json_number(JsonCursor& cursor) {
    std::size_t start = cursor.pos;
    auto malformed = [&] {
        return std::unexpected(Error::Other("invalid JSON number at byte " + decimal_text(start)));
    };
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

Result<JsonSpan> parse_json_value(JsonCursor& cursor, unsigned depth) {
    JsonValueReader reader(cursor);
    if (depth <= kMaxJsonDepth) skip_whitespace(cursor);
    std::size_t start = cursor.pos;
    bool composite = !at_end(cursor) && (peek(cursor) == '[' || peek(cursor) == '{');
    if (composite) {
        if (auto read = reader.read(depth, nullptr); !read) return forward_error(read);
        return JsonSpan{JsonSpan::Raw{cursor.text.substr(start, cursor.pos - start)}};
    }
    Value scalar;
    if (auto read = reader.read(depth, &scalar); !read) return forward_error(read);
    return scalar_span(std::move(scalar), cursor.text.substr(start, cursor.pos - start));
}

Result<Value> build_json_value(const JsonSpan& span) {
    if (std::holds_alternative<JsonSpan::Bool>(span.data))
        return Value::boolean(std::get<JsonSpan::Bool>(span.data).value);
    if (auto* number = std::get_if<JsonSpan::Number>(&span.data)) return Value::number(std::string(number->lexeme));
    if (auto* string = std::get_if<JsonSpan::String>(&span.data)) return Value::string(string->text);
    if (auto* raw = std::get_if<JsonSpan::Raw>(&span.data)) {
        JsonCursor cursor{raw->slice};
        Value value;
        if (auto read = JsonValueReader(cursor).read(0, &value); !read) return forward_error(read);
        return value;
    }
    return Value::null();
}

Result<Value> parse_json_document(std::string_view text) {
    JsonCursor cursor{text};
    Value root;
    if (auto read = JsonValueReader(cursor).read(0, &root); !read) return forward_error(read);
    skip_whitespace(cursor);
    if (!at_end(cursor)) return std::unexpected(Error::Other("trailing content after JSON document"));
    return root;
}

}  // namespace bezo
