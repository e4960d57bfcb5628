#include "interchange/yaml_reader.hpp"

#include <yaml.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

#include "core/decimal_float.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"

namespace bezo {
namespace {

// ---- scalar resolution -----------------------------------------------------

// How a scalar's kind is decided: by the core schema (plain and untagged),
// as a string (quoted or block, untagged), or forced by a tag.
enum class Resolution : std::uint8_t { Core, String, Int, Float, Bool, Null };

// The kind that one of the tags !!str, !!int, !!float, !!bool and !!null
// forces; none for any other tag.
std::optional<Resolution> forced_resolution(const yaml_char_t* tag) {
    if (tag == nullptr) return std::nullopt;
    auto name = std::string_view(reinterpret_cast<const char*>(tag));
    if (name == YAML_STR_TAG) return Resolution::String;
    if (name == YAML_INT_TAG) return Resolution::Int;
    if (name == YAML_FLOAT_TAG) return Resolution::Float;
    if (name == YAML_BOOL_TAG) return Resolution::Bool;
    if (name == YAML_NULL_TAG) return Resolution::Null;
    return std::nullopt;
}

// The non-specific tag "!" keeps a plain scalar from resolution, as quotes
// do: it is a string.
bool is_non_specific(const yaml_char_t* tag) {
    return tag != nullptr && std::string_view(reinterpret_cast<const char*>(tag)) == "!";
}

Resolution resolution_of(const yaml_char_t* tag, bool plain) {
    if (auto forced = forced_resolution(tag)) return *forced;
    return plain && !is_non_specific(tag) ? Resolution::Core : Resolution::String;
}

bool is_null_word(std::string_view text) {
    return text.empty() || text == "~" || text == "null" || text == "Null" || text == "NULL";
}

std::optional<bool> bool_word(std::string_view text) {
    if (text == "true" || text == "True" || text == "TRUE") return true;
    if (text == "false" || text == "False" || text == "FALSE") return false;
    return std::nullopt;
}

bool is_special_float(std::string_view text) {
    if (text.starts_with('+') || text.starts_with('-')) {
        std::string_view unsigned_text = text.substr(1);
        return unsigned_text == ".inf" || unsigned_text == ".Inf" || unsigned_text == ".INF";
    }
    return text == ".inf" || text == ".Inf" || text == ".INF" || text == ".nan" || text == ".NaN" || text == ".NAN";
}

bool is_float_form(std::string_view text) { return is_special_float(text) || parse_decimal_double(text); }

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
    char first = text.front();
    return !(is_ascii_digit(first) || std::strchr("-+.~nNtTfF", first) != nullptr);
}

// ---- errors ------------------------------------------------------------------

std::string position_text(std::size_t line, std::size_t column) {
    return " at line " + decimal_text(line + 1) + ", column " + decimal_text(column + 1);
}

// The 0-based line and column (in characters) of a byte offset.
std::string position_of_offset(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line_start = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    line_start = line_start == std::string_view::npos || line_start >= offset ? 0 : line_start + 1;
    const std::size_t line = count_byte(text.substr(0, line_start), '\n');
    return position_text(line, count_scalars(text.substr(line_start, offset - line_start)));
}

Error parse_failure(const yaml_parser_t& parser, std::string_view text) {
    std::string message = "invalid YAML: ";
    message += parser.problem != nullptr ? parser.problem : "out of memory";
    if (parser.error == YAML_READER_ERROR) {
        message += position_of_offset(text, parser.problem_offset);
    } else {
        message += position_text(parser.problem_mark.line, parser.problem_mark.column);
    }
    return Error::Other(std::move(message));
}

// ---- the library's parser and events ----------------------------------------

class Parser {
public:
    explicit Parser(std::string_view text) {
        ready_ = yaml_parser_initialize(&parser_) != 0;
        if (!ready_) return;
        yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(text.data()), text.size());
        yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
    }
    ~Parser() { yaml_parser_delete(&parser_); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    bool ready() const { return ready_; }
    yaml_parser_t& raw() { return parser_; }

private:
    yaml_parser_t parser_{};
    bool ready_ = false;
};

struct Event {
    yaml_event_t raw{};
    Event() = default;
    ~Event() { yaml_event_delete(&raw); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
};

std::string_view bytes_of(const yaml_char_t* text, std::size_t length) {
    return {reinterpret_cast<const char*>(text), length};
}

}  // namespace

// Builds the nodes of the first document as its events arrive. Children of
// the open collections wait in one shared list and move into the document's
// child list, contiguously, when their collection closes.
class YamlNodeBuilder {
public:
    void scalar(const yaml_event_t& event) {
        const auto& scalar = event.data.scalar;
        auto value = bytes_of(scalar.value, scalar.length);
        std::size_t index = add_scalar(value, resolution_of(scalar.tag, scalar.style == YAML_PLAIN_SCALAR_STYLE));
        define_anchor(scalar.anchor, index);
        attach(index);
    }

    void open(YamlKind kind, const yaml_char_t* tag, const yaml_char_t* anchor) {
        // A collection tagged as a scalar kind cannot be one.
        std::size_t index = add_node(YamlNode{forced_resolution(tag) ? YamlKind::BadValue : kind});
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

    void alias(const yaml_event_t& event) {
        auto name = std::string_view(reinterpret_cast<const char*>(event.data.alias.anchor));
        auto found = anchors_.find(name);
        if (found != anchors_.end() && !is_open(found->second)) {
            ++doc_.written_;
            attach(found->second);
            return;
        }
        attach(add_text_node(YamlKind::Alias, [&](std::string& texts) { texts += name; }));
    }

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

    // Adds a node whose text `write` appends to the document's texts.
    template <class Write>
    std::size_t add_text_node(YamlKind kind, Write write) {
        std::size_t first = doc_.texts_.size();
        write(doc_.texts_);
        return add_node(YamlNode{kind, false, first, doc_.texts_.size() - first});
    }

    std::size_t add_string(std::string_view value) {
        return add_text_node(YamlKind::String, [&](std::string& texts) { texts += value; });
    }

    std::size_t add_scalar(std::string_view value, Resolution resolution) {
        std::optional<std::size_t> forced;
        switch (resolution) {
            case Resolution::String: return add_string(value);
            case Resolution::Int: forced = add_integer(value); break;
            case Resolution::Float: forced = add_float(value); break;
            case Resolution::Bool: forced = add_bool(value); break;
            case Resolution::Null: forced = add_null(value); break;
            case Resolution::Core: return add_core_scalar(value);
        }
        return forced ? *forced : add_node(YamlNode{YamlKind::BadValue});
    }

    std::size_t add_core_scalar(std::string_view value) {
        if (surely_string(value)) return add_string(value);
        if (auto index = add_null(value)) return *index;
        if (auto index = add_bool(value)) return *index;
        if (auto index = add_integer(value)) return *index;
        if (auto index = add_float(value)) return *index;
        return add_string(value);
    }

    std::optional<std::size_t> add_null(std::string_view value) {
        if (!is_null_word(value)) return std::nullopt;
        return add_node(YamlNode{YamlKind::Null});
    }

    std::optional<std::size_t> add_bool(std::string_view value) {
        auto truth = bool_word(value);
        if (!truth) return std::nullopt;
        return add_node(YamlNode{YamlKind::Boolean, *truth});
    }

    // An integer node, a bad value for a based integer beyond 64 bits, or
    // none when the text is no integer.
    std::optional<std::size_t> add_integer(std::string_view value) {
        std::size_t first = doc_.texts_.size();
        switch (write_integer(value, doc_.texts_)) {
            case IntegerRead::NotInteger: return std::nullopt;
            case IntegerRead::TooLarge: return add_node(YamlNode{YamlKind::BadValue});
            case IntegerRead::Written: break;
        }
        return add_node(YamlNode{YamlKind::Integer, false, first, doc_.texts_.size() - first});
    }

    std::optional<std::size_t> add_float(std::string_view value) {
        if (!is_float_form(value)) return std::nullopt;
        return add_text_node(YamlKind::Real, [&](std::string& texts) { texts += value; });
    }

    void define_anchor(const yaml_char_t* anchor, std::size_t index) {
        if (anchor != nullptr) anchors_[std::string(reinterpret_cast<const char*>(anchor))] = index;
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
    Parser parser(text);
    if (!parser.ready()) return std::unexpected(Error::Other("invalid YAML: out of memory"));
    YamlNodeBuilder builder;
    std::size_t documents = 0;
    unsigned depth = 0;
    while (true) {
        Event event;
        if (yaml_parser_parse(&parser.raw(), &event.raw) == 0)
            return std::unexpected(parse_failure(parser.raw(), text));
        // Only the first document is built; later ones are read for their
        // syntax, their depth and their count.
        bool building = documents == 1;
        switch (event.raw.type) {
            case YAML_DOCUMENT_START_EVENT: ++documents; break;
            case YAML_SEQUENCE_START_EVENT:
            case YAML_MAPPING_START_EVENT: {
                if (++depth > kMaxYamlDepth) return std::unexpected(Error::Other("YAML nesting too deep"));
                if (!building) break;
                bool sequence = event.raw.type == YAML_SEQUENCE_START_EVENT;
                const auto& start = event.raw.data;
                builder.open(sequence ? YamlKind::Array : YamlKind::Hash,
                             sequence ? start.sequence_start.tag : start.mapping_start.tag,
                             sequence ? start.sequence_start.anchor : start.mapping_start.anchor);
                break;
            }
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT:
                --depth;
                if (building) builder.close();
                break;
            case YAML_SCALAR_EVENT:
                if (building) builder.scalar(event.raw);
                break;
            case YAML_ALIAS_EVENT:
                if (building) builder.alias(event.raw);
                break;
            case YAML_STREAM_END_EVENT:
                if (documents == 0) return std::unexpected(Error::Other("empty YAML input"));
                if (documents > 1) {
                    return std::unexpected(
                        Error::Other("expected one YAML document, found " + decimal_text(documents)));
                }
                return builder.finish();
            default: break;
        }
    }
}

}  // namespace bezo
