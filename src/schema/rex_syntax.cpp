#include "schema/rex_syntax.hpp"

#include <limits>
#include <string>

#include "core/text.hpp"

namespace bezo {
namespace {

constexpr char32_t kNoChar = 0xFFFFFFFF;

bool is_ascii_alnum(char32_t c) {
    return c < 0x80 && (is_ascii_letter(static_cast<char>(c)) || is_ascii_digit(static_cast<char>(c)));
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

    [[nodiscard]] std::expected<RexNode, RexRefusal> parse_whole() {
        auto tree = parse_alternation(0);
        if (too_deep_) return std::unexpected(RexRefusal{RexRefusalKind::TooDeep});
        if (!tree || pos_ != text_.size()) return std::unexpected(RexRefusal{RexRefusalKind::Syntax, pos_});
        return std::move(*tree);
    }

private:
    char32_t peek(std::size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : kNoChar; }
    bool at_end() const { return pos_ >= text_.size(); }

    // Reads the escape whose backslash is at the current position. A refused
    // escape leaves the position at its backslash, where the error is.
    EscapedChar read_char_escape() {
        const std::size_t backslash = pos_;
        const EscapedChar escaped = read_escape_body();
        if (!escaped.ok) pos_ = backslash;
        return escaped;
    }

    EscapedChar read_escape_body() {
        ++pos_;  // the backslash
        if (at_end()) return {};
        const char32_t c = text_[pos_++];
        if (c == U'x') {
            const int hi = hex_digit_value(peek());
            const int lo = hex_digit_value(peek(1));
            if (hi < 0 || lo < 0) return {};
            pos_ += 2;
            const auto code = static_cast<char32_t>(hi * 16 + lo);
            if (code >= 0x80) return {};
            return {true, code};
        }
        if (is_ascii_alnum(c)) return {};
        return {true, c};
    }

    bool at_digit_escape() const { return peek() == U'\\' && peek(1) == U'd'; }

    std::optional<RexNode> parse_alternation(std::size_t depth) {
        if (depth > kRexMaxGroupDepth) {
            too_deep_ = true;
            return std::nullopt;
        }
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
            case U'{': {
                const std::size_t open = pos_;
                if (!parse_braces(min, max)) {
                    pos_ = open;
                    return false;
                }
                break;
            }
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
        std::string ascii;
        ascii.reserve(digits.size());
        for (const char32_t d : digits) {
            if (d >= 0x80) return std::nullopt;
            ascii.push_back(static_cast<char>(d));
        }
        const auto value = parse_ascii_unsigned(ascii);
        if (!value || *value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
        return static_cast<std::uint32_t>(*value);
    }

    std::span<const char32_t> text_;
    std::size_t pos_ = 0;
    bool too_deep_ = false;
};

}  // namespace

std::string rex_refusal_text(const RexRefusal& refusal) {
    switch (refusal.kind) {
        case RexRefusalKind::TooLong: return "pattern too long";
        case RexRefusalKind::TooDeep: return "groups nested too deeply";
        case RexRefusalKind::RepeatOverLimit: return "repeat count over the limit";
        case RexRefusalKind::ProgramTooLarge: return "pattern too large to compile";
        case RexRefusalKind::WorkSpent: return "pattern work budget spent";
        case RexRefusalKind::Syntax: break;
    }
    return "syntax error at byte " + decimal_text(refusal.position);
}

std::expected<RexNode, RexRefusal> rex_parse_pattern(std::span<const char32_t> pattern) {
    return RexParser(pattern).parse_whole();
}

}  // namespace bezo
