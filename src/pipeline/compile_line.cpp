#include "pipeline/compile_line.hpp"

#include "core/budget.hpp"
#include "core/text.hpp"
#include "lang/anno.hpp"
#include "lang/path.hpp"
#include "lang/resolve.hpp"
#include "lang/table.hpp"
#include "pipeline/union_member.hpp"
#include "pipeline/unit_check.hpp"
#include "pipeline/variables.hpp"

namespace bezo {
namespace {

Error app_error(AppErrorKind kind) { return Error::App(kind); }
Error invalid_key(const CompileState& state) { return Error::Lex(LexErrorKind::InvalidKey, state.current_line); }

// Calls `each` with every piece of `text` split at `separator` (empty pieces
// included); the first failure ends the walk.
template <class Each>
Result<void> for_each_piece(std::string_view text, char separator, Each&& each) {
    while (true) {
        const auto end = text.find(separator);
        if (auto done = each(text.substr(0, end)); !done) return done;
        if (end == std::string_view::npos) return {};
        text.remove_prefix(end + 1);
    }
}

constexpr std::string_view kSeparatorInPath = "'::' is not allowed in a path (namespace/array/map-assign) position";

// Appends the segments parse_path gives for `text`, without building them.
Result<void> append_path(std::string& path, std::string_view text) {
    if (find_namespace_separator(text)) return fail(std::string(kSeparatorInPath));
    append_key_path_segments(path, text);
    return {};
}

// Sets `path` to the joined path of the innermost block followed by the
// segments of `text`.
Result<void> join_block_path(const CompileState& state, std::string_view text, std::string& path) {
    path.assign(current_block_path(state));
    return append_path(path, text);
}

// The joined path of the innermost block followed by the segments of `text`.
Result<std::string> block_path_with(const CompileState& state, std::string_view text) {
    std::string path;
    if (auto joined = join_block_path(state, text, path); !joined) return forward_error(joined);
    return path;
}

// Appends "'" path "::" key "=" to a line whose signature is written.
std::string& append_line_head(CompileState& state, std::string_view path, std::string_view key) {
    std::string& out = state.output.begin_line();
    append_pieces(out, "'", path, "::", key, "=");
    return out;
}

// The signature of a line under `annotation` (the pending one, or the union
// member chosen from it). When no provenance line is pending, a line
// without annotation takes "!str" and a recent annotation its own
// signature; any other is rendered into the state's scratch text.
std::string_view line_signature(CompileState& state, const Annotation* annotation) {
    if (!state.pending_provenance) {
        if (annotation == nullptr) return "!str";
        const std::string* rendered = state.pending_annotation.signature();
        if (rendered != nullptr && annotation == state.pending_annotation.get()) return *rendered;
    }
    state.signature_scratch.clear();
    append_type_signature(state.signature_scratch, annotation, state.pending_provenance);
    return state.signature_scratch;
}

// Writes the signature of a line under `annotation`.
void append_signature(CompileState& state, const Annotation* annotation) {
    state.output.begin_line() += line_signature(state, annotation);
}

[[gnu::cold, gnu::noinline]] Result<void> refuse_deep_path(std::string_view path) {
    if (count_unquoted(path, '/') + 1 <= kMaxPathSegments) return {};
    return fail("path and key nest deeper than 512 segments");
}

// A content line at `path` may be written: the path and the key hold at
// most as many segments as the canonical reader reads. A path holds no more
// "/" than bytes, so a short one is not counted.
Result<void> check_path_depth(std::string_view path) {
    if (path.size() < kMaxPathSegments) [[likely]]
        return {};
    return refuse_deep_path(path);
}

[[gnu::cold, gnu::noinline]] Result<void> refuse_output_over_budget(const CompileState& state) {
    return std::unexpected(output_budget_exceeded(state.output_budget));
}

Result<void> check_output_budget(const CompileState& state) {
    if (state.output.size() <= state.output_budget) [[likely]]
        return {};
    return refuse_output_over_budget(state);
}

// Refuses `lines` content lines at `path` up front when they cannot fit the
// output budget, each of them holding the path: a long path over a long list
// would otherwise fill the budget first.
Result<void> reserve_lines(const CompileState& state, std::size_t lines, std::string_view path) {
    const std::size_t left = state.output_budget - std::min(state.output_budget, state.output.size());
    if (path.empty() || lines <= left / path.size()) return {};
    return std::unexpected(output_budget_exceeded(state.output_budget));
}

// ---- blank lines and blocks ----------------------------------------------

Result<void> compile_trivia_line(const CompileState& state) {
    if (has_pending_metadata(state)) return std::unexpected(app_error(AppErrorKind::MetadataWithoutTarget));
    return {};
}

// Every line in a block repeats the block's whole path, so deep nesting
// would make output grow with the square of the input.
Result<void> check_block_depth(const CompileState& state) {
    if (state.blocks.size() < kMaxBlockDepth) return {};
    return fail("blocks nest deeper than 512 levels");
}

std::string_view first_field(std::span<const std::string_view> fields) {
    return fields.empty() ? std::string_view{} : fields.front();
}

// Every section head opens a new entry of its array; sections never nest in
// sections, so an open section is closed first.
Result<void> open_section(CompileState& state, std::string_view head) {
    state.content_seen = true;
    close_block(state, BlockKind::Section);
    const std::size_t outer = state.block_path.size();
    if (auto appended = append_path(state.block_path, first_field(split_fields(head))); !appended) return appended;
    if (auto nested = check_block_depth(state); !nested) {
        state.block_path.resize(outer);
        return nested;
    }
    const std::uint64_t index = entry_counter(state, state.block_path)++;
    state.block_path += '/';
    append_decimal(index, state.block_path);
    push_block(state, BlockKind::Section);
    return {};
}

// The ".!schema:" line of a delegating head "(/path schema:name)".
Result<void> collect_delegation(CompileState& state, std::span<const std::string_view> fields, std::string_view path) {
    constexpr std::string_view kSchema = "schema:";
    if (fields.size() != 2 || !fields[1].starts_with(kSchema)) {
        return std::unexpected(app_error(AppErrorKind::SchemaDelegation));
    }
    const std::string_view name = fields[1].substr(kSchema.size());
    if (name.empty() || name.find('|') != std::string_view::npos) {
        return std::unexpected(app_error(AppErrorKind::SchemaDelegation));
    }
    std::string line = ".!schema:";
    line += path;
    line += ' ';
    line += name;
    if (state.delegation_seen.insert(line).second) state.delegation_lines.push_back(std::move(line));
    return {};
}

Result<void> open_namespace(CompileState& state, std::string_view head) {
    state.content_seen = true;
    const auto fields = split_fields(head);
    auto segments = parse_path(first_field(fields));
    if (!segments) return forward_error(segments);
    if (auto nested = check_block_depth(state); !nested) return nested;
    append_segments(state.block_path, *segments);
    push_block(state, BlockKind::Namespace);
    const bool delegates =
        std::ranges::any_of(fields, [](std::string_view field) { return field.starts_with("schema:"); });
    if (!delegates) return {};
    return collect_delegation(state, fields, state.block_path);
}

// ---- annotation, named-type and provenance lines --------------------------

// An annotation line not among the recent ones: parsed, checked and kept
// among them.
Result<void> pend_new_annotation(CompileState& state, std::string_view text) {
    auto parsed = parse_annotation(text);
    if (!parsed) return fail("bad annotation: " + quoted_excerpt(text));
    if (parsed->provenance && state.pending_provenance) {
        return std::unexpected(app_error(AppErrorKind::MetadataWithoutTarget));
    }
    if (auto checked = check_annotation_units(state, *parsed); !checked) return checked;
    state.pending_annotation.set(state.recent_annotations.add(text, std::move(*parsed)));
    return {};
}

// An annotation seen on a recent line of the same text is taken as it was
// checked there.
Result<void> pend_annotation(CompileState& state, std::string_view text) {
    if (state.pending_annotation) return std::unexpected(app_error(AppErrorKind::MetadataWithoutTarget));
    const RecentAnnotation* recent = state.recent_annotations.find(text);
    if (recent == nullptr) return pend_new_annotation(state, text);
    if (recent->annotation.provenance && state.pending_provenance) {
        return std::unexpected(app_error(AppErrorKind::MetadataWithoutTarget));
    }
    state.pending_annotation.set(*recent);
    return {};
}

// The constraint items after "&name": pattern, range, set and length only.
Result<std::vector<Constraint>> named_type_constraints(std::string_view items_text, std::string_view name,
                                                       std::string_view text) {
    std::vector<Constraint> constraints;
    if (items_text.empty()) return constraints;
    auto items = split_annotation_line(items_text);
    if (!items) return fail("bad annotation items: " + quoted_excerpt(text));
    for (auto& item : *items) {
        auto* constraint = std::get_if<Constraint>(&item.value);
        if (constraint == nullptr) {
            return fail("only constraint items may follow &" + quoted_excerpt(name) + ": " + quoted_excerpt(text));
        }
        if (std::holds_alternative<Constraint::Span>(constraint->value)) {
            return fail("span constraints are not valid in a data annotation: " + quoted_excerpt(text));
        }
        constraints.push_back(std::move(*constraint));
    }
    return constraints;
}

Result<void> pend_named_type(CompileState& state, std::string_view text) {
    if (state.pending_annotation) return std::unexpected(app_error(AppErrorKind::MetadataWithoutTarget));
    const std::string_view rest = text.substr(1);
    const std::string_view name = rest.substr(0, rest.find_first_of(" \t"));
    auto qualified = state.resolver.qualify_type_name(name, state.types_imports, state.registry);
    if (!qualified) return forward_error(qualified);
    auto constraints = named_type_constraints(trim_blanks(rest.substr(name.size())), name, text);
    if (!constraints) return forward_error(constraints);
    Annotation annotation;
    annotation.name = std::move(*qualified);
    annotation.constraints = std::move(*constraints);
    state.pending_annotation.set(std::move(annotation));
    return {};
}

bool is_provenance_name_start(char c) { return is_ascii_letter(c) || is_ascii_digit(c) || c == '_'; }

// The length of a provenance name or tag at the start of `text` (0: none).
std::size_t provenance_name_length(std::string_view text) {
    if (text.empty() || !is_provenance_name_start(text.front())) return 0;
    std::size_t length = 1;
    while (length < text.size() && (is_provenance_name_start(text[length]) || text[length] == '-')) ++length;
    return length;
}

// name ["@" compact timestamp] ["#" tag]
bool is_provenance_item(std::string_view item) {
    const std::size_t name = provenance_name_length(item);
    if (name == 0) return false;
    item.remove_prefix(name);
    if (item.starts_with('@')) {
        const auto hash = item.find('#');
        if (!is_compact_timestamp(item.substr(1, hash == std::string_view::npos ? hash : hash - 1))) return false;
        item.remove_prefix(hash == std::string_view::npos ? item.size() : hash);
    }
    if (item.starts_with('#')) {
        const std::string_view tag = item.substr(1);
        return !tag.empty() && provenance_name_length(tag) == tag.size();
    }
    return item.empty();
}

// One or more ","-separated provenance items.
bool is_provenance_text(std::string_view items) {
    if (items.empty()) return false;
    while (true) {
        const auto comma = items.find(',');
        if (!is_provenance_item(items.substr(0, comma))) return false;
        if (comma == std::string_view::npos) return true;
        items.remove_prefix(comma + 1);
    }
}

Result<void> pend_provenance(CompileState& state, std::string_view text) {
    if (state.pending_provenance || (state.pending_annotation && state.pending_annotation->provenance)) {
        return std::unexpected(app_error(AppErrorKind::MetadataWithoutTarget));
    }
    if (!is_provenance_text(text.substr(1))) {
        return fail("invalid provenance annotation: " + quoted_excerpt(text));
    }
    state.pending_provenance = std::string(text.substr(1));
    return {};
}

Result<void> compile_meta_line(CompileState& state, std::string_view text) {
    state.content_seen = true;
    if (text.empty()) return {};
    switch (text.front()) {
        case '!': return pend_annotation(state, text);
        case '&': return pend_named_type(state, text);
        case '?': return pend_provenance(state, text);
        default: return {};
    }
}

// ---- content lines --------------------------------------------------------

enum class ContentForm {
    RecordAppend,      // "@.name+="
    RecordListAppend,  // "@.name;="
    TextVariable,      // ".name="
    SplatVariable,     // "/.name:="
    RecordEntry,       // "path+:="
    ScalarAppend,      // "path+="
    SplatAssignment,   // "path:="
    ScalarList,        // "path;="
    Field,             // "key path="
};

struct ContentLeft {
    ContentForm form;
    std::string_view text;  // the variable name, or the path or key path
};

ContentLeft classify_left(std::string_view left) {
    if (left.size() > 1) {
        if (left.starts_with("@.") && left.size() > 3) {
            if (left.ends_with('+')) return {ContentForm::RecordAppend, left.substr(2, left.size() - 3)};
            if (left.ends_with(';')) return {ContentForm::RecordListAppend, left.substr(2, left.size() - 3)};
        }
        if (left[0] == '.' && left[1] != '.') return {ContentForm::TextVariable, left.substr(1)};
        if (left.starts_with("/.") && left.ends_with(':')) {
            return {ContentForm::SplatVariable, left.substr(2, left.size() - 3)};
        }
    }
    if (left.ends_with("+:")) return {ContentForm::RecordEntry, left.substr(0, left.size() - 2)};
    if (left.ends_with('+')) return {ContentForm::ScalarAppend, left.substr(0, left.size() - 1)};
    if (left.ends_with(':')) return {ContentForm::SplatAssignment, left.substr(0, left.size() - 1)};
    if (left.ends_with(';')) return {ContentForm::ScalarList, left.substr(0, left.size() - 1)};
    return {ContentForm::Field, left};
}

Result<void> refuse_in_verbatim(const CompileState& state) {
    if (state.verbatim) return std::unexpected(app_error(AppErrorKind::VerbatimContext));
    return {};
}

Result<void> append_record_items(CompileState& state, std::string_view name, std::string_view value) {
    std::vector<std::string> scratch;
    auto items = record_items(state, value, scratch);
    if (!items) return forward_error(items);
    auto& variable = state.record_variables[std::string(name)];
    // A variable may be appended to itself ("@.r+=$@.r"): room is made first,
    // so that its items stay in place while they are copied.
    const std::vector<std::string>& source = **items;
    const std::size_t count = source.size();
    variable.reserve(variable.size() + count);
    for (std::size_t i = 0; i < count; ++i) variable.push_back(source[i]);
    return {};
}

Result<void> define_record_variable(CompileState& state, const ContentLeft& left, std::string_view value) {
    if (auto refused = refuse_in_verbatim(state); !refused) return refused;
    if (left.form == ContentForm::RecordAppend) return append_record_items(state, left.text, value);
    return for_each_piece(value, ';',
                          [&](std::string_view piece) { return append_record_items(state, left.text, piece); });
}

// Stores the expanded value of a text or splat variable definition.
template <class Value, class Expand>
Result<void> define_variable(CompileState& state, TextMap<Value>& variables, std::string_view name,
                             std::string_view value, Expand expand) {
    if (auto refused = refuse_in_verbatim(state); !refused) return refused;
    auto expanded = expand(state, value);
    if (!expanded) return forward_error(expanded);
    variables.insert_or_assign(std::string(name), std::move(*expanded));
    return {};
}

Result<void> write_record_entry(CompileState& state, std::string_view array, std::string_view value) {
    auto path = block_path_with(state, array);
    if (!path) return forward_error(path);
    const std::uint64_t index = entry_counter(state, *path)++;
    *path += '/';
    append_decimal(index, *path);
    return emit_splat_lines(state, *path, value);
}

// One scalar entry per item of `value` (a record variable or one value).
// `next_index` is the array's entry counter.
Result<void> append_scalar_entries(CompileState& state, std::string_view array_path, std::uint64_t& next_index,
                                   std::string_view value) {
    if (!is_record_variable_use(value)) {
        auto item = expand_variables(state, value, state.value_scratch);
        if (!item) return forward_error(item);
        if (auto fits = reserve_lines(state, 1, array_path); !fits) return fits;
        return emit_typed_field(state, array_path, decimal_text(next_index++), *item);
    }
    std::vector<std::string> scratch;
    auto items = record_items(state, value, scratch);
    if (!items) return forward_error(items);
    if (auto fits = reserve_lines(state, (*items)->size(), array_path); !fits) return fits;
    for (const auto& item : **items) {
        const std::string key = decimal_text(next_index++);
        if (auto written = emit_typed_field(state, array_path, key, item); !written) return written;
    }
    return {};
}

// The array's path is joined in the state's scratch text, which nothing
// else writes while its entries are written.
Result<void> write_scalar_entries(CompileState& state, const ContentLeft& left, std::string_view value) {
    if (auto joined = join_block_path(state, left.text, state.array_path_scratch); !joined) return joined;
    const std::string_view path = state.array_path_scratch;
    std::uint64_t& next_index = entry_counter(state, path);
    if (left.form == ContentForm::ScalarAppend) return append_scalar_entries(state, path, next_index, value);
    if (auto fits = reserve_lines(state, count_byte(value, ';') + 1, path); !fits) return fits;
    return for_each_piece(
        value, ';', [&](std::string_view piece) { return append_scalar_entries(state, path, next_index, piece); });
}

Result<void> write_splat_assignment(CompileState& state, std::string_view target, std::string_view value) {
    auto path = block_path_with(state, target);
    if (!path) return forward_error(path);
    return emit_splat_lines(state, *path, value);
}

// A field under "!map<T>": one line per "key:value" entry of the value.
Result<void> write_map_entries(CompileState& state, std::string_view left, std::string_view value) {
    const Annotation& annotation = *state.pending_annotation;
    if (annotation.unit || !annotation.constraints.empty() || !annotation.alternatives.empty()) {
        return fail("a map annotation admits neither a unit nor inline constraints");
    }
    const std::string signature = render_type_signature(&annotation, state.pending_provenance);
    auto path = block_path_with(state, left);
    if (!path) return forward_error(path);
    if (value == "{}") return {};
    if (auto deep = check_path_depth(*path); !deep) return deep;
    if (auto fits = reserve_lines(state, count_byte(value, ';') + 1, *path); !fits) return fits;
    return for_each_piece(value, ';', [&](std::string_view entry) -> Result<void> {
        const auto colon = entry.find(':');
        if (colon == std::string_view::npos) return std::unexpected(app_error(AppErrorKind::DelimiterCollision));
        if (colon == 0) return std::unexpected(invalid_key(state));
        auto entry_value = expand_variables(state, entry.substr(colon + 1), state.value_scratch);
        if (!entry_value) return forward_error(entry_value);
        state.output.append_content_line(signature, *path, normalize_key(entry.substr(0, colon)), *entry_value);
        return check_output_budget(state);
    });
}

// A field under a union annotation: its line takes the signature of the
// member that its value chooses.
Result<void> emit_union_field(CompileState& state, const Annotation& annotation, std::string_view path,
                              std::string_view key, std::string_view value) {
    auto member = choose_union_member(state, annotation, value);
    if (!member) return forward_error(member);
    state.output.append_content_line(line_signature(state, &*member), path, key, value);
    return check_output_budget(state);
}

// The path of a «path::key» line inside the innermost block. Neighbouring
// lines mostly name the same path in the same block: the path joined for
// the last one is kept, and taken again while both stay the same.
std::string_view qualified_path(CompileState& state, std::string_view path_text) {
    const std::string_view block = current_block_path(state);
    const bool same = state.qualified_block_size == block.size() && path_text == state.qualified_text &&
                      std::string_view(state.path_scratch).starts_with(block);
    if (!same) {
        state.path_scratch.assign(block);
        append_key_path_segments(state.path_scratch, path_text);
        state.qualified_text = path_text;
        state.qualified_block_size = block.size();
    }
    return state.path_scratch;
}

// The canonical spelling of a field's key: the key as written when it holds
// no double quote (only a quoted name is spelled otherwise), else built in
// `respelled`.
std::string_view spelled_key(std::string_view key, std::string& respelled) {
    if (find_first_of_bytes<'"'>(key) == key.size()) return key;
    respelled = normalize_segment(key);
    return respelled;
}

// A field's path inside the innermost block, and its key.
struct FieldName {
    std::string_view path;
    std::string_view key;
};

// The path and key of a field's left side, split at its last "::" outside
// double quotes. Neighbouring lines mostly name the same path in the same
// block: a left side that begins with the path text of the last
// «path::key» line and "::", and whose key holds neither ":" nor a double
// quote, is split right there and takes that line's joined path, as that
// path text ended where a separator outside quotes began.
FieldName field_name(CompileState& state, std::string_view left) {
    const std::string_view block = current_block_path(state);
    const std::string_view known = state.qualified_text;
    const bool same_block =
        state.qualified_block_size == block.size() && std::string_view(state.path_scratch).starts_with(block);
    if (same_block && !known.empty() && left.size() > known.size() + 2 && left[known.size()] == ':' &&
        left[known.size() + 1] == ':' && left.starts_with(known)) {
        const std::string_view key = left.substr(known.size() + 2);
        if (find_first_of_bytes<':', '"'>(key) == key.size()) return {state.path_scratch, key};
    }
    const auto separator = find_namespace_separator(left);
    if (!separator) return {block, left};
    return {qualified_path(state, left.substr(0, *separator)), left.substr(*separator + 2)};
}

Result<void> write_field(CompileState& state, std::string_view left, std::string_view value) {
    if (state.pending_annotation && std::string_view(state.pending_annotation->name) == "map") {
        return write_map_entries(state, left, value);
    }
    const auto [path, key] = field_name(state, left);
    // A value without variables is written as it is.
    const bool plain = state.verbatim || find_first_of_bytes<'$'>(value) == value.size();
    std::string respelled;
    const std::string_view spelled = spelled_key(key, respelled);
    if (plain) return emit_typed_field(state, path, spelled, value);
    const Annotation* annotation = state.pending_annotation.get();
    const bool union_member_chosen_by_value = annotation != nullptr && !annotation->alternatives.empty();
    if (union_member_chosen_by_value) {
        auto expanded = expand_variables(state, value, state.value_scratch);
        if (!expanded) return forward_error(expanded);
        return emit_typed_field(state, path, spelled, *expanded);
    }
    // A value with variables goes straight into the output, so that a long
    // expansion is built once, where it stays.
    auto bytes = measure_expansion(state, value);
    if (!bytes) return forward_error(bytes);
    if (auto deep = check_path_depth(path); !deep) return deep;
    append_signature(state, annotation);
    std::string& out = append_line_head(state, path, spelled);
    out.reserve(out.size() + *bytes + 1);
    append_expansion(state, value, out);
    state.output.end_line();
    return check_output_budget(state);
}

Result<void> compile_content_form(CompileState& state, std::string_view left_text, std::string_view value) {
    const ContentLeft left = classify_left(left_text);
    switch (left.form) {
        case ContentForm::RecordAppend:
        case ContentForm::RecordListAppend: return define_record_variable(state, left, value);
        case ContentForm::TextVariable:
            return define_variable(state, state.text_variables, left.text, value, expand_text_variable_definition);
        case ContentForm::SplatVariable:
            return define_variable(state, state.splat_variables, left.text, value, splat_variable_value);
        case ContentForm::RecordEntry: return write_record_entry(state, left.text, value);
        case ContentForm::ScalarAppend:
        case ContentForm::ScalarList: return write_scalar_entries(state, left, value);
        case ContentForm::SplatAssignment: return write_splat_assignment(state, left.text, value);
        // A field's text is its whole left side.
        case ContentForm::Field: return write_field(state, left_text, value);
    }
    return {};
}

// Most left sides hold neither an apostrophe nor a double quote: one scan
// for both settles them.
bool has_unquoted_apostrophe(std::string_view left) {
    const std::size_t stop = find_first_of_bytes<'\'', '"'>(left);
    return stop < left.size() && (left[stop] == '\'' || find_unquoted(left, '\'', stop));
}

Result<void> compile_content_line(CompileState& state, const Line& line) {
    state.content_seen = true;
    if (has_unquoted_apostrophe(line.left())) return std::unexpected(invalid_key(state));
    auto compiled = compile_content_form(state, line.left(), line.value);
    if (compiled) take_pending_annotation(state);
    return compiled;
}

Result<void> compile_splat_line(CompileState& state, std::string_view name) {
    state.content_seen = true;
    if (state.verbatim) return std::unexpected(app_error(AppErrorKind::VerbatimContext));
    if (state.blocks.empty()) return std::unexpected(app_error(AppErrorKind::VariableContext));
    const auto found = state.splat_variables.find(name);
    if (found == state.splat_variables.end()) return std::unexpected(app_error(AppErrorKind::UndefinedReference));
    const std::string path(current_block_path(state));
    if (auto fits = reserve_lines(state, found->second.size(), path); !fits) return fits;
    for (const auto& item : found->second) {
        if (auto written = emit_content_line(state, path, item.key, item.value); !written) return written;
    }
    take_pending_annotation(state);
    return {};
}

// ---- Declaration lines ----

// The kind word a declaration names: ".!" + a kind word, followed by the end
// of the line, a blank or a tab.
std::optional<std::string_view> declared_kind(std::string_view text) {
    if (!text.starts_with(".!")) return std::nullopt;
    const std::string_view word = leading_alnum_word(text.substr(2));
    const std::string_view rest = text.substr(2 + word.size());
    if (!is_kind_word(word) || !(rest.empty() || is_blank_or_tab(rest.front()))) return std::nullopt;
    return word;
}

// The text after a directive word, trimmed of blanks and tabs at both ends.
std::string_view directive_argument(std::string_view text, std::string_view directive) {
    return trim_blanks(text.substr(directive.size()));
}

void add_import(std::vector<std::string>& imports, std::string_view argument) {
    if (!argument.empty()) imports.emplace_back(argument);
}

Result<void> switch_on_verbatim(CompileState& state, std::string_view text) {
    if (!directive_argument(text, ".!verbatim").empty() || state.verbatim || state.content_seen) {
        return std::unexpected(Error::App(AppErrorKind::VerbatimContext));
    }
    state.verbatim = true;
    return {};
}

// A declaration line (the whole line without leading blanks and tabs): the
// document's own declaration is dropped, a foreign kind refused, ".!types"
// imports stored, ".!units", ".!verbatim" and ".!registry" stored and
// written, every other directive written unchanged.
Result<void> compile_declaration(CompileState& state, std::string_view text) {
    if (const auto kind = declared_kind(text)) {
        if (*kind == "bezo") return {};
        return std::unexpected(Error::Lex(LexErrorKind::FormatKind, state.current_line));
    }
    if (text.starts_with(".!types")) {
        // Every "&name" looks through the imported libraries, and a library
        // imported again adds no type, so a repeated import is dropped.
        const std::string_view library = directive_argument(text, ".!types");
        if (state.types_seen.emplace(library).second) add_import(state.types_imports, library);
        return {};
    }
    // The units of the annotations checked so far were checked against the
    // modules these lines name.
    if (text.starts_with(".!units") || text.starts_with(".!registry")) state.recent_annotations.forget();
    if (text.starts_with(".!units")) {
        add_import(state.units_imports, directive_argument(text, ".!units"));
    } else if (text.starts_with(".!verbatim")) {
        if (auto switched = switch_on_verbatim(state, text); !switched) return switched;
    } else if (text.starts_with(".!registry")) {
        if (auto entry = parse_registry_pair(text.substr(10))) state.registry.push_back(std::move(*entry));
    }
    state.output.append_line(text);
    return {};
}

}  // namespace

Result<std::vector<std::string>> parse_path(std::string_view text) {
    while (text.starts_with('/')) text.remove_prefix(1);
    if (find_namespace_separator(text)) return fail(std::string(kSeparatorInPath));
    const auto segments = split_path(text);
    return normalize_segments(segments);
}

Result<void> emit_typed_field(CompileState& state, std::string_view path, std::string_view key,
                              std::string_view value) {
    if (auto deep = check_path_depth(path); !deep) return deep;
    const Annotation* annotation = state.pending_annotation.get();
    if (annotation != nullptr && !annotation->alternatives.empty()) {
        return emit_union_field(state, *annotation, path, key, value);
    }
    state.output.append_content_line(line_signature(state, annotation), path, key, value);
    return check_output_budget(state);
}

Result<void> emit_content_line(CompileState& state, std::string_view path, std::string_view key,
                               std::string_view value) {
    const bool list_key = key.size() > 2 && key.front() == '@' && (key.back() == '+' || key.back() == ';');
    if (!list_key) return emit_typed_field(state, path, normalize_key(key), value);
    std::string array_path(path);
    array_path += "/@";
    array_path += normalize_key(key.substr(1, key.size() - 2));
    std::uint64_t& next_index = entry_counter(state, array_path);
    auto append_entry = [&](std::string_view entry) {
        const std::string index = decimal_text(next_index++);
        return emit_typed_field(state, array_path, index, entry);
    };
    if (key.back() == '+') return append_entry(value);
    if (auto fits = reserve_lines(state, count_byte(value, ';') + 1, array_path); !fits) return fits;
    return for_each_piece(value, ';', append_entry);
}

Result<void> emit_splat_lines(CompileState& state, std::string_view path, std::string_view value) {
    auto items = splat_variable_value(state, value);
    if (!items) return forward_error(items);
    if (auto fits = reserve_lines(state, items->size(), path); !fits) return fits;
    for (const auto& item : *items) {
        if (auto written = emit_content_line(state, path, item.key, item.value); !written) return written;
    }
    return {};
}

Result<void> compile_line(CompileState& state, const Line& line) {
    switch (line.kind) {
        case LineKind::Blank:
        case LineKind::Comment:
        case LineKind::Doc: return compile_trivia_line(state);
        case LineKind::Decl: return compile_declaration(state, line.text);
        case LineKind::SectionOpen: return open_section(state, line.text);
        case LineKind::SectionClose: close_block(state, BlockKind::Section); return {};
        case LineKind::NsOpen: return open_namespace(state, line.text);
        case LineKind::NsClose: close_block(state, BlockKind::Namespace); return {};
        case LineKind::Content: return compile_content_line(state, line);
        case LineKind::Meta: return compile_meta_line(state, line.text);
        case LineKind::VarSplat: return compile_splat_line(state, line.text);
    }
    return {};
}

}  // namespace bezo
