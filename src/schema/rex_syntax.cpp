#include "schema/rex_syntax.hpp"

#include <charconv>
#include <string>

namespace bezo {
namespace {

constexpr char32_t kNoChar = 0xFFFFFFFF;

bool is_ascii_alnum(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

int hex_value(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
    return -1;
}

RexNode leaf(RexNodeKind kind) {
    RexNode node;
    node.kind = kind;
    return node;
}

RexNode char_node(char32_t c) {
    RexNode node = leaf(RexNodeKind::Char);
    node.ch = c;
    return node;
}

RexNode class_node(bool negated, std::vector<RexRange> ranges) {
    RexNode node = leaf(RexNodeKind::Class);
    node.negated = negated;
    node.ranges = std::make_shared<const std::vector<RexRange>>(std::move(ranges));
    return node;
}

const RexRange kDigitRange{U'0', U'9'};

// One escape after a backslash, as far as it names a single character: "\x"
// with two hexadecimal digits below 0x80, or a backslash before anything that
// is not an ASCII letter or digit. "\d" is handled by the callers.
struct EscapedChar {
    bool ok = false;
    char32_t ch = 0;
};

class RexParser {
public:
    explicit RexParser(std::span<const char32_t> pattern) : text_(pattern) {}

    std::optional<RexNode> parse_whole() {
        auto tree = parse_alternation(0);
        if (!tree || pos_ != text_.size()) return std::nullopt;
        return tree;
    }

private:
    char32_t peek(std::size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : kNoChar; }
    bool at_end() const { return pos_ >= text_.size(); }

    // Reads the escape whose backslash is at the current position, consuming
    // it whether or not it is valid.
    EscapedChar read_char_escape() {
        ++pos_;  // the backslash
        if (at_end()) return {};
        const char32_t c = text_[pos_++];
        if (c == U'x') {
            const int hi = hex_value(peek());
            const int lo = hex_value(peek(1));
            if (hi < 0 || lo < 0) return {};
            pos_ += 2;
            const auto code = static_cast<char32_t>(hi * 16 + lo);
            if (code >= 0x80) return {};
            return {true, code};
        }
        if (c < 0x80 && is_ascii_alnum(c)) return {};
        return {true, c};
    }

    bool at_digit_escape() const { return peek() == U'\\' && peek(1) == U'd'; }

    std::optional<RexNode> parse_alternation(std::size_t depth) {
        if (depth > kRexMaxGroupDepth) return std::nullopt;
        auto first = parse_sequence(depth);
        if (!first) return std::nullopt;
        if (peek() != U'|') return first;
        RexNode alternation = leaf(RexNodeKind::Alternation);
        alternation.children.push_back(std::move(*first));
        while (peek() == U'|') {
            ++pos_;
            auto next = parse_sequence(depth);
            if (!next) return std::nullopt;
            alternation.children.push_back(std::move(*next));
        }
        return alternation;
    }

    std::optional<RexNode> parse_sequence(std::size_t depth) {
        RexNode sequence = leaf(RexNodeKind::Concat);
        while (!at_end() && peek() != U'|' && peek() != U')') {
            auto atom = parse_atom(depth);
            if (!atom) return std::nullopt;
            if (!apply_quantifier(*atom)) return std::nullopt;
            sequence.children.push_back(std::move(*atom));
        }
        return sequence;
    }

    std::optional<RexNode> parse_atom(std::size_t depth) {
        const char32_t c = peek();
        switch (c) {
            case U'.': ++pos_; return leaf(RexNodeKind::Any);
            case U'^': ++pos_; return leaf(RexNodeKind::Start);
            case U'$': ++pos_; return leaf(RexNodeKind::End);
            case U'(': return parse_group(depth);
            case U'[': return parse_class();
            case U'\\': return parse_escape_atom();
            case U'*':
            case U'+':
            case U'?':
            case U'{': return std::nullopt;
            default: ++pos_; return char_node(c);
        }
    }

    std::optional<RexNode> parse_group(std::size_t depth) {
        ++pos_;  // "("
        auto inner = parse_alternation(depth + 1);
        if (!inner || peek() != U')') return std::nullopt;
        ++pos_;
        return inner;
    }

    std::optional<RexNode> parse_escape_atom() {
        if (at_digit_escape()) {
            pos_ += 2;
            return class_node(false, {kDigitRange});
        }
        const EscapedChar escaped = read_char_escape();
        if (!escaped.ok) return std::nullopt;
        return char_node(escaped.ch);
    }

    // "[" already current. The first item is read before any test for "]",
    // so "]" right after "[" or "[^" is a member.
    std::optional<RexNode> parse_class() {
        ++pos_;
        bool negated = false;
        if (peek() == U'^') {
            negated = true;
            ++pos_;
        }
        std::vector<RexRange> ranges;
        do {
            if (at_end() || !parse_class_item(ranges)) return std::nullopt;
        } while (peek() != U']');
        ++pos_;
        return class_node(negated, std::move(ranges));
    }

    bool parse_class_item(std::vector<RexRange>& ranges) {
        if (at_digit_escape()) {
            pos_ += 2;
            ranges.push_back(kDigitRange);
            return true;
        }
        const auto low = read_class_char();
        if (!low) return false;
        char32_t high = *low;
        if (peek() == U'-' && pos_ + 1 < text_.size() && peek(1) != U']') {
            ++pos_;
            const auto upper = read_class_char();
            if (!upper) return false;
            high = *upper;
        }
        ranges.push_back({*low, high});
        return true;
    }

    // A single-character class member: a plain character or a character
    // escape ("\d" and the other letter escapes fail here).
    std::optional<char32_t> read_class_char() {
        if (peek() != U'\\') return text_[pos_++];
        const EscapedChar escaped = read_char_escape();
        if (!escaped.ok) return std::nullopt;
        return escaped.ch;
    }

    // Wraps `atom` in a Repeat when a quantifier follows it.
    bool apply_quantifier(RexNode& atom) {
        std::uint32_t min = 0;
        std::optional<std::uint32_t> max;
        switch (peek()) {
            case U'*': ++pos_; break;
            case U'+':
                ++pos_;
                min = 1;
                break;
            case U'?':
                ++pos_;
                max = 1;
                break;
            case U'{':
                if (!parse_braces(min, max)) return false;
                break;
            default: return true;
        }
        RexNode repeat = leaf(RexNodeKind::Repeat);
        repeat.min = min;
        repeat.max = max;
        repeat.children.push_back(std::move(atom));
        atom = std::move(repeat);
        return true;
    }

    // "{n}", "{n,}" or "{n,m}": the text up to the first "}" is split at its
    // first ",".
    bool parse_braces(std::uint32_t& min, std::optional<std::uint32_t>& max) {
        std::size_t close = pos_ + 1;
        while (close < text_.size() && text_[close] != U'}') ++close;
        if (close >= text_.size()) return false;
        const auto body = text_.subspan(pos_ + 1, close - pos_ - 1);
        pos_ = close + 1;
        std::size_t comma = 0;
        while (comma < body.size() && body[comma] != U',') ++comma;
        const auto low = parse_count(body.first(comma));
        if (!low) return false;
        min = *low;
        if (comma == body.size()) {
            max = min;
            return true;
        }
        const auto rest = body.subspan(comma + 1);
        if (rest.empty()) return true;
        const auto high = parse_count(rest);
        if (!high || *high < min) return false;
        max = high;
        return true;
    }

    // An unsigned 32-bit decimal, optionally with a leading "+".
    static std::optional<std::uint32_t> parse_count(std::span<const char32_t> digits) {
        if (!digits.empty() && digits.front() == U'+') digits = digits.subspan(1);
        if (digits.empty()) return std::nullopt;
        std::string ascii;
        ascii.reserve(digits.size());
        for (const char32_t d : digits) {
            if (d < U'0' || d > U'9') return std::nullopt;
            ascii.push_back(static_cast<char>(d));
        }
        std::uint32_t value = 0;
        const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
        if (ec != std::errc{} || end != ascii.data() + ascii.size()) return std::nullopt;
        return value;
    }

    std::span<const char32_t> text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<RexNode> rex_parse_pattern(std::span<const char32_t> pattern) { return RexParser(pattern).parse_whole(); }

}  // namespace bezo
