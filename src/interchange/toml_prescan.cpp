#include "interchange/toml_prescan.hpp"

#include <vector>

#include "core/text.hpp"
#include "core/utf8.hpp"

namespace bezo {
namespace {

bool is_bare_key_byte(char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '-'; }

// Bytes that this TOML library's extended mode would read as part of a bare
// key although TOML 1.1 does not allow them there.
bool is_extended_key_byte(char c) { return c == '+' || static_cast<unsigned char>(c) >= 0x80; }

// Bytes of a bare value token: numbers, booleans, dates and times.
bool is_token_byte(char c) { return is_bare_key_byte(c) || c == '+' || c == '.' || c == ':'; }

// The first part of a header's key when it is a bare key; empty when it is
// quoted or missing.
std::string_view first_bare_part(std::string_view key) {
    key = trim_blanks(key);
    std::size_t end = 0;
    while (end < key.size() && is_bare_key_byte(key[end])) ++end;
    return key.substr(0, end);
}

class TomlPrescan {
public:
    TomlPrescan(std::string_view text, TomlElementRun* elements) : text_(text), elements_(elements) {}

    Result<void> run() {
        // The library skips a byte-order mark at the start; it is no key.
        if (text_.starts_with("\xEF\xBB\xBF")) pos_ = line_start_ = 3;
        while (skip_blanks(), !at_end()) {
            char c = peek();
            if (c == '\n') {
                newline();
            } else if (c == '\r') {
                ++pos_;
            } else if (c == '#') {
                skip_comment();
            } else if (c == '[') {
                if (auto header = scan_header(); !header) return header;
            } else if (auto entry = scan_entry(); !entry) {
                return entry;
            }
        }
        return {};
    }

private:
    // An open inline table or array: what closes it, the level around it
    // and the level of its own entries or items.
    struct Frame {
        char close;
        unsigned outer_level;
        unsigned inner_level;
    };

    bool at_end() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }
    bool looking_at(std::string_view word) const { return text_.substr(pos_).starts_with(word); }

    void newline() {
        ++pos_;
        ++line_;
        line_start_ = pos_;
    }

    void skip_blanks() {
        while (!at_end() && is_blank_or_tab(peek())) ++pos_;
    }

    void skip_comment() {
        while (!at_end() && peek() != '\n') ++pos_;
    }

    // Blanks, line ends and comments, as inline tables and arrays allow.
    void skip_space_and_comments() {
        while (!at_end()) {
            char c = peek();
            if (c == '\n') {
                newline();
            } else if (is_blank_or_tab(c) || c == '\r') {
                ++pos_;
            } else if (c == '#') {
                skip_comment();
            } else {
                return;
            }
        }
    }

    Error refusal(std::string_view problem) const {
        const std::size_t column = 1 + count_scalars(text_.substr(line_start_, pos_ - line_start_));
        return invalid_toml_at(problem, line_ + 1, column);
    }

    static Result<void> check_level(std::size_t level) {
        if (level > kMaxTomlDepth) return fail("invalid TOML: nesting deeper than 512 levels");
        return {};
    }

    // Skips a basic or literal string, single- or multi-line, at its first
    // quote. An unterminated single-line string stops at the line end.
    void skip_string() {
        char quote = peek();
        bool basic = quote == '"';
        bool multiline = looking_at(basic ? "\"\"\"" : "'''");
        pos_ += multiline ? 3 : 1;
        while (!at_end()) {
            char c = peek();
            if (c == '\n') {
                if (!multiline) return;
                newline();
            } else if (c == '\\' && basic) {
                ++pos_;
                if (!at_end() && peek() != '\n') ++pos_;
            } else if (c != quote) {
                ++pos_;
            } else if (!multiline) {
                ++pos_;
                return;
            } else if (looking_at(basic ? "\"\"\"" : "'''")) {
                // Up to two more quotes belong to the content.
                pos_ += 3;
                for (int extra = 0; extra < 2 && !at_end() && peek() == quote; ++extra) ++pos_;
                return;
            } else {
                ++pos_;
            }
        }
    }

    // A dotted key up to the byte after it (normally "=" or "]"); gives the
    // number of its parts.
    Result<std::size_t> scan_key() {
        std::size_t parts = 0;
        while (true) {
            skip_blanks();
            if (at_end()) return parts;
            char c = peek();
            if (c == '"' || c == '\'') {
                skip_string();
            } else if (is_bare_key_byte(c) || is_extended_key_byte(c)) {
                for (; !at_end() && (is_bare_key_byte(peek()) || is_extended_key_byte(peek())); ++pos_) {
                    if (is_extended_key_byte(peek())) {
                        return std::unexpected(
                            refusal("bare keys may only hold ASCII letters, digits, \"_\" and \"-\""));
                    }
                }
            } else {
                return parts;
            }
            ++parts;
            skip_blanks();
            if (at_end() || peek() != '.') return parts;
            ++pos_;
        }
    }

    // "[a.b]" or "[[a.b]]": every later entry stands inside its tables, and
    // inside the array too for an array of tables.
    Result<void> scan_header() {
        ++pos_;
        bool array = !at_end() && peek() == '[';
        if (array) ++pos_;
        const std::size_t key_start = pos_;
        auto parts = scan_key();
        if (!parts) return forward_error(parts);
        std::size_t level = *parts + (array ? 1 : 0);
        if (auto checked = check_level(level); !checked) return checked;
        header_level_ = static_cast<unsigned>(level);
        if (elements_ != nullptr) note_header(text_.substr(key_start, pos_ - key_start), *parts, array);
        return {};
    }

    // Follows the headers while they keep the shape of one array of tables
    // after the root's entries; the first that breaks it clears the key.
    void note_header(std::string_view key, std::size_t parts, bool array) {
        if (broken_) return;
        const std::string_view first = first_bare_part(key);
        const bool starts_element = array && parts == 1;
        const bool first_header = elements_->starts.empty();
        if (first.empty() || (first_header && !starts_element) || (!first_header && first != elements_->key) ||
            (parts == 1 && !array)) {
            broken_ = true;
            elements_->key = {};
            elements_->starts.clear();
            return;
        }
        elements_->key = first;
        if (starts_element) elements_->starts.push_back(line_start_);
    }

    // "key = value" at the top of a table; a line that is not one is left
    // for the library to report.
    Result<void> scan_entry() {
        auto parts = scan_key();
        if (!parts) return forward_error(parts);
        if (at_end() || peek() != '=' || *parts == 0) {
            skip_comment();
            return {};
        }
        ++pos_;
        std::size_t level = header_level_ + *parts - 1;
        if (auto checked = check_level(level); !checked) return checked;
        return scan_value(static_cast<unsigned>(level));
    }

    // A key of an inline table after its "{" or a ",": its value stands at
    // the table's level plus the key's parts less one.
    Result<void> scan_inline_key(unsigned& level) {
        skip_space_and_comments();
        if (at_end() || peek() == '}') return {};
        auto parts = scan_key();
        if (!parts) return forward_error(parts);
        if (at_end() || peek() != '=' || *parts == 0) return {};
        ++pos_;
        std::size_t entry_level = frames_.back().inner_level + *parts - 1;
        if (auto checked = check_level(entry_level); !checked) return checked;
        level = static_cast<unsigned>(entry_level);
        return {};
    }

    Result<void> open(char close, unsigned& level) {
        ++pos_;
        if (auto checked = check_level(std::size_t{level} + 1); !checked) return checked;
        frames_.push_back(Frame{close, level, level + 1});
        level += 1;
        if (close == '}') return scan_inline_key(level);
        return {};
    }

    // A value that ends at the line end once every inline table and array
    // it opened has closed.
    Result<void> scan_value(unsigned level) {
        while (!at_end()) {
            char c = peek();
            if (c == '\n') {
                if (frames_.empty()) return {};
                newline();
            } else if (c == '#') {
                skip_comment();
            } else if (c == '"' || c == '\'') {
                skip_string();
            } else if (c == '[' || c == '{') {
                if (auto opened = open(c == '[' ? ']' : '}', level); !opened) return opened;
            } else if ((c == ']' || c == '}') && !frames_.empty() && frames_.back().close == c) {
                ++pos_;
                level = frames_.back().outer_level;
                frames_.pop_back();
            } else if (c == ',' && !frames_.empty() && frames_.back().close == '}') {
                ++pos_;
                if (auto key = scan_inline_key(level); !key) return key;
            } else if (is_token_byte(c)) {
                if (auto token = scan_token(); !token) return token;
            } else {
                ++pos_;
            }
        }
        return {};
    }

    // A bare value such as a number or a date; hexadecimal floats ("0x1.8p3")
    // are refused.
    Result<void> scan_token() {
        std::size_t start = pos_;
        while (!at_end() && is_token_byte(peek())) ++pos_;
        std::string_view token = text_.substr(start, pos_ - start);
        if (token.starts_with('+') || token.starts_with('-')) token.remove_prefix(1);
        if (token.starts_with("0x") && token.find_first_of(".pP") != std::string_view::npos) {
            pos_ = start;
            return std::unexpected(refusal("hexadecimal floats are not supported"));
        }
        return {};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 0;
    std::size_t line_start_ = 0;
    unsigned header_level_ = 0;
    std::vector<Frame> frames_;
    TomlElementRun* elements_;
    bool broken_ = false;
};

}  // namespace

Result<void> prescan_toml(std::string_view text, TomlElementRun* elements) {
    if (elements != nullptr) *elements = {};
    return TomlPrescan(text, elements).run();
}

Error invalid_toml_at(std::string_view problem, std::size_t line, std::size_t column) {
    return Error::Other("invalid TOML: " + std::string(problem) + " (line " + decimal_text(line) + ", column " +
                        decimal_text(column) + ")");
}

}  // namespace bezo
