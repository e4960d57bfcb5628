#include "interchange/yaml_reader.hpp"

#include <libfyaml.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>
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

// A float as written: a non-finite marker, the text itself when it is a
// JSON number, the float's own spelling when it reads as a finite binary64,
// or else the text as a string.
Value yaml_real_value(std::string_view text) {
    if (auto marker = special_float_marker(text)) return yaml_float_value(*marker);
    if (is_whole_json_number(text)) return Value::number(std::string(text));
    if (auto number = parse_decimal_double(text); number && std::isfinite(*number)) {
        return Value::number(format_json_float(*number));
    }
    return Value::string(std::string(text));
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
        std::string_view before = text.substr(0, i);
        std::size_t last_feed = before.rfind('\n');
        std::size_t line_start = last_feed == std::string_view::npos ? 0 : last_feed + 1;
        return invalid_yaml("control characters are not allowed", count_byte(before, '\n') + 1,
                            count_scalars(before.substr(line_start)) + 1);
    }
    return std::nullopt;
}

// ---- the library's parser and events ----------------------------------------

struct DiagRelease {
    void operator()(fy_diag* diag) const { fy_diag_destroy(diag); }
};
struct ParserRelease {
    void operator()(fy_parser* parser) const { fy_parser_destroy(parser); }
};
struct EventRelease {
    fy_parser* parser = nullptr;
    void operator()(fy_event* event) const { fy_parser_event_free(parser, event); }
};

// A diagnostic the library prints rather than keeps is at most this long
// in a failure's message.
constexpr std::size_t kMaxPrintedDiagnostic = 1024;

// A YAML 1.2 event parser over one in-memory text. It reads no file, knows
// no search path and follows no include. Its diagnostics never reach a
// stream: those with a position are kept by the diagnostic object, the
// others are caught as text, and the first becomes the failure. The
// parser's reuse of its event memory stays on, for speed; the library's
// only look at the environment is a debugging switch (FY_VALGRIND) that
// turns that reuse off and changes no result.
class Parser {
public:
    explicit Parser(std::string_view text) {
        fy_diag_cfg diag_cfg{};
        fy_diag_cfg_default(&diag_cfg);
        diag_cfg.fp = nullptr;
        diag_cfg.output_fn = catch_diagnostic;
        diag_cfg.user = this;
        diag_cfg.colorize = false;
        diag_.reset(fy_diag_create(&diag_cfg));
        if (!diag_) return;
        fy_diag_set_collect_errors(diag_.get(), true);
        fy_parse_cfg cfg{};
        cfg.search_path = nullptr;
        cfg.flags = static_cast<fy_parse_cfg_flags>(FYPCF_QUIET | FYPCF_DEFAULT_VERSION_1_2 | FYPCF_JSON_NONE |
                                                    FYPCF_DISABLE_MMAP_OPT);
        cfg.diag = diag_.get();
        parser_.reset(fy_parser_create(&cfg));
        if (parser_ && fy_parser_set_string(parser_.get(), text.data(), text.size()) != 0) parser_.reset();
        last_ = std::unique_ptr<fy_event, EventRelease>(nullptr, EventRelease{parser_.get()});
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    bool ready() const { return parser_ != nullptr; }

    // The next event, valid until the next call; null at the end of the
    // stream or on an error. The last event stays, for the position of a
    // failure that the library gives none.
    fy_event* next() {
        fy_event* event = fy_parser_parse(parser_.get());
        if (event != nullptr) last_.reset(event);
        return event;
    }

    bool failed() const { return fy_parser_get_stream_error(parser_.get()); }

    // The parser's first error, with its 1-based line and column.
    Error failure() const {
        void* iterator = nullptr;
        while (const fy_diag_error* error = fy_diag_errors_iterate(diag_.get(), &iterator)) {
            if (error->type >= FYET_ERROR && error->msg != nullptr) {
                return invalid_yaml(error->msg, static_cast<std::size_t>(std::max(error->line, 1)),
                                    static_cast<std::size_t>(std::max(error->column, 1)));
            }
        }
        const fy_mark* mark = last_ ? fy_event_end_mark(last_.get()) : nullptr;
        bool placed = mark != nullptr && mark->line >= 0 && mark->column >= 0;
        return invalid_yaml(printed_problem(), placed ? static_cast<std::size_t>(mark->line) + 1 : 1,
                            placed ? static_cast<std::size_t>(mark->column) + 1 : 1);
    }

private:
    static void catch_diagnostic(fy_diag*, void* user, const char* text, std::size_t length) {
        std::string& printed = static_cast<Parser*>(user)->printed_;
        printed.append(text, std::min(length, kMaxPrintedDiagnostic - std::min(printed.size(), kMaxPrintedDiagnostic)));
    }

    // The printed diagnostic without its level mark ("[ERR]: ") and its
    // line end.
    std::string printed_problem() const {
        std::string_view problem = printed_;
        if (problem.starts_with('[')) {
            std::size_t mark_end = problem.find("]: ");
            if (mark_end != std::string_view::npos) problem.remove_prefix(mark_end + 3);
        }
        problem = problem.substr(0, problem.find('\n'));
        return problem.empty() ? std::string("the parser stopped") : std::string(problem);
    }

    // Released in reverse: the event before its parser, the parser before
    // the diagnostic object it uses.
    std::string printed_;
    std::unique_ptr<fy_diag, DiagRelease> diag_;
    std::unique_ptr<fy_parser, ParserRelease> parser_;
    std::unique_ptr<fy_event, EventRelease> last_;
};

std::string_view token_text(fy_token* token) {
    std::size_t length = 0;
    const char* text = token != nullptr ? fy_token_get_text(token, &length) : nullptr;
    return text != nullptr ? std::string_view(text, length) : std::string_view();
}

std::optional<std::string_view> optional_token_text(fy_token* token) {
    if (token == nullptr) return std::nullopt;
    return token_text(token);
}

bool may_break_line(char byte) { return byte == '\n' || byte == '\r' || byte == '\xC2' || byte == '\xE2'; }

// A scalar event as read: its text, how it resolves, and whether it is a
// merge key.
struct ScalarEvent {
    std::string_view text;
    Resolution resolution = Resolution::Core;
    bool merge_key = false;
};

// A plain scalar on one line is its own span of the source, which spares
// the library making its text; any other scalar's text is the library's. A
// span holding a lead byte of NEL, LS or PS is left to the library too, as
// a YAML 1.1 document breaks lines there.
std::string_view scalar_text(std::string_view source, fy_token* token, fy_scalar_style style) {
    if (style == FYSS_PLAIN) {
        const fy_mark* start = fy_token_start_mark(token);
        const fy_mark* end = fy_token_end_mark(token);
        if (start != nullptr && end != nullptr && start->input_pos <= end->input_pos &&
            end->input_pos <= source.size()) {
            std::string_view span = source.substr(start->input_pos, end->input_pos - start->input_pos);
            if (!std::ranges::any_of(span, may_break_line)) return span;
        }
    }
    std::string_view text = token_text(token);
    // The library gives a block scalar without content lines that ends the
    // text as one NUL byte. A block scalar has no escapes and NUL is refused
    // anywhere in the text, so a NUL there is never content.
    if (style == FYSS_LITERAL || style == FYSS_FOLDED) {
        while (text.ends_with('\0')) text.remove_suffix(1);
    }
    return text;
}

ScalarEvent read_scalar(std::string_view source, fy_event& event) {
    fy_token* value_token = event.scalar.value;
    const fy_scalar_style style = fy_token_scalar_style(value_token);
    bool plain = style == FYSS_PLAIN;
    std::string_view text = scalar_text(source, value_token, style);
    auto tag = optional_token_text(event.scalar.tag);
    return ScalarEvent{text, resolution_of(tag, plain), plain && !tag && text == "<<"};
}

// A collection tagged as a scalar kind cannot be one.
bool is_bad_collection(fy_token* tag) { return forced_resolution(optional_token_text(tag)).has_value(); }

// Feeds the events of the first document to the builder; later documents
// are read for their syntax, their depth and their count. False when the
// builder gave up on the document.
template <class Builder>
Result<bool> read_events(std::string_view text, Builder& builder) {
    if (auto refused = refused_character(text)) return std::unexpected(std::move(*refused));
    Parser parser(text);
    if (!parser.ready()) return fail("invalid YAML: out of memory");
    std::size_t documents = 0;
    unsigned depth = 0;
    while (fy_event* event = parser.next()) {
        bool building = documents == 1;
        switch (event->type) {
            case FYET_DOCUMENT_START: ++documents; break;
            case FYET_SEQUENCE_START:
                if (++depth > kMaxYamlDepth) return fail("YAML nesting too deep");
                if (building) builder.open(YamlKind::Array, event->sequence_start.tag, event->sequence_start.anchor);
                break;
            case FYET_MAPPING_START:
                if (++depth > kMaxYamlDepth) return fail("YAML nesting too deep");
                if (building) builder.open(YamlKind::Hash, event->mapping_start.tag, event->mapping_start.anchor);
                break;
            case FYET_SEQUENCE_END:
            case FYET_MAPPING_END:
                --depth;
                if (building) builder.close();
                break;
            case FYET_SCALAR:
                if (building) builder.scalar(*event);
                break;
            case FYET_ALIAS:
                if (building) builder.alias(*event);
                break;
            case FYET_STREAM_END:
                if (documents == 0) return fail("empty YAML input");
                if (documents > 1) {
                    return fail("expected one YAML document, found " + decimal_text(documents));
                }
                return true;
            default: break;
        }
        if (builder.gave_up()) return false;
    }
    if (parser.failed()) return std::unexpected(parser.failure());
    return fail("invalid YAML: the text ends before its stream does");
}

// Builds the values of the first document as its events arrive, and gives
// up at the first alias, merge key, bad value, or mapping key that is not a
// string, number or boolean: those need the whole document at hand. Each
// value is made in its place in the collection that holds it.
class YamlValueBuilder {
public:
    explicit YamlValueBuilder(std::string_view source) : source_(source) {}

    void scalar(fy_event& event) {
        ScalarEvent read = read_scalar(source_, event);
        if (read.merge_key) return give_up();
        digits_.clear();
        ResolvedScalar resolved = resolve_scalar(read.text, read.resolution, digits_);
        std::string_view text = resolved.kind == YamlKind::Integer ? std::string_view(digits_) : read.text;
        if (key_due()) return add_key(yaml_scalar_key(resolved.kind, resolved.truth, text));
        auto value = yaml_scalar_value(resolved.kind, resolved.truth, text);
        if (!value) return give_up();
        next_slot() = std::move(*value);
    }

    void open(YamlKind kind, fy_token* tag, fy_token*) {
        if (is_bad_collection(tag) || key_due()) return give_up();
        Open& frame = open_.emplace_back();
        frame.hash = kind == YamlKind::Hash;
        std::size_t hint = size_hint(frame.hash);
        if (frame.hash) {
            frame.members.reserve(hint);
        } else {
            frame.items.reserve(hint);
        }
    }

    void close() {
        Open& frame = open_.back();
        size_hint(frame.hash) = std::min(frame.hash ? frame.members.size() : frame.items.size(), kMaxSizeHint);
        Value closed = frame.hash ? Value::object(std::move(frame.members)) : Value::array(std::move(frame.items));
        open_.pop_back();
        next_slot() = std::move(closed);
    }

    void alias(fy_event&) { give_up(); }

    bool gave_up() const { return gave_up_; }
    Value finish() { return std::move(root_); }

private:
    struct Open {
        bool hash = false;
        bool value_due = false;  // of a mapping: its last key awaits its value
        ValueArray items;
        ValueObject members;
    };

    // A collection reserves as many places as the last one of its kind at
    // its depth held, up to this many: records of one shape fill their
    // collections without growing them.
    static constexpr std::size_t kMaxSizeHint = 16;

    std::size_t& size_hint(bool hash) {
        std::size_t index = 2 * open_.size() + (hash ? 1 : 0);
        if (index >= size_hints_.size()) size_hints_.resize(index + 1);
        return size_hints_[index];
    }

    void give_up() { gave_up_ = true; }

    bool key_due() const { return !open_.empty() && open_.back().hash && !open_.back().value_due; }

    void add_key(std::optional<std::string> key) {
        if (!key) return give_up();
        open_.back().members.push_back(ValueMember{std::move(*key), Value::null()});
        open_.back().value_due = true;
    }

    // The place of the next value, null until it is written.
    Value& next_slot() {
        if (open_.empty()) return root_;
        Open& frame = open_.back();
        if (!frame.hash) return frame.items.emplace_back();
        frame.value_due = false;
        return frame.members.back().value;
    }

    std::string_view source_;
    std::string digits_;
    std::vector<Open> open_;
    std::vector<std::size_t> size_hints_;
    Value root_ = Value::null();
    bool gave_up_ = false;
};

}  // namespace

// Builds the nodes of the first document as its events arrive. Children of
// the open collections wait in one shared list and move into the document's
// child list, contiguously, when their collection closes.
class YamlNodeBuilder {
public:
    // Reserves room for one node per 8 bytes of the YAML text, about what
    // block mappings of short scalars hold.
    explicit YamlNodeBuilder(std::string_view source) : source_(source) {
        doc_.source_ = source;
        doc_.nodes_.reserve(source.size() / 8);
        doc_.children_.reserve(source.size() / 8);
    }

    void scalar(fy_event& event) {
        ScalarEvent read = read_scalar(source_, event);
        std::size_t index = add_scalar(read.text, read.resolution);
        doc_.nodes_[index].merge_key = read.merge_key;
        define_anchor(event.scalar.anchor, index);
        attach(index);
    }

    void open(YamlKind kind, fy_token* tag, fy_token* anchor) {
        std::size_t index = add_node(YamlNode{is_bad_collection(tag) ? YamlKind::BadValue : kind});
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

    void alias(fy_event& event) {
        std::string_view name = token_text(event.alias.anchor);
        auto found = anchors_.find(name);
        if (found != anchors_.end() && !is_open(found->second)) {
            ++doc_.written_;
            attach(found->second);
            return;
        }
        std::size_t first = doc_.texts_.size();
        doc_.texts_ += name;
        attach(add_text_node(YamlKind::Alias, first));
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
        std::size_t count = doc_.texts_.size() - first;
        doc_.text_bytes_ += count;
        return add_node(YamlNode{.kind = kind, .first = first, .count = count});
    }

    // A node whose text is `value`: kept as its span when it lies in the
    // YAML text, else copied.
    std::size_t add_text_node(YamlKind kind, std::string_view value) {
        const char* source_start = source_.data();
        if (value.data() < source_start || value.data() + value.size() > source_start + source_.size()) {
            std::size_t first = doc_.texts_.size();
            doc_.texts_ += value;
            return add_text_node(kind, first);
        }
        doc_.text_bytes_ += value.size();
        return add_node(YamlNode{.kind = kind,
                                 .in_source = true,
                                 .first = static_cast<std::size_t>(value.data() - source_start),
                                 .count = value.size()});
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

    void define_anchor(fy_token* anchor, std::size_t index) {
        if (anchor != nullptr) anchors_[std::string(token_text(anchor))] = index;
    }

    void attach(std::size_t index) {
        if (open_.empty()) {
            doc_.root_ = index;
        } else {
            pending_.push_back(index);
        }
    }

    std::string_view source_;
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

Result<std::optional<Value>> read_simple_yaml_value(std::string_view text) {
    YamlValueBuilder builder(text);
    auto read = read_events(text, builder);
    if (!read) return forward_error(read);
    if (!*read) return std::optional<Value>();
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
    switch (kind) {
        case YamlKind::String:
        case YamlKind::Real:
        case YamlKind::Integer: return std::string(text);
        case YamlKind::Boolean: return std::string(truth ? "true" : "false");
        default: return std::nullopt;
    }
}

}  // namespace bezo
