#include "pipeline/variables.hpp"

#include "core/text.hpp"
#include "lang/path.hpp"

namespace bezo {
namespace {

bool is_word_char(char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '_'; }

bool is_word(std::string_view text) { return !text.empty() && std::ranges::all_of(text, is_word_char); }

// The length of the run of word characters at the start of `text`.
std::size_t word_length(std::string_view text) {
    std::size_t length = 0;
    while (length < text.size() && is_word_char(text[length])) ++length;
    return length;
}

Error undefined_reference() { return Error::App(AppErrorKind::UndefinedReference); }

// Variables may be defined from other variables and used many times, so a
// few lines can ask for exponentially much text (".b=$.a$.a", ".c=$.b$.b",
// ...). Every substitution is charged to one budget per compile, so such a
// document fails with a message instead of exhausting memory.
[[nodiscard]] Result<void> charge_expansion(CompileState& state, std::size_t bytes) {
    if (bytes > state.expansion_budget) {
        return std::unexpected(Error::Other("variable expansion too large: more than 1 GiB of substituted text"));
    }
    state.expansion_budget -= bytes;
    return {};
}

[[nodiscard]] Result<const std::string*> text_variable(CompileState& state, std::string_view name) {
    auto found = state.text_variables.find(name);
    if (name.empty() || found == state.text_variables.end()) return std::unexpected(undefined_reference());
    auto charged = charge_expansion(state, found->second.size());
    if (!charged) return forward_error(charged);
    return &found->second;
}

// What one item of a record or splat variable costs to copy, its own record
// included, so that doubling the number of tiny items is charged too.
std::size_t item_cost(const std::string& item) { return sizeof item + item.size(); }
std::size_t item_cost(const SplatItem& item) { return sizeof item + item.key.size() + item.value.size(); }

// A whole-value use of a record or splat variable ("$@." or "$/." + name).
template <class Items>
[[nodiscard]] Result<Items> whole_variable(CompileState& state, const TextMap<Items>& variables,
                                           std::string_view name) {
    if (state.verbatim && is_word(name)) return std::unexpected(Error::App(AppErrorKind::VerbatimContext));
    auto found = variables.find(name);
    if (found == variables.end()) return std::unexpected(undefined_reference());
    std::size_t bytes = 0;
    for (const auto& item : found->second) bytes += item_cost(item);
    auto charged = charge_expansion(state, bytes);
    if (!charged) return forward_error(charged);
    return found->second;
}

void append_doubling_dollars(std::string& out, std::string_view text) {
    for (char c : text) {
        if (c == '$') out += '$';
        out += c;
    }
}

// "$" + reference, made relative to the root inside a block.
void append_reference(std::string& out, std::string_view block_path, std::string_view reference) {
    out += '$';
    if (block_path.empty()) {
        out += reference;
        return;
    }
    const KeyPath parsed = parse_key_path(reference);
    out += block_path.substr(1);
    append_segments(out, parsed.segments);
    out += "::";
    out += parsed.key;
}

}  // namespace

Result<std::string> expand_text_variable_definition(CompileState& state, std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t pos = 0; pos < value.size(); ++pos) {
        if (value[pos] != '$') {
            out += value[pos];
        } else if (value.substr(pos + 1).starts_with('$')) {
            out += '$';
            ++pos;
        } else if (value.substr(pos + 1).starts_with('.')) {
            const std::string_view name = value.substr(pos + 2, word_length(value.substr(pos + 2)));
            auto text = text_variable(state, name);
            if (!text) return forward_error(text);
            out += **text;
            pos += 1 + name.size();
        } else {
            return std::unexpected(
                Error::Other("field references are not allowed in a variable definition: " + std::string(value)));
        }
    }
    return out;
}

Result<std::string> expand_variables(CompileState& state, std::string_view value) {
    if (state.verbatim || value.find('$') == std::string_view::npos) return std::string(value);
    const std::string_view block_path = current_block_path(state);
    std::string out;
    out.reserve(value.size());
    for (std::size_t pos = 0; pos < value.size(); ++pos) {
        if (value[pos] != '$') {
            out += value[pos];
            continue;
        }
        const std::string_view rest = value.substr(pos + 1);
        if (rest.starts_with('$')) {
            out += "$$";
            ++pos;
        } else if (rest.starts_with("/.") || rest.starts_with("@.")) {
            return std::unexpected(Error::App(AppErrorKind::VariableContext));
        } else if (rest.starts_with('.')) {
            const std::string_view name = rest.substr(1, word_length(rest.substr(1)));
            auto text = text_variable(state, name);
            if (!text) return forward_error(text);
            append_doubling_dollars(out, **text);
            pos += 1 + name.size();
        } else {
            const std::size_t length = field_reference_length(rest);
            if (length == 0) return std::unexpected(undefined_reference());
            append_reference(out, block_path, rest.substr(0, length));
            pos += length;
        }
    }
    return out;
}

Result<std::vector<std::string>> expand_record_variable(CompileState& state, std::string_view value) {
    if (value.starts_with("$@.")) return whole_variable(state, state.record_variables, value.substr(3));
    auto item = expand_variables(state, value);
    if (!item) return forward_error(item);
    std::vector<std::string> items;
    items.push_back(std::move(*item));
    return items;
}

Result<SplatItems> splat_variable_value(CompileState& state, std::string_view value) {
    if (value.starts_with("$/.")) return whole_variable(state, state.splat_variables, value.substr(3));
    SplatItems items;
    while (true) {
        const auto bar = value.find('|');
        const std::string_view piece = value.substr(0, bar);
        const auto eq = piece.find('=');
        if (eq == std::string_view::npos) return std::unexpected(Error::App(AppErrorKind::DelimiterCollision));
        auto expanded = expand_variables(state, piece.substr(eq + 1));
        if (!expanded) return forward_error(expanded);
        items.push_back({std::string(piece.substr(0, eq)), std::move(*expanded)});
        if (bar == std::string_view::npos) return items;
        value.remove_prefix(bar + 1);
    }
}

}  // namespace bezo
