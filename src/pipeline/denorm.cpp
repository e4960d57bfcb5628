#include "pipeline/denorm.hpp"

#include <bit>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/budget.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "lang/canonical_line.hpp"
#include "lang/lexer.hpp"
#include "lang/path.hpp"
#include "pipeline/expand.hpp"
#include "schema/document_schema.hpp"

namespace bezo {
namespace {

// References may be chained so that a few lines ask for exponentially much
// text ("b=$a$a", "c=$b$b", ...). Every substitution is charged to one
// budget per pass, so such a document fails with a message instead of
// exhausting memory.
constexpr std::size_t kSubstitutionLimit = kGrowthLimit;

// True when the text begins with the word followed by its end, a blank or a
// tab.
bool begins_with_word(std::string_view text, std::string_view word) {
    return text.starts_with(word) && (text.size() == word.size() || is_blank_or_tab(text[word.size()]));
}

// Where a resolved value stands in the output text (the text grows, so
// views into it would not stay valid).
struct OutputSpan {
    std::size_t offset = 0;
    std::size_t size = 0;
};

class ReferencePass {
public:
    explicit ReferencePass(std::string_view text) : text_(text) {
        out_.reserve(text.size());
        collect_wanted_paths();
    }

    Result<std::string> run() && {
        std::string_view rest = text_;
        while (!rest.empty()) {
            const auto lf = rest.find('\n');
            const std::size_t size = lf == std::string_view::npos ? rest.size() : lf + 1;
            if (auto passed = pass_line(rest.substr(0, size)); !passed) return forward_error(passed);
            rest.remove_prefix(size);
        }
        return std::move(out_);
    }

private:
    Result<void> pass_line(std::string_view line) {
        const auto [body, ending] = split_line_ending(line);
        const std::string_view trimmed = trim_leading_blanks(body);
        if (begins_with_word(trimmed, ".!lezo")) {
            out_.append(".!nezo").append(ending);
            return {};
        }
        if (begins_with_word(trimmed, ".!verbatim")) return switch_verbatim(trimmed.substr(10));
        if (!is_skipped_line(trimmed)) {
            if (const auto parts = split_content_line(body)) return pass_content_line(body, ending, *parts);
        }
        if (!expand_float_shorthand(line, out_)) out_.append(line);
        return {};
    }

    Result<void> switch_verbatim(std::string_view argument) {
        if (verbatim_ || content_seen_ || !trim_blanks(argument).empty()) {
            return std::unexpected(Error::App(AppErrorKind::VerbatimContext));
        }
        verbatim_ = true;
        return {};
    }

    // Writes the line up to its "=" unchanged, then the value with its
    // references resolved (as written in verbatim mode), and records the
    // value under the name path for later references.
    Result<void> pass_content_line(std::string_view body, std::string_view ending, const ContentLine& parts) {
        out_.append(body.substr(0, static_cast<std::size_t>(parts.value.data() - body.data())));
        const std::size_t value_offset = out_.size();
        if (verbatim_) {
            out_.append(parts.value);
        } else if (auto expanded = append_expanded(parts.value); !expanded) {
            return expanded;
        }
        const OutputSpan value{value_offset, out_.size() - value_offset};
        out_.append(ending);
        content_seen_ = true;
        if (is_wanted(parts.name_path)) values_.insert_or_assign(parts.name_path, value);
        return {};
    }

    // "$$" gives "$", "$" and a reference the value of the field it names.
    Result<void> append_expanded(std::string_view value) {
        std::size_t pos = 0;
        while (true) {
            const auto dollar = value.find('$', pos);
            out_.append(value.substr(pos, dollar - pos));
            if (dollar == std::string_view::npos) return {};
            const std::string_view rest = value.substr(dollar + 1);
            if (rest.starts_with('$')) {
                out_ += '$';
                pos = dollar + 2;
                continue;
            }
            if (rest.starts_with('.')) {
                return fail("unresolved variable in .lezo: " + quoted_excerpt(value));
            }
            const std::size_t length = field_reference_length(rest);
            if (auto substituted = append_referenced(rest.substr(0, length)); !substituted) return substituted;
            pos = dollar + 1 + length;
        }
    }

    // The name path a reference reads, in key_: «port» names «::port»,
    // «srv::port» names «/srv::port» and «/srv/0::port» names itself.
    void set_key(std::string_view reference) {
        key_.clear();
        if (reference.find("::") == std::string_view::npos) {
            key_.append("::");
        } else if (!reference.starts_with('/')) {
            key_.append("/");
        }
        key_.append(reference);
    }

    // Only the values of fields that a reference may read are recorded: the
    // name paths of the references after every "$" of the text, which
    // include every reference the pass resolves.
    void collect_wanted_paths() {
        for (auto dollar = text_.find('$'); dollar != std::string_view::npos; dollar = text_.find('$', dollar + 1)) {
            const std::string_view rest = text_.substr(dollar + 1);
            const std::size_t length = field_reference_length(rest);
            if (length == 0) continue;
            set_key(rest.substr(0, length));
            if (wanted_lengths_.size() <= key_.size()) wanted_lengths_.resize(key_.size() + 1);
            wanted_lengths_[key_.size()] = true;
            wanted_.insert(key_);
        }
    }

    bool is_wanted(std::string_view name_path) const {
        return name_path.size() < wanted_lengths_.size() && wanted_lengths_[name_path.size()] &&
               wanted_.contains(name_path);
    }

    Result<void> append_referenced(std::string_view reference) {
        if (reference.empty()) return std::unexpected(Error::App(AppErrorKind::UndefinedReference));
        set_key(reference);
        const auto found = values_.find(std::string_view(key_));
        if (found == values_.end()) return std::unexpected(Error::App(AppErrorKind::UndefinedReference));
        const OutputSpan value = found->second;
        if (value.size > substitution_budget_) {
            return fail("reference expansion too large: more than 1 GiB of substituted text");
        }
        substitution_budget_ -= value.size;
        // Reserved first, so that the copy reads from the buffer it writes to
        // without a reallocation in between.
        out_.reserve(out_.size() + value.size);
        out_.append(out_.data() + value.offset, value.size);
        return {};
    }

    std::string_view text_;
    std::string out_;
    TextSet wanted_;
    std::vector<bool> wanted_lengths_;  // the lengths of the wanted name paths
    std::unordered_map<std::string_view, OutputSpan, KeyedTextHash, std::equal_to<>> values_;
    std::string key_;
    std::size_t substitution_budget_ = kSubstitutionLimit;
    bool verbatim_ = false;
    bool content_seen_ = false;
};

// The module a ".!units" line imports: the first word after the directive.
std::optional<std::string_view> units_import(std::string_view argument) {
    const auto start = argument.find_first_not_of(kAsciiWhitespace);
    if (start == std::string_view::npos) return std::nullopt;
    argument.remove_prefix(start);
    return argument.substr(0, argument.find_first_of(kAsciiWhitespace));
}

// The user units of the document's ".!units" modules, in import order; a
// symbol keeps the definition of the first module that defines it.
Result<UserUnits> load_unit_table(std::string_view text, Resolver& resolver) {
    std::vector<std::string_view> imports;
    std::vector<RegistryEntry> registry;
    while (!text.empty()) {
        const std::string_view line = trim_leading_blanks(take_line(text));
        if (line.starts_with(".!units")) {
            if (const auto module = units_import(line.substr(7))) imports.push_back(*module);
        } else if (line.starts_with(".!registry")) {
            if (auto entry = parse_registry_pair(line.substr(10))) registry.push_back(std::move(*entry));
        }
    }
    UserUnits table;
    for (const std::string_view module : imports) {
        auto units = resolver.unit_module_defs(module, registry);
        if (!units) return forward_error(units);
        table.merge(*units);
    }
    return table;
}

constexpr std::string_view kRelationalDeclaration = ".!lezo\n";

// Whether the byte at `pos` is a "$", or the "!" of "!:", or the "." of
// ".!".
bool is_rewrite_mark(std::string_view text, std::size_t pos) {
    const char c = text[pos];
    if (c == '$') return true;
    if (pos + 1 == text.size()) return false;
    return (c == '!' && text[pos + 1] == ':') || (c == '.' && text[pos + 1] == '!');
}

// The position of the first "$", "!:" or ".!" at or after `from`, or the
// text's size: the three searches of the whole text in one pass, sixteen
// bytes at a time where SSE2 is there.
std::size_t find_rewrite_mark(std::string_view text, std::size_t from) {
    std::size_t pos = from;
#ifdef __SSE2__
    const char* data = text.data();
    for (; pos + 17 <= text.size(); pos += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 1));
        const __m128i dollar = _mm_cmpeq_epi8(here, _mm_set1_epi8('$'));
        const __m128i unit =
            _mm_and_si128(_mm_cmpeq_epi8(here, _mm_set1_epi8('!')), _mm_cmpeq_epi8(next, _mm_set1_epi8(':')));
        const __m128i directive =
            _mm_and_si128(_mm_cmpeq_epi8(here, _mm_set1_epi8('.')), _mm_cmpeq_epi8(next, _mm_set1_epi8('!')));
        const __m128i found = _mm_or_si128(dollar, _mm_or_si128(unit, directive));
        if (const int marked = _mm_movemask_epi8(found)) {
            return pos + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(marked)));
        }
    }
#endif
    for (; pos < text.size(); ++pos) {
        if (is_rewrite_mark(text, pos)) return pos;
    }
    return text.size();
}

// What one search of a relational text found.
struct InPlaceScan {
    // The reference pass would copy every line of the text unchanged but its
    // declaration line, ".!lezo" as the compiler writes it: no "$" (a
    // reference, or a dollar sign written "$$"), no "!:" (the unit
    // shorthand) and no other ".!lezo" or ".!verbatim" line.
    bool only_declaration = false;
    // Such a text holds no ".!schema" anywhere, so no line of it names a
    // schema.
    bool names_no_schema = false;
};

InPlaceScan scan_in_place(std::string_view text) {
    if (!text.starts_with(kRelationalDeclaration)) return {};
    const std::string_view rest = text.substr(kRelationalDeclaration.size());
    bool names_schema = false;
    for (std::size_t pos = find_rewrite_mark(rest, 0); pos < rest.size(); pos = find_rewrite_mark(rest, pos + 1)) {
        if (rest[pos] != '.') return {};
        const std::string_view directive = rest.substr(pos);
        if (directive.starts_with(".!lezo") || directive.starts_with(".!verbatim")) return {};
        names_schema = names_schema || directive.starts_with(".!schema");
    }
    return {true, !names_schema};
}

// The reference pass on a text handed over, `scan` being its search.
Result<std::string> pass_references_in_place(std::string relational, const InPlaceScan& scan) {
    if (!scan.only_declaration) return resolve_references(std::string_view(relational));
    relational.replace(2, 4, "nezo");
    return relational;
}

}  // namespace

Result<std::string> denormalize_compiled(std::string relational, Resolver& resolver) {
    const InPlaceScan scan = scan_in_place(relational);
    auto canonical = pass_references_in_place(std::move(relational), scan);
    if (!canonical || scan.names_no_schema) return canonical;
    return apply_document_schema(std::move(*canonical), resolver);
}

Result<std::string> resolve_references(std::string_view relational) {
    const FormatDeclaration declaration = check_format_declaration(relational, "lezo");
    if (!declaration.accepted) return std::unexpected(Error::Lex(LexErrorKind::FormatKind, declaration.line));
    return ReferencePass(relational).run();
}

Result<std::string> denormalize_document(std::string_view relational, Resolver& resolver) {
    auto canonical = resolve_references(relational);
    if (!canonical) return forward_error(canonical);
    return apply_document_schema(std::move(*canonical), resolver);
}

Result<std::string> apply_document_schema(std::string canonical, Resolver& resolver) {
    auto schema = resolve_document_schema(canonical, resolver);
    if (!schema) return forward_error(schema);
    if (!*schema) return canonical;
    auto units = load_unit_table(canonical, resolver);
    if (!units) return forward_error(units);
    return expand_with_schema(canonical, **schema, *units);
}

}  // namespace bezo
