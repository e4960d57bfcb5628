#include "schema/schema_compiler.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <variant>
#include <vector>

#include "core/fault.hpp"
#include "core/hash.hpp"
#include "core/text.hpp"
#include "lang/anno.hpp"
#include "lang/canonical_line.hpp"
#include "lang/lexer.hpp"
#include "lang/path.hpp"
#include "lang/table.hpp"
#include "lang/unit.hpp"
#include "schema/check.hpp"
#include "schema/compiled.hpp"
#include "schema/inherit.hpp"
#include "schema/rex_compile.hpp"
#include "schema/types.hpp"

namespace bezo {
namespace {

// A schema may have at most this many ancestors above it.
constexpr std::size_t kMaxAncestors = 8;

std::unexpected<Error> app_error(AppErrorKind kind) { return std::unexpected(Error::App(kind)); }
std::unexpected<Error> invalid_constraint(std::uint64_t line) {
    return std::unexpected(Error::Lex(LexErrorKind::InvalidConstraint, line));
}
// The canonical segments of a path text less one leading "/".
std::vector<std::string> path_segments(std::string_view text) {
    if (text.starts_with('/')) text.remove_prefix(1);
    const auto pieces = split_path(text);
    return normalize_segments(pieces);
}

constexpr std::string_view kBlanks = " \t";

// ".!hezo [version] name words" becomes ".!whezo name words": the version
// is dropped, every other word kept.
std::string compiled_header_line(std::string_view payload) {
    constexpr std::string_view kKind = ".!hezo";
    const auto words = split_words(payload.substr(kKind.size()), kAsciiWhitespace);
    std::string line = ".!whezo";
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i == 0 && parse_version(words[i])) continue;
        line.append(" ").append(words[i]);
    }
    return line;
}

// The rest of the first blank-separated word of a block head that begins
// with "schema:": the delegated names, separated by "|". Quotes do not
// matter here: the reader of compiled text splits the names at every "|".
std::optional<std::string_view> delegation_list(std::string_view payload) {
    constexpr std::string_view kSchema = "schema:";
    for (std::string_view word : split_words(payload, kBlanks)) {
        if (word.starts_with(kSchema)) return word.substr(kSchema.size());
    }
    return std::nullopt;
}

// The distinct module names of ".!types" or ".!units" lines, in the order
// first given. A module named again adds nothing, so it is not consulted
// again by every later line that reads the imports.
struct ModuleImports {
    std::vector<std::string> names;
    TextSet seen;

    void add(std::string_view rest) {
        rest = trim_blanks(rest);
        if (!rest.empty() && seen.emplace(rest).second) names.emplace_back(rest);
    }
};

bool has_empty_or_repeated_name(std::span<const std::string_view> names) {
    TextSet seen;
    return std::ranges::any_of(names,
                               [&](std::string_view name) { return name.empty() || !seen.emplace(name).second; });
}

bool is_lone_pattern(std::span<const AnnotationItem> items) {
    if (items.size() != 1) return false;
    const auto* constraint = std::get_if<Constraint>(&items.front().value);
    return constraint != nullptr && std::holds_alternative<Constraint::Pattern>(constraint->value);
}

// Whether an annotation item names "null", as itself or as an alternative.
bool names_null(std::span<const AnnotationItem> items) {
    return std::ranges::any_of(items, [](const AnnotationItem& item) {
        const auto* annotation = std::get_if<Annotation>(&item.value);
        return annotation != nullptr &&
               (annotation->name == "null" ||
                std::ranges::any_of(annotation->alternatives,
                                    [](const Alternative& alternative) { return alternative.name == "null"; }));
    });
}

// The constraints of an annotation-line text, which must hold nothing else.
Result<std::vector<Constraint>> constraint_items(std::string_view items_text, std::string_view line,
                                                 std::string_view bad_line, std::string_view wrong_item) {
    auto items = split_annotation_line(items_text);
    if (!items) return fail(std::string(bad_line) + quoted_excerpt(line));
    std::vector<Constraint> constraints;
    for (auto& item : *items) {
        auto* constraint = std::get_if<Constraint>(&item.value);
        if (constraint == nullptr) return fail(std::string(wrong_item) + quoted_excerpt(line));
        constraints.push_back(std::move(*constraint));
    }
    return constraints;
}

// A map annotation names only the type of its entries.
Result<void> check_plain_map_annotation(const Annotation& annotation) {
    if (annotation.unit || !annotation.constraints.empty() || !annotation.alternatives.empty()) {
        return fail("a map annotation admits neither a unit nor inline constraints");
    }
    return {};
}

// A field's lowered items as written on its line and as read back.
struct FieldItems {
    std::string metadata;
    std::vector<AnnotationItem> items;
};

// Joins lowered item texts and reads them back. A pattern that does not
// compile or a collation tag that is not valid is refused with the line.
Result<FieldItems> read_lowered_items(const std::vector<std::string>& texts, std::uint64_t refusal_line) {
    FieldItems field;
    for (const auto& text : texts) {
        if (!field.metadata.empty()) field.metadata += ' ';
        field.metadata += text;
    }
    auto items = split_annotation_line(field.metadata);
    if (!items) return fail("bad lowered items: " + quoted_excerpt(field.metadata));
    if (!check_lex_locales(*items)) return invalid_constraint(refusal_line);
    field.items = std::move(*items);
    return field;
}

// A parent schema compiled once per call: its lines as a child takes them,
// the names of every schema above it, and the length of its longest chain of
// ancestors (0 when it names no parent).
struct CompiledParent {
    std::vector<std::string> lines;
    TextSet ancestors;
    std::size_t height = 0;
};

// What the runs of one compilation share: the names of the parents being
// compiled (outermost first), the parents compiled so far by name and text,
// the budget of loaded, merged and written text, and the compiled patterns.
struct Inheritance {
    std::vector<std::string> stack;
    TextMap<CompiledParent> parents;
    MergeBudget budget;
    PatternCache patterns;
};

// A compiled text with the inheritance facts its parent cache entry needs.
struct RunOutput {
    std::string text;
    // The text as the compiled-schema reader reads it, when asked for; else
    // the text was only checked by that reader.
    std::optional<CompiledSchema> schema;
    TextSet ancestors;
    std::size_t height = 0;
};

Result<RunOutput> lower_schema_lines(std::string_view text, Resolver& resolver, Inheritance& inheritance,
                                     bool keep_schema, Utf8State utf8 = Utf8State::Unchecked);

// The output lines of one run and the keys they were written under, held
// flat: every line's text in one append-only buffer, and per key its place
// in that buffer and what the run knows of it, in an open-addressing table.
// A schema of many short fields then costs a few dozen bytes a field. A
// line replaced in place leaves its old text in the buffer, where the keys
// that were read from it keep pointing; the output is joined from the live
// lines only when some line was replaced.
class OutputLines {
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    struct KeyState {
        std::uint32_t key_start = 0;
        std::uint32_t key_size = 0;
        // The line merged from a parent under the key, replaced in place by
        // a later line under the same key.
        std::uint32_t parent_line = kNone;
        // The text itself wrote a line under the key.
        bool own = false;
        // The key is the path of one of the text's own fields that no
        // parent gave.
        bool own_field = false;
    };

    // Room for about this many lines and keys (one per line of the
    // authored text), so that the lists do not grow by doubling.
    void reserve(std::size_t lines) {
        spans_.reserve(lines);
        states_.reserve(lines);
    }

    // A state of the key, or null when no line was written under it.
    const KeyState* find(std::string_view key) const {
        if (slots_.empty()) return nullptr;
        const std::uint32_t* slot = slot_of(key);
        return *slot == 0 ? nullptr : &states_[*slot - 1];
    }

    // Writes the line under its key, which stands in the line at
    // `key_start`: in place of the line a parent gave under the key, or at
    // the end (where a parent's line becomes the key's parent line).
    KeyState& write(std::string_view line, std::size_t key_start, std::size_t key_size, bool from_parent) {
        const std::uint32_t start = append_text(line);
        const std::string_view key = std::string_view(buffer_).substr(start + key_start, key_size);
        KeyState& state = state_of(key, start + key_start);
        const Span span{start, static_cast<std::uint32_t>(line.size())};
        if (state.parent_line != kNone) {
            spans_[state.parent_line] = span;
            rewritten_ = true;
        } else {
            if (from_parent) state.parent_line = static_cast<std::uint32_t>(spans_.size());
            spans_.push_back(span);
        }
        return state;
    }

    // Appends a line that no key merges.
    void append(std::string_view line) {
        spans_.push_back(Span{append_text(line), static_cast<std::uint32_t>(line.size())});
    }

    // Every live line followed by one line feed.
    std::string take_text() {
        if (!rewritten_) return std::move(buffer_);
        std::size_t size = 0;
        for (const Span& span : spans_) size += span.size + 1;
        std::string text;
        text.reserve(size);
        for (const Span& span : spans_) text.append(buffer_, span.start, span.size).append("\n");
        return text;
    }

private:
    struct Span {
        std::uint32_t start;
        std::uint32_t size;
    };

    // Each line is followed by its line feed, so that a buffer whose lines
    // were never replaced is the output as it stands. The merge budget
    // bounds the buffer far below 4 GiB, so 32-bit offsets hold.
    std::uint32_t append_text(std::string_view line) {
        const std::size_t start = buffer_.size();
        if (start + line.size() + 1 > UINT32_MAX) raise_fault("compiled schema output beyond 4 GiB");
        buffer_.append(line).append("\n");
        return static_cast<std::uint32_t>(start);
    }

    std::string_view key_text(const KeyState& state) const {
        return std::string_view(buffer_).substr(state.key_start, state.key_size);
    }

    // The slot that holds the key's state, or the empty slot where it would
    // go. The table is never more than half full.
    std::uint32_t* slot_of(std::string_view key) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = KeyedTextHash{}(key)&mask;; at = (at + 1) & mask) {
            const std::uint32_t slot = slots_[at];
            if (slot == 0 || key_text(states_[slot - 1]) == key) return const_cast<std::uint32_t*>(&slots_[at]);
        }
    }

    KeyState& state_of(std::string_view key, std::size_t key_start) {
        if (2 * (states_.size() + 1) > slots_.size()) grow();
        std::uint32_t* slot = slot_of(key);
        if (*slot == 0) {
            states_.push_back(KeyState{static_cast<std::uint32_t>(key_start), static_cast<std::uint32_t>(key.size())});
            *slot = static_cast<std::uint32_t>(states_.size());
        }
        return states_[*slot - 1];
    }

    void grow() {
        slots_.assign(std::max<std::size_t>(16, 2 * slots_.size()), 0);
        for (std::size_t i = 0; i < states_.size(); ++i)
            *slot_of(key_text(states_[i])) = static_cast<std::uint32_t>(i + 1);
    }

    std::string buffer_;
    std::vector<Span> spans_;
    std::vector<KeyState> states_;
    std::vector<std::uint32_t> slots_;  // 0: empty, else the index of a state plus one
    bool rewritten_ = false;
};

// One "(...)" block.
struct Block {
    std::optional<TableHead> head;  // a map head: min and max only
    std::size_t enclosing_path_length = 0;
    std::uint64_t line = 0;
    bool key_line_written = false;
    bool has_child = false;
    bool delegated = false;
};

// The state of compiling one authored text.
class SchemaRun {
public:
    SchemaRun(Resolver& resolver, Inheritance& inheritance, bool keep_schema)
        : resolver_(resolver), inheritance_(inheritance), keep_schema_(keep_schema) {}

    // The text is lexed twice rather than held as lines: once to find a
    // lexer failure, which wins over every other, then line by line as the
    // lines are lowered.
    Result<RunOutput> run(std::string_view text, Utf8State utf8) {
        if (auto lexed = check_lexes(text, utf8); !lexed) return forward_error(lexed);
        if (const auto declaration = check_format_declaration(text, "hezo"); !declaration.accepted) {
            return std::unexpected(Error::Lex(LexErrorKind::FormatKind, declaration.line));
        }
        // The first lexing found the text UTF-8.
        auto lexer = lex_lines(text, LexMode::Schema, Utf8State::Valid);
        if (!lexer) return std::unexpected(Error(lexer.error()));
        output_.reserve(count_byte(text, '\n'));
        while (!lexer->done()) {
            auto line = lexer->next();
            if (!line) return std::unexpected(Error(line.error()));
            if (auto done = lower_line(*line); !done) return forward_error(done);
        }
        return finish();
    }

private:
    static Result<void> check_lexes(std::string_view text, Utf8State utf8) {
        auto lexer = lex_lines(text, LexMode::Schema, utf8);
        if (!lexer) return std::unexpected(Error(lexer.error()));
        while (!lexer->done()) {
            if (auto line = lexer->next(); !line) return std::unexpected(Error(line.error()));
        }
        return {};
    }

    Result<void> lower_line(const Line& line) {
        switch (line.kind) {
            case LineKind::Blank:
            case LineKind::Comment:
            case LineKind::Doc: return {};
            case LineKind::Decl: return declaration(line.text);
            case LineKind::SectionOpen: return open_section(line.text, line.line);
            case LineKind::SectionClose: open_section_.reset(); return {};
            case LineKind::NsOpen: return open_block(line.text, line.line);
            case LineKind::NsClose: return close_block(line.line);
            case LineKind::Content: return content_line(line);
            case LineKind::Meta: return annotation_line(line.text);
            case LineKind::VarSplat: break;
        }
        raise_fault("the schema lexer produced a variable splat line");
    }

    // ---- header directives ------------------------------------------------

    Result<void> declaration(std::string_view payload) {
        if (payload.size() < 6) return {};
        if (payload.starts_with(".!hezo")) {
            return append_own_line(compiled_header_line(payload));
        } else if (payload.size() >= 12 && payload.starts_with(".!provenance")) {
            return append_own_line(std::string(payload));
        } else if (payload.starts_with(".!schema")) {
            return inherit(payload);
        } else if (payload.starts_with(".!types")) {
            type_imports_.add(payload.substr(7));
        } else if (payload.starts_with(".!units")) {
            unit_imports_.add(payload.substr(7));
        } else if (payload.starts_with(".!registry")) {
            if (auto entry = parse_registry_pair(payload.substr(10))) {
                registered_namespaces_.insert(entry->ns);
                registry_.push_back(std::move(*entry));
            }
        }
        return {};
    }

    // ---- inheritance -------------------------------------------------------

    Result<void> inherit(std::string_view payload) {
        const auto directive = parse_schema_directive(payload.substr(8));
        if (!directive) return fail("bad .!schema: " + quoted_excerpt(payload));
        const std::string& name = directive->name;
        if (std::ranges::find(inheritance_.stack, name) != inheritance_.stack.end()) {
            return app_error(AppErrorKind::SchemaInheritanceCycle);
        }
        if (inheritance_.stack.size() >= kMaxAncestors) return fail("schema inheritance too deep");
        if (is_web_location(name)) return app_error(AppErrorKind::SchemaResolution);
        // A parent's text comes from a registry file: what its errors quote
        // of it is cut to an excerpt.
        auto parent = named_parent(name);
        if (!parent) return std::unexpected(with_excerpted_message(std::move(parent.error())));
        auto merged = merge_parent_lines((*parent)->lines, directive->path);
        if (!merged) return std::unexpected(with_excerpted_message(std::move(merged.error())));
        return merged;
    }

    // The parent a name reaches. A name this text named before reaches the
    // same schema unless a registry entry for its namespace came since,
    // where none was before (the first entry that matches decides), so it
    // is neither loaded nor looked up again.
    Result<const CompiledParent*> named_parent(const std::string& name) {
        const bool registered = registered_namespaces_.contains(std::string_view(name).substr(0, name.find('/')));
        const auto found = named_parents_.find(name);
        if (found != named_parents_.end() && (found->second.registered || !registered)) return found->second.parent;
        auto text = resolver_.load_module_text(name, registry_, "hezo");
        if (!text) return forward_error(text);
        if (auto charged = inheritance_.budget.charge(text->size()); !charged) return forward_error(charged);
        auto parent = compiled_parent(name, *text);
        if (!parent) return forward_error(parent);
        named_parents_.insert_or_assign(name, NamedParent{*parent, registered});
        ancestors_.insert(name);
        ancestors_.insert((*parent)->ancestors.begin(), (*parent)->ancestors.end());
        height_ = std::max(height_, (*parent)->height + 1);
        return *parent;
    }

    // The parent's lines, compiled now or taken from the call's cache. A
    // cached parent is compiled under another stack: its cycle and depth
    // checks are made again against this one.
    Result<const CompiledParent*> compiled_parent(const std::string& name, std::string_view text) {
        std::string key = name;
        key.append("\n").append(text);
        auto& stack = inheritance_.stack;
        if (const auto found = inheritance_.parents.find(key); found != inheritance_.parents.end()) {
            const CompiledParent& parent = found->second;
            if (std::ranges::any_of(stack, [&](const std::string& held) { return parent.ancestors.contains(held); })) {
                return app_error(AppErrorKind::SchemaInheritanceCycle);
            }
            if (stack.size() + parent.height >= kMaxAncestors) return fail("schema inheritance too deep");
            return &parent;
        }
        stack.push_back(name);
        auto compiled = lower_schema_lines(text, resolver_, inheritance_, false);
        stack.pop_back();
        if (!compiled) return forward_error(compiled);
        CompiledParent parent{{}, std::move(compiled->ancestors), compiled->height};
        for (std::string_view rest = compiled->text; !rest.empty();) {
            const std::string_view line = take_line(rest);
            if (!line.empty() && !line.starts_with(".!") && !line.starts_with(".?")) parent.lines.emplace_back(line);
        }
        return &inheritance_.parents.insert_or_assign(std::move(key), std::move(parent)).first->second;
    }

    // Merges a parent's lines under their keys, re-rooted under the
    // directive's path. A key the child's own lines wrote keeps the child's
    // line: a parent named after the child's field does not add a second
    // line for the same path.
    Result<void> merge_parent_lines(const std::vector<std::string>& lines, const std::optional<std::string>& path) {
        const bool element_scope = path && is_element_scope(*path);
        for (const std::string& line : lines) {
            std::string rerooted_line;
            if (path) {
                auto rerooted = reroot_inherited_line(line, *path, element_scope);
                if (!rerooted) return forward_error(rerooted);
                rerooted_line = std::move(*rerooted);
            }
            const std::string_view merged = path ? std::string_view(rerooted_line) : std::string_view(line);
            if (auto charged = inheritance_.budget.charge(merged.size()); !charged) return charged;
            const std::string_view key = inherited_line_key(merged);
            const OutputLines::KeyState* state = output_.find(key);
            if (state == nullptr || !state->own) {
                output_.write(merged, static_cast<std::size_t>(key.data() - merged.data()), key.size(), true);
            }
        }
        return {};
    }

    // ---- sections and blocks ----------------------------------------------

    // The checks that every section, block and field makes of the
    // innermost block.
    Result<void> check_innermost_block(std::uint64_t line) {
        if (blocks_.empty()) return {};
        Block& block = blocks_.back();
        if (block.delegated) return app_error(AppErrorKind::SchemaDelegation);
        if (block.key_line_written) return invalid_constraint(line);
        block.has_child = true;
        return {};
    }

    // The block path followed by the segments: "/a/b".
    std::string path_under_blocks(std::span<const std::string> segments) const {
        std::string path = block_path_;
        for (const auto& segment : segments) path.append("/").append(segment);
        return path;
    }

    Result<void> open_section(std::string_view payload, std::uint64_t line) {
        if (auto checked = check_innermost_block(line); !checked) return checked;
        if (open_section_) return fail("nested schema section blocks are not supported");
        const auto fields = split_fields(payload);
        std::string path = path_under_blocks(path_segments(fields.front()));
        TableHead head;
        if (fields.size() > 1) {
            auto parsed = parse_section_head_args(std::span(fields).subspan(1));
            if (!parsed) return fail("bad table header: " + quoted_excerpt(payload));
            head = std::move(*parsed);
        }
        if (auto written = write_own_line(path + " " + render_head_items(head), 0, path.size()); !written) {
            return written;
        }
        open_section_ = std::move(path);
        return {};
    }

    // Opens a block: its segments extend the block path in place, so deep
    // nesting costs no copy of the path per level.
    Result<void> open_block(std::string_view payload, std::uint64_t line) {
        if (auto checked = check_innermost_block(line); !checked) return checked;
        const auto fields = split_fields(payload);
        const auto delegated = delegation_list(payload);
        Block block{std::nullopt, block_path_.size(), line};
        if (delegated) {
            if (fields.size() != 2 || has_empty_or_repeated_name(split_at(*delegated, '|'))) {
                return app_error(AppErrorKind::SchemaDelegation);
            }
            block.delegated = true;
        } else if (fields.size() > 1) {
            auto head = parse_section_head_args(std::span(fields).subspan(1));
            if (!head || !head->groups.empty()) return fail("bad map-block header: " + quoted_excerpt(payload));
            block.head = std::move(*head);
        }
        for (const auto& segment : path_segments(fields.front())) block_path_.append("/").append(segment);
        blocks_.push_back(std::move(block));
        if (delegated) return append_own_line(block_path_ + " [schema::" + std::string(*delegated) + "]");
        return {};
    }

    // A map head whose key line never came is refused at the line given:
    // the closing line, or the head's own line for a block still open at
    // the end.
    Result<void> close_block(std::uint64_t line) {
        if (blocks_.empty()) return {};
        const Block block = std::move(blocks_.back());
        blocks_.pop_back();
        block_path_.resize(block.enclosing_path_length);
        if (block.head && !block.key_line_written) return invalid_constraint(line);
        return {};
    }

    // ---- annotation lines ---------------------------------------------------

    Result<void> annotation_line(std::string_view text) {
        if (!blocks_.empty() && blocks_.back().delegated) return app_error(AppErrorKind::SchemaDelegation);
        if (text.starts_with('!')) return pend_annotation(text);
        if (text.starts_with('&')) return pend_named_type(text);
        auto constraints = constraint_items(
            text, text, "bad constraint line: ", "only value-constraint items may appear on a bare constraint line: ");
        if (!constraints) return forward_error(constraints);
        pending_ = Annotation{};
        pending_->constraints = std::move(*constraints);
        return {};
    }

    Result<void> pend_annotation(std::string_view text) {
        auto annotation = parse_annotation(text);
        if (!annotation) return fail("bad annotation: " + quoted_excerpt(text));
        if (annotation->unit) {
            auto names = user_unit_names();
            if (!names) return forward_error(names);
            if (!is_known_unit(*annotation->unit, **names)) {
                return fail("unknown unit '" + quoted_excerpt(*annotation->unit) +
                            "' (not built-in, not defined by any .!units import)");
            }
        }
        pending_ = std::move(*annotation);
        return {};
    }

    // The units of every ".!units" module imported so far. A module's units
    // join the set when an annotation first needs them, and stay.
    Result<const UnitNames*> user_unit_names() {
        for (; units_loaded_ < unit_imports_.names.size(); ++units_loaded_) {
            auto defined = resolver_.load_unit_module(unit_imports_.names[units_loaded_], registry_);
            if (!defined) return forward_error(defined);
            unit_names_.merge(*defined);
        }
        return &unit_names_;
    }

    // "&name items": a named type of an imported library with constraints.
    Result<void> pend_named_type(std::string_view text) {
        const std::string_view rest = text.substr(1);
        const std::string_view name = rest.substr(0, rest.find_first_of(" \t"));
        auto qualified = resolver_.qualify_type_name(name, type_imports_.names, registry_);
        if (!qualified) return forward_error(qualified);
        auto constraints = constraint_items(trim_blanks(rest.substr(name.size())), text, "bad annotation items: ",
                                            "only constraint items may follow &" + quoted_excerpt(name) + ": ");
        if (!constraints) return forward_error(constraints);
        pending_ = Annotation{};
        pending_->name = std::move(*qualified);
        pending_->constraints = std::move(*constraints);
        return {};
    }

    Annotation take_pending() {
        Annotation taken = pending_ ? std::move(*pending_) : Annotation{};
        pending_.reset();
        return taken;
    }

    // ---- fields ---------------------------------------------------------------

    Result<void> content_line(const Line& line) {
        if (!blocks_.empty() && blocks_.back().delegated) return app_error(AppErrorKind::SchemaDelegation);
        if (!blocks_.empty() && blocks_.back().key_line_written) return invalid_constraint(line.line);
        if (line.value.empty()) {
            if (auto items = split_annotation_line(line.left()); items && is_lone_pattern(*items)) {
                return key_line(std::get<Constraint::Pattern>(std::get<Constraint>(items->front().value).value),
                                line.line);
            }
        }
        if (!blocks_.empty()) blocks_.back().has_child = true;
        const Annotation annotation = take_pending();
        std::string_view left = line.left();
        if (left.ends_with(';')) return map_list_field(annotation, left.substr(0, left.size() - 1));
        const bool optional = left.ends_with('?');
        if (optional) left.remove_suffix(1);
        if (!open_section_ && annotation.name == "map") return map_field(annotation, left, optional, line.value);
        auto lowered = lower_field_type(annotation, resolver_, registry_);
        if (!lowered) return forward_error(lowered);
        return write_field(field_path(left), optional, *lowered, line.value);
    }

    // The path of an ordinary field: under the open section, or the key
    // path of `left` under the open blocks.
    std::string field_path(std::string_view left) const {
        if (open_section_) return *open_section_ + "/::" + normalize_segment(left);
        const KeyPath key_path = parse_key_path(left);
        std::string path = path_under_blocks(key_path.segments);
        return path + "::" + key_path.key;
    }

    // "@list;=": every entry of the list is typed by the annotation.
    Result<void> map_list_field(const Annotation& annotation, std::string_view left) {
        auto lowered = lower_field_type(annotation, resolver_, registry_);
        if (!lowered) return forward_error(lowered);
        auto items = read_lowered_items(lowered->items, 0);
        if (!items) return forward_error(items);
        const std::string path = path_under_blocks(path_segments(left)) + "::";
        if (auto claimed = claim_field_path(path); !claimed) return claimed;
        return write_field_line(items->metadata, path, "=");
    }

    // "!map<T>" above a field: a map whose entries have type T.
    Result<void> map_field(const Annotation& annotation, std::string_view left, bool optional, std::string_view value) {
        if (auto plain = check_plain_map_annotation(annotation); !plain) return plain;
        Annotation entry;
        entry.name = annotation.entry_type.value_or(std::string(default_type_name()));
        auto lowered = lower_field_type(entry, resolver_, registry_);
        if (!lowered) return forward_error(lowered);
        KeyPath key_path = parse_key_path(left);
        key_path.segments.push_back(std::move(key_path.key));
        return write_field(path_under_blocks(key_path.segments) + "::", optional, *lowered, value);
    }

    // Writes a field line with its default: the authored value when it
    // satisfies the items, else the first candidate of the type that does,
    // else empty (refused for an optional field that cannot be empty).
    Result<void> write_field(const std::string& path, bool optional, const LoweredType& lowered,
                             std::string_view value) {
        auto field = read_lowered_items(lowered.items, 0);
        if (!field) return forward_error(field);
        std::string_view default_value = value;
        if (!satisfies_constraints(field->items, value, inheritance_.patterns)) {
            const auto candidate = std::ranges::find_if(lowered.candidates, [&](const std::string& text) {
                return satisfies_constraints(field->items, text, inheritance_.patterns);
            });
            if (candidate != lowered.candidates.end()) {
                default_value = *candidate;
            } else if (optional && !satisfies_constraints(field->items, "", inheritance_.patterns) &&
                       !path.ends_with("::") && !names_null(field->items)) {
                return app_error(AppErrorKind::SchemaOptionalWithoutDefault);
            } else {
                default_value = {};
            }
        }
        if (auto claimed = claim_field_path(path); !claimed) return claimed;
        return write_field_line(field->metadata, path, optional ? "?=" : "=", default_value);
    }

    // A pattern with an empty value inside a map head block: the pattern of
    // the block's keys; the annotation above it types the entry values.
    Result<void> key_line(const Constraint::Pattern& pattern, std::uint64_t line) {
        if (blocks_.empty() || blocks_.back().has_child) return invalid_constraint(line);
        if (pending_ && pending_->name == "map") {
            return fail("the annotation above a map key line types the entry values; !map<…> has no place there");
        }
        const Annotation annotation = take_pending();
        if (!rex_compile(pattern.text)) return invalid_constraint(line);
        auto lowered = lower_field_type(annotation, resolver_, registry_);
        if (!lowered) return forward_error(lowered);
        auto items = read_lowered_items(lowered->items, line);
        if (!items) return forward_error(items);
        Block& block = blocks_.back();
        TableHead head = block.head.value_or(TableHead{});
        head.key_pattern = pattern.text;
        if (auto written = write_own_line(block_path_ + " " + render_head_items(head), 0, block_path_.size());
            !written) {
            return written;
        }
        const std::string path = block_path_ + "::";
        if (auto claimed = claim_field_path(path); !claimed) return claimed;
        block.key_line_written = true;
        return write_field_line(items->metadata, path, "=");
    }

    // A path the text itself gives twice is refused, unless a parent gave
    // it: the child's line then replaces the parent's. The line written
    // next under the path claims it.
    Result<void> claim_field_path(std::string_view path) const {
        const OutputLines::KeyState* state = output_.find(path);
        if (state != nullptr && state->own_field) {
            return app_error(AppErrorKind::SchemaDuplicateKey);
        }
        return {};
    }

    // Appends one of the text's own lines that no key merges: a header or
    // a delegation line. Every line of the output is charged to the call's
    // budget: a long path repeated on many lines multiplies the text.
    Result<void> append_own_line(std::string_view line) {
        if (auto charged = inheritance_.budget.charge(line.size()); !charged) return charged;
        output_.append(line);
        return {};
    }

    // Puts one of the text's own lines in place of a parent's line under the
    // same key (the bytes of the line from `key_start`), or at the end; the
    // key is then the child's. A field's path that no parent gave is
    // claimed.
    Result<void> write_own_line(std::string_view line, std::size_t key_start, std::size_t key_size,
                                bool field = false) {
        if (auto charged = inheritance_.budget.charge(line.size()); !charged) return charged;
        OutputLines::KeyState& state = output_.write(line, key_start, key_size, false);
        state.own = true;
        if (field && state.parent_line == OutputLines::kNone) state.own_field = true;
        return {};
    }

    // "{items}'{path}{equals}{value}", written under its path.
    Result<void> write_field_line(std::string_view items, std::string_view path, std::string_view equals,
                                  std::string_view value = {}) {
        std::string line;
        line.reserve(items.size() + 1 + path.size() + equals.size() + value.size());
        line.append(items).append("'").append(path).append(equals).append(value);
        return write_own_line(line, items.size() + 1, path.size(), true);
    }

    // ---- end ------------------------------------------------------------------

    Result<RunOutput> finish() {
        while (!blocks_.empty()) {
            if (auto closed = close_block(blocks_.back().line); !closed) return forward_error(closed);
        }
        std::string text = output_.take_text();
        if (const auto declaration = check_format_declaration(text, "whezo"); !declaration.accepted) {
            return std::unexpected(Error::Lex(LexErrorKind::FormatKind, declaration.line));
        }
        std::optional<CompiledSchema> schema;
        if (keep_schema_) {
            auto read = parse_compiled_schema(text);
            if (!read) return forward_error(read);
            schema = std::move(*read);
        } else if (auto checked = check_compiled_schema(text); !checked) {
            return forward_error(checked);
        }
        return RunOutput{std::move(text), std::move(schema), std::move(ancestors_), height_};
    }

    Resolver& resolver_;
    Inheritance& inheritance_;
    bool keep_schema_;
    // The output lines and what is known of their keys.
    OutputLines output_;
    std::optional<std::string> open_section_;
    std::vector<Block> blocks_;
    // "/" and the segments of every open block, joined.
    std::string block_path_;
    std::optional<Annotation> pending_;
    ModuleImports type_imports_;
    ModuleImports unit_imports_;
    // The units of the first `units_loaded_` unit imports.
    UnitNames unit_names_;
    std::size_t units_loaded_ = 0;
    std::vector<RegistryEntry> registry_;
    TextSet registered_namespaces_;
    // The parents this text named, and what they bring above it.
    struct NamedParent {
        const CompiledParent* parent;
        bool registered;  // a registry entry of the text served its namespace
    };
    TextMap<NamedParent> named_parents_;
    TextSet ancestors_;
    std::size_t height_ = 0;
};

Result<RunOutput> lower_schema_lines(std::string_view text, Resolver& resolver, Inheritance& inheritance,
                                     bool keep_schema, Utf8State utf8) {
    return SchemaRun(resolver, inheritance, keep_schema).run(text, utf8);
}

}  // namespace

Result<std::string> compile_schema_text(std::string_view text, Resolver& resolver, Utf8State utf8) {
    Inheritance inheritance;
    auto compiled = lower_schema_lines(text, resolver, inheritance, false, utf8);
    if (!compiled) return forward_error(compiled);
    return std::move(compiled->text);
}

Result<CompiledSchema> compile_schema(std::string_view text, Resolver& resolver, Utf8State utf8) {
    Inheritance inheritance;
    auto compiled = lower_schema_lines(text, resolver, inheritance, true, utf8);
    if (!compiled) return forward_error(compiled);
    return std::move(*compiled->schema);
}

}  // namespace bezo
