#include "schema_import/number_spelling.hpp"

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/text.hpp"
#include "schema/rex_compile.hpp"

namespace bezo {
namespace {

// The dialect refuses larger repetition counts.
constexpr std::int64_t kMaxRepeat = 1024;
// Exponents beyond this magnitude are not read as numbers: such a member is
// matched as written.
constexpr std::int64_t kMaxExponent = 999'999;

// A non-zero number as digits × 10^exponent, the digits without leading or
// trailing zeros; zero has no digits.
struct DecimalValue {
    bool negative = false;
    std::string digits;
    std::int64_t exponent = 0;
};

std::optional<std::int64_t> exponent_value(std::string_view text) {
    const auto value = parse_decimal_i64(text, PlusSign::Accepted);
    if (!value || *value > kMaxExponent || *value < -kMaxExponent) return std::nullopt;
    return value;
}

std::optional<DecimalValue> read_number(std::string_view text, NumberGrammar grammar) {
    DecimalValue number;
    if (text.starts_with('+') || text.starts_with('-')) {
        number.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (const auto mark = text.find_first_of("eE"); mark != std::string_view::npos) {
        if (!grammar.exponent) return std::nullopt;
        const auto exponent = exponent_value(text.substr(mark + 1));
        if (!exponent) return std::nullopt;
        number.exponent = *exponent;
        text = text.substr(0, mark);
    }
    std::string_view whole = text;
    std::string_view fraction;
    if (const auto point = text.find('.'); point != std::string_view::npos) {
        if (!grammar.fraction) return std::nullopt;
        whole = text.substr(0, point);
        fraction = text.substr(point + 1);
    }
    const auto digits_or_empty = [](std::string_view part) { return part.empty() || is_ascii_digits(part); };
    if ((whole.empty() && fraction.empty()) || !digits_or_empty(whole) || !digits_or_empty(fraction)) {
        return std::nullopt;
    }
    number.digits = std::string(whole) + std::string(fraction);
    number.exponent -= static_cast<std::int64_t>(fraction.size());
    const auto first = number.digits.find_first_not_of('0');
    if (first == std::string::npos) return DecimalValue{};
    const auto last = number.digits.find_last_not_of('0');
    number.exponent += static_cast<std::int64_t>(number.digits.size() - 1 - last);
    number.digits = number.digits.substr(first, last + 1 - first);
    return number;
}

// `count` zeros as a pattern; none past the dialect's repetition limit.
std::optional<std::string> zeros(std::int64_t count) {
    if (count > kMaxRepeat) return std::nullopt;
    if (count <= 4) return std::string(static_cast<std::size_t>(count), '0');
    return "0{" + std::to_string(count) + "}";
}

// The mantissas of one sign and one exponent: whole numbers, which may be
// followed by a point and zeros, and numbers with a fraction, which may be
// followed by more zeros. Sorted, so that a schema imports the same way
// every time.
struct MantissaGroup {
    std::set<std::string> whole;
    std::set<std::string> fractional;
};

using ExponentGroups = std::map<std::int64_t, MantissaGroup>;

// The mantissas of both signs, and the bytes they take: each stands in the
// pattern, so past the dialect's length the pattern cannot fit.
struct Spellings {
    ExponentGroups positive;
    ExponentGroups negative;
    std::size_t bytes = 0;

    bool too_long() const { return bytes > kMaxPatternBytes; }

    void add(std::set<std::string>& mantissas, std::string mantissa) {
        const std::size_t size = mantissa.size();
        if (mantissas.insert(std::move(mantissa)).second) bytes += size;
    }
};

// Files the mantissa that, with the exponent `shift`, spells the number;
// nothing when the grammar has no fraction for it or its zeros are too many.
void add_mantissa(const DecimalValue& number, std::int64_t shift, NumberGrammar grammar, Spellings& spellings) {
    const auto group = [&]() -> MantissaGroup& {
        return (number.negative ? spellings.negative : spellings.positive)[shift];
    };
    const std::int64_t exponent = number.exponent - shift;
    const auto length = static_cast<std::int64_t>(number.digits.size());
    if (exponent >= 0) {
        if (const auto padding = zeros(exponent)) spellings.add(group().whole, number.digits + *padding);
        return;
    }
    if (!grammar.fraction) return;
    const std::int64_t point = length + exponent;
    if (point > 0) {
        const auto split = static_cast<std::size_t>(point);
        spellings.add(group().fractional, number.digits.substr(0, split) + "\\." + number.digits.substr(split));
    } else if (const auto padding = zeros(-point)) {
        spellings.add(group().fractional, "\\." + *padding + number.digits);
    }
}

// The exponents a number is spelled with: none (the plain spelling), and,
// where the grammar has exponents, those within `window` of zero and those
// that put the point within `window` places of the digits.
void add_spellings(const DecimalValue& number, std::optional<std::int64_t> window, NumberGrammar grammar,
                   Spellings& spellings) {
    add_mantissa(number, 0, grammar, spellings);
    if (!grammar.exponent || !window) return;
    const auto length = static_cast<std::int64_t>(number.digits.size());
    std::set<std::int64_t> shifts;
    for (std::int64_t shift = -*window; shift <= *window; ++shift) shifts.insert(shift);
    const std::int64_t scientific = number.exponent + length - 1;
    for (std::int64_t shift = number.exponent - *window; shift <= scientific + *window; ++shift) shifts.insert(shift);
    for (const std::int64_t shift : shifts) {
        if (spellings.too_long()) return;
        if (shift != 0) add_mantissa(number, shift, grammar, spellings);
    }
}

void append_joined(const std::set<std::string>& texts, std::string& out) {
    out += '(';
    bool first = true;
    for (const auto& text : texts) {
        if (!std::exchange(first, false)) out += '|';
        out += text;
    }
    out += ')';
}

void append_exponent(std::int64_t shift, NumberGrammar grammar, std::string& out) {
    if (shift == 0) {
        if (grammar.exponent) out += "([eE][+-]?0+)?";
        return;
    }
    out += shift > 0 ? "[eE]\\+?0*" : "[eE]-0*";
    out += std::to_string(shift > 0 ? shift : -shift);
}

// "0*(m1[e1]|m2[e2]...)" for the mantissas of one sign.
std::string signed_alternatives(const ExponentGroups& groups, NumberGrammar grammar) {
    std::string out = "0*(";
    bool first = true;
    for (const auto& [shift, group] : groups) {
        if (!std::exchange(first, false)) out += '|';
        const bool both = !group.whole.empty() && !group.fractional.empty();
        if (both) out += '(';
        if (!group.whole.empty()) {
            append_joined(group.whole, out);
            if (grammar.fraction) out += "(\\.0*)?";
        }
        if (both) out += '|';
        if (!group.fractional.empty()) {
            append_joined(group.fractional, out);
            out += "0*";
        }
        if (both) out += ')';
        append_exponent(shift, grammar, out);
    }
    out += ')';
    return out;
}

std::string zero_spellings(NumberGrammar grammar) {
    std::string out = grammar.fraction ? "[+-]?(0+(\\.0*)?|\\.0+)" : "[+-]?0+";
    if (grammar.exponent) out += "([eE][+-]?[0-9]+)?";
    return out;
}

// A member that is no number, matched as written; none when it holds a
// blank or a control character.
std::optional<std::string> literal_pattern(std::string_view member) {
    std::string out;
    for (const char c : member) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) return std::nullopt;
        if (byte < 0x80 && !is_ascii_letter(c) && !is_ascii_digit(c)) out += '\\';
        out += c;
    }
    return out;
}

std::optional<std::string> pattern_with_window(std::span<const std::string_view> members, NumberGrammar grammar,
                                               std::optional<std::int64_t> window) {
    Spellings spellings;
    bool has_zero = false;
    std::set<std::string> literals;
    for (const auto member : members) {
        if (const auto number = read_number(member, grammar)) {
            if (number->digits.empty()) {
                has_zero = true;
            } else {
                add_spellings(*number, window, grammar, spellings);
            }
        } else if (auto literal = literal_pattern(member)) {
            spellings.add(literals, std::move(*literal));
        } else {
            return std::nullopt;
        }
        if (spellings.too_long()) return std::nullopt;
    }
    std::vector<std::string> alternatives;
    if (!spellings.positive.empty()) {
        alternatives.push_back("\\+?" + signed_alternatives(spellings.positive, grammar));
    }
    if (!spellings.negative.empty()) alternatives.push_back("-" + signed_alternatives(spellings.negative, grammar));
    if (has_zero) alternatives.push_back(zero_spellings(grammar));
    alternatives.insert(alternatives.end(), literals.begin(), literals.end());
    std::string pattern = "^(";
    for (std::size_t i = 0; i < alternatives.size(); ++i) {
        if (i > 0) pattern += '|';
        pattern += alternatives[i];
    }
    pattern += ")$";
    if (pattern.size() > kMaxPatternBytes || !rex_compile(pattern)) return std::nullopt;
    return pattern;
}

}  // namespace

std::optional<std::string> numeric_enumeration_pattern(std::span<const std::string_view> members,
                                                       NumberGrammar grammar) {
    constexpr std::optional<std::int64_t> kWindows[] = {3, 1, 0, std::nullopt};
    for (const auto window : kWindows) {
        if (auto pattern = pattern_with_window(members, grammar, window)) return pattern;
        if (!grammar.exponent) break;
    }
    return std::nullopt;
}

namespace {

// Bounds of fewer digits are exact as doubles (below 2^53); bounds of more
// than this many make patterns too long for the dialect.
constexpr std::size_t kMinInexactDigits = 16;
constexpr std::size_t kMaxBoundDigits = 40;

// The digits of a non-negative integer text without sign and leading zeros;
// none for a negative one.
std::optional<std::string_view> magnitude_of(std::string_view integer) {
    if (integer.starts_with('-')) return std::nullopt;
    if (integer.starts_with('+')) integer.remove_prefix(1);
    const auto first = integer.find_first_not_of('0');
    return first == std::string_view::npos ? "0" : integer.substr(first);
}

// "|" then the digit strings that agree with `bound` before place `i`, hold
// a digit from `low` to `high` there and any digits after it.
void append_digit_branch(std::string_view bound, std::size_t i, char low, char high, std::string& out) {
    out += '|';
    out += bound.substr(0, i);
    out += {'[', low, '-', high, ']'};
    if (const std::size_t rest = bound.size() - i - 1; rest > 0) out += "[0-9]{" + std::to_string(rest) + "}";
}

// Digit strings, leading zeros allowed, of value at least `bound`.
std::string digits_at_least(std::string_view bound) {
    std::string out = "0*(" + std::string(bound) + "|[1-9][0-9]{" + std::to_string(bound.size()) + ",}";
    for (std::size_t i = 0; i < bound.size(); ++i) {
        if (bound[i] != '9') append_digit_branch(bound, i, static_cast<char>(bound[i] + 1), '9', out);
    }
    return out + ')';
}

// The pattern for one bound, or empty when it needs none.
std::string plus_sign_bound_pattern(std::string_view bound, std::string (*digits_within)(std::string_view)) {
    const auto magnitude = magnitude_of(bound);
    if (bound.empty() || !magnitude || magnitude->size() < kMinInexactDigits || magnitude->size() > kMaxBoundDigits) {
        return {};
    }
    return "/^([^+]|\\+" + digits_within(*magnitude) + "$)/";
}

}  // namespace

std::string digits_at_most(std::string_view bound) {
    std::string out = "0*(" + std::string(bound);
    if (bound.size() > 1) out += "|[0-9]{1," + std::to_string(bound.size() - 1) + "}";
    for (std::size_t i = 0; i < bound.size(); ++i) {
        if (bound[i] != '0') append_digit_branch(bound, i, '0', static_cast<char>(bound[i] - 1), out);
    }
    return out + ')';
}

std::string plus_sign_bound_patterns(std::string_view low, std::string_view high) {
    return plus_sign_bound_pattern(low, digits_at_least) + plus_sign_bound_pattern(high, digits_at_most);
}

const std::optional<std::string>& NumericPatternCache::pattern(std::span<const std::string_view> members,
                                                               NumberGrammar grammar) {
    // The grammar's flags, then each member on a line of its own: members
    // hold no line end.
    std::string key{grammar.fraction ? 'f' : '-', grammar.exponent ? 'e' : '-'};
    for (const auto member : members) {
        key += '\n';
        key += member;
    }
    if (const auto found = patterns_.find(key); found != patterns_.end()) return found->second;
    auto pattern = numeric_enumeration_pattern(members, grammar);
    return patterns_.emplace(std::move(key), std::move(pattern)).first->second;
}

bool is_whole_number(std::string_view text) {
    const auto number = read_number(text, NumberGrammar{});
    return number && number->exponent >= 0;
}

}  // namespace bezo
