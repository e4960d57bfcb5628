#include "pipeline/unbuild.hpp"

#include "core/text.hpp"
#include "lang/canonical_line.hpp"
#include "lang/lexer.hpp"
#include "lang/path.hpp"
#include "pipeline/fmt.hpp"
#include "pipeline/render.hpp"

namespace bezo {
namespace {

constexpr std::string_view kNotAStream =
    "unbuild expects a canonical .nezo or .lezo stream (with its format declaration)";

class StreamReader {
public:
    explicit StreamReader(bool canonical) : canonical_(canonical) {}

    void read(std::string_view text) {
        // About one item and at most one annotation line per line: sized
        // once, as the lists of a large stream would otherwise be moved
        // into a fresh block twice as large again and again.
        const std::size_t lines = count_byte(text, '\n') + 1;
        model_.items.reserve(lines);
        model_.annotations.reserve(lines);
        while (!text.empty()) {
            const auto end = text.find('\n');
            std::string_view line = text.substr(0, end);
            // The line end goes, and nothing else: a value runs to it.
            if (line.ends_with('\r')) line.remove_suffix(1);
            read_line(line);
            if (end == std::string_view::npos) break;
            text.remove_prefix(end + 1);
        }
    }

    FormatModel take() && { return std::move(model_); }

private:
    void read_line(std::string_view line) {
        line = trim_leading_blanks(line);
        const std::string_view trimmed = trim_trailing_blanks(line);
        if (trimmed.empty()) {
            model_.push_blank();
        } else if (trimmed.starts_with("#!") && model_.items.empty()) {
            return;
        } else if (trimmed.starts_with(".!") || trimmed.starts_with(".?")) {
            push_header(line);
        } else if (trimmed.starts_with('#') || trimmed.starts_with("//")) {
            model_.push_verbatim(trimmed);  // a comment: no value to read
        } else {
            read_content_line(line);
        }
    }

    // The stream's own declaration, with or without a version, becomes the
    // authored one; other header lines stay as the compiler wrote them.
    void push_header(std::string_view line) {
        const std::string_view spelled = model_.spell_header(line);
        model_.push_verbatim(spelled == ".!nezo" || spelled == ".!lezo" ? ".!bezo" : spelled);
    }

    void read_content_line(std::string_view line) {
        std::string_view annotation;
        std::size_t rest = 0;
        std::optional<std::size_t> eq;
        if (line.starts_with('!')) {
            const auto apostrophe = find_unquoted(line, '\'');
            if (!apostrophe) {
                model_.push_verbatim(trim_trailing_blanks(line));
                return;
            }
            annotation = annotation_line(line, *apostrophe);
            rest = *apostrophe + 1;
            eq = find_unquoted_equals(line, *apostrophe);
        } else {
            eq = find_unquoted(line, '=');
        }
        // A line without a value is kept trimmed.
        if (!eq) {
            model_.push_verbatim(trim_trailing_blanks(line));
            return;
        }
        const std::string_view name_path = line.substr(rest, *eq - rest);
        std::string_view value = line.substr(*eq + 1);
        if (!canonical_ && value.find('$') != std::string_view::npos) {
            // A field reference, left unresolved in relational text: kept.
            push_annotation(annotation);
            model_.push_verbatim(line.substr(rest));
            return;
        }
        if (canonical_) value = doubled_dollars(value);
        if (push_field(name_path, value, annotation)) return;
        push_annotation(annotation);
        model_.push_verbatim(model_.content_line(name_path, value));
    }

    // The annotation line of a signature: none for "!str", «?src» for
    // «!str?src», the signature itself for anything else.
    static std::string_view annotation_line(std::string_view line, std::size_t apostrophe) {
        const std::string_view signature = line.substr(1, apostrophe - 1);
        if (signature == "str") return {};
        // A provenance line must hold an item; "!str?" keeps its type.
        if (signature.starts_with("str?") && signature.size() > 4) return line.substr(4, apostrophe - 4);
        return line.substr(0, apostrophe);
    }

    void push_annotation(std::string_view annotation) {
        if (!annotation.empty()) model_.push_verbatim(annotation);
    }

    // Canonical values are literal; authored text writes a dollar sign "$$".
    std::string_view doubled_dollars(std::string_view value) {
        if (value.find('$') == std::string_view::npos) return value;
        std::string doubled;
        doubled.reserve(value.size() + 8);
        for (char c : value) {
            if (c == '$') doubled += '$';
            doubled += c;
        }
        return model_.own(std::move(doubled));
    }

    // A field when the name path is a plain path, "::" and an identifier, or
    // an index under an "@" segment (a list element, which keeps its index).
    bool push_field(std::string_view name_path, std::string_view value, std::string_view annotation) {
        const auto separator = name_path.rfind("::");
        if (separator == std::string_view::npos) return false;
        const std::string_view key = name_path.substr(separator + 2);
        const auto path = path_of(name_path.substr(0, separator));
        if (!path) return false;
        const bool element = is_ascii_digits(key) && *path != kRootPath && model_.paths.segment(*path).starts_with('@');
        if (!element && !is_plain_identifier(key)) return false;
        const std::span<const std::string_view> lines(&annotation, annotation.empty() ? 0 : 1);
        // Every entry of a stream was added in its order.
        FormatItem& field = model_.push_field(*path, key, value, lines);
        field.new_entry = true;
        field.element = element;
        return true;
    }

    // Neighbouring lines mostly share their path: the last one is kept.
    std::optional<PathId> path_of(std::string_view text) {
        if (last_path_ && text == last_path_text_) return last_path_;
        last_path_text_ = text;
        last_path_ = intern_plain_path(model_.paths, kRootPath, text);
        return last_path_;
    }

    bool canonical_;
    FormatModel model_;
    std::string_view last_path_text_;
    std::optional<PathId> last_path_;
};

}  // namespace

Result<std::string> unbuild_stream(std::string_view text) {
    bool canonical = true;
    if (!check_format_declaration(text, "nezo").accepted) {
        if (!check_format_declaration(text, "lezo").accepted) {
            return fail(std::string(kNotAStream));
        }
        canonical = false;
    }
    StreamReader reader(canonical);
    reader.read(text);
    // Authored text factors out the paths that every line of a stream
    // spells: it is shorter than the stream.
    return render_format_model(std::move(reader).take(), text.size());
}

}  // namespace bezo
