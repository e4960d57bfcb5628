#include "pipeline/fmt.hpp"

#include <array>
#include <span>

#include "core/text.hpp"
#include "lang/lexer.hpp"
#include "lang/table.hpp"
#include "pipeline/fmt_entries.hpp"

namespace bezo {
namespace {

constexpr std::array<std::string_view, 9> kDeclarationWords{
    ".!bezo", ".!lezo", ".!nezo", ".!pezo", ".!hezo", ".!yezo", ".!gezo", ".!whezo", ".!phezo",
};

// The text without trailing ASCII white space, as comment and "#!" lines
// are written.
std::string_view trim_trailing_whitespace(std::string_view text) {
    return text.substr(0, text.find_last_not_of(kAsciiWhitespace) + 1);
}

// Calls `each` with every segment of a plain path text; false when the text
// is not one.
template <class Each>
bool walk_plain_path(std::string_view text, Each&& each) {
    if (text.find('"') != std::string_view::npos) return false;
    if (text.starts_with('/')) text.remove_prefix(1);
    if (text.empty()) return true;
    while (true) {
        const auto slash = text.find('/');
        const std::string_view piece = text.substr(0, slash);
        const std::string_view name = piece.starts_with('@') ? piece.substr(1) : piece;
        const bool plain = is_plain_identifier(name) || (name.size() == piece.size() && is_ascii_digits(piece));
        if (!plain) return false;
        each(piece);
        if (slash == std::string_view::npos) return true;
        text.remove_prefix(slash + 1);
    }
}

bool holds_dollar(std::string_view text) { return text.find('$') != std::string_view::npos; }

// A "!map" annotation, or "&map" (a type reference names its type up to a
// blank or a tab): the compiler reads its field's key as a path, which must
// then stay a plain key inside its block, never a «path::key» line.
bool is_map_annotation(std::string_view text) {
    if (text.starts_with('&')) return text.substr(1, text.find_first_of(" \t") - 1) == "map";
    if (!text.starts_with("!map")) return false;
    const std::string_view rest = text.substr(4);
    return rest.empty() || !(is_ascii_letter(rest.front()) || is_ascii_digit(rest.front()) || rest.front() == '_' ||
                             rest.front() == '-');
}

// The comment spelling: the marker, then the text without trailing
// whitespace, one blank between them unless the text opens with a blank or a tab.
// `text` is the lexer's slice right after the marker in `source`.
std::string_view spell_comment(FormatModel& model, std::string_view source, std::string_view marker,
                               std::string_view text) {
    text = trim_trailing_whitespace(text);
    if (text.empty()) return marker;
    if (is_blank_or_tab(text.front()) && text.data() >= source.data() + marker.size()) {
        const std::string_view written(text.data() - marker.size(), marker.size() + text.size());
        if (written.starts_with(marker)) return written;
    }
    std::string spelled(marker);
    if (!is_blank_or_tab(text.front())) spelled += ' ';
    spelled += text;
    return model.own(std::move(spelled));
}

// One block frame: a namespace or one entry of a section.
struct Frame {
    bool section = false;
    PathId path = kRootPath;
    bool in_section = false;  // a section frame, or inside one
};

bool has_index_segment(std::span<const std::string_view> segments) {
    return std::ranges::any_of(segments, [](std::string_view segment) { return is_ascii_digits(segment); });
}

// The bytes of the path text of the segments, "/" before each.
std::size_t path_text_size(std::span<const std::string_view> segments) {
    std::size_t size = 0;
    for (std::string_view segment : segments) size += 1 + segment.size();
    return size;
}

// The renderer writes each group of fields with its whole path, so fields
// at many depths, or many fields under one path that is written for each
// of them, can ask for text that grows with the square of their source.
// Lines are modelled only while the path text they ask for stays within a
// multiple of their own size; beyond that they are kept as written, which
// keeps every output linear in its source.
constexpr std::uint64_t kPathTextFactor = 8;
constexpr std::uint64_t kPathTextAllowance = 4096;

bool path_text_fits(std::uint64_t path_text, std::uint64_t source) {
    return path_text <= kPathTextFactor * source + kPathTextAllowance;
}

// Finds where a block ends and whether the formatter can model it: every
// head one plain path, every content line a plain key without "$" and not
// under a map annotation, no declaration or splat, and every section a
// record of an array outside any other record, holding a field of its own.
// The renderer writes such a record as a new entry where its first field
// stands, which is where the compiler numbered it; a record inside a
// record, or one without fields, would lose its number. It also measures
// the path text that the renderer writes for the block's fields: each new
// namespace path once, each record's array and the paths below it once,
// and a path with an index outside a section once per field.
class BlockScan {
public:
    // `map_pending`: a map annotation waits for its field when the block
    // starts; `pending_size`: the bytes of the metadata lines waiting.
    BlockScan(bool map_pending, std::size_t pending_size) : map_pending_(map_pending), source_size_(pending_size) {}

    bool modelable() const { return modelable_ && path_text_fits(path_text_, source_size_); }

    // Takes in the next line; true when the block ends with it. Heads and
    // closes move a stack of marks exactly as the compiler moves its blocks.
    bool take(const Line& line) {
        // Comments are not counted: their spelling may grow a blank, and
        // a block kept as written must be kept again when formatted again.
        if (line.kind != LineKind::Comment && line.kind != LineKind::Doc) {
            source_size_ += line.text.size() + line.value.size() + 1;
        }
        switch (line.kind) {
            case LineKind::SectionOpen: open_section(line.text); break;
            case LineKind::NsOpen: open_namespace(line.text); break;
            case LineKind::SectionClose:
                if (!marks_.empty() && marks_.back().section) {
                    finish();
                    marks_.pop_back();
                    moved_ = true;
                }
                break;
            case LineKind::NsClose:
                if (!marks_.empty() && !marks_.back().section) {
                    marks_.pop_back();
                    moved_ = true;
                }
                break;
            case LineKind::Content:
                modelable_ = modelable_ && is_plain_identifier(line.text) && !holds_dollar(line.value) && !map_pending_;
                map_pending_ = false;
                if (!marks_.empty()) count_field_path();
                break;
            case LineKind::Meta: map_pending_ = map_pending_ || is_map_annotation(line.text); break;
            case LineKind::Decl:
            case LineKind::VarSplat: modelable_ = false; break;
            default: break;
        }
        return marks_.empty();
    }

    // The end of the open section, if any.
    void finish() {
        if (section_empty_) modelable_ = false;
        section_empty_ = false;
    }

private:
    struct Mark {
        bool section = false;
        bool in_section = false;       // a section, or inside one
        bool indexed = false;          // a path with an index segment
        std::size_t path_size = 0;     // bytes of the path text
        std::size_t section_size = 0;  // the same for the section's array
    };

    // The path text the renderer writes for the next field.
    void count_field_path() {
        const Mark& mark = marks_.back();
        if (mark.in_section) {
            section_empty_ = false;
            if (new_entry_) path_text_ += mark.section_size;
            if (moved_ && !mark.section) path_text_ += mark.path_size - mark.section_size;
        } else if (mark.indexed || moved_) {
            path_text_ += mark.path_size;
        }
        moved_ = new_entry_ = false;
    }

    // The head's one field as a plain path, or none.
    static std::optional<std::vector<std::string_view>> plain_head(std::string_view head) {
        head = trim_blanks(head);
        if (head.find_first_of(" \t") != std::string_view::npos) return std::nullopt;
        return split_plain_path(head);
    }

    // A section head after a section ends it and opens the next entry in
    // its place.
    void open_section(std::string_view head) {
        const bool replaces = !marks_.empty() && marks_.back().section;
        if (replaces) finish();
        const std::size_t below = marks_.size() - (replaces ? 1 : 0);
        const bool enclosing_indexed = below > 0 && marks_[below - 1].indexed;
        const auto segments = plain_head(head);
        if (!segments || enclosing_indexed || has_index_segment(*segments)) modelable_ = false;
        if (replaces) marks_.pop_back();
        const std::size_t size = (below > 0 ? marks_[below - 1].path_size : 0) + head_size(segments, head);
        marks_.push_back({true, true, true, size, size});
        section_empty_ = moved_ = new_entry_ = true;
    }

    void open_namespace(std::string_view head) {
        const Mark outer = marks_.empty() ? Mark{} : marks_.back();
        const auto segments = plain_head(head);
        const bool indexed = segments && has_index_segment(*segments);
        if (!segments || (indexed && outer.indexed)) modelable_ = false;
        marks_.push_back({false, outer.in_section, outer.indexed || indexed,
                          outer.path_size + head_size(segments, head), outer.section_size});
        moved_ = true;
    }

    static std::size_t head_size(const std::optional<std::vector<std::string_view>>& segments, std::string_view head) {
        return segments ? path_text_size(*segments) : head.size();
    }

    std::vector<Mark> marks_;
    bool modelable_ = true;
    bool map_pending_;
    bool section_empty_ = false;  // the open section has no field yet
    bool moved_ = false;          // a head or close since the last field
    bool new_entry_ = false;      // a section head since the last field
    std::uint64_t path_text_ = 0;
    std::uint64_t source_size_;
};

// Builds the model while the text is lexed: lines at the top level are
// taken one at a time, and only the lines of the block being read are held,
// so that a large text is never held as a list of all its lines.
class ModelBuilder {
public:
    ModelBuilder(std::string_view source, LineLexer& lexer) : source_(source), lexer_(lexer), counter_(model_.paths) {
        // About one item per line, and room for the declaration and blank
        // line that the formatter puts in front of a text without one.
        model_.items.reserve(count_byte(source, '\n') + 2);
    }

    Result<FormatModel> build() && {
        while (auto line = next_line()) {
            // Once entries are no longer counted, no record can be
            // numbered: the rest is kept as written, and no record is
            // taken for the last of its array.
            if (counter_.exhausted()) {
                verbatim_block_line(*line);
            } else {
                top_level_line(*line);
            }
        }
        if (failure_) return std::unexpected(Error(*failure_));
        flush_pending();
        if (!counter_.exhausted()) {
            model_.entry_totals = std::move(counter_).counts();
        } else {
            model_.entry_totals.assign(model_.paths.size(), UINT64_MAX);
        }
        return std::move(model_);
    }

private:
    // The next line, or none at the end of the text or at its first lexer
    // failure, which is then kept.
    std::optional<Line> next_line() {
        if (failure_ || lexer_.done()) return std::nullopt;
        auto line = lexer_.next();
        if (line) return *line;
        failure_ = line.error();
        return std::nullopt;
    }

    void top_level_line(const Line& line) {
        switch (line.kind) {
            case LineKind::Blank: model_.push_blank(); break;
            case LineKind::Comment: push_comment("#", line.text); break;
            case LineKind::Doc: push_comment("//", line.text); break;
            // Pending metadata crosses declaration lines, as in the compiler.
            case LineKind::Decl: push_header(line.text); break;
            case LineKind::SectionOpen:
            case LineKind::NsOpen: block(line); break;
            case LineKind::SectionClose:
            case LineKind::NsClose: push_verbatim_line(line, kRootPath); break;
            case LineKind::Content: top_level_content(line); break;
            case LineKind::Meta: pending_.push_back(trim_trailing_blanks(line.text)); break;
            case LineKind::VarSplat:
                flush_pending();
                push_verbatim_line(line, kRootPath);
                break;
        }
    }

    // A field that takes the metadata lines pending for it.
    FormatItem& push_field(PathId path, std::string_view key, std::string_view value,
                           std::vector<std::string_view>& pending) {
        FormatItem& field = model_.push_field(path, key, value, pending);
        pending.clear();
        return field;
    }

    void flush_pending() {
        for (std::string_view text : pending_) model_.push_verbatim(text);
        pending_.clear();
    }

    void push_comment(std::string_view marker, std::string_view text) {
        model_.items.push_back(FormatItem::line(FormatItemKind::Comment, spell_comment(model_, source_, marker, text)));
    }

    void push_header(std::string_view text) { model_.push_verbatim(model_.spell_header(text)); }

    // ---- top-level content lines ----

    void top_level_content(const Line& line) {
        const ContentKey key = classify_content_key(line.text);
        switch (key.kind) {
            case ContentKeyClass::Plain: push_field(kRootPath, key.key, line.value, pending_); return;
            case ContentKeyClass::Qualified:
                if (qualified_field(key, line.value)) return;
                break;
            case ContentKeyClass::Define:
            case ContentKeyClass::AppendDefine:
                if (compact_fields(key, line.value)) return;
                break;
            case ContentKeyClass::Unmodelable: break;
        }
        flush_pending();
        push_verbatim_line(line, kRootPath);
    }

    // A map field under a path stays as written, as it does in a block:
    // moved into a block it would be read back as written there.
    bool qualified_field(const ContentKey& key, std::string_view value) {
        if (!is_plain_identifier(key.key) || holds_dollar(value)) return false;
        if (std::ranges::any_of(pending_, is_map_annotation)) return false;
        const auto path = intern_plain_path(model_.paths, kRootPath, key.path);
        if (!path) return false;
        push_field(*path, key.key, value, pending_);
        return true;
    }

    // «/path:=k=v|…» as one field per pair; «/array+:=k=v|…» as the fields
    // of the array's next record.
    bool compact_fields(const ContentKey& key, std::string_view value) {
        if (!pending_.empty() || !key.key.starts_with('/')) return false;
        const auto pairs = parse_compact_pairs(value);
        if (!pairs) return false;
        auto path = intern_plain_path(model_.paths, kRootPath, key.key);
        if (!path) return false;
        // Fields under a path with an index may each be written with it.
        if (model_.paths.has_index_segment(*path) &&
            !path_text_fits(pairs->size() * key.key.size(), key.key.size() + 2 + value.size())) {
            return false;
        }
        const bool append = key.kind == ContentKeyClass::AppendDefine;
        if (append) {
            // A record inside a record is written with its index, which
            // the compiler does not count: such a line stays as written.
            if (*path == kRootPath || !model_.paths.segment(*path).starts_with('@') ||
                model_.paths.has_index_segment(*path)) {
                return false;
            }
            path = model_.paths.child(*path, decimal_text(counter_.next_index(*path)));
        }
        for (const CompactPair& pair : *pairs) push_field(*path, pair.key, pair.value, pending_).new_entry = append;
        return true;
    }

    // ---- blocks ----

    // Reads the block that `first` opens into `block_lines_`; returns
    // whether it can be modelled.
    bool read_block(const Line& first) {
        std::size_t pending_size = 0;
        for (std::string_view text : pending_) pending_size += text.size() + 1;
        BlockScan scan(std::ranges::any_of(pending_, is_map_annotation), pending_size);
        block_lines_.clear();
        block_lines_.push_back(first);
        if (scan.take(first)) return scan.modelable();
        while (auto line = next_line()) {
            block_lines_.push_back(*line);
            if (scan.take(*line)) return scan.modelable();
        }
        scan.finish();
        return scan.modelable();
    }

    void block(const Line& first) {
        const bool modelable = read_block(first);
        if (failure_) return;
        if (!modelable) {
            for (const Line& line : block_lines_) verbatim_block_line(line);
            frames_.clear();
            return;
        }
        // A modelled block takes the pending metadata to its first field;
        // what its last field leaves pending goes on after it.
        std::vector<std::string_view> pending = std::move(pending_);
        pending_.clear();
        for (const Line& line : block_lines_) modelled_block_line(line, pending);
        pending_ = std::move(pending);
        frames_.clear();
    }

    void modelled_block_line(const Line& line, std::vector<std::string_view>& pending) {
        switch (line.kind) {
            case LineKind::Blank: model_.push_blank(); break;
            case LineKind::Comment: push_comment("#", line.text); break;
            case LineKind::Doc: push_comment("//", line.text); break;
            case LineKind::SectionOpen: open_section(trim_blanks(line.text)); break;
            case LineKind::NsOpen: open_namespace(trim_blanks(line.text)); break;
            case LineKind::SectionClose: close_frame(true); break;
            case LineKind::NsClose: close_frame(false); break;
            case LineKind::Meta: pending.push_back(trim_trailing_blanks(line.text)); break;
            case LineKind::Content:
                push_field(current_path(), line.text, line.value, pending).new_entry = in_section();
                break;
            case LineKind::Decl:
            case LineKind::VarSplat: break;  // never in a modelled block
        }
    }

    // Every line kept in its own spelling; heads and closes still move the
    // frames, so that section indices stay in step with the compiler.
    // Metadata lines wait for the line that takes them, as at the top
    // level: heads, closes and declarations leave them pending, and the
    // renderer may put a blank line after a declaration.
    void verbatim_block_line(const Line& line) {
        switch (line.kind) {
            case LineKind::Blank: model_.push_blank(); return;
            case LineKind::Comment: push_comment("#", line.text); return;
            case LineKind::Doc: push_comment("//", line.text); return;
            case LineKind::Decl: push_header(line.text); return;
            case LineKind::Meta: pending_.push_back(trim_trailing_blanks(line.text)); return;
            case LineKind::SectionOpen:
            case LineKind::NsOpen: push_verbatim_head(line); return;
            case LineKind::SectionClose: close_frame(true); break;
            case LineKind::NsClose: close_frame(false); break;
            case LineKind::Content:
            case LineKind::VarSplat: flush_pending(); break;
        }
        push_verbatim_line(line, current_path());
    }

    PathId current_path() const { return frames_.empty() ? kRootPath : frames_.back().path; }
    bool in_section() const { return !frames_.empty() && frames_.back().in_section; }

    // A section head ends an open section and opens the next entry of its
    // array; returns the array.
    PathId open_section(std::string_view head_path) {
        if (!frames_.empty() && frames_.back().section) frames_.pop_back();
        const PathId array = model_.paths.append_path(current_path(), head_path);
        const PathId entry = model_.paths.child(array, decimal_text(counter_.next_index(array)));
        frames_.push_back({true, entry, true});
        return array;
    }

    // A namespace nests inside whatever is open, an open section included.
    void open_namespace(std::string_view head_path) {
        frames_.push_back({false, model_.paths.append_path(current_path(), head_path), in_section()});
    }

    void close_frame(bool section) {
        if (!frames_.empty() && frames_.back().section == section) frames_.pop_back();
    }

    // ---- verbatim spellings ----

    // The entries counted since `first` belong to the last item.
    void attach_entries(std::size_t first) {
        model_.items.back().entries = {static_cast<std::uint32_t>(first),
                                       static_cast<std::uint32_t>(model_.entries.size() - first)};
    }

    // "[" or "(", the head's fields joined by one blank, "]" or ")".
    void push_verbatim_head(const Line& line) {
        const bool section = line.kind == LineKind::SectionOpen;
        const auto fields = split_fields(line.text);
        const std::size_t first = model_.entries.size();
        if (!fields.empty()) {
            if (section) {
                model_.entries.push_back({open_section(fields.front()), 1});
            } else {
                open_namespace(fields.front());
            }
        }
        std::string spelled(section ? "[" : "(");
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) spelled += ' ';
            spelled += fields[i];
        }
        spelled += section ? "]" : ")";
        model_.push_verbatim(model_.own(std::move(spelled)));
        attach_entries(first);
    }

    // A line kept as written inside the block at `block`: a close, a
    // content line or a splat line, the last two with the array entries
    // they create.
    void push_verbatim_line(const Line& line, PathId block) {
        const std::size_t first = model_.entries.size();
        switch (line.kind) {
            case LineKind::SectionClose: model_.push_verbatim("[]"); break;
            case LineKind::NsClose: model_.push_verbatim("()"); break;
            case LineKind::VarSplat:
                counter_.count_splat_line(block, line.text, model_.entries);
                model_.push_verbatim(model_.own("$/." + std::string(line.text)));
                break;
            case LineKind::Content:
                counter_.count_content_line(block, line.text, line.value, model_.entries);
                model_.push_verbatim(model_.content_line(line.text, line.value));
                break;
            default: return;
        }
        attach_entries(first);
    }

    std::string_view source_;
    LineLexer& lexer_;
    std::optional<LexErrorAt> failure_;
    std::vector<Line> block_lines_;  // the lines of the block being read
    FormatModel model_;
    EntryCounter counter_;
    std::vector<std::string_view> pending_;  // metadata lines waiting for their field
    std::vector<Frame> frames_;              // open blocks, innermost last
};

// The first raw line when it is a "#!" line longer than one byte, without
// its line end and trailing whitespace.
std::optional<std::string_view> shebang_line(std::string_view text) {
    std::string_view first = text.substr(0, text.find('\n'));
    if (first.ends_with('\r')) first.remove_suffix(1);
    if (first.size() <= 1 || !first.starts_with("#!")) return std::nullopt;
    return trim_trailing_whitespace(first);
}

}  // namespace

std::string_view FormatModel::content_line(std::string_view left, std::string_view value) {
    // Both are slices of one source line, split at its "=".
    if (left.data() + left.size() + 1 == value.data()) return {left.data(), left.size() + 1 + value.size()};
    std::string text;
    text.reserve(left.size() + 1 + value.size());
    text += left;
    text += '=';
    text += value;
    return own(std::move(text));
}

std::string_view FormatModel::spell_header(std::string_view line) {
    std::string spelled = header_line_spelling(line);
    return spelled == line ? line : own(std::move(spelled));
}

void FormatModel::push_blank() {
    if (items.empty() || items.back().kind == FormatItemKind::Blank) return;
    items.push_back(FormatItem::line(FormatItemKind::Blank));
}

FormatItem& FormatModel::push_field(PathId path, std::string_view key, std::string_view value,
                                    std::span<const std::string_view> lines) {
    const ItemRun run{static_cast<std::uint32_t>(annotations.size()), static_cast<std::uint32_t>(lines.size())};
    annotations.insert(annotations.end(), lines.begin(), lines.end());
    FormatItem field = FormatItem::line(FormatItemKind::Field, value);
    field.key = key;
    field.path = path;
    field.annotations = run;
    return items.emplace_back(field);
}

Result<FormatModel> build_format_model(std::string_view text, Utf8State utf8) {
    auto lexer = lex_lines(text, LexMode::Document, utf8);
    if (!lexer) return std::unexpected(Error(lexer.error()));
    auto model = ModelBuilder(text, *lexer).build();
    if (model) model->shebang = shebang_line(text);
    return model;
}

std::optional<std::vector<std::string_view>> split_plain_path(std::string_view text) {
    std::vector<std::string_view> segments;
    if (!walk_plain_path(text, [&](std::string_view segment) { segments.push_back(segment); })) return std::nullopt;
    return segments;
}

std::optional<PathId> intern_plain_path(PathTable& paths, PathId base, std::string_view text) {
    PathId id = base;
    if (!walk_plain_path(text, [&](std::string_view segment) { id = paths.child(id, segment); })) return std::nullopt;
    return id;
}

ContentKey classify_content_key(std::string_view left) {
    const ContentKey unmodelable{};
    if (left.find('"') != std::string_view::npos) return unmodelable;
    if (is_plain_identifier(left)) return {ContentKeyClass::Plain, left, {}};
    if (left.starts_with('.')) return unmodelable;
    if (left.size() >= 2 && (left.starts_with("@.") || left.starts_with("/."))) return unmodelable;
    if (left.size() >= 2 && left.ends_with("+:")) {
        return {ContentKeyClass::AppendDefine, left.substr(0, left.size() - 2), {}};
    }
    if (left.ends_with('+') || left.ends_with("::") || left.ends_with(';')) return unmodelable;
    if (left.ends_with(':')) return {ContentKeyClass::Define, left.substr(0, left.size() - 1), {}};
    const auto separator = left.rfind("::");
    if (separator == std::string_view::npos) return unmodelable;
    return {ContentKeyClass::Qualified, left.substr(separator + 2), left.substr(0, separator)};
}

std::optional<std::vector<CompactPair>> parse_compact_pairs(std::string_view value) {
    if (value.empty() || value.starts_with('$') || value == "{}") return std::nullopt;
    std::vector<CompactPair> pairs;
    while (true) {
        const auto bar = value.find('|');
        const std::string_view piece = value.substr(0, bar);
        const auto eq = piece.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const CompactPair pair{piece.substr(0, eq), piece.substr(eq + 1)};
        if (!is_plain_identifier(pair.key) || holds_dollar(pair.value)) return std::nullopt;
        pairs.push_back(pair);
        if (bar == std::string_view::npos) return pairs;
        value.remove_prefix(bar + 1);
    }
}

std::string header_line_spelling(std::string_view line) {
    std::vector<std::string_view> words = split_words(line, kAsciiWhitespace);
    // Directive and ".?" lines reach the compiled text as they stand: a
    // registry location or a note may hold a run of blanks.
    if (words.empty() || std::ranges::find(kDeclarationWords, words[0]) == kDeclarationWords.end()) {
        return std::string(line);
    }
    // The version word goes, unless the word after it starts with a digit:
    // that word would then read as the version.
    const bool next_reads_as_version = words.size() >= 3 && is_ascii_digit(words[2].front());
    if (words.size() >= 2 && has_version_shape(words[1]) && !next_reads_as_version) words.erase(words.begin() + 1);
    std::string spelled;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) spelled += ' ';
        spelled += words[i];
    }
    // Respelled, a name after a form feed (no blank to the lexer) reads as a
    // version once the form feed is a blank: such a line stays as written.
    return declared_version_holds(spelled) ? spelled : std::string(line);
}

}  // namespace bezo
