#include "interchange/authored_writer.hpp"

#include <algorithm>
#include <optional>
#include <set>

#include <unicode/uchar.h>

#include "core/budget.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/base64url.hpp"
#include "interchange/json_text.hpp"
#include "interchange/json_writer.hpp"

namespace bezo {
namespace {

// A compact line form (record, list, record append) is taken only when its
// content line, without annotation line and line feed, fits this many bytes.
constexpr std::size_t kCompactLineLimit = 80;

// ---- Reading either tree ----
//
// One writer serves the Value tree that every importer builds and the
// JsonTree that JSON import reads. It sees a value only through a Scalar and
// the functions members_of, items_of and write_json.

enum class NodeKind : std::uint8_t { Null, Bool, Number, String, Typed, Array, Object };

// What the writer needs to know of a value: its kind and, for a scalar, its
// texts (views into the tree).
struct Scalar {
    explicit Scalar(NodeKind kind, std::string_view text = {}) : kind(kind), text(text) {}

    static Scalar of_bool(bool value) {
        Scalar scalar(NodeKind::Bool);
        scalar.boolean = value;
        return scalar;
    }
    static Scalar of_typed(const TypedValue& typed) {
        Scalar scalar(NodeKind::Typed, typed.literal);
        scalar.library = typed.library;
        scalar.type_name = typed.type_name;
        return scalar;
    }

    NodeKind kind;
    bool boolean = false;
    // A string known to hold no control character and no "$"; others are
    // checked when they are written.
    bool plain = false;
    std::string_view text;  // a number's text, a string, a typed value's literal
    std::string_view library;
    std::string_view type_name;
};

Scalar scalar_of(const Value& value) {
    struct Reader {
        Scalar operator()(const NullValue&) const { return Scalar(NodeKind::Null); }
        Scalar operator()(const BoolValue& b) const { return Scalar::of_bool(b.value); }
        Scalar operator()(const NumberValue& n) const { return Scalar(NodeKind::Number, n.text); }
        Scalar operator()(const StringValue& s) const { return Scalar(NodeKind::String, s.text); }
        Scalar operator()(const TypedValue& t) const { return Scalar::of_typed(t); }
        Scalar operator()(const ValueArray&) const { return Scalar(NodeKind::Array); }
        Scalar operator()(const ValueObject&) const { return Scalar(NodeKind::Object); }
    };
    return std::visit(Reader{}, value.data);
}

const ValueObject& members_of(const Value& value) { return std::get<ValueObject>(value.data); }
const ValueArray& items_of(const Value& value) { return std::get<ValueArray>(value.data); }
void write_json(const Value& value, std::string& out) { write_json_value(value, out); }

// Inlined, as render_scalar is: the writer asks them of every value, some
// more than once, and a call costs more than their work.
[[gnu::always_inline]] inline Scalar scalar_of(const JsonNode& node) {
    switch (node.kind()) {
        case JsonKind::Null: return Scalar(NodeKind::Null);
        case JsonKind::False: return Scalar::of_bool(false);
        case JsonKind::True: return Scalar::of_bool(true);
        case JsonKind::Number: return Scalar(NodeKind::Number, node.text());
        case JsonKind::String: {
            Scalar scalar(NodeKind::String, node.text());
            scalar.plain = node.is_plain_string();
            return scalar;
        }
        case JsonKind::Array: return Scalar(NodeKind::Array);
        case JsonKind::Object: break;
    }
    return Scalar(NodeKind::Object);
}

JsonMembers members_of(const JsonNode& node) { return JsonMembers(node); }
JsonItems items_of(const JsonNode& node) { return JsonItems(node); }
void write_json(const JsonNode& node, std::string& out) { write_json_node(node, out); }

// ---- Scalars ----

// The annotation line of a scalar: none, or a sigil ("!" or "&") and a word.
struct LineAnnotation {
    char sigil = 0;
    std::string_view word;

    bool empty() const { return sigil == 0; }
    friend bool operator==(const LineAnnotation&, const LineAnnotation&) = default;
};

// How the value text of a line spells a scalar's text.
enum class Spelling : std::uint8_t {
    AsIs,
    TextLines,       // every line feed written "|:|"
    EmbeddedString,  // base64url of the quoted JSON string
};

// A scalar as its annotation and the text after "=", still as views into the
// tree: nothing is copied until the line is written.
struct RenderedScalar {
    explicit RenderedScalar(LineAnnotation annotation, std::string_view text = {}, Spelling spelling = Spelling::AsIs,
                            std::string_view library = {})
        : annotation(annotation), spelling(spelling), text(text), library(library) {}

    LineAnnotation annotation;
    Spelling spelling;
    std::string_view text;
    // The library whose ".!types" line the annotation needs, if any.
    std::string_view library;
};

// A text holding none of the bytes that a content line cannot carry as they
// are: NUL, LF and CR, and "$", since the compiler expands "$" references
// anywhere in a value, so a "$" anywhere would change the value on the way
// back in; such texts are embedded instead.
bool is_line_safe(std::string_view text) { return find_first_of_bytes<'\0', '\n', '\r', '$'>(text) == text.size(); }

bool is_line_safe(const Scalar& scalar) { return scalar.plain || is_line_safe(scalar.text); }

bool holds_line_break_or_nul(std::string_view text) {
    return find_first_of_bytes<'\0', '\n', '\r'>(text) != text.size();
}

// A text with line feeds that the "!text" form carries: "|:|" stands for the
// line feed there, read left to right, so the text may not hold it itself,
// nor "|:" before a line feed ("|:" LF would be written "|:|:|", read back
// as LF ":|").
bool is_multiline_text(std::string_view text) {
    return text.find('\n') != std::string_view::npos && find_first_of_bytes<'\0', '\r', '$'>(text) == text.size() &&
           text.find("|:|") == std::string_view::npos && text.find("|:\n") == std::string_view::npos;
}

bool is_integer_text(std::string_view number) {
    return std::ranges::all_of(number, [](char c) { return is_ascii_digit(c) || c == '-'; });
}

constexpr std::string_view kEncodingLibrary = "std/enc";

RenderedScalar embedded_string(std::string_view text) {
    return RenderedScalar({'&', "json"}, text, Spelling::EmbeddedString, kEncodingLibrary);
}

// The rendering of a scalar, or none for an array or object.
[[gnu::always_inline]] inline std::optional<RenderedScalar> render_scalar(const Scalar& scalar) {
    switch (scalar.kind) {
        case NodeKind::Null: return RenderedScalar({'!', "null"});
        case NodeKind::Bool: return RenderedScalar({'!', "bool"}, scalar.boolean ? "true" : "false");
        case NodeKind::Number:
            return RenderedScalar({'!', is_integer_text(scalar.text) ? "int" : "float"}, scalar.text);
        case NodeKind::String:
            if (is_line_safe(scalar)) return RenderedScalar({}, scalar.text);
            if (is_multiline_text(scalar.text)) return RenderedScalar({'!', "text"}, scalar.text, Spelling::TextLines);
            return embedded_string(scalar.text);
        case NodeKind::Typed:
            if (!is_line_safe(scalar.text)) return embedded_string(scalar.text);
            return RenderedScalar({'&', scalar.type_name}, scalar.text, Spelling::AsIs, scalar.library);
        case NodeKind::Array:
        case NodeKind::Object: break;
    }
    return std::nullopt;
}

// The rendering of a value inside a one-line form whose items are separated
// by `separator`; none when the value cannot stand there as it is. One-line
// forms never carry an "&json..." annotation, the mark of embedded payloads,
// so a typed value whose type name begins with "json" stays out of them too.
// What stands there is always spelled as it is.
[[gnu::always_inline]] inline std::optional<RenderedScalar> inline_scalar(const Scalar& scalar, char separator) {
    if (scalar.kind == NodeKind::String || scalar.kind == NodeKind::Typed) {
        if (!is_line_safe(scalar) || scalar.text.find(separator) != std::string_view::npos) return std::nullopt;
    }
    auto rendered = render_scalar(scalar);
    if (rendered && rendered->annotation.sigil == '&' && rendered->annotation.word.starts_with("json")) {
        return std::nullopt;
    }
    return rendered;
}

// Measures a one-line form item by item: the items must share one
// annotation and, joined by the separator, fit the budget.
class OneLineForm {
public:
    explicit OneLineForm(std::size_t budget) : budget_(budget) {}

    // Adds one item (`key` "=" value, or the value alone when `key` is
    // empty); false when it cannot join, which ends the form.
    bool add(std::string_view key, const std::optional<RenderedScalar>& rendered) {
        if (!rendered || (count_ > 0 && rendered->annotation != annotation_)) return false;
        if (count_ == 0) annotation_ = rendered->annotation;
        length_ += (count_ > 0 ? 1 : 0) + (key.empty() ? 0 : key.size() + 1) + rendered->text.size();
        ++count_;
        return length_ <= budget_;
    }

    LineAnnotation annotation() const { return annotation_; }

private:
    std::size_t budget_;
    std::size_t length_ = 0;
    std::size_t count_ = 0;
    LineAnnotation annotation_;
};

// The annotation of the one-line "key=value|key=value" spelling of a
// non-empty object whose keys are identifiers and whose values share one
// annotation, when it fits the budget.
template <class Members>
std::optional<LineAnnotation> record_form(const Members& members, std::size_t budget) {
    // An array or object member, which no one-line form holds, is looked for
    // before any member is rendered: most objects that have one are not
    // records.
    for (const auto& member : members) {
        const NodeKind kind = scalar_of(member.value).kind;
        if (kind == NodeKind::Array || kind == NodeKind::Object) return std::nullopt;
    }
    OneLineForm form(budget);
    for (const auto& member : members) {
        if (!is_plain_identifier(member.key) || !form.add(member.key, inline_scalar(scalar_of(member.value), '|'))) {
            return std::nullopt;
        }
    }
    return form.annotation();
}

// The bytes left for the items of a compact line that opens with `path`
// and `op`, or none when the head alone is too long.
std::optional<std::size_t> compact_budget(std::string_view path, std::string_view op) {
    std::size_t head = path.size() + op.size();
    if (head > kCompactLineLimit) return std::nullopt;
    return kCompactLineLimit - head;
}

// ---- Keys ----

// Characters that a message shows escaped: controls, format and unassigned
// characters, and every separator but the plain space.
bool is_non_printing(UChar32 c) {
    if (c == ' ') return false;
    switch (u_charType(c)) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SURROGATE:
        case U_PRIVATE_USE_CHAR:
        case U_UNASSIGNED:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR:
        case U_SPACE_SEPARATOR: return true;
        default: return false;
    }
}

void append_escaped_code_point(UChar32 c, std::string& out) {
    switch (c) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\0': out += "\\0"; return;
        case '\t': out += "\\t"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        default: break;
    }
    append_code_point_escape(static_cast<char32_t>(c), out);
}

// The escaped form of a key in a message: quoted, with quotes, backslashes
// and non-printing characters escaped.
std::string escaped_key(std::string_view key) {
    std::string out = "\"";
    std::size_t pos = 0;
    while (pos < key.size()) {
        std::size_t start = pos;
        auto decoded = utf8_next(key, pos);
        if (!decoded) {
            append_escaped_code_point(0xFFFD, out);
            continue;
        }
        auto c = static_cast<UChar32>(*decoded);
        if (c == '"' || c == '\\' || is_non_printing(c)) {
            append_escaped_code_point(c, out);
        } else {
            out.append(key, start, pos - start);
        }
    }
    out += '"';
    return out;
}

// The quoted spelling of a key that is not an identifier, built in
// `scratch`, or the error that refuses the key.
[[gnu::noinline]] Result<std::string_view> spell_quoted_key(std::string_view key, std::string& scratch) {
    if (holds_line_break_or_nul(key)) {
        return fail("unrepresentable JSON key: " + quoted_excerpt(escaped_key(key)));
    }
    if (key.empty()) return fail("empty JSON key is unrepresentable");
    // Quoted, each quote doubled: the runs between quotes go in whole.
    scratch = '"';
    std::size_t start = 0;
    for (std::size_t quote; (quote = key.find('"', start)) != std::string_view::npos; start = quote + 1) {
        scratch += key.substr(start, quote + 1 - start);
        scratch += '"';
    }
    scratch += key.substr(start);
    scratch += '"';
    return std::string_view(scratch);
}

// A key as written in a content line: the key itself when it is an
// identifier (most keys are), else its quoted spelling, built in `scratch`.
Result<std::string_view> spell_key(std::string_view key, std::string& scratch) {
    if (is_plain_identifier(key)) return key;
    return spell_quoted_key(key, scratch);
}

// ---- The body ----

// Writes the body lines of one document, collecting the libraries used, and
// assembles the document in the same buffer. The buffer opens with the
// header lines that every document has, so that only ".!types" lines, when
// some library is used, move the body on.
template <class Node>
class AuthoredBodyWriter {
public:
    AuthoredBodyWriter(bool embed_containers, std::size_t input_size, std::string_view mark)
        : embed_containers_(embed_containers), budget_(output_budget(input_size)) {
        body_.reserve(std::min(budget_, input_size * 2));
        body_ = ".!bezo\n";
        if (!mark.empty()) {
            body_ += mark;
            body_ += '\n';
        }
        types_at_ = body_.size();
        body_ += '\n';
        header_size_ = body_.size();
    }

    template <class Members>
    Result<void> write_root(const Members& members) {
        for (const auto& member : members) {
            auto key = spell_key(member.key, key_scratch_);
            if (!key) return forward_error(key);
            if (auto written = write_root_member(*key, member.value); !written) return written;
            if (auto within = check_budget(); !within) return within;
        }
        return {};
    }

    // The document: ".!bezo", the mark line if any, one ".!types" line per
    // library, an empty line, the body.
    std::string assemble() && {
        std::string types;
        for (const std::string& library : libraries_) {
            types += ".!types ";
            types += library;
            types += '\n';
        }
        body_.insert(types_at_, types);
        return std::move(body_);
    }

private:
    [[gnu::always_inline]] static bool is_empty_container(const Node& value) {
        const NodeKind kind = scalar_of(value).kind;
        if (kind == NodeKind::Array) return items_of(value).empty();
        if (kind == NodeKind::Object) return members_of(value).empty();
        return false;
    }

    // The bytes of the body written so far; the budget counts these.
    std::size_t body_size() const { return body_.size() - header_size_; }

    // The error of an output past the budget, made out of line.
    [[gnu::noinline]] std::unexpected<Error> budget_exceeded() const {
        return std::unexpected(output_budget_exceeded(budget_));
    }

    Result<void> check_budget() const {
        if (body_size() > budget_) return budget_exceeded();
        return {};
    }

    // Refuses `lines` lines under the current path when they cannot fit the
    // budget: each of them holds the path at least once.
    Result<void> reserve_lines(std::size_t lines) const {
        const std::size_t left = budget_ - std::min(budget_, body_size());
        if (path_.empty() || lines <= left / path_.size()) return {};
        return budget_exceeded();
    }

    // Most values need no library: that case costs one test where it is
    // written, without a call.
    void adopt(std::string_view library) {
        if (!library.empty()) adopt_library(library);
    }

    [[gnu::noinline]] void adopt_library(std::string_view library) {
        if (libraries_.find(library) == libraries_.end()) libraries_.emplace(library);
    }

    void write_annotation(LineAnnotation annotation) {
        if (annotation.empty()) return;
        append_pieces(body_, std::string_view(&annotation.sigil, 1), annotation.word, "\n");
    }

    [[gnu::noinline]] void write_value_text(const RenderedScalar& scalar) {
        switch (scalar.spelling) {
            case Spelling::AsIs: body_ += scalar.text; return;
            case Spelling::TextLines: {
                std::size_t start = 0;
                for (std::size_t feed; (feed = scalar.text.find('\n', start)) != std::string_view::npos;
                     start = feed + 1) {
                    body_.append(scalar.text, start, feed - start);
                    body_ += "|:|";
                }
                body_.append(scalar.text, start);
                return;
            }
            case Spelling::EmbeddedString: append_base64url(quote_json_string(scalar.text), body_); return;
        }
    }

    // A scalar's line, after its annotation line if it has one, opening
    // with the pieces of `head`. A value spelled as it is goes in with the
    // rest of its lines in one append, inlined here with its copies.
    template <class... Head>
    [[gnu::flatten]] void write_scalar_line(const RenderedScalar& scalar, const Head&... head) {
        adopt(scalar.library);
        const LineAnnotation& annotation = scalar.annotation;
        if (scalar.spelling != Spelling::AsIs) {
            write_annotation(annotation);
            append_pieces(body_, head...);
            write_value_text(scalar);
            body_ += '\n';
        } else if (annotation.empty()) {
            append_pieces(body_, head..., scalar.text, "\n");
        } else {
            append_pieces(body_, std::string_view(&annotation.sigil, 1), annotation.word, "\n", head..., scalar.text,
                          "\n");
        }
    }

    // An "&json" line pair holding the compact JSON of `value`.
    template <class... Head>
    [[gnu::noinline]] void write_embedded_json(const Node& value, const Head&... head) {
        adopt(kEncodingLibrary);
        json_scratch_.clear();
        write_json(value, json_scratch_);
        append_pieces(body_, "&json\n", head...);
        append_base64url(json_scratch_, body_);
        body_ += '\n';
    }

    // Extends the path of the namespace or array being written by one step
    // for as long as it lives. Every level shares the one path text, so deep
    // nesting under long keys costs no copy of the path per level.
    class PathStep {
    public:
        PathStep(std::string& path, std::string_view step, std::string_view name)
            : path_(path), restored_size_(path.size()) {
            path_ += step;
            path_ += name;
        }
        PathStep(const PathStep&) = delete;
        PathStep& operator=(const PathStep&) = delete;
        ~PathStep() { path_.resize(restored_size_); }

    private:
        std::string& path_;
        std::size_t restored_size_;
    };

    Result<void> write_root_member(std::string_view key, const Node& value) {
        if (auto scalar = render_scalar(scalar_of(value))) {
            write_scalar_line(*scalar, key, "=");
            return {};
        }
        if (embed_containers_ || is_empty_container(value)) {
            write_embedded_json(value, key, "=");
            return {};
        }
        return write_container(key, value);
    }

    // A non-empty object or array named `name` inside the current path (the
    // empty path at the root), written under its own path.
    Result<void> write_container(std::string_view name, const Node& value) {
        if (scalar_of(value).kind == NodeKind::Object) {
            PathStep step(path_, "/", name);
            return write_member_lines(members_of(value));
        }
        PathStep step(path_, "/@", name);
        return write_array_lines(items_of(value));
    }

    // The items of a record's one-line form, each "key=value", joined by "|".
    template <class Members>
    void write_record_items(const Members& members) {
        bool first = true;
        for (const auto& member : members) {
            const RenderedScalar rendered = *render_scalar(scalar_of(member.value));
            adopt(rendered.library);
            if (first) {
                append_pieces(body_, member.key, "=", rendered.text);
            } else {
                append_pieces(body_, "|", member.key, "=", rendered.text);
            }
            first = false;
        }
    }

    template <class Members>
    bool try_record_form(const Members& members) {
        auto budget = compact_budget(path_, ":=");
        if (!budget) return false;
        auto annotation = record_form(members, *budget);
        if (!annotation) return false;
        write_annotation(*annotation);
        append_pieces(body_, path_, ":=");
        write_record_items(members);
        body_ += '\n';
        return true;
    }

    template <class Members>
    Result<void> write_member_lines(const Members& members) {
        if (try_record_form(members)) return {};
        if (auto fits = reserve_lines(members.size()); !fits) return fits;
        for (const auto& member : members) {
            auto key = spell_key(member.key, key_scratch_);
            if (!key) return forward_error(key);
            if (auto written = write_nested(*key, member.value); !written) return written;
            if (auto within = check_budget(); !within) return within;
        }
        return {};
    }

    // A member or array item named `name` inside the current path: a scalar
    // as path::name=value, a non-empty object or array under its own path,
    // an empty one embedded. Inlined into the loops over members and items.
    [[gnu::always_inline]] Result<void> write_nested(std::string_view name, const Node& value) {
        if (auto scalar = render_scalar(scalar_of(value))) {
            write_scalar_line(*scalar, path_, "::", name, "=");
            return {};
        }
        if (is_empty_container(value)) {
            write_embedded_json(value, path_, "::", name, "=");
            return {};
        }
        return write_container(name, value);
    }

    template <class Items>
    bool try_compact_list(const Items& items) {
        auto budget = compact_budget(path_, ";=");
        if (!budget) return false;
        OneLineForm form(*budget);
        for (const Node& item : items) {
            if (!form.add({}, inline_scalar(scalar_of(item), ';'))) return false;
        }
        write_annotation(form.annotation());
        append_pieces(body_, path_, ";=");
        bool first = true;
        for (const Node& item : items) {
            const RenderedScalar rendered = *render_scalar(scalar_of(item));
            adopt(rendered.library);
            if (first) {
                append_pieces(body_, rendered.text);
            } else {
                append_pieces(body_, ";", rendered.text);
            }
            first = false;
        }
        body_ += '\n';
        return true;
    }

    template <class Items>
    bool try_record_appends(const Items& items) {
        auto budget = compact_budget(path_, "+:=");
        if (!budget) return false;
        for (const Node& item : items) {
            if (scalar_of(item).kind != NodeKind::Object || members_of(item).empty()) return false;
            if (!record_form(members_of(item), *budget)) return false;
        }
        // Each item's form is measured again rather than kept: a list of them
        // would take more memory than the short records it is for.
        for (const Node& item : items) {
            write_annotation(*record_form(members_of(item), *budget));
            append_pieces(body_, path_, "+:=");
            write_record_items(members_of(item));
            body_ += '\n';
        }
        return true;
    }

    template <class Items>
    static bool holds_object(const Items& items) {
        for (const Node& item : items) {
            if (scalar_of(item).kind == NodeKind::Object) return true;
        }
        return false;
    }

    template <class Items>
    Result<void> write_appends(const Items& items) {
        for (const Node& item : items) {
            if (auto scalar = render_scalar(scalar_of(item))) {
                write_scalar_line(*scalar, path_, "+=");
            } else {
                write_embedded_json(item, path_, "+=");
            }
            if (auto within = check_budget(); !within) return within;
        }
        return {};
    }

    template <class Items>
    Result<void> write_indexed(const Items& items) {
        std::size_t i = 0;
        for (const Node& item : items) {
            char digits[24];
            const std::string_view index(digits, std::to_chars(digits, digits + sizeof digits, i++).ptr);
            if (scalar_of(item).kind == NodeKind::Array) {
                write_embedded_json(item, path_, "::", index, "=");
            } else if (auto written = write_nested(index, item); !written) {
                return written;
            }
            if (auto within = check_budget(); !within) return within;
        }
        return {};
    }

    template <class Items>
    Result<void> write_array_lines(const Items& items) {
        if (try_compact_list(items)) return {};
        if (auto fits = reserve_lines(items.size()); !fits) return fits;
        if (!holds_object(items)) return write_appends(items);
        if (try_record_appends(items)) return {};
        return write_indexed(items);
    }

    bool embed_containers_;
    std::size_t budget_;
    // The libraries whose types the body uses, in byte order; each gives one
    // ".!types" header line.
    std::set<std::string, std::less<>> libraries_;
    // The header lines without ".!types" lines, then the body.
    std::string body_;
    std::size_t types_at_ = 0;     // where ".!types" lines go
    std::size_t header_size_ = 0;  // of the header lines in `body_`
    // The path of the namespace or array being written; empty at the root.
    std::string path_;
    std::string key_scratch_;
    std::string json_scratch_;
};

template <class Node, class Members>
Result<std::string> write_authored(const Members& members, bool embed_containers, std::size_t input_size,
                                   std::string_view mark) {
    AuthoredBodyWriter<Node> writer(embed_containers, input_size, mark);
    if (auto written = writer.write_root(members); !written) return forward_error(written);
    return std::move(writer).assemble();
}

}  // namespace

Result<std::string> tree_to_authored(const ValueObject& members, bool embed_containers, std::size_t input_size,
                                     std::string_view mark) {
    return write_authored<Value>(members, embed_containers, input_size, mark);
}

Result<std::string> json_tree_to_authored(const JsonNode& root_object, bool embed_containers, std::size_t input_size) {
    return write_authored<JsonNode>(JsonMembers(root_object), embed_containers, input_size, {});
}

}  // namespace bezo
