#include "schema_import/conventions.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include <unicode/uchar.h>

#include "core/text.hpp"
#include "core/utf8.hpp"
#include "lang/lexer.hpp"
#include "lang/schema_name.hpp"
#include "schema/rex_compile.hpp"

namespace bezo {
namespace {

// Characters the debug form shows as \u{hex}: controls, format, private-use
// and unassigned characters, separators other than the blank, combining
// marks (spacing ones too), and whatever else extends the character before
// it.
bool shows_as_code_point(char32_t c) {
    if (c == U' ') return false;
    const auto code_point = static_cast<UChar32>(c);
    switch (u_charType(code_point)) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SURROGATE:
        case U_PRIVATE_USE_CHAR:
        case U_UNASSIGNED:
        case U_SPACE_SEPARATOR:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR:
        case U_NON_SPACING_MARK:
        case U_ENCLOSING_MARK:
        case U_COMBINING_SPACING_MARK: return true;
        default: return u_hasBinaryProperty(code_point, UCHAR_GRAPHEME_EXTEND);
    }
}

// The escape of a character the debug form spells with a letter, or none.
std::string_view letter_escape(char32_t c) {
    switch (c) {
        case U'"': return "\\\"";
        case U'\\': return "\\\\";
        case U'\t': return "\\t";
        case U'\r': return "\\r";
        case U'\n': return "\\n";
        case U'\0': return "\\0";
        default: return {};
    }
}

Error schema_too_large() { return Error::Other("schema too large to import"); }

}  // namespace

bool holds_nul_or_line_break(std::string_view text) {
    return text.find_first_of(std::string_view("\0\n\r", 3)) != std::string_view::npos;
}

std::optional<std::string> property_key(std::string_view name) {
    if (name.empty() || holds_nul_or_line_break(name)) return std::nullopt;
    if (is_plain_identifier(name) && name != "re") return std::string(name);
    std::string key;
    key.reserve(name.size() + 2);
    key += '"';
    for (char c : name) {
        key += c;
        if (c == '"') key += '"';
    }
    key += '"';
    return key;
}

void append_name_debug_form(std::string_view name, std::string& out) {
    out += '"';
    std::size_t pos = 0;
    while (pos < name.size()) {
        const std::size_t start = pos;
        const auto decoded = utf8_next(name, pos);
        const char32_t c = decoded.value_or(U'\uFFFD');
        if (const auto escape = letter_escape(c); !escape.empty()) {
            out += escape;
        } else if (!decoded || shows_as_code_point(c)) {
            append_code_point_escape(c, out);
        } else {
            out.append(name, start, pos - start);
        }
    }
    out += '"';
}

std::string name_debug_form(std::string_view name) {
    std::string out;
    append_name_debug_form(name, out);
    return out;
}

std::string jsonschema_path(std::string_view prefix, std::string_view name) {
    std::string path(prefix.empty() ? std::string_view("root") : prefix);
    path += '/';
    path += name;
    return path;
}

std::string join_field_key(std::string_view prefix, std::string_view key) {
    if (prefix.empty()) return std::string(key);
    std::string joined(prefix);
    joined += "::";
    joined += key;
    return joined;
}

void one_line_note_dropped(std::string& out, std::string_view note) {
    const std::size_t start = out.size() + std::string_view("// dropped: ").size();
    note_dropped(out, note);
    for (std::size_t i = start; i + 1 < out.size(); ++i) {
        if (out[i] == '\0' || out[i] == '\n' || out[i] == '\r') out[i] = ' ';
    }
}

void note_dropped(std::string& out, std::string_view note) {
    out += "// dropped: ";
    out += note;
    out += '\n';
}

std::string requirement_under_optional_parent_note(std::string_view requirement, std::string_view location) {
    std::string note(requirement);
    note += " of ";
    note += location;
    note += " under an optional parent";
    return note;
}

std::vector<std::string> record_notes(const FieldLineCounts& before, const FieldLineCounts& after, bool required,
                                      std::string_view location) {
    std::vector<std::string> notes;
    if (after.plain == before.plain) {
        notes.push_back("record " + std::string(location) +
                        " declares no plain field below it (a value, null or a list in its place passes)");
    }
    if (required && after.required == before.required) {
        notes.push_back("required record " + std::string(location) + " has no required field (absent passes)");
    }
    return notes;
}

void write_map_block(std::string& out, std::string_view prefix, std::string_view key, std::string_view annotation) {
    out += '(';
    out += prefix;
    out += '/';
    out += key;
    out += ")\n";
    out += annotation;
    out += "\n/.*/=\n()\n";
}

bool is_spellable_set_member(std::string_view text) {
    // NUL is refused too: the lexer refuses it anywhere in a schema text.
    constexpr std::string_view kBreaksTheSet("\0\t\n\r ',}", 8);
    return !text.empty() && text.find_first_of(kBreaksTheSet) == std::string_view::npos;
}

bool has_blank_or_tab(std::string_view text) { return std::ranges::any_of(text, is_blank_or_tab); }

std::string escape_pattern_slashes(std::string_view pattern) {
    std::string translated;
    translated.reserve(pattern.size() + 4);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\') {
            translated += c;
            if (i + 1 < pattern.size()) translated += pattern[++i];
        } else {
            if (c == '/') translated += '\\';
            translated += c;
        }
    }
    return translated;
}

std::optional<std::string_view> PatternScanner::next() {
    if (rest_.empty()) return std::nullopt;
    const bool first_item = std::exchange(at_first_item_, false);
    std::size_t size = rest_.front() == '\\' ? std::min<std::size_t>(2, rest_.size()) : 1;
    piece_in_class_ = in_class_;
    if (in_class_) {
        in_class_ = rest_.front() != ']' || first_item;
    } else if (rest_.front() == '[') {
        in_class_ = true;
        at_first_item_ = true;
        if (rest_.starts_with("[^")) size = 2;
    }
    const std::string_view piece = rest_.substr(0, size);
    rest_.remove_prefix(size);
    return piece;
}

namespace {

// Each "." outside a class as the class of any character but a line end;
// escapes and classes are carried over unchanged.
std::string dots_without_line_ends(std::string_view pattern) {
    std::string translated;
    translated.reserve(pattern.size() + 8);
    PatternScanner scanner(pattern);
    while (const auto piece = scanner.next()) {
        translated += *piece == "." && !scanner.in_class() ? kAnyButLineEnd : *piece;
    }
    return translated;
}

}  // namespace

std::optional<std::string> pattern_constraint_text(std::string_view pattern, RexVerdictCache& verdicts) {
    const bool unwritable =
        std::ranges::any_of(pattern, [](char c) { return c == '\'' || static_cast<unsigned char>(c) < 0x20; });
    if (unwritable) return std::nullopt;
    std::string translated = escape_pattern_slashes(dots_without_line_ends(pattern));
    if (!verdicts.accepts(translated)) return std::nullopt;
    return translated;
}

namespace {

// The first line of a schema body that opens with "/" (a field path: the
// importers write constraints inside annotations only) and that reads as a
// constraint line; none when there is none. A line opening with "//" is a
// comment or a note, whatever it says, and no field path opens so: a key is
// never empty.
std::optional<std::string_view> field_line_read_as_constraint(std::string_view body) {
    for (std::size_t start = 0; start < body.size();) {
        const std::size_t end = std::min(body.find('\n', start), body.size());
        const std::string_view line = body.substr(start, end - start);
        const bool field_path = line.starts_with('/') && !line.starts_with("//");
        if (field_path && is_schema_constraint_line(line)) return line;
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

Result<std::string> assemble_imported_schema(std::string_view name, const LibrarySet& libraries,
                                             std::string_view body) {
    if (auto named = check_schema_name(name, "schema"); !named) return forward_error(named);
    if (const auto misread = field_line_read_as_constraint(body)) {
        return fail("unrepresentable field path: " + quoted_excerpt(name_debug_form(*misread)));
    }
    constexpr std::string_view kTypes = ".!types ";
    std::size_t size = name.size() + body.size() + 9;
    for (const auto& library : libraries) size += kTypes.size() + library.size() + 1;
    std::string schema;
    schema.reserve(size);
    schema += ".!hezo ";
    schema += name;
    schema += '\n';
    for (const auto& library : libraries) {
        schema += kTypes;
        schema += library;
        schema += '\n';
    }
    schema += '\n';
    schema += body;
    return schema;
}

std::optional<std::string> shift_decimal_i64(std::string_view text, std::int64_t step, PlusSign plus) {
    const auto value = parse_decimal_i64(text, plus);
    if (!value) return std::nullopt;
    std::int64_t sum = 0;
    if (__builtin_add_overflow(*value, step, &sum)) return std::nullopt;
    return decimal_text(sum);
}

bool RexVerdictCache::accepts(std::string_view pattern) {
    if (const auto found = verdicts_.find(pattern); found != verdicts_.end()) return found->second;
    const bool accepted = rex_compile(pattern).has_value();
    verdicts_.emplace(std::string(pattern), accepted);
    return accepted;
}

Result<void> ImportBudget::charge_step() {
    if (++steps_ > kMaxSteps) return std::unexpected(schema_too_large());
    return {};
}

Result<void> ImportBudget::charge_output(std::size_t output_bytes) const {
    if (output_bytes > kMaxOutputBytes) return std::unexpected(schema_too_large());
    return {};
}

Result<void> ImportBudget::charge_reading(std::uint64_t units) {
    read_units_ += units;
    if (read_units_ > kMaxReadUnits) return std::unexpected(schema_too_large());
    return {};
}

}  // namespace bezo
