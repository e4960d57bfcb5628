#include "interchange/yaml_reader.hpp"

#include <yaml.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>

#include "core/decimal_float.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/json_reader.hpp"
#include "interchange/json_text.hpp"

namespace bezo {
namespace {

// ---- scalar resolution -----------------------------------------------------

// How a scalar's kind is decided: by the core schema (plain and untagged),
// as a string (quoted or block, untagged), or forced by a tag.
enum class Resolution : std::uint8_t { Core, String, Int, Float, Bool, Null };

// The kind that one of the tags !!str, !!int, !!float, !!bool and !!null
// (as the library resolves them) forces; none for any other tag.
std::optional<Resolution> forced_resolution(std::optional<std::string_view> tag) {
    if (!tag) return std::nullopt;
    if (*tag == "tag:yaml.org,2002:str") return Resolution::String;
    if (*tag == "tag:yaml.org,2002:int") return Resolution::Int;
    if (*tag == "tag:yaml.org,2002:float") return Resolution::Float;
    if (*tag == "tag:yaml.org,2002:bool") return Resolution::Bool;
    if (*tag == "tag:yaml.org,2002:null") return Resolution::Null;
    return std::nullopt;
}

// The non-specific tag "!" keeps a plain scalar from resolution, as quotes
// do: it is a string.
Resolution resolution_of(std::optional<std::string_view> tag, bool plain) {
    if (auto forced = forced_resolution(tag)) return *forced;
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

// The key text of a scalar of kind String, Real, Integer or Boolean; none
// for any other kind.
std::optional<std::string_view> scalar_key_text(YamlKind kind, bool truth, std::string_view text) {
    switch (kind) {
        case YamlKind::String:
        case YamlKind::Real:
        case YamlKind::Integer: return text;
        case YamlKind::Boolean: return truth ? "true" : "false";
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

// A scalar's kind under its resolution. An integer's plain decimal text is
// appended to `digits`; a string's or a float's text is the scalar's own.
struct ResolvedScalar {
    YamlKind kind = YamlKind::Null;
    bool truth = false;
};

ResolvedScalar resolve_integer(std::string_view value, std::string& digits) {
    switch (write_integer(value, digits)) {
        case IntegerRead::NotInteger: return {YamlKind::String};
        case IntegerRead::TooLarge: return {YamlKind::BadValue};
        case IntegerRead::Written: break;
    }
    return {YamlKind::Integer};
}

// The kind a forced resolution gives, or a bad value when the text does not
// fit it.
ResolvedScalar resolve_forced(std::string_view value, Resolution resolution, std::string& digits) {
    switch (resolution) {
        case Resolution::Int: {
            ResolvedScalar integer = resolve_integer(value, digits);
            return integer.kind == YamlKind::String ? ResolvedScalar{YamlKind::BadValue} : integer;
        }
        case Resolution::Float: return {is_float_form(value) ? YamlKind::Real : YamlKind::BadValue};
        case Resolution::Bool: {
            auto truth = bool_word(value);
            return truth ? ResolvedScalar{YamlKind::Boolean, *truth} : ResolvedScalar{YamlKind::BadValue};
        }
        case Resolution::Null: return {is_null_word(value) ? YamlKind::Null : YamlKind::BadValue};
        case Resolution::String:
        case Resolution::Core: break;
    }
    return {YamlKind::String};
}

ResolvedScalar resolve_scalar(std::string_view value, Resolution resolution, std::string& digits) {
    if (resolution == Resolution::String) return {YamlKind::String};
    if (resolution != Resolution::Core) return resolve_forced(value, resolution, digits);
    if (surely_string(value)) return {YamlKind::String};
    if (is_null_word(value)) return {YamlKind::Null};
    if (auto truth = bool_word(value)) return {YamlKind::Boolean, *truth};
    if (ResolvedScalar integer = resolve_integer(value, digits); integer.kind != YamlKind::String) return integer;
    return {is_float_form(value) ? YamlKind::Real : YamlKind::String};
}

// ---- errors ------------------------------------------------------------------

Error invalid_yaml(std::string_view problem, std::size_t line, std::size_t column) {
    return Error::Other("invalid YAML: " + std::string(problem) + " at line " + decimal_text(line) + ", column " +
                        decimal_text(column));
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

    // The code point of eight hex digits from `at`, if they are there.
    static std::optional<char32_t> eight_hex_digits(std::string_view text, std::size_t at) {
        if (at + 8 > text.size()) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = at; i < at + 8; ++i) {
            int digit = hex_digit_value(text[i]);
            if (digit < 0) return std::nullopt;
            value = value << 4 | static_cast<std::uint32_t>(digit);
        }
        return value;
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
                if (auto spelled = eight_hex_digits(text, pos + 1)) mark(*spelled);
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

// A scalar event as read: its text, how it resolves, whether it is a merge
// key, and its anchor (empty when it has none).
struct ScalarEvent {
    std::string_view text;
    Resolution resolution = Resolution::Core;
    bool merge_key = false;
    std::string_view anchor;
};

// A collection tagged as a scalar kind cannot be one.
bool is_bad_collection(const yaml_char_t* tag) { return forced_resolution(optional_text(tag)).has_value(); }

// The texts the library hands over become values only once they are known
// to be UTF-8.
Result<std::string_view> checked_text(std::string_view text, const yaml_mark_t& mark) {
    if (is_valid_utf8(text)) return text;
    return fail("YAML library gave text that is not UTF-8 at line " + decimal_text(mark.line + 1) + ", column " +
                decimal_text(mark.column + 1));
}

// Reads the library's texts of one event, checked, with NEL, LS and PS back
// in place.
class EventTexts {
public:
    explicit EventTexts(const LineBreakStandIns& stand_ins) : stand_ins_(stand_ins) {}

    Result<ScalarEvent> scalar(const yaml_event_t& event) {
        const auto& scalar = event.data.scalar;
        auto text = checked_text(bytes_of(scalar.value, scalar.length), event.start_mark);
        if (!text) return forward_error(text);
        auto anchor = this->anchor(scalar.anchor, event.start_mark);
        if (!anchor) return forward_error(anchor);
        bool plain = scalar.style == YAML_PLAIN_SCALAR_STYLE;
        auto tag = optional_text(scalar.tag);
        return ScalarEvent{stand_ins_.restore(*text, scratch_), resolution_of(tag, plain),
                           plain && !tag && *text == "<<", *anchor};
    }

    // An anchor's or an alias's name; empty for none.
    Result<std::string_view> anchor(const yaml_char_t* name, const yaml_mark_t& mark) {
        if (name == nullptr) return std::string_view();
        return checked_text(optional_text(name).value(), mark);
    }

private:
    const LineBreakStandIns& stand_ins_;
    std::string scratch_;
};

// Feeds the events of the first document to the builder; later documents
// are read for their syntax, their depth and their count. False when the
// builder gave up on the document.
template <class Builder>
Result<bool> read_events(std::string_view text, Builder& builder) {
    if (auto refused = refused_character(text)) return std::unexpected(std::move(*refused));
    auto stand_ins = LineBreakStandIns::of(text);
    if (!stand_ins) return forward_error(stand_ins);
    Parser parser(stand_ins->text());
    if (!parser.ready()) return fail("invalid YAML: out of memory");
    EventTexts texts(*stand_ins);
    std::size_t documents = 0;
    unsigned depth = 0;
    while (const yaml_event_t* event = parser.next()) {
        bool building = documents == 1;
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
                builder.open(sequence ? YamlKind::Array : YamlKind::Hash,
                             is_bad_collection(sequence ? start.sequence_start.tag : start.mapping_start.tag), *anchor);
                break;
            }
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT:
                --depth;
                if (building) builder.close();
                break;
            case YAML_SCALAR_EVENT:
                if (building) {
                    auto scalar = texts.scalar(*event);
                    if (!scalar) return forward_error(scalar);
                    builder.scalar(*scalar);
                }
                break;
            case YAML_ALIAS_EVENT:
                if (building) {
                    auto name = texts.anchor(event->data.alias.anchor, event->start_mark);
                    if (!name) return forward_error(name);
                    builder.alias(*name);
                }
                break;
            case YAML_STREAM_END_EVENT:
                if (documents == 0) return fail("empty YAML input");
                if (documents > 1) {
                    return fail("expected one YAML document, found " + decimal_text(documents));
                }
                return true;
            default: break;
        }
        if (builder.gave_up()) return false;
    }
    return std::unexpected(parser.failure());
}

}  // namespace

// Builds the JsonTree of the first document as its events arrive, each node
// in its place in document order, and gives up at the first alias, merge
// key, bad value, non-finite float, or mapping key that is not a string,
// number or boolean: those need the whole document at hand, or a value JSON
// does not have.
class YamlTreeBuilder {
public:
    // Reserves room for one node per 8 bytes of the YAML text, about what
    // block mappings of short scalars hold.
    explicit YamlTreeBuilder(std::string_view source) { tree_.nodes_.reserve(source.size() / 8 + 4); }

    void scalar(const ScalarEvent& read) {
        if (read.merge_key) return give_up();
        digits_.clear();
        ResolvedScalar resolved = resolve_scalar(read.text, read.resolution, digits_);
        std::string_view text = resolved.kind == YamlKind::Integer ? std::string_view(digits_) : read.text;
        if (key_due()) {
            auto key = scalar_key_text(resolved.kind, resolved.truth, text);
            if (!key) return give_up();
            add(JsonKind::String, *key);
            open_.back().value_due = true;
            return;
        }
        switch (resolved.kind) {
            case YamlKind::Null: return add_value(JsonKind::Null);
            case YamlKind::Boolean: return add_value(resolved.truth ? JsonKind::True : JsonKind::False);
            case YamlKind::Integer: return add_value(JsonKind::Number, text);
            case YamlKind::String: return add_value(JsonKind::String, text);
            case YamlKind::Real: return add_real(text);
            default: return give_up();
        }
    }

    void open(YamlKind kind, bool bad, std::string_view) {
        if (bad || key_due()) return give_up();
        count_value();
        open_.push_back(Open{tree_.nodes_.size(), kind == YamlKind::Hash});
        tree_.nodes_.emplace_back(kind == YamlKind::Hash ? JsonKind::Object : JsonKind::Array, std::string_view());
    }

    void close() {
        Open frame = open_.back();
        open_.pop_back();
        JsonNode& node = tree_.nodes_[frame.node];
        node.close(frame.children, tree_.nodes_.size() - frame.node);
    }

    void alias(std::string_view) { give_up(); }

    bool gave_up() const { return gave_up_; }
    JsonTree finish() { return std::move(tree_); }

private:
    struct Open {
        std::size_t node;
        bool hash = false;
        bool value_due = false;  // of a mapping: its last key awaits its value
        std::size_t children = 0;
    };

    void give_up() { gave_up_ = true; }

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

    void add_real(std::string_view text) {
        RealReading real = read_real(text, scratch_);
        switch (real.form) {
            case RealReading::Form::Marker: return give_up();
            case RealReading::Form::Number: return add_value(JsonKind::Number, real.text);
            case RealReading::Form::String: return add_value(JsonKind::String, real.text);
        }
    }

    JsonTree tree_;
    std::string digits_;
    std::string scratch_;
    std::vector<Open> open_;
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

    void scalar(const ScalarEvent& read) {
        std::size_t index = add_scalar(read.text, read.resolution);
        doc_.nodes_[index].merge_key = read.merge_key;
        define_anchor(read.anchor, index);
        attach(index);
    }

    void open(YamlKind kind, bool bad, std::string_view anchor) {
        std::size_t index = add_node(YamlNode{bad ? YamlKind::BadValue : kind});
        // The anchor names the collection from here on: an alias of it
        // inside the collection itself is recursive.
        define_anchor(anchor, index);
        open_.push_back(Open{index, pending_.size()});
    }
    void close() {
        Open frame = open_.back();
        open_.pop_back();
        YamlNode& node = doc_.nodes_[frame.node];
        if (node.kind != YamlKind::BadValue) {
            node.first = doc_.children_.size();
            node.count = pending_.size() - frame.first_pending;
            doc_.children_.insert(doc_.children_.end(),
                                  pending_.begin() + static_cast<std::ptrdiff_t>(frame.first_pending), pending_.end());
        }
        pending_.resize(frame.first_pending);
        attach(frame.node);
    }

    void alias(std::string_view name) {
        auto found = anchors_.find(name);
        if (found != anchors_.end() && !is_open(found->second)) {
            ++doc_.written_;
            attach(found->second);
            return;
        }
        attach(add_text_node(YamlKind::Alias, name));
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

    // Adds a node whose text the document's texts hold from `first` on.
    std::size_t add_text_node(YamlKind kind, std::size_t first) {
        return add_node(YamlNode{.kind = kind, .first = first, .count = doc_.texts_.size() - first});
    }

    // A node whose text is a copy of `value`.
    std::size_t add_text_node(YamlKind kind, std::string_view value) {
        std::size_t first = doc_.texts_.size();
        doc_.texts_ += value;
        return add_text_node(kind, first);
    }

    // An integer's decimal text is written straight into the document's
    // texts.
    std::size_t add_scalar(std::string_view value, Resolution resolution) {
        std::size_t first = doc_.texts_.size();
        ResolvedScalar resolved = resolve_scalar(value, resolution, doc_.texts_);
        switch (resolved.kind) {
            case YamlKind::Integer: return add_text_node(YamlKind::Integer, first);
            case YamlKind::Real:
            case YamlKind::String: return add_text_node(resolved.kind, value);
            case YamlKind::Boolean: return add_node(YamlNode{.kind = YamlKind::Boolean, .truth = resolved.truth});
            default: return add_node(YamlNode{resolved.kind});
        }
    }

    void define_anchor(std::string_view anchor, std::size_t index) {
        if (!anchor.empty()) anchors_[std::string(anchor)] = index;
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
