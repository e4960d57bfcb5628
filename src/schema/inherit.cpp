#include "schema/inherit.hpp"

#include <algorithm>
#include <utility>
#include <variant>

#include "core/text.hpp"
#include "lang/canonical_line.hpp"
#include "lang/path.hpp"
#include "lang/table.hpp"

namespace bezo {
namespace {

constexpr std::string_view kBlanks = " \t";

// The text after the apostrophe up to the first "=" outside double quotes
// (all of it without one), less a final "?".
std::string_view field_line_path(std::string_view line, std::size_t apostrophe) {
    const auto equals = find_unquoted_equals(line, apostrophe).value_or(line.size());
    std::string_view path = line.substr(apostrophe + 1, equals - apostrophe - 1);
    if (path.ends_with('?')) path.remove_suffix(1);
    return path;
}

// The end of the first word of a table or delegation line: its first blank
// or tab outside double quotes, since a table path may hold a quoted segment
// with a blank in it («/"a b"/@r»). npos when there is none.
std::size_t first_word_end(std::string_view line) {
    const auto blank = find_unquoted(line, ' ');
    const auto tab = find_unquoted(line, '\t');
    return std::min(blank.value_or(std::string_view::npos), tab.value_or(std::string_view::npos));
}

// "{before}'{path}{after}": the field line with the path put in front of
// its own.
std::string prefix_field_path(std::string_view line, std::size_t apostrophe, std::string_view path) {
    std::string out;
    out.reserve(line.size() + path.size());
    out.append(line.substr(0, apostrophe + 1));
    out.append(path);
    out.append(line.substr(apostrophe + 1));
    return out;
}

}  // namespace

std::optional<SchemaDirective> parse_schema_directive(std::string_view text) {
    SchemaDirective directive;
    if (!text.starts_with(':')) {
        directive.name = trim_blanks(text);
    } else if (!text.substr(1).starts_with('/')) {
        directive.name = trim_blanks(text.substr(1));
    } else {
        const std::string_view rest = text.substr(1);
        const auto blank = rest.find_first_of(kBlanks);
        directive.path = std::string(rest.substr(0, blank));
        if (blank != std::string_view::npos) directive.name = trim_blanks(rest.substr(blank + 1));
    }
    if (directive.name.empty()) return std::nullopt;
    return directive;
}

bool is_element_scope(std::string_view path) { return split_path(path).back().starts_with('@'); }

Result<std::string> inherit_field_line(std::string_view line, std::string_view scope) {
    const auto apostrophe = line.find('\'');
    if (apostrophe != std::string_view::npos) {
        const std::string_view path = field_line_path(line, apostrophe);
        if (path.starts_with("::") && path.find('/') == std::string_view::npos) {
            return prefix_field_path(line, apostrophe, std::string(scope) + '/');
        }
    }
    return fail("only root scalar fields extend array elements: " + quoted_excerpt(line));
}

Result<std::string> inherit_table_line(std::string_view line, std::string_view path) {
    if (const auto apostrophe = line.find('\''); apostrophe != std::string_view::npos) {
        return prefix_field_path(line, apostrophe, path);
    }
    const auto blank = first_word_end(line);
    auto head = blank == std::string_view::npos ? std::nullopt : parse_head_items(trim_blanks(line.substr(blank)));
    if (!head) return fail("bad inherited line: " + quoted_excerpt(line));
    for (auto& group : head->groups) {
        for (auto& item : group) {
            if (auto* reference = std::get_if<HeadItem::Reference>(&item.rule)) {
                reference->table.insert(0, path);
            }
        }
    }
    std::string out(path);
    out.append(line.substr(0, blank)).append(" ").append(render_head_items(*head));
    return out;
}

Result<std::string> reroot_inherited_line(std::string_view line, std::string_view path, bool element_scope) {
    return element_scope ? inherit_field_line(line, path) : inherit_table_line(line, path);
}

std::string_view inherited_line_key(std::string_view line) {
    const auto apostrophe = line.find('\'');
    if (apostrophe == std::string_view::npos) return line.substr(0, first_word_end(line));
    return field_line_path(line, apostrophe);
}

void upsert_keyed_line(std::vector<std::string>& lines, const TextMap<std::size_t>& index, std::string_view key,
                       std::string line) {
    if (const auto found = index.find(key); found != index.end()) {
        lines[found->second] = std::move(line);
    } else {
        lines.push_back(std::move(line));
    }
}

void merge_keyed_line(KeyedLines& merged, std::string line) {
    std::string key(inherited_line_key(line));
    upsert_keyed_line(merged.lines, merged.index, key, std::move(line));
    merged.index.try_emplace(std::move(key), merged.lines.size() - 1);
}

std::string join_compiled_lines(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 1;
    std::string text;
    text.reserve(size);
    for (const auto& line : lines) text.append(line).append("\n");
    return text;
}

Result<void> MergeBudget::charge(std::size_t bytes) {
    used_ += bytes;
    if (used_ > kLimit) {
        return fail("schema merge too large: more than 1 GiB of merged lines");
    }
    return {};
}

}  // namespace bezo
