#include "interchange/authored_writer.hpp"

#include <initializer_list>
#include <optional>
#include <set>

#include <unicode/uchar.h>

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

// The libraries whose types the body uses, in byte order; each gives one
// ".!types" header line.
using LibrarySet = std::set<std::string, std::less<>>;

// A scalar as its annotation (without line feed; empty for none) and the
// text after "=".
struct RenderedScalar {
    std::string annotation;
    std::string value;
};

// The items of a one-line form that share one annotation.
struct InlineForm {
    std::string annotation;
    std::string items;
};

bool holds_line_break_or_nul(std::string_view text) {
    return text.find_first_of(std::string_view("\0\n\r", 3)) != std::string_view::npos;
}

// A text that can stand after "=" as it is. The compiler expands "$"
// references anywhere in a value, so a "$" anywhere would change the value
// on the way back in; such texts are embedded instead.
bool is_line_safe(std::string_view text) {
    return !holds_line_break_or_nul(text) && text.find('$') == std::string_view::npos;
}

// A text with line feeds that the "!text" form carries: "|:|" stands for the
// line feed there, so the text may not hold it itself.
bool is_multiline_text(std::string_view text) {
    return text.find('\n') != std::string_view::npos &&
           text.find_first_of(std::string_view("\0\r$", 3)) == std::string_view::npos &&
           text.find("|:|") == std::string_view::npos;
}

std::string text_lines_form(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') {
            out += "|:|";
        } else {
            out += c;
        }
    }
    return out;
}

RenderedScalar embedded_string(std::string_view text, LibrarySet& libraries) {
    libraries.emplace("std/enc");
    return RenderedScalar{"&json", base64url_encode(quote_json_string(text))};
}

bool is_integer_text(std::string_view number) {
    return number.find_first_not_of("0123456789-") == std::string_view::npos;
}

// The rendering of a scalar, or none for an array or object.
std::optional<RenderedScalar> render_authored_value(const Value& value, LibrarySet& libraries) {
    struct Renderer {
        LibrarySet& libraries;
        std::optional<RenderedScalar> operator()(const NullValue&) const { return RenderedScalar{"!null", ""}; }
        std::optional<RenderedScalar> operator()(const BoolValue& b) const {
            return RenderedScalar{"!bool", b.value ? "true" : "false"};
        }
        std::optional<RenderedScalar> operator()(const NumberValue& n) const {
            return RenderedScalar{is_integer_text(n.text) ? "!int" : "!float", n.text};
        }
        std::optional<RenderedScalar> operator()(const StringValue& s) const {
            if (is_line_safe(s.text)) return RenderedScalar{"", s.text};
            if (is_multiline_text(s.text)) return RenderedScalar{"!text", text_lines_form(s.text)};
            return embedded_string(s.text, libraries);
        }
        std::optional<RenderedScalar> operator()(const TypedValue& t) const {
            if (!is_line_safe(t.literal)) return embedded_string(t.literal, libraries);
            libraries.emplace(t.library);
            return RenderedScalar{"&" + t.type_name, t.literal};
        }
        std::optional<RenderedScalar> operator()(const ValueArray&) const { return std::nullopt; }
        std::optional<RenderedScalar> operator()(const ValueObject&) const { return std::nullopt; }
    };
    return std::visit(Renderer{libraries}, value.data);
}

// The text a String or Typed value carries, or none for other values.
std::optional<std::string_view> carried_text(const Value& value) {
    if (const auto* s = value.get_if<StringValue>()) return s->text;
    if (const auto* t = value.get_if<TypedValue>()) return t->literal;
    return std::nullopt;
}

// The rendering of a value inside a one-line form whose items are separated
// by `separator`; none when the value cannot stand there as it is. One-line
// forms never carry an "&json..." annotation, the mark of embedded payloads,
// so a typed value whose type name begins with "json" stays out of them too.
std::optional<RenderedScalar> inline_scalar_text(const Value& value, LibrarySet& libraries, char separator) {
    if (auto text = carried_text(value)) {
        if (!is_line_safe(*text) || text->find(separator) != std::string_view::npos) return std::nullopt;
    }
    auto rendered = render_authored_value(value, libraries);
    if (rendered && rendered->annotation.starts_with("&json")) return std::nullopt;
    return rendered;
}

// Collects inline items that must share one annotation into at most
// `budget` bytes; `failed` is set as soon as one cannot join.
class InlineFormBuilder {
public:
    InlineFormBuilder(char separator, std::size_t budget) : separator_(separator), budget_(budget) {}

    bool failed() const { return failed_; }
    InlineForm take() { return std::move(form_); }

    // Adds one item (`key` "=" value, or the value alone when `key` is empty).
    void add(std::string_view key, const std::optional<RenderedScalar>& rendered) {
        if (failed_) return;
        if (!rendered || (count_ > 0 && rendered->annotation != form_.annotation)) {
            failed_ = true;
            return;
        }
        if (count_ == 0) form_.annotation = rendered->annotation;
        if (count_ > 0) form_.items += separator_;
        if (!key.empty()) {
            form_.items += key;
            form_.items += '=';
        }
        form_.items += rendered->value;
        ++count_;
        if (form_.items.size() > budget_) failed_ = true;
    }

private:
    char separator_;
    std::size_t budget_;
    bool failed_ = false;
    std::size_t count_ = 0;
    InlineForm form_;
};

// The bytes left for the items of a compact line that opens with `path`
// and `op`, or none when the head alone is too long.
std::optional<std::size_t> compact_budget(std::string_view path, std::string_view op) {
    std::size_t head = path.size() + op.size();
    if (head > kCompactLineLimit) return std::nullopt;
    return kCompactLineLimit - head;
}

// The one-line "key=value|key=value" spelling of a non-empty object whose
// keys are identifiers and whose values share one annotation, when it fits
// the budget.
std::optional<InlineForm> inline_record_text(const ValueObject& members, LibrarySet& libraries, std::size_t budget) {
    InlineFormBuilder builder('|', budget);
    for (const ValueMember& member : members) {
        if (!is_plain_identifier(member.key)) return std::nullopt;
        builder.add(member.key, inline_scalar_text(member.value, libraries, '|'));
        if (builder.failed()) return std::nullopt;
    }
    return builder.take();
}

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
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u{";
    bool leading = true;
    for (int shift = 20; shift >= 0; shift -= 4) {
        int digit = (c >> shift) & 0xF;
        if (leading && digit == 0 && shift > 0) continue;
        leading = false;
        out += kHex[digit];
    }
    out += '}';
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

// Writes the body lines of one document, collecting the libraries used.
class AuthoredBodyWriter {
public:
    explicit AuthoredBodyWriter(bool embed_containers) : embed_containers_(embed_containers) {}

    [[nodiscard]] Result<void> write_root(const ValueObject& members) {
        for (const ValueMember& member : members) {
            auto key = authored_key(member.key);
            if (!key) return forward_error(key);
            if (auto written = write_root_member(*key, member.value); !written) return written;
        }
        return {};
    }

    std::string assemble() const {
        std::string document = ".!bezo\n";
        for (const std::string& library : libraries_) {
            document += ".!types ";
            document += library;
            document += '\n';
        }
        document += '\n';
        document += body_;
        return document;
    }

private:
    static bool is_empty_container(const Value& value) {
        if (const auto* items = value.get_if<ValueArray>()) return items->empty();
        if (const auto* members = value.get_if<ValueObject>()) return members->empty();
        return false;
    }

    void write_annotation(std::string_view annotation) {
        if (annotation.empty()) return;
        body_ += annotation;
        body_ += '\n';
    }

    void write_scalar_line(const RenderedScalar& scalar, std::initializer_list<std::string_view> head) {
        write_annotation(scalar.annotation);
        for (std::string_view part : head) body_ += part;
        body_ += scalar.value;
        body_ += '\n';
    }

    void write_inline_line(const InlineForm& form, std::string_view path, std::string_view op) {
        write_annotation(form.annotation);
        body_ += path;
        body_ += op;
        body_ += form.items;
        body_ += '\n';
    }

    void adopt(const LibrarySet& trial) { libraries_.insert(trial.begin(), trial.end()); }

    // An "&json" line pair holding the compact JSON of `value`.
    void write_embedded_json(std::initializer_list<std::string_view> head, const Value& value) {
        libraries_.emplace("std/enc");
        std::string json;
        write_json_value(value, json);
        body_ += "&json\n";
        for (std::string_view part : head) body_ += part;
        append_base64url(json, body_);
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

    [[nodiscard]] Result<void> write_root_member(const std::string& key, const Value& value) {
        if (auto scalar = render_authored_value(value, libraries_)) {
            write_scalar_line(*scalar, {key, "="});
            return {};
        }
        if (embed_containers_ || is_empty_container(value)) {
            write_embedded_json({key, "="}, value);
            return {};
        }
        return write_container(key, value);
    }

    // A non-empty object or array named `name` inside the current path (the
    // empty path at the root), written under its own path.
    [[nodiscard]] Result<void> write_container(std::string_view name, const Value& value) {
        if (const auto* members = value.get_if<ValueObject>()) {
            PathStep step(path_, "/", name);
            return write_member_lines(*members);
        }
        PathStep step(path_, "/@", name);
        return write_array_lines(std::get<ValueArray>(value.data));
    }

    bool try_record_form(const ValueObject& members) {
        auto budget = compact_budget(path_, ":=");
        if (!budget) return false;
        LibrarySet trial;
        auto record = inline_record_text(members, trial, *budget);
        if (!record) return false;
        write_inline_line(*record, path_, ":=");
        adopt(trial);
        return true;
    }

    [[nodiscard]] Result<void> write_member_lines(const ValueObject& members) {
        if (try_record_form(members)) return {};
        for (const ValueMember& member : members) {
            auto key = authored_key(member.key);
            if (!key) return forward_error(key);
            if (auto written = write_nested(*key, member.value); !written) return written;
        }
        return {};
    }

    // A member or array item named `name` inside the current path: a scalar
    // as path::name=value, a non-empty object or array under its own path,
    // an empty one embedded.
    [[nodiscard]] Result<void> write_nested(std::string_view name, const Value& value) {
        if (auto scalar = render_authored_value(value, libraries_)) {
            write_scalar_line(*scalar, {path_, "::", name, "="});
            return {};
        }
        if (is_empty_container(value)) {
            write_embedded_json({path_, "::", name, "="}, value);
            return {};
        }
        return write_container(name, value);
    }

    bool try_compact_list(const ValueArray& items) {
        auto budget = compact_budget(path_, ";=");
        if (!budget) return false;
        LibrarySet trial;
        InlineFormBuilder builder(';', *budget);
        for (const Value& item : items) {
            builder.add({}, inline_scalar_text(item, trial, ';'));
            if (builder.failed()) return false;
        }
        write_inline_line(builder.take(), path_, ";=");
        adopt(trial);
        return true;
    }

    bool try_record_appends(const ValueArray& items) {
        auto budget = compact_budget(path_, "+:=");
        if (!budget) return false;
        LibrarySet trial;
        std::vector<InlineForm> records;
        records.reserve(items.size());
        for (const Value& item : items) {
            const auto* members = item.get_if<ValueObject>();
            if (!members || members->empty()) return false;
            auto record = inline_record_text(*members, trial, *budget);
            if (!record) return false;
            records.push_back(std::move(*record));
        }
        for (const InlineForm& record : records) write_inline_line(record, path_, "+:=");
        adopt(trial);
        return true;
    }

    static bool holds_object(const ValueArray& items) {
        for (const Value& item : items) {
            if (item.is<ValueObject>()) return true;
        }
        return false;
    }

    void write_appends(const ValueArray& items) {
        for (const Value& item : items) {
            if (auto scalar = render_authored_value(item, libraries_)) {
                write_scalar_line(*scalar, {path_, "+="});
            } else {
                write_embedded_json({path_, "+="}, item);
            }
        }
    }

    [[nodiscard]] Result<void> write_indexed(const ValueArray& items) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::string index = decimal_text(i);
            const Value& item = items[i];
            if (item.is<ValueArray>()) {
                write_embedded_json({path_, "::", index, "="}, item);
                continue;
            }
            if (auto written = write_nested(index, item); !written) return written;
        }
        return {};
    }

    [[nodiscard]] Result<void> write_array_lines(const ValueArray& items) {
        if (try_compact_list(items)) return {};
        if (!holds_object(items)) {
            write_appends(items);
            return {};
        }
        if (try_record_appends(items)) return {};
        return write_indexed(items);
    }

    bool embed_containers_;
    LibrarySet libraries_;
    std::string body_;
    // The path of the namespace or array being written; empty at the root.
    std::string path_;
};

}  // namespace

Result<std::string> authored_key(std::string_view key) {
    if (holds_line_break_or_nul(key)) {
        return std::unexpected(Error::Other("unrepresentable JSON key: " + escaped_key(key)));
    }
    if (key.empty()) return std::unexpected(Error::Other("empty JSON key is unrepresentable"));
    if (is_plain_identifier(key)) return std::string(key);
    std::string quoted = "\"";
    for (char c : key) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

Result<std::string> tree_to_authored(const ValueObject& members, bool embed_containers) {
    AuthoredBodyWriter writer(embed_containers);
    if (auto written = writer.write_root(members); !written) return forward_error(written);
    return writer.assemble();
}

}  // namespace bezo
