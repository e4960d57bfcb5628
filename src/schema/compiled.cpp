#include "schema/compiled.hpp"

#include <utility>

#include "core/text.hpp"
#include "lang/canonical_line.hpp"
#include "lang/lexer.hpp"
#include "lang/path.hpp"

namespace bezo {

namespace {

constexpr std::string_view kBlanks = " \t";

Error unsupported_line(std::string_view line) {
    return Error::Other("unsupported .whezo line (no ' delimiter): " + quoted_excerpt(line));
}

// Reads the lines of a compiled schema into one CompiledSchema. A reader
// that only checks the text reads every line the same way but keeps no
// field, so that it needs no memory per field.
class CompiledSchemaReader {
public:
    explicit CompiledSchemaReader(bool keep_fields) : keep_fields_(keep_fields) {}

    Result<void> read_line(std::string_view line) {
        line = trim_leading_blanks(line);
        if (line.empty() || line.starts_with('#') || line.starts_with("//")) {
            return {};
        }
        if (line.starts_with(".!") || line.starts_with(".?")) {
            return read_header(line);
        }
        if (line.find('\'') != std::string_view::npos) {
            return read_field(line);
        }
        return read_table_or_delegation(line);
    }

    CompiledSchema finish() { return std::move(schema_); }

private:
    Result<void> read_header(std::string_view line) {
        constexpr std::string_view declaration = ".!whezo";
        constexpr std::string_view provenance = ".!provenance:";
        if (line.size() < declaration.size()) {
            return {};
        }
        if (line.starts_with(declaration)) {
            if (has_strict_word(line)) {
                schema_.strict = true;
            }
        } else if (line.starts_with(provenance)) {
            const std::string_view word = trim_blanks(line.substr(provenance.size()));
            const auto level = parse_provenance_level(word);
            if (!level) {
                return fail("unknown provenance level: " + quoted_excerpt(word));
            }
            schema_.provenance = *level;
        }
        return {};
    }

    Result<void> read_field(std::string_view line) {
        const auto parts = split_content_line(line);
        if (!parts) {
            return fail("missing = on .whezo line: " + quoted_excerpt(line));
        }
        const std::string_view metadata = parts->metadata;
        std::string_view path = parts->name_path;
        const bool optional = path.ends_with('?');
        if (optional) {
            path.remove_suffix(1);
        }
        auto items = split_annotation_line(metadata);
        if (!items) {
            return fail("bad constraint items: " + quoted_excerpt(metadata));
        }
        if (keep_fields_) {
            schema_.fields.push_back(SchemaField{std::move(*items), std::string(path), optional,
                                                 std::string(parts->value), std::string(metadata)});
        }
        return {};
    }

    // The first blank or tab outside double quotes: a table path may hold a
    // quoted segment with a blank in it («/@"a b"»).
    static std::size_t path_end(std::string_view line) {
        QuoteTracker quotes;
        for (std::size_t pos = 0; pos < line.size(); pos = quotes.advance(line, pos)) {
            if (!quotes.inside() && is_blank_or_tab(line[pos])) return pos;
        }
        return std::string_view::npos;
    }

    Result<void> read_table_or_delegation(std::string_view line) {
        const auto blank = path_end(line);
        if (blank == std::string_view::npos || !line.starts_with('/')) {
            return std::unexpected(unsupported_line(line));
        }
        const std::string path(line.substr(0, blank));
        const std::string_view rest = trim_blanks(line.substr(blank + 1));
        constexpr std::string_view delegation = "[schema::";
        if (rest.size() >= delegation.size() + 1 && rest.starts_with(delegation) && rest.ends_with(']')) {
            read_delegation(path, rest.substr(delegation.size(), rest.size() - delegation.size() - 1));
            return {};
        }
        auto head = parse_head_items(rest);
        if (!head) {
            return std::unexpected(unsupported_line(line));
        }
        schema_.tables.push_back(TableConstraint{path, std::move(*head)});
        return {};
    }

    // The names between "[schema::" and "]", split at every "|" and kept
    // exactly as written (empty ones too).
    void read_delegation(std::string path, std::string_view names_text) {
        DelegatedSchema delegated{std::move(path), {}};
        for (std::string_view name : split_at(names_text, '|')) delegated.names.emplace_back(name);
        schema_.delegations.push_back(std::move(delegated));
    }

    bool keep_fields_;
    CompiledSchema schema_;
};

Result<CompiledSchema> read_compiled_lines(std::string_view text, bool keep_fields) {
    CompiledSchemaReader reader(keep_fields);
    while (!text.empty()) {
        if (auto read = reader.read_line(take_line(text)); !read) {
            return forward_error(read);
        }
    }
    return reader.finish();
}

}  // namespace

std::optional<ProvenanceLevel> parse_provenance_level(std::string_view word) {
    if (word == "required") {
        return ProvenanceLevel::Required;
    }
    if (word == "source") {
        return ProvenanceLevel::Source;
    }
    if (word == "none") {
        return ProvenanceLevel::Prohibited;
    }
    return std::nullopt;
}

bool has_strict_word(std::string_view line) {
    while (!line.empty()) {
        line = trim_leading_blanks(line);
        const auto end = line.find_first_of(kBlanks);
        if (line.substr(0, end) == "strict") {
            return true;
        }
        line = end == std::string_view::npos ? std::string_view{} : line.substr(end);
    }
    return false;
}

Result<CompiledSchema> parse_compiled_schema(std::string_view text) { return read_compiled_lines(text, true); }

Result<void> check_compiled_schema(std::string_view text) {
    auto read = read_compiled_lines(text, false);
    if (!read) return forward_error(read);
    return {};
}

Result<CompiledSchema> load_compiled_schema(std::string_view text) {
    const FormatDeclaration declaration = check_format_declaration(text, "whezo");
    if (!declaration.accepted) {
        return std::unexpected(Error::Lex(LexErrorKind::FormatKind, declaration.line));
    }
    return parse_compiled_schema(text);
}

}  // namespace bezo
