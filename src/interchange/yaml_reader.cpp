#include "interchange/yaml_reader.hpp"

#include <yaml.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <unordered_map>

#include "core/decimal_float.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/json_reader.hpp"
#include "interchange/json_text.hpp"

namespace bezo {
namespace {

// ---- scalar resolution -----------------------------------------------------

// The tags of the core schema, as the library resolves "!!str" and the rest.
enum class CoreTag : std::uint8_t { None, Str, Int, Float, Bool, Null, Map, Seq };

constexpr std::array<std::pair<CoreTag, std::string_view>, 7> kCoreTagNames{{
    {CoreTag::Str, "str"},
    {CoreTag::Int, "int"},
    {CoreTag::Float, "float"},
    {CoreTag::Bool, "bool"},
    {CoreTag::Null, "null"},
    {CoreTag::Map, "map"},
    {CoreTag::Seq, "seq"},
}};

CoreTag core_tag(std::optional<std::string_view> tag) {
    constexpr std::string_view kPrefix = "tag:yaml.org,2002:";
    if (!tag || !tag->starts_with(kPrefix)) [[likely]]
        return CoreTag::None;
    auto found =
        std::ranges::find(kCoreTagNames, tag->substr(kPrefix.size()), &std::pair<CoreTag, std::string_view>::second);
    return found == kCoreTagNames.end() ? CoreTag::None : found->first;
}

// "!!int" and the rest, as messages name them.
std::string tag_shorthand(CoreTag tag) {
    auto found = std::ranges::find(kCoreTagNames, tag, &std::pair<CoreTag, std::string_view>::first);
    return "!!" + std::string(found->second);
}

// How a scalar's kind is decided: by the core schema (plain and untagged),
// as a string (quoted or block, untagged), or forced by a tag.
enum class Resolution : std::uint8_t { Core, String, Int, Float, Bool, Null };

// The kind that one of the tags !!str, !!int, !!float, !!bool and !!null
// forces; none for any other tag.
std::optional<Resolution> forced_resolution(CoreTag tag) {
    switch (tag) {
        case CoreTag::Str: return Resolution::String;
        case CoreTag::Int: return Resolution::Int;
        case CoreTag::Float: return Resolution::Float;
        case CoreTag::Bool: return Resolution::Bool;
        case CoreTag::Null: return Resolution::Null;
        default: return std::nullopt;
    }
}

// The non-specific tag "!" keeps a plain scalar from resolution, as quotes
// do: it is a string. Other tags are not core tags and change nothing.
Resolution resolution_of(CoreTag core, std::optional<std::string_view> tag, bool plain) {
    if (auto forced = forced_resolution(core)) return *forced;
    return plain && tag != "!" ? Resolution::Core : Resolution::String;
}

bool is_one_of(std::string_view text, std::initializer_list<std::string_view> words) {
    return std::ranges::find(words, text) != words.end();
}

bool is_null_word(std::string_view text) {
    return text.empty() || text == "~" || text == "null" || text == "Null" || text == "NULL";
}

std::optional<bool> bool_word(std::string_view text) {
    if (text == "true" || text == "True" || text == "TRUE") return true;
    if (text == "false" || text == "False" || text == "FALSE") return false;
    return std::nullopt;
}

// The std/num marker ("inf", "-inf" or "nan") of a special float such as
// ".inf", "-.INF" or ".NaN"; none for any other text.
std::optional<std::string_view> special_float_marker(std::string_view text) {
    if (is_one_of(text, {".inf", ".Inf", ".INF", "+.inf", "+.Inf", "+.INF"})) return "inf";
    if (is_one_of(text, {"-.inf", "-.Inf", "-.INF"})) return "-inf";
    if (is_one_of(text, {".nan", ".NaN", ".NAN"})) return "nan";
    return std::nullopt;
}

bool is_float_form(std::string_view text) { return special_float_marker(text) || parse_decimal_double(text); }

// How a float as written is carried: as the std/num marker of a special
// float, as the text itself when it is a JSON number, as the float's own
// spelling when it reads as a finite binary64 (built in `scratch`), or else
// as a string of the text.
struct RealReading {
    enum class Form : std::uint8_t { Marker, Number, String } form;
    std::string_view text;
};

RealReading read_real(std::string_view text, std::string& scratch) {
    if (auto marker = special_float_marker(text)) return {RealReading::Form::Marker, *marker};
    if (is_whole_json_number(text)) return {RealReading::Form::Number, text};
    if (auto number = parse_decimal_double(text); number && std::isfinite(*number)) {
        scratch = format_json_float(*number);
        return {RealReading::Form::Number, scratch};
    }
    return {RealReading::Form::String, text};
}

Value yaml_real_value(std::string_view text) {
    std::string scratch;
    RealReading real = read_real(text, scratch);
    switch (real.form) {
        case RealReading::Form::Marker: return yaml_float_value(real.text);
        case RealReading::Form::Number: return Value::number(std::string(real.text));
        case RealReading::Form::String: break;
    }
    return Value::string(std::string(real.text));
}

// The key text of a scalar of kind String, Real, Integer, Boolean or Null;
// none for any other kind.
std::optional<std::string_view> scalar_key_text(YamlKind kind, bool truth, std::string_view text) {
    switch (kind) {
        case YamlKind::String:
        case YamlKind::Real:
        case YamlKind::Integer: return text;
        case YamlKind::Boolean: return truth ? "true" : "false";
        case YamlKind::Null: return "null";
        default: return std::nullopt;
    }
}

enum class IntegerRead : std::uint8_t { NotInteger, Written, TooLarge };

// "0o" octal or "0x" hexadecimal digits, written in decimal; beyond 64 bits
// they cannot be kept.
IntegerRead write_based_integer(std::string_view digits, int base, std::string& out) {
    std::uint64_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (digits.empty() || stop != end) return IntegerRead::NotInteger;
    if (error != std::errc{} || value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return IntegerRead::TooLarge;
    }
    append_decimal(value, out);
    return IntegerRead::Written;
}

// Appends the plain decimal text of a core-schema integer: an optional "-"
// and the digits without leading zeros. Decimal integers beyond 64 bits keep
// all their digits.
IntegerRead write_integer(std::string_view text, std::string& out) {
    if (text.starts_with("0o")) return write_based_integer(text.substr(2), 8, out);
    if (text.starts_with("0x")) return write_based_integer(text.substr(2), 16, out);
    if (auto value = parse_decimal_i64(text, PlusSign::Accepted)) {
        append_decimal(*value, out);
        return IntegerRead::Written;
    }
    bool negative = text.starts_with('-');
    std::string_view digits = negative || text.starts_with('+') ? text.substr(1) : text;
    if (!is_ascii_digits(digits)) return IntegerRead::NotInteger;
    if (negative) out += '-';
    out += digits.substr(digits.find_first_not_of('0'));
    return IntegerRead::Written;
}

// True when a plain scalar can only be a string: most plain scalars start
// with a letter that no null, boolean or number word starts with.
bool surely_string(std::string_view text) {
    if (text.empty()) return false;
    switch (text.front()) {
        case '-':
        case '+':
        case '.':
        case '~':
        case 'n':
        case 'N':
        case 't':
        case 'T':
        case 'f':
        case 'F': return false;
        default: return !is_ascii_digit(text.front());
    }
}

// A scalar's kind under its resolution. An integer's plain decimal text,
// and the float that a float tag makes of an integer spelling, are written
// to a buffer (`respelled`); any other text is the scalar's own.
struct ResolvedScalar {
    YamlKind kind = YamlKind::Null;
    bool truth = false;
    bool respelled = false;
};

ResolvedScalar resolve_integer(std::string_view value, std::string& spelled) {
    switch (write_integer(value, spelled)) {
        case IntegerRead::NotInteger: return {YamlKind::String};
        case IntegerRead::TooLarge: return {YamlKind::BadValue};
        case IntegerRead::Written: break;
    }
    return {.kind = YamlKind::Integer, .respelled = true};
}

// A float forced by its tag: a special float or a float as written, but an
// integer spelling becomes the float it names ("3" gives "3.0", a longer
// one its nearest binary64), so that it is carried as a float; one beyond
// binary64's range keeps all its digits, as a float.
std::optional<ResolvedScalar> resolve_forced_float(std::string_view value, std::string& spelled) {
    if (special_float_marker(value)) return ResolvedScalar{YamlKind::Real};
    auto number = parse_decimal_double(value);
    if (!number) return std::nullopt;
    if (value.find_first_of(".eE") != std::string_view::npos) return ResolvedScalar{YamlKind::Real};
    if (std::isfinite(*number)) {
        spelled += format_json_float(*number);
    } else {
        write_integer(value, spelled);
        spelled += ".0";
    }
    return ResolvedScalar{.kind = YamlKind::Real, .respelled = true};
}

// The kind a forced resolution gives; none when the text does not fit it.
std::optional<ResolvedScalar> resolve_forced(std::string_view value, Resolution resolution, std::string& spelled) {
    switch (resolution) {
        case Resolution::Int: {
            ResolvedScalar integer = resolve_integer(value, spelled);
            if (integer.kind == YamlKind::String) return std::nullopt;
            return integer;
        }
        case Resolution::Float: return resolve_forced_float(value, spelled);
        case Resolution::Bool: {
            auto truth = bool_word(value);
            if (!truth) return std::nullopt;
            return ResolvedScalar{YamlKind::Boolean, *truth};
        }
        case Resolution::Null:
            if (!is_null_word(value)) return std::nullopt;
            return ResolvedScalar{YamlKind::Null};
        case Resolution::String:
        case Resolution::Core: break;
    }
    return ResolvedScalar{YamlKind::String};
}

// The scalar's kind; none when its tag forces a kind its text does not fit.
std::optional<ResolvedScalar> resolve_scalar(std::string_view value, Resolution resolution, std::string& spelled) {
    if (resolution == Resolution::String) return ResolvedScalar{YamlKind::String};
    if (resolution != Resolution::Core) return resolve_forced(value, resolution, spelled);
    if (surely_string(value)) return ResolvedScalar{YamlKind::String};
    if (is_null_word(value)) return ResolvedScalar{YamlKind::Null};
    if (auto truth = bool_word(value)) return ResolvedScalar{YamlKind::Boolean, *truth};
    if (ResolvedScalar integer = resolve_integer(value, spelled); integer.kind != YamlKind::String) return integer;
    return ResolvedScalar{is_float_form(value) ? YamlKind::Real : YamlKind::String};
}

// ---- errors ------------------------------------------------------------------

// " at line L, column C", 1-based.
std::string at_position(std::size_t line, std::size_t column) {
    return " at line " + decimal_text(line) + ", column " + decimal_text(column);
}

std::string at_mark(const yaml_mark_t& mark) { return at_position(mark.line + 1, mark.column + 1); }

Error invalid_yaml(std::string_view problem, std::size_t line, std::size_t column) {
    return Error::Other("invalid YAML: " + std::string(problem) + at_position(line, column));
}

Error tag_mismatch(std::string_view what, CoreTag tag, const yaml_mark_t& mark) {
    return Error::Other("YAML " + std::string(what) + " does not match its tag " + tag_shorthand(tag) + at_mark(mark));
}

// The number of line breaks in the text: LF, CR LF and a lone CR each
// break a line, in YAML as in the YAML library.
std::size_t count_line_breaks(std::string_view text) {
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++breaks;
    }
    return breaks;
}

// The failure at a byte offset, naming its 1-based line and column (in
// characters) as the library names those of its own failures.
Error invalid_yaml_at_offset(std::string_view problem, std::string_view text, std::size_t offset) {
    std::string_view before = text.substr(0, std::min(offset, text.size()));
    std::size_t last_break = before.find_last_of("\r\n");
    std::size_t line_start = last_break == std::string_view::npos ? 0 : last_break + 1;
    return invalid_yaml(problem, count_line_breaks(before) + 1, count_scalars(before.substr(line_start)) + 1);
}

// True when `rest` starts with a character YAML refuses anywhere in a
// stream: C0 controls but TAB, LF and CR, DEL, C1 controls but NEL, U+FFFE
// and U+FFFF.
bool starts_with_refused_character(std::string_view rest) {
    auto byte = [&](std::size_t i) { return i < rest.size() ? static_cast<unsigned char>(rest[i]) : 0U; };
    unsigned first = byte(0);
    if (first < 0x20) return first != '\t' && first != '\n' && first != '\r';
    if (first == 0x7F) return true;
    if (first == 0xC2) return byte(1) >= 0x80 && byte(1) <= 0x9F && byte(1) != 0x85;
    return first == 0xEF && byte(1) == 0xBF && (byte(2) == 0xBE || byte(2) == 0xBF);
}

// The first character of the text that YAML allows nowhere, as the failure
// naming its line and column; none when every character is allowed. The
// lines are counted only once such a character is found.
std::optional<Error> refused_character(std::string_view text) {
    // The bytes that may start a refused character.
    static constexpr auto kWatched = [] {
        std::array<bool, 256> watched{};
        for (unsigned byte = 0; byte < 0x20; ++byte) watched[byte] = byte != '\t' && byte != '\n' && byte != '\r';
        watched[0x7F] = watched[0xC2] = watched[0xEF] = true;
        return watched;
    }();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!kWatched[static_cast<unsigned char>(text[i])] || !starts_with_refused_character(text.substr(i))) continue;
        return invalid_yaml_at_offset("control characters are not allowed", text, i);
    }
    return std::nullopt;
}

// The value of `count` hex digits at `at`, if they are there.
std::optional<char32_t> hex_digits_at(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    char32_t value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        int digit = hex_digit_value(text[i]);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<char32_t>(digit);
    }
    return value;
}

// ---- YAML 1.2 line breaks -----------------------------------------------------

// The YAML library reads YAML 1.1, where NEL, LS and PS break lines; in
// YAML 1.2 they are ordinary characters. A text holding one is read with
// each of them replaced by a stand-in, a code point of the planes 1 to 16
// that the text neither holds nor spells with a \U escape, which the
// library reads as an ordinary character everywhere; every scalar gets the
// characters back. One character stands for one, so lines and columns stay.
class LineBreakStandIns {
public:
    // The text to read: `text` itself when it holds none of the three.
    static Result<LineBreakStandIns> of(std::string_view text) {
        LineBreakStandIns stand_ins;
        stand_ins.original_ = text;
        if (!holds_yaml11_break(text)) return stand_ins;
        if (auto chosen = stand_ins.choose(text); !chosen) return forward_error(chosen);
        stand_ins.substituted_.reserve(text.size() + text.size() / 4);
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t start = pos;
            auto c = utf8_next(text, pos);
            if (auto index = c ? break_index(*c) : std::nullopt) {
                append_utf8(stand_ins.stand_in_[*index], stand_ins.substituted_);
            } else {
                stand_ins.substituted_.append(text, start, pos - start);
            }
        }
        return stand_ins;
    }

    // A text with stand-ins holds at least one of them, so it is never empty.
    std::string_view text() const { return substituted_.empty() ? original_ : std::string_view(substituted_); }

    // A scalar's text with the line breaks back in place, built in
    // `scratch` when it holds a stand-in.
    std::string_view restore(std::string_view text, std::string& scratch) const {
        if (substituted_.empty() || std::ranges::none_of(text, is_four_byte_lead)) return text;
        scratch.clear();
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t start = pos;
            auto c = utf8_next(text, pos);
            auto found = c ? std::ranges::find(stand_in_, *c) : stand_in_.end();
            if (found != stand_in_.end()) {
                append_utf8(kBreaks[static_cast<std::size_t>(found - stand_in_.begin())], scratch);
            } else {
                scratch.append(text, start, pos - start);
            }
        }
        return scratch;
    }

private:
    LineBreakStandIns() = default;

    static constexpr std::array<char32_t, 3> kBreaks = {0x85, 0x2028, 0x2029};
    static constexpr char32_t kFirstCandidate = 0x10000;
    static constexpr char32_t kCandidates = 0x100000;
    // Stand-ins are sought from the private use plane 15 on.
    static constexpr char32_t kPreferred = 0xF0000;

    static bool is_four_byte_lead(char byte) { return static_cast<unsigned char>(byte) >= 0xF0; }

    static std::optional<std::size_t> break_index(char32_t c) {
        auto found = std::ranges::find(kBreaks, c);
        if (found == kBreaks.end()) return std::nullopt;
        return static_cast<std::size_t>(found - kBreaks.begin());
    }

    static bool holds_yaml11_break(std::string_view text) {
        return text.find("\xC2\x85") != std::string_view::npos || text.find("\xE2\x80\xA8") != std::string_view::npos ||
               text.find("\xE2\x80\xA9") != std::string_view::npos;
    }

    // Marks every candidate the text holds or may spell as "\U" and eight
    // hex digits, then takes the first three free ones.
    Result<void> choose(std::string_view text) {
        std::vector<bool> taken(kCandidates);
        auto mark = [&](char32_t c) {
            if (c >= kFirstCandidate && c < kFirstCandidate + kCandidates) taken[c - kFirstCandidate] = true;
        };
        for (std::size_t pos = 0; pos < text.size();) {
            if (text[pos] == 'U') {
                if (auto spelled = hex_digits_at(text, pos + 1, 8)) mark(*spelled);
            }
            if (!is_four_byte_lead(text[pos])) {
                ++pos;
            } else if (auto c = utf8_next(text, pos)) {
                mark(*c);
            }
        }
        std::size_t found = 0;
        for (char32_t step = 0; step < kCandidates && found < stand_in_.size(); ++step) {
            char32_t offset = (kPreferred - kFirstCandidate + step) % kCandidates;
            if (!taken[offset]) stand_in_[found++] = kFirstCandidate + offset;
        }
        if (found < stand_in_.size())
            return fail("YAML text holds NEL, LS or PS and every code point that could stand in for them");
        return {};
    }

    std::string_view original_;
    std::string substituted_;
    std::array<char32_t, 3> stand_in_{};
};

// ---- surrogate escapes ----------------------------------------------------------

// Calls `visit`, from `from` on, with the offset of the four hex digits
// after each "\u" whose backslash would start an escape in a double-quoted
// scalar: the last of an odd run of backslashes.
template <class Visit>
void for_each_u_escape(std::string_view text, std::size_t from, Visit visit) {
    for (std::size_t run = text.find('\\', from); run != std::string_view::npos;) {
        std::size_t after = text.find_first_not_of('\\', run);
        if (after == std::string_view::npos) return;
        if ((after - run) % 2 == 1 && text[after] == 'u') visit(after + 1);
        run = text.find('\\', after);
    }
}

constexpr bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
constexpr bool is_high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// JSON texts, and with them YAML 1.2, write a character beyond the basic
// plane as the escapes of its surrogate pair ("\uD83D\uDE00"), which the
// YAML library refuses. Before it reads the text, the four hex digits of
// each "\u" escape of a surrogate become those of a stand-in: a character
// of the basic plane that the text neither holds nor spells as "u" and
// four or "U" and eight hex digits, one stand-in for each spelling of the
// digits. Bytes, lines and columns stay where they are. In a double-quoted
// scalar the library reads the stand-in's escape as the stand-in; anywhere
// else "\u" is no escape and the stand-in's digits stay as written. Each
// scalar then gets its text back.
class SurrogateEscapes {
public:
    // The text to read: `text` itself when it has no surrogate escape.
    static Result<SurrogateEscapes> of(std::string_view text) {
        SurrogateEscapes escapes;
        escapes.original_ = text;
        if (text.find("\\u") == std::string_view::npos) return escapes;
        for_each_u_escape(text, 0, [&](std::size_t at) {
            if (auto c = hex_digits_at(text, at, 4); c && is_surrogate(*c))
                escapes.add_spelling(text.substr(at, 4), *c);
        });
        if (escapes.spellings_.empty()) return escapes;
        if (auto chosen = escapes.choose(text); !chosen) return forward_error(chosen);
        escapes.substituted_ = text;
        for_each_u_escape(text, 0, [&](std::size_t at) {
            auto found = escapes.by_digits_.find(text.substr(at, 4));
            if (found == escapes.by_digits_.end()) return;
            char32_t stand_in = escapes.spellings_[found->second].stand_in;
            for (std::size_t i = 0; i < 4; ++i) escapes.substituted_[at + i] = kHex[(stand_in >> (12 - 4 * i)) & 0xF];
        });
        return escapes;
    }

    // The text the library reads: with the stand-ins, or the text itself.
    std::string_view text() const { return substituted_.empty() ? original_ : std::string_view(substituted_); }

    // A scalar's text with the surrogate escapes back, built in `scratch`
    // when it holds one. In a double-quoted scalar a high and a low
    // surrogate in a row give the character of their pair; for one without
    // its partner, the error is its place among the scalar's surrogates.
    std::expected<std::string_view, std::size_t> restore(std::string_view value, bool double_quoted,
                                                         std::string& scratch) const {
        if (substituted_.empty()) return value;
        if (double_quoted) return pair_stand_ins(value, scratch);
        return restore_digits(value, scratch);
    }

    // The escape written at `offset` of the text: "\u" and four hex digits.
    std::string_view written_escape(std::size_t offset) const { return original_.substr(offset, 6); }

    // The offset of the escape of the `nth` surrogate (from 0) of the
    // double-quoted scalar that starts at `scalar_start`.
    std::size_t escape_offset(std::size_t scalar_start, std::size_t nth) const {
        std::size_t found = text().size();
        std::size_t seen = 0;
        for_each_u_escape(text(), scalar_start, [&](std::size_t at) {
            auto c = hex_digits_at(text(), at, 4);
            if (c && by_stand_in_.contains(*c) && seen++ == nth) found = at - 2;
        });
        return found;
    }

private:
    SurrogateEscapes() = default;

    static constexpr char kHex[] = "0123456789ABCDEF";

    // Stand-ins are characters the library reads as ordinary ones
    // everywhere: private use, then CJK ideographs, then Hangul syllables.
    struct Range {
        char32_t first;
        char32_t last;
    };
    static constexpr std::array<Range, 3> kCandidates{{{0xE000, 0xF8FF}, {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3}}};

    struct Spelling {
        char32_t surrogate;
        char32_t stand_in = 0;
        std::string digits;
    };

    void add_spelling(std::string_view digits, char32_t surrogate) {
        if (by_digits_.contains(digits)) return;
        by_digits_.emplace(std::string(digits), spellings_.size());
        spellings_.push_back(Spelling{surrogate, 0, std::string(digits)});
    }

    // The index among all candidates, if `c` is one.
    static std::optional<std::size_t> candidate_index(char32_t c) {
        std::size_t before = 0;
        for (Range range : kCandidates) {
            if (c >= range.first && c <= range.last) return before + (c - range.first);
            before += range.last - range.first + 1;
        }
        return std::nullopt;
    }

    // Marks every candidate that the text holds or spells, then gives each
    // spelling the next free one.
    Result<void> choose(std::string_view text) {
        std::vector<bool> taken(*candidate_index(kCandidates.back().last) + 1);
        auto mark = [&](std::optional<char32_t> c) {
            if (auto index = c ? candidate_index(*c) : std::nullopt) taken[*index] = true;
        };
        for (std::size_t pos = 0; pos < text.size();) {
            auto byte = static_cast<unsigned char>(text[pos]);
            if (byte == 'u') mark(hex_digits_at(text, pos + 1, 4));
            if (byte == 'U') mark(hex_digits_at(text, pos + 1, 8));
            if (byte >= 0xE0 && byte < 0xF0) {
                mark(utf8_next(text, pos));
            } else {
                ++pos;
            }
        }
        std::size_t next = 0;
        for (Range range : kCandidates) {
            for (char32_t c = range.first; c <= range.last && next < spellings_.size(); ++c) {
                if (taken[*candidate_index(c)]) continue;
                spellings_[next].stand_in = c;
                by_stand_in_.emplace(c, next++);
            }
        }
        if (next < spellings_.size())
            return fail("YAML text spells more surrogate escapes than it leaves stand-ins for");
        return {};
    }

    std::optional<char32_t> surrogate_of(char32_t stand_in) const {
        auto found = by_stand_in_.find(stand_in);
        if (found == by_stand_in_.end()) return std::nullopt;
        return spellings_[found->second].surrogate;
    }

    static bool may_hold_stand_in(std::string_view value) {
        return std::ranges::any_of(value, [](char c) {
            auto byte = static_cast<unsigned char>(c);
            return byte >= 0xE4 && byte <= 0xEF;
        });
    }

    std::expected<std::string_view, std::size_t> pair_stand_ins(std::string_view value, std::string& scratch) const {
        if (!may_hold_stand_in(value)) return value;
        scratch.clear();
        std::size_t surrogates = 0;
        for (std::size_t pos = 0; pos < value.size();) {
            std::size_t start = pos;
            auto c = utf8_next(value, pos);
            auto high = c ? surrogate_of(*c) : std::nullopt;
            if (!high) {
                scratch.append(value, start, pos - start);
                continue;
            }
            std::size_t after = pos;
            auto next = pos < value.size() ? utf8_next(value, after) : std::nullopt;
            auto low = next ? surrogate_of(*next) : std::nullopt;
            if (!is_high_surrogate(*high) || !low || is_high_surrogate(*low)) return std::unexpected(surrogates);
            append_utf8(0x10000 + ((*high - 0xD800) << 10) + (*low - 0xDC00), scratch);
            surrogates += 2;
            pos = after;
        }
        return scratch;
    }

    std::string_view restore_digits(std::string_view value, std::string& scratch) const {
        std::size_t escape = value.find("\\u");
        if (escape == std::string_view::npos) return value;
        scratch.assign(value, 0, escape);
        std::size_t copied = escape;
        for (; escape != std::string_view::npos; escape = value.find("\\u", escape + 2)) {
            auto c = hex_digits_at(value, escape + 2, 4);
            auto found = c ? by_stand_in_.find(*c) : by_stand_in_.end();
            if (found == by_stand_in_.end()) continue;
            scratch.append(value, copied, escape + 2 - copied);
            scratch += spellings_[found->second].digits;
            copied = escape + 6;
        }
        scratch.append(value, copied);
        return scratch;
    }

    std::string_view original_;
    std::string substituted_;
    std::vector<Spelling> spellings_;
    TextMap<std::size_t> by_digits_;
    std::unordered_map<char32_t, std::size_t> by_stand_in_;
};

// The byte offset of a mark of the library in the text it read: its line
// and its column, counted in characters from the line's start (a leading
// byte-order mark counts as one).
std::size_t offset_of_mark(std::string_view text, const yaml_mark_t& mark) {
    std::size_t pos = 0;
    for (std::size_t line = 0; line < mark.line && pos < text.size(); ++pos) {
        if (text[pos] == '\n' || (text[pos] == '\r' && (pos + 1 == text.size() || text[pos + 1] != '\n'))) ++line;
    }
    for (std::size_t column = 0; column < mark.column && pos < text.size(); ++column) utf8_next(text, pos);
    return pos;
}

// ---- the library's parser and events ----------------------------------------

// The YAML library's event parser over one in-memory text. It reads no file
// and prints nothing; its first error is kept in the parser and becomes the
// failure.
class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {
        ready_ = yaml_parser_initialize(&parser_) != 0;
        if (!ready_) return;
        yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(text.data()), text.size());
        yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
    }
    ~Parser() {
        yaml_event_delete(&event_);
        if (ready_) yaml_parser_delete(&parser_);
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    bool ready() const { return ready_; }

    // The next event, valid until the next call; null on an error.
    const yaml_event_t* next() {
        yaml_event_delete(&event_);
        if (yaml_parser_parse(&parser_, &event_) == 0) return nullptr;
        return &event_;
    }

    // The parser's error, with its 1-based line and column.
    Error failure() const {
        std::string_view problem = parser_.problem != nullptr ? parser_.problem : "out of memory";
        if (parser_.error == YAML_READER_ERROR) return invalid_yaml_at_offset(problem, text_, parser_.problem_offset);
        return invalid_yaml(problem, parser_.problem_mark.line + 1, parser_.problem_mark.column + 1);
    }

private:
    std::string_view text_;
    yaml_parser_t parser_{};
    yaml_event_t event_{};
    bool ready_ = false;
};

std::string_view bytes_of(const yaml_char_t* text, std::size_t length) {
    return {reinterpret_cast<const char*>(text), length};
}

std::optional<std::string_view> optional_text(const yaml_char_t* text) {
    if (text == nullptr) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(text));
}

// A scalar event as read: its text, its tag, whether it is plain, whether
// it is a merge key, its anchor (empty when it has none) and where it
// starts; once resolved, its kind and its text as that kind holds it (an
// integer's plain decimal text, a string's or a float's own).
struct ScalarEvent {
    std::string_view text;
    std::optional<std::string_view> tag;
    bool plain = false;
    bool merge_key = false;
    std::string_view anchor;
    yaml_mark_t mark{};
    YamlKind kind = YamlKind::String;
    bool truth = false;
};

// The texts the library hands over become values only once they are known
// to be UTF-8.
Result<std::string_view> checked_text(std::string_view text, const yaml_mark_t& mark) {
    if (is_valid_utf8(text)) return text;
    return fail("YAML library gave text that is not UTF-8" + at_mark(mark));
}

// Reads the library's texts of one event, checked, with surrogate escapes
// paired and NEL, LS and PS back in place, and resolves scalars.
class EventTexts {
public:
    EventTexts(const SurrogateEscapes& surrogates, const LineBreakStandIns& stand_ins)
        : surrogates_(surrogates), stand_ins_(stand_ins) {}

    Result<ScalarEvent> scalar(const yaml_event_t& event) {
        const auto& scalar = event.data.scalar;
        auto text = checked_text(bytes_of(scalar.value, scalar.length), event.start_mark);
        if (!text) return forward_error(text);
        auto anchor = this->anchor(scalar.anchor, event.start_mark);
        if (!anchor) return forward_error(anchor);
        // The line breaks come back first: a surrogate pair may encode a
        // character that stands in for one.
        std::string_view restored = stand_ins_.restore(*text, restored_);
        auto paired = surrogates_.restore(restored, scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE, paired_);
        if (!paired) return std::unexpected(unpaired_surrogate(event.start_mark, paired.error()));
        bool plain = scalar.style == YAML_PLAIN_SCALAR_STYLE;
        auto tag = optional_text(scalar.tag);
        return ScalarEvent{.text = *paired,
                           .tag = tag,
                           .plain = plain,
                           .merge_key = plain && !tag && *text == "<<",
                           .anchor = *anchor,
                           .mark = event.start_mark};
    }

    // Gives the scalar its kind, unless its tag is one of a kind its text
    // does not fit (or of a collection).
    Result<void> resolve(ScalarEvent& read) {
        CoreTag tag = core_tag(read.tag);
        spelled_.clear();
        auto resolved = tag == CoreTag::Map || tag == CoreTag::Seq
                            ? std::nullopt
                            : resolve_scalar(read.text, resolution_of(tag, read.tag, read.plain), spelled_);
        if (!resolved)
            return std::unexpected(tag_mismatch("scalar " + quoted_debug_excerpt(read.text), tag, read.mark));
        read.kind = resolved->kind;
        read.truth = resolved->truth;
        if (resolved->respelled) read.text = spelled_;
        return {};
    }

    // An anchor's or an alias's name; empty for none.
    Result<std::string_view> anchor(const yaml_char_t* name, const yaml_mark_t& mark) {
        if (name == nullptr) return std::string_view();
        return checked_text(optional_text(name).value(), mark);
    }

private:
    // The failure at the escape of the `nth` surrogate of the double-quoted
    // scalar that starts at `start`.
    Error unpaired_surrogate(const yaml_mark_t& start, std::size_t nth) const {
        std::string_view text = surrogates_.text();
        std::size_t escape = surrogates_.escape_offset(offset_of_mark(text, start), nth);
        return invalid_yaml_at_offset(
            "found a surrogate escape " + std::string(surrogates_.written_escape(escape)) + " without its pair", text,
            escape);
    }

    const SurrogateEscapes& surrogates_;
    const LineBreakStandIns& stand_ins_;
    std::string paired_;
    std::string restored_;
    std::string spelled_;
};

// A collection's tag must be its own kind's or none of the core tags.
Result<void> check_collection_tag(const yaml_event_t& event) {
    bool sequence = event.type == YAML_SEQUENCE_START_EVENT;
    CoreTag tag = core_tag(optional_text(sequence ? event.data.sequence_start.tag : event.data.mapping_start.tag));
    if (tag == CoreTag::None || tag == (sequence ? CoreTag::Seq : CoreTag::Map)) return {};
    return std::unexpected(tag_mismatch(sequence ? "sequence" : "mapping", tag, event.start_mark));
}

// Feeds the events of the first document to the builder; later documents
// are read for their syntax, their depth and their count. False when the
// builder gave up on the document.
template <class Builder>
Result<bool> read_events(std::string_view text, Builder& builder) {
    if (auto refused = refused_character(text)) return std::unexpected(std::move(*refused));
    auto stand_ins = LineBreakStandIns::of(text);
    if (!stand_ins) return forward_error(stand_ins);
    auto surrogates = SurrogateEscapes::of(stand_ins->text());
    if (!surrogates) return forward_error(surrogates);
    Parser parser(surrogates->text());
    if (!parser.ready()) return fail("invalid YAML: out of memory");
    EventTexts texts(*surrogates, *stand_ins);
    std::size_t documents = 0;
    unsigned depth = 0;
    // The first node the document's language refuses (a tag its node does
    // not fit, a key no authored text holds or one written twice) ends the
    // building; the text is still read to its end, so that a syntax error
    // anywhere comes first.
    std::optional<Error> refusal;
    auto refuse_on = [&](Result<void> built) {
        if (!built) refusal = std::move(built.error());
    };
    while (const yaml_event_t* event = parser.next()) {
        bool building = documents == 1 && !refusal;
        switch (event->type) {
            case YAML_DOCUMENT_START_EVENT: ++documents; break;
            case YAML_SEQUENCE_START_EVENT:
            case YAML_MAPPING_START_EVENT: {
                if (++depth > kMaxYamlDepth) return fail("YAML nesting too deep");
                if (!building) break;
                bool sequence = event->type == YAML_SEQUENCE_START_EVENT;
                const auto& start = event->data;
                auto anchor = texts.anchor(sequence ? start.sequence_start.anchor : start.mapping_start.anchor,
                                           event->start_mark);
                if (!anchor) return forward_error(anchor);
                auto fits = check_collection_tag(*event);
                if (fits) builder.open(sequence ? YamlKind::Array : YamlKind::Hash, *anchor);
                refuse_on(std::move(fits));
                break;
            }
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT:
                --depth;
                if (building) builder.close();
                break;
            case YAML_SCALAR_EVENT: {
                // Every scalar is read, for a surrogate escape without its
                // pair is a syntax error.
                auto scalar = texts.scalar(*event);
                if (!scalar) return forward_error(scalar);
                if (!building) break;
                auto resolved = texts.resolve(*scalar);
                refuse_on(resolved ? builder.scalar(*scalar) : std::move(resolved));
                break;
            }
            case YAML_ALIAS_EVENT:
                if (building) {
                    auto name = texts.anchor(event->data.alias.anchor, event->start_mark);
                    if (!name) return forward_error(name);
                    refuse_on(builder.alias(*name, event->start_mark));
                }
                break;
            case YAML_STREAM_END_EVENT:
                if (documents == 0) return fail("empty YAML input");
                if (documents > 1) {
                    return fail("expected one YAML document, found " + decimal_text(documents));
                }
                if (refusal) return std::unexpected(std::move(*refusal));
                return true;
            default: break;
        }
        if (builder.gave_up()) return false;
    }
    return std::unexpected(parser.failure());
}

// The keys of the open mappings, to refuse a key that a mapping holds
// twice, and one the authored text cannot hold. Keys are the same when
// their kinds and values are: a float by its number (1.5 and 1.50), an
// integer by its decimal value (0x1F and 31), but the integer 1 and the
// string "1" are two keys. Merge keys are no keys here: members merged in
// give way to the mapping's own.
class MappingKeys {
public:
    void open() { frames_.push_back(Frame{keys_.size(), texts_.size(), {}}); }

    void close() {
        keys_.resize(frames_.back().first_key);
        texts_.resize(frames_.back().first_byte);
        frames_.pop_back();
    }

    // Adds a key of the innermost open mapping; a key of no scalar kind is
    // left to the conversion, which refuses it.
    Result<void> add(YamlKind kind, bool truth, std::string_view text, const yaml_mark_t& mark) {
        auto key = scalar_key_text(kind, truth, text);
        if (!key) return {};
        if (key->empty()) return fail("empty YAML key is unrepresentable" + at_mark(mark));
        if (find_first_of_bytes<'\0', '\n', '\r'>(*key) != key->size()) {
            return fail("unrepresentable YAML key " + quoted_debug_excerpt(*key) + at_mark(mark));
        }
        Identity identity{static_cast<char>(kind), canonical_text(kind, truth, text)};
        if (!has_room(identity.value.size() + 1)) {
            return fail("YAML mapping holds too many key bytes to compare" + at_mark(mark));
        }
        if (!insert(identity)) return fail("repeated YAML mapping key " + quoted_excerpt(*key) + at_mark(mark));
        return {};
    }

private:
    // Up to this many keys a mapping's keys are compared one by one; past
    // it they are looked up in a hash table of the mapping's own.
    static constexpr std::size_t kScannedKeys = 8;

    struct Frame {
        std::size_t first_key;
        std::size_t first_byte;
        // Open addressing: 0 for a free slot, else the key's index in the
        // frame plus one. At most half the slots are taken.
        std::vector<std::uint32_t> slots;
    };

    // A key as compared: its kind's byte and its value's canonical text.
    // The keys of a mapping are held as the byte followed by the text.
    struct Identity {
        char kind;
        std::string_view value;

        bool operator==(std::string_view held) const {
            return held.size() == value.size() + 1 && held.front() == kind && held.substr(1) == value;
        }
        static std::size_t hash(char kind, std::string_view value) {
            return KeyedTextHash{}(value) ^ (static_cast<std::size_t>(static_cast<unsigned char>(kind)) << 56);
        }
    };

    // A string's or an integer's text as it is, a float's number (1.50 as
    // 1.5), a boolean's truth; a null's is empty.
    std::string_view canonical_text(YamlKind kind, bool truth, std::string_view text) {
        switch (kind) {
            case YamlKind::Null: return {};
            case YamlKind::Boolean: return truth ? "1" : "0";
            case YamlKind::Real: break;
            default: return text;
        }
        if (auto marker = special_float_marker(text)) return *marker;
        if (auto number = parse_decimal_double(text)) real_ = format_json_float(*number == 0 ? 0.0 : *number);
        return real_;
    }

    // The held key of the innermost frame at `key`.
    std::string_view held(const Frame& frame, std::size_t key) const {
        std::size_t at = frame.first_key + key;
        std::size_t begin = frame.first_byte + keys_[at];
        std::size_t end = at + 1 < keys_.size() ? frame.first_byte + keys_[at + 1] : texts_.size();
        return std::string_view(texts_).substr(begin, end - begin);
    }

    // The slot that holds the key, or the free one where it belongs.
    template <class Key>
    std::size_t slot_of(const Frame& frame, std::size_t hash, const Key& key) const {
        std::size_t mask = frame.slots.size() - 1;
        std::size_t slot = hash & mask;
        while (frame.slots[slot] != 0 && !(key == held(frame, frame.slots[slot] - 1))) slot = (slot + 1) & mask;
        return slot;
    }

    void place(Frame& frame, std::size_t key) {
        std::string_view record = held(frame, key);
        std::size_t hash = Identity::hash(record.front(), record.substr(1));
        frame.slots[slot_of(frame, hash, record)] = static_cast<std::uint32_t>(key + 1);
    }

    // False when the innermost mapping holds the key already.
    bool insert(const Identity& identity) {
        Frame& frame = frames_.back();
        std::size_t count = keys_.size() - frame.first_key;
        if (frame.slots.empty()) {
            for (std::size_t key = 0; key < count; ++key) {
                if (identity == held(frame, key)) return false;
            }
        } else if (frame.slots[slot_of(frame, Identity::hash(identity.kind, identity.value), identity)] != 0) {
            return false;
        }
        keys_.push_back(static_cast<std::uint32_t>(texts_.size() - frame.first_byte));
        texts_ += identity.kind;
        texts_ += identity.value;
        if (++count <= kScannedKeys) return true;
        if (2 * count > frame.slots.size()) {
            frame.slots.assign(std::bit_ceil(2 * count), 0);
            for (std::size_t key = 0; key < count; ++key) place(frame, key);
        } else {
            place(frame, count - 1);
        }
        return true;
    }

    // Offsets and indexes within a frame are held in 32 bits.
    bool has_room(std::size_t bytes) const {
        return texts_.size() - frames_.back().first_byte + bytes < std::numeric_limits<std::uint32_t>::max();
    }

    std::vector<Frame> frames_;
    std::vector<std::uint32_t> keys_;  // where each held key starts, from its frame's first byte
    std::string texts_;
    std::string real_;
};

}  // namespace

// Builds the JsonTree of the first document as its events arrive, each node
// in its place in document order, and gives up at the first alias, merge
// key, bad value, non-finite float, or mapping key that is not a scalar:
// those need the whole document at hand, or a value JSON does not have.
class YamlTreeBuilder {
public:
    // Reserves room for one node per 8 bytes of the YAML text, about what
    // block mappings of short scalars hold.
    explicit YamlTreeBuilder(std::string_view source) { tree_.nodes_.reserve(source.size() / 8 + 4); }

    Result<void> scalar(const ScalarEvent& read) {
        if (read.merge_key) return give_up();
        if (key_due()) {
            auto key = scalar_key_text(read.kind, read.truth, read.text);
            if (!key) return give_up();
            if (auto added = keys_.add(read.kind, read.truth, read.text, read.mark); !added) return added;
            add(JsonKind::String, *key);
            open_.back().value_due = true;
            return {};
        }
        switch (read.kind) {
            case YamlKind::Null: add_value(JsonKind::Null); return {};
            case YamlKind::Boolean: add_value(read.truth ? JsonKind::True : JsonKind::False); return {};
            case YamlKind::Integer: add_value(JsonKind::Number, read.text); return {};
            case YamlKind::String: add_value(JsonKind::String, read.text); return {};
            case YamlKind::Real: return add_real(read.text);
            default: return give_up();
        }
    }

    void open(YamlKind kind, std::string_view) {
        if (key_due()) {
            gave_up_ = true;
            return;
        }
        count_value();
        bool hash = kind == YamlKind::Hash;
        open_.push_back(Open{tree_.nodes_.size(), hash});
        if (hash) keys_.open();
        tree_.nodes_.emplace_back(hash ? JsonKind::Object : JsonKind::Array, std::string_view());
    }

    void close() {
        Open frame = open_.back();
        open_.pop_back();
        if (frame.hash) keys_.close();
        JsonNode& node = tree_.nodes_[frame.node];
        node.close(frame.children, tree_.nodes_.size() - frame.node);
    }

    Result<void> alias(std::string_view, const yaml_mark_t&) { return give_up(); }

    bool gave_up() const { return gave_up_; }
    JsonTree finish() { return std::move(tree_); }

private:
    struct Open {
        std::size_t node;
        bool hash = false;
        bool value_due = false;  // of a mapping: its last key awaits its value
        std::size_t children = 0;
    };

    Result<void> give_up() {
        gave_up_ = true;
        return {};
    }

    bool key_due() const { return !open_.empty() && open_.back().hash && !open_.back().value_due; }

    // A value completes an array item or a mapping member.
    void count_value() {
        if (open_.empty()) return;
        Open& frame = open_.back();
        ++frame.children;
        frame.value_due = false;
    }

    void add(JsonKind kind, std::string_view text) { tree_.nodes_.emplace_back(kind, tree_.decoded_.store(text)); }

    void add_value(JsonKind kind, std::string_view text = {}) {
        count_value();
        add(kind, text);
    }

    Result<void> add_real(std::string_view text) {
        RealReading real = read_real(text, scratch_);
        switch (real.form) {
            case RealReading::Form::Marker: return give_up();
            case RealReading::Form::Number: add_value(JsonKind::Number, real.text); break;
            case RealReading::Form::String: add_value(JsonKind::String, real.text); break;
        }
        return {};
    }

    JsonTree tree_;
    std::string scratch_;
    std::vector<Open> open_;
    MappingKeys keys_;
    bool gave_up_ = false;
};

// Builds the nodes of the first document as its events arrive. Children of
// the open collections wait in one shared list and move into the document's
// child list, contiguously, when their collection closes.
class YamlNodeBuilder {
public:
    // Reserves room for one node per 8 bytes of the YAML text, about what
    // block mappings of short scalars hold.
    explicit YamlNodeBuilder(std::string_view source) {
        doc_.nodes_.reserve(source.size() / 8);
        doc_.children_.reserve(source.size() / 8);
    }

    Result<void> scalar(const ScalarEvent& read) {
        std::size_t index = add_scalar(read);
        doc_.nodes_[index].merge_key = read.merge_key;
        define_anchor(read.anchor, index);
        return attach_checked(index, read.mark);
    }

    void open(YamlKind kind, std::string_view anchor) {
        std::size_t index = add_node(YamlNode{kind});
        // The anchor names the collection from here on: an alias of it
        // inside the collection itself is recursive.
        define_anchor(anchor, index);
        open_.push_back(Open{index, pending_.size()});
        if (kind == YamlKind::Hash) keys_.open();
    }

    void close() {
        Open frame = open_.back();
        open_.pop_back();
        YamlNode& node = doc_.nodes_[frame.node];
        if (node.kind == YamlKind::Hash) keys_.close();
        node.first = doc_.children_.size();
        node.count = pending_.size() - frame.first_pending;
        doc_.children_.insert(doc_.children_.end(), pending_.begin() + static_cast<std::ptrdiff_t>(frame.first_pending),
                              pending_.end());
        pending_.resize(frame.first_pending);
        attach(frame.node);
    }

    Result<void> alias(std::string_view name, const yaml_mark_t& mark) {
        auto found = anchors_.find(name);
        if (found != anchors_.end() && !is_open(found->second)) {
            ++doc_.written_;
            return attach_checked(found->second, mark);
        }
        attach(add_text_node(YamlKind::Alias, name));
        return {};
    }

    static constexpr bool gave_up() { return false; }
    YamlDocument finish() { return std::move(doc_); }

private:
    struct Open {
        std::size_t node;
        std::size_t first_pending;
    };

    // Open collections stand in the stack in the order of their indexes.
    bool is_open(std::size_t index) const { return std::ranges::binary_search(open_, index, {}, &Open::node); }

    std::size_t add_node(YamlNode node) {
        ++doc_.written_;
        doc_.nodes_.push_back(node);
        return doc_.nodes_.size() - 1;
    }

    // A node whose text is a copy of `value`.
    std::size_t add_text_node(YamlKind kind, std::string_view value) {
        std::size_t first = doc_.texts_.size();
        doc_.texts_ += value;
        return add_node(YamlNode{.kind = kind, .first = first, .count = value.size()});
    }

    std::size_t add_scalar(const ScalarEvent& read) {
        switch (read.kind) {
            case YamlKind::Integer:
            case YamlKind::Real:
            case YamlKind::String: return add_text_node(read.kind, read.text);
            case YamlKind::Boolean: return add_node(YamlNode{.kind = YamlKind::Boolean, .truth = read.truth});
            default: return add_node(YamlNode{read.kind});
        }
    }

    void define_anchor(std::string_view anchor, std::size_t index) {
        if (!anchor.empty()) anchors_[std::string(anchor)] = index;
    }

    // True when the next node attached is a key of the innermost mapping.
    bool key_due() const {
        return !open_.empty() && doc_.nodes_[open_.back().node].kind == YamlKind::Hash &&
               (pending_.size() - open_.back().first_pending) % 2 == 0;
    }

    // Attaches a scalar, or an alias of a node, written at `mark`, checking
    // it as a key where it is a scalar key. A collection as a key is left to
    // the conversion, which refuses it.
    Result<void> attach_checked(std::size_t index, const yaml_mark_t& mark) {
        const YamlNode& node = doc_.nodes_[index];
        bool collection = node.kind == YamlKind::Array || node.kind == YamlKind::Hash;
        if (key_due() && !node.merge_key && !collection) {
            if (auto added = keys_.add(node.kind, node.truth, doc_.text(node), mark); !added) return added;
        }
        attach(index);
        return {};
    }

    void attach(std::size_t index) {
        if (open_.empty()) {
            doc_.root_ = index;
        } else {
            pending_.push_back(index);
        }
    }

    YamlDocument doc_;
    std::vector<std::size_t> pending_;
    std::vector<Open> open_;
    TextMap<std::size_t> anchors_;
    MappingKeys keys_;
};

Result<YamlDocument> read_yaml_document(std::string_view text) {
    YamlNodeBuilder builder(text);
    auto read = read_events(text, builder);
    if (!read) return forward_error(read);
    return builder.finish();
}

Result<std::optional<JsonTree>> read_simple_yaml_tree(std::string_view text) {
    YamlTreeBuilder builder(text);
    auto read = read_events(text, builder);
    if (!read) return forward_error(read);
    if (!*read) return std::optional<JsonTree>();
    return builder.finish();
}

Value yaml_float_value(std::string_view text) {
    return Value::typed("std/num", text == "nan" ? "nan" : "inf", std::string(text));
}

std::optional<Value> yaml_scalar_value(YamlKind kind, bool truth, std::string_view text) {
    switch (kind) {
        case YamlKind::Null: return Value::null();
        case YamlKind::Boolean: return Value::boolean(truth);
        case YamlKind::Integer: return Value::number(std::string(text));
        case YamlKind::Real: return yaml_real_value(text);
        case YamlKind::String: return Value::string(std::string(text));
        default: return std::nullopt;
    }
}

std::optional<std::string> yaml_scalar_key(YamlKind kind, bool truth, std::string_view text) {
    if (auto key = scalar_key_text(kind, truth, text)) return std::string(*key);
    return std::nullopt;
}

}  // namespace bezo
