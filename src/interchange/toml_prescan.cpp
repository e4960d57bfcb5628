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
    TomlPrescan(std::string_view text, std::vector<TomlCut>* cuts, std::size_t piece_bytes)
        : text_(text), cuts_(cuts), piece_bytes_(piece_bytes) {}

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
            } else {
                offer_root_entry_cut();
                if (auto entry = scan_entry(); !entry) return entry;
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
        const std::size_t header_start = pos_;
        ++pos_;
        bool array = !at_end() && peek() == '[';
        if (array) ++pos_;
        const std::size_t key_start = pos_;
        auto parts = scan_key();
        if (!parts) return forward_error(parts);
        std::size_t level = *parts + (array ? 1 : 0);
        if (auto checked = check_level(level); !checked) return checked;
        header_level_ = static_cast<unsigned>(level);
        note_header(header_start, text_.substr(key_start, pos_ - key_start), *parts, array);
        return {};
    }

    // ---- Cuts ----

    void offer_cut(std::size_t start, TomlCutKind kind, std::string_view array_key = {}) {
        if (cuts_ == nullptr || start - last_cut_ < piece_bytes_) return;
        cuts_->push_back(TomlCut{start, kind, array_key});
        last_cut_ = start;
    }

    // A root entry begins a statement of its own.
    void offer_root_entry_cut() {
        if (!header_seen_) offer_cut(pos_, TomlCutKind::Statement);
    }

    // A header whose first key is bare and new starts a group of tables no
    // other group shares (a key both name is caught when the pieces are
    // joined); "[[A]]" within the group that "[[A]]" began starts an element.
    // A header whose first key is quoted ends the groups: nothing is cut
    // until the next header of a bare first key.
    void note_header(std::size_t header_start, std::string_view key, std::size_t parts, bool array) {
        header_seen_ = true;
        const std::string_view first = first_bare_part(key);
        const bool whole_key_bare = parts == 1 && first.size() == trim_blanks(key).size();
        if (first.empty()) {
            group_ = {};
            group_of_elements_ = false;
        } else if (first != group_) {
            offer_cut(header_start, TomlCutKind::Statement);
            group_ = first;
            group_of_elements_ = array && whole_key_bare;
        } else if (group_of_elements_ && array && whole_key_bare) {
            offer_cut(header_start, TomlCutKind::Element);
        }
    }

    // A root entry of one bare key whose value is an array may be cut
    // between its items.
    void note_entry_key(std::string_view key, std::size_t parts) {
        key = trim_blanks(key);
        const bool bare = parts == 1 && !header_seen_ && first_bare_part(key).size() == key.size();
        entry_key_ = bare ? key : std::string_view{};
        value_start_ = pos_;
    }

    bool opens_long_array(char close) const {
        return close == ']' && frames_.empty() && !entry_key_.empty() &&
               trim_blanks(text_.substr(value_start_, pos_ - value_start_)).empty();
    }

    // "key = value" at the top of a table; a line that is not one is left
    // for the library to report.
    Result<void> scan_entry() {
        const std::size_t key_start = pos_;
        auto parts = scan_key();
        if (!parts) return forward_error(parts);
        if (at_end() || peek() != '=' || *parts == 0) {
            skip_comment();
            return {};
        }
        ++pos_;
        note_entry_key(text_.substr(key_start, pos_ - 1 - key_start), *parts);
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

    // An item of the long array stands since its last comma (or its "["):
    // only a comma after an item may be cut at, since a piece closed or
    // opened at a comma with no item before it would read alone as an
    // array with no empty item.
    void note_long_array_item() {
        if (long_array_ && frames_.size() == 1) long_array_item_ = true;
    }

    Result<void> open(char close, unsigned& level) {
        note_long_array_item();
        if (opens_long_array(close)) {
            long_array_ = true;
            long_array_item_ = false;
        }
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
                note_long_array_item();
                skip_string();
            } else if (c == '[' || c == '{') {
                if (auto opened = open(c == '[' ? ']' : '}', level); !opened) return opened;
            } else if ((c == ']' || c == '}') && !frames_.empty() && frames_.back().close == c) {
                ++pos_;
                level = frames_.back().outer_level;
                frames_.pop_back();
                if (frames_.empty()) long_array_ = false;
            } else if (c == ',' && long_array_ && frames_.size() == 1) {
                ++pos_;
                if (long_array_item_) offer_cut(pos_, TomlCutKind::Item, entry_key_);
                long_array_item_ = false;
            } else if (c == ',' && !frames_.empty() && frames_.back().close == '}') {
                ++pos_;
                if (auto key = scan_inline_key(level); !key) return key;
            } else if (is_token_byte(c)) {
                note_long_array_item();
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

    std::vector<TomlCut>* cuts_;
    std::size_t piece_bytes_;
    std::size_t last_cut_ = 0;
    bool header_seen_ = false;
    // The first key of the current group of headers, and whether "[[key]]" began it.
    std::string_view group_;
    bool group_of_elements_ = false;
    // The key of the root entry being read when it is one bare key, where its
    // value starts, and whether that value is an array still open.
    std::string_view entry_key_;
    std::size_t value_start_ = 0;
    bool long_array_ = false;
    bool long_array_item_ = false;
};

}  // namespace

Result<void> prescan_toml(std::string_view text, std::vector<TomlCut>* cuts, std::size_t piece_bytes) {
    if (cuts != nullptr) cuts->clear();
    return TomlPrescan(text, cuts, piece_bytes).run();
}

Error invalid_toml_at(std::string_view problem, std::size_t line, std::size_t column) {
    return Error::Other("invalid TOML: " + quoted_excerpt(problem, 2 * kMaxQuotedBytes) + " (line " +
                        decimal_text(line) + ", column " + decimal_text(column) + ")");
}

}  // namespace bezo
