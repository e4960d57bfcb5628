#include "pipeline/variables.hpp"

#include "core/fault.hpp"
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
Result<void> charge_expansion(CompileState& state, std::size_t bytes) {
    if (bytes > state.expansion_budget) {
        return fail("variable expansion too large: more than 1 GiB of substituted text");
    }
    state.expansion_budget -= bytes;
    return {};
}

Result<const std::string*> text_variable(CompileState& state, std::string_view name) {
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
Result<const Items*> whole_variable(CompileState& state, const TextMap<Items>& variables, std::string_view name) {
    if (state.verbatim && is_word(name)) return std::unexpected(Error::App(AppErrorKind::VerbatimContext));
    auto found = variables.find(name);
    if (found == variables.end()) return std::unexpected(undefined_reference());
    std::size_t bytes = 0;
    for (const auto& item : found->second) bytes += item_cost(item);
    auto charged = charge_expansion(state, bytes);
    if (!charged) return forward_error(charged);
    return &found->second;
}

// "$" + reference, made relative to the root inside a block.
void append_reference(std::string& out, std::string_view block_path, std::string_view reference) {
    out += '$';
    if (block_path.empty()) {
        out += reference;
        return;
    }
    const auto separator = find_namespace_separator(reference);
    out += block_path.substr(1);
    if (separator) append_key_path_segments(out, reference.substr(0, *separator));
    out += "::";
    append_normalized_segment(out, separator ? reference.substr(*separator + 2) : reference);
}

// Walks a value: runs of text, "$$", "$.name" and, in a field value, field
// references. A definition stores "$$" as one "$" and refuses any other "$";
// a field value keeps "$$" and refuses "$/." and "$@.".
template <class Sink>
Result<void> walk_value(std::string_view value, bool field_value, Sink& sink) {
    for (std::size_t pos = 0; pos < value.size();) {
        const std::size_t dollar = std::min(value.find('$', pos), value.size());
        sink.text(value.substr(pos, dollar - pos));
        if (dollar == value.size()) break;
        const std::string_view rest = value.substr(dollar + 1);
        if (rest.starts_with('$')) {
            sink.text(field_value ? "$$" : "$");
            pos = dollar + 2;
        } else if (field_value && (rest.starts_with("/.") || rest.starts_with("@."))) {
            return std::unexpected(Error::App(AppErrorKind::VariableContext));
        } else if (rest.starts_with('.')) {
            const std::string_view name = rest.substr(1, word_length(rest.substr(1)));
            if (auto used = sink.variable(name); !used) return used;
            pos = dollar + 2 + name.size();
        } else if (!field_value) {
            return fail("field references are not allowed in a variable definition: " + quoted_excerpt(value));
        } else {
            const std::size_t length = field_reference_length(rest);
            if (length == 0) return std::unexpected(undefined_reference());
            sink.reference(rest.substr(0, length));
            pos = dollar + 1 + length;
        }
    }
    return {};
}

// The first pass of an expansion: what it will write, at most, with every
// variable it substitutes charged to the budget. The text is built only
// after the whole charge has passed, in one buffer of the measured size, so
// that an expansion over the budget allocates nothing and one within it
// allocates once.
struct ExpansionSize {
    CompileState& state;
    // Field values double the dollars of substituted text.
    bool field_value;
    std::size_t bytes = 0;

    void text(std::string_view run) { bytes += run.size(); }
    Result<void> variable(std::string_view name) {
        auto text = text_variable(state, name);
        if (!text) return forward_error(text);
        bytes += (*text)->size();
        if (field_value) bytes += count_byte(**text, '$');
        return {};
    }
    // "$", the block path without its "/", the reference and the "::"
    // put before its key.
    void reference(std::string_view reference) { bytes += 3 + current_block_path(state).size() + reference.size(); }
};

// The second pass: writes the text that the first pass measured.
struct ExpansionWriter {
    const CompileState& state;
    bool field_value;
    std::string& out;

    void text(std::string_view run) { out += run; }
    Result<void> variable(std::string_view name) {
        const std::string& text = state.text_variables.find(name)->second;
        if (!field_value) {
            out += text;
            return {};
        }
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t dollar = std::min(text.find('$', pos), text.size());
            out.append(text, pos, dollar - pos);
            if (dollar == text.size()) break;
            out += "$$";
            pos = dollar + 1;
        }
        return {};
    }
    void reference(std::string_view reference) { append_reference(out, current_block_path(state), reference); }
};

// Measures, then writes, the expansion of a value at the end of `out`.
Result<void> expand_into(CompileState& state, std::string_view value, bool field_value, std::string& out) {
    ExpansionSize size{state, field_value};
    if (auto measured = walk_value(value, field_value, size); !measured) return measured;
    out.reserve(out.size() + size.bytes);
    ExpansionWriter writer{state, field_value, out};
    return walk_value(value, field_value, writer);
}

}  // namespace

Result<std::string> expand_text_variable_definition(CompileState& state, std::string_view value) {
    std::string out;
    if (auto expanded = expand_into(state, value, false, out); !expanded) return forward_error(expanded);
    return out;
}

Result<std::string_view> expand_variables(CompileState& state, std::string_view value, std::string& scratch) {
    if (state.verbatim || value.find('$') == std::string_view::npos) return value;
    scratch.clear();
    if (auto expanded = expand_into(state, value, true, scratch); !expanded) return forward_error(expanded);
    return std::string_view(scratch);
}

Result<std::size_t> measure_expansion(CompileState& state, std::string_view value) {
    ExpansionSize size{state, true};
    if (auto measured = walk_value(value, true, size); !measured) return forward_error(measured);
    return size.bytes;
}

void append_expansion(CompileState& state, std::string_view value, std::string& out) {
    ExpansionWriter writer{state, true, out};
    if (!walk_value(value, true, writer)) raise_fault("a measured expansion failed while it was written");
}

bool is_record_variable_use(std::string_view value) { return value.starts_with("$@."); }

Result<const std::vector<std::string>*> record_items(CompileState& state, std::string_view value,
                                                     std::vector<std::string>& scratch) {
    if (is_record_variable_use(value)) return whole_variable(state, state.record_variables, value.substr(3));
    std::string expanded;
    auto item = expand_variables(state, value, expanded);
    if (!item) return forward_error(item);
    scratch.assign(1, std::string(*item));
    return &scratch;
}

Result<SplatItems> splat_variable_value(CompileState& state, std::string_view value) {
    if (value.starts_with("$/.")) {
        auto items = whole_variable(state, state.splat_variables, value.substr(3));
        if (!items) return forward_error(items);
        return **items;
    }
    SplatItems items;
    std::string scratch;
    while (true) {
        const auto bar = value.find('|');
        const std::string_view piece = value.substr(0, bar);
        const auto eq = piece.find('=');
        if (eq == std::string_view::npos) return std::unexpected(Error::App(AppErrorKind::DelimiterCollision));
        auto expanded = expand_variables(state, piece.substr(eq + 1), scratch);
        if (!expanded) return forward_error(expanded);
        items.push_back({std::string(piece.substr(0, eq)), std::string(*expanded)});
        if (bar == std::string_view::npos) return items;
        value.remove_prefix(bar + 1);
    }
}

}  // namespace bezo
