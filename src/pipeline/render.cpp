#include "pipeline/render.hpp"

#include <algorithm>
#include <limits>
#include <span>
#include <vector>

#include "core/text.hpp"

namespace bezo {
namespace {

// A compact line must be shorter than this many bytes.
constexpr std::size_t kCompactLimit = 73;

enum class GroupKind : std::uint8_t { List, Root, Record, Path };

struct GroupKey {
    GroupKind kind = GroupKind::Root;
    PathId path = kRootPath;  // list, record array or namespace path

    friend bool operator==(const GroupKey&, const GroupKey&) = default;
};

bool is_field(const FormatItem& item) { return item.kind == FormatItemKind::Field; }

bool is_header_text(std::string_view text) { return text.starts_with(".!") || text.starts_with(".?"); }

bool has_edge_blank(std::string_view value) {
    return !value.empty() && (is_blank_or_tab(value.front()) || is_blank_or_tab(value.back()));
}

// Fields that may stand in a compact line: no annotation lines, identifier
// keys, values without "|" or blanks at their ends, and not "{}".
bool is_compact_binding(std::span<const FormatItem> fields) {
    for (const FormatItem& field : fields) {
        if (field.annotations.count > 0 || !is_plain_identifier(field.key) ||
            field.text.find('|') != std::string_view::npos || has_edge_blank(field.text) || field.text == "{}") {
            return false;
        }
    }
    return true;
}

bool all_fields(std::span<const FormatItem> members) { return std::ranges::all_of(members, is_field); }

// The bytes of «k=v|k=v» for the fields.
std::size_t pairs_length(std::span<const FormatItem> fields) {
    std::size_t length = fields.size() - 1;
    for (const FormatItem& field : fields) length += field.key.size() + 1 + field.text.size();
    return length;
}

std::uint64_t saturating_increment(std::uint64_t count, std::uint64_t by) {
    return by > std::numeric_limits<std::uint64_t>::max() - count ? std::numeric_limits<std::uint64_t>::max()
                                                                  : count + by;
}

class Renderer {
public:
    Renderer(const FormatModel& model, std::size_t size_hint)
        : model_(model), items_(model.items), paths_(model.paths), entry_counts_(model.paths.size(), 0) {
        out_.reserve(size_hint);
    }

    std::string render() && {
        if (model_.shebang) {
            out_ += *model_.shebang;
            out_ += '\n';
        }
        for (std::size_t i = 0; i < items_.size();) i = write_node(i);
        if (out_.empty()) out_ += '\n';
        return std::move(out_);
    }

private:
    // ---- nodes and separation ----

    // Writes the node that starts at item `i`; returns the next item.
    std::size_t write_node(std::size_t i) {
        const FormatItem& item = items_[i];
        switch (item.kind) {
            case FormatItemKind::Blank: blank_pending_ = true; return i + 1;
            case FormatItemKind::Comment:
                separate(blank_pending_ || after_block_ || after_header_);
                write_line(out_, item.text);
                after_comment_ = true;
                return i + 1;
            case FormatItemKind::Verbatim: {
                const bool header = is_header_text(item.text);
                separate(blank_pending_ || after_block_ || (after_header_ && !header));
                write_line(out_, item.text);
                after_header_ = header;
                count_entries(item.entries);
                return i + 1;
            }
            case FormatItemKind::Field: break;
        }
        const GroupKey key = group_key(item);
        const std::size_t end = group_end(i, key);
        // The group is written straight into the output. Whether an empty
        // line goes before it may depend on whether it is a block, known
        // only once it is written: then the line is put in front of it.
        const bool blank_known = blank_pending_ || after_block_ || after_header_;
        const bool blank_allowed = written_ && !after_comment_;
        if (blank_known) separate(true);
        const std::size_t start = out_.size();
        group_lines_ = 0;
        const bool block = write_group(std::span(items_).subspan(i, end - i), key);
        if (!blank_known) {
            if (blank_allowed && block) out_.insert(start, 1, '\n');
            separate(false);
        }
        after_block_ = block;
        return end;
    }

    // An empty line before the next node when it asks for one, unless
    // nothing is written yet or a comment sticks to it; then every flag is
    // cleared for the node to set its own.
    void separate(bool wants_blank_line) {
        if (written_ && !after_comment_ && wants_blank_line) out_ += '\n';
        written_ = true;
        blank_pending_ = after_comment_ = after_header_ = after_block_ = false;
    }

    void count_entries(ItemRun run) {
        for (std::uint32_t i = 0; i < run.count; ++i) {
            const EntryCount& entry = model_.entries[run.first + i];
            entry_counts_[entry.array] = saturating_increment(entry_counts_[entry.array], entry.count);
        }
    }

    // Whether an entry of `array` with index text `index` is written as a
    // new entry (and counted): its index must be the next one the compiler
    // numbers. An entry addressed by its index in the source takes a number
    // only when no entry of the source comes after it: the compiler did
    // not count it there.
    bool takes_next_index(PathId array, std::string_view index, bool new_entry) {
        std::uint64_t& count = entry_counts_[array];
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, count).ptr;
        if (index != std::string_view(digits, end - digits)) return false;
        if (!new_entry && array < model_.entry_totals.size() && count < model_.entry_totals[array]) return false;
        ++count;
        return true;
    }

    // ---- groups ----

    GroupKey group_key(const FormatItem& field) const {
        if (field.element) return {GroupKind::List, field.path};
        if (field.path == kRootPath) return {GroupKind::Root, kRootPath};
        if (const auto array = paths_.record_array(field.path)) return {GroupKind::Record, *array};
        return {GroupKind::Path, field.path};
    }

    // The end of the group that starts at `start`: fields of the same key,
    // with the comments and blank separations between two of them.
    std::size_t group_end(std::size_t start, GroupKey key) const {
        std::size_t end = start + 1;
        while (end < items_.size()) {
            std::size_t next = end;
            while (next < items_.size() &&
                   (items_[next].kind == FormatItemKind::Comment || items_[next].kind == FormatItemKind::Blank)) {
                ++next;
            }
            if (next == items_.size() || !is_field(items_[next]) || !(group_key(items_[next]) == key)) break;
            end = next + 1;
        }
        return end;
    }

    // Writes a group into the output; returns its block flag.
    bool write_group(std::span<const FormatItem> members, GroupKey key) {
        switch (key.kind) {
            case GroupKind::Root:
                for (const FormatItem& member : members) write_member(member, &Renderer::write_field_lines);
                return false;
            case GroupKind::Path: return write_path_group(members, key.path);
            case GroupKind::List: return write_list_group(members, key.path);
            case GroupKind::Record: return write_record_group(members, key.path);
        }
        return false;
    }

    using FieldWriter = void (Renderer::*)(const FormatItem&);

    // A field by `write`, a comment as its text, a blank as an empty line.
    void write_member(const FormatItem& member, FieldWriter write) {
        if (is_field(member)) {
            (this->*write)(member);
        } else {
            write_trivia(member);
        }
    }

    void write_trivia(const FormatItem& member) { end_line(member.kind == FormatItemKind::Blank ? "" : member.text); }

    bool write_path_group(std::span<const FormatItem> members, PathId path) {
        if (paths_.has_index_segment(path) || members.size() == 1) {
            for (const FormatItem& member : members) write_member(member, &Renderer::write_qualified_line);
            return false;
        }
        if (all_fields(members) && is_compact_binding(members)) {
            const std::size_t start = out_.size();
            paths_.append_text(path, out_);
            if (out_.size() - start + 2 + pairs_length(members) < kCompactLimit) {
                write_pairs(":=", members);
                return false;
            }
            out_.resize(start);
        }
        out_ += "(";
        paths_.append_text(path, out_);
        end_line(")");
        for (const FormatItem& member : members) write_member(member, &Renderer::write_field_lines);
        end_line("()");
        return true;
    }

    // Elements that take the next indices go on one «P;=a;b» line when they
    // fit, else on «P+=v» lines; any other element keeps its index, «P::i=v».
    bool write_list_group(std::span<const FormatItem> members, PathId list) {
        fresh_.clear();
        for (const FormatItem& member : members) {
            fresh_.push_back(is_field(member) && takes_next_index(list, member.key, member.new_entry));
        }
        std::string path;
        paths_.append_text(list, path);
        if (fits_list_line(members, path.size())) {
            out_ += path;
            out_ += ";=";
            for (std::size_t i = 0; i < members.size(); ++i) {
                if (i > 0) out_ += ';';
                out_ += members[i].text;
            }
            end_line("");
            return false;
        }
        for (std::size_t i = 0; i < members.size(); ++i) {
            const FormatItem& member = members[i];
            if (!is_field(member)) {
                write_trivia(member);
                continue;
            }
            write_annotations(member);
            out_ += path;
            if (fresh_[i]) {
                out_ += "+=";
            } else {
                out_ += "::";
                out_ += member.key;
                out_ += '=';
            }
            end_line(member.text);
        }
        return group_lines_ >= 2;
    }

    bool fits_list_line(std::span<const FormatItem> members, std::size_t path_length) const {
        if (members.size() < 2 || !all_fields(members) || !std::ranges::all_of(fresh_, [](bool f) { return f; })) {
            return false;
        }
        std::size_t length = path_length + 2 + members.size() - 1;
        for (const FormatItem& member : members) {
            if (member.annotations.count > 0 || member.text.empty() ||
                member.text.find(';') != std::string_view::npos || has_edge_blank(member.text)) {
                return false;
            }
            length += member.text.size();
        }
        return length < kCompactLimit;
    }

    struct Record {
        std::size_t begin = 0;
        std::size_t end = 0;
        PathId entry = kRootPath;
        bool new_entry = false;  // some field of it was added as a new entry
        bool fresh = false;      // written as a new entry
    };

    // Records that take the next indices are written as new entries: one
    // «P+:=k=v|…» line each when all of them fit, else section blocks.
    // Any other record (split by other lines, or out of sequence) is
    // written field by field with its index, outside any block.
    bool write_record_group(std::span<const FormatItem> members, PathId array) {
        divide_records(members, array);
        std::string path;
        paths_.append_text(array, path);
        const bool compact = fresh_records_fit(members, path.size());
        std::size_t compact_lines = 0;
        bool section_used = false;
        bool section_open = false;
        for (const Record& record : records_) {
            const auto record_members = members.subspan(record.begin, record.end - record.begin);
            if (!record.fresh) {
                close_namespace();
                if (section_open) end_line("[]");
                section_open = false;
                for (const FormatItem& member : record_members) write_member(member, &Renderer::write_qualified_line);
            } else if (compact) {
                out_ += path;
                write_pairs("+:=", record_members);
                ++compact_lines;
            } else {
                close_namespace();
                out_ += "[";
                out_ += path;
                end_line("]");
                section_used = section_open = true;
                write_section_members(record_members, record.entry);
            }
        }
        close_namespace();
        if (section_open) end_line("[]");
        return section_used || compact_lines >= 2;
    }

    void divide_records(std::span<const FormatItem> members, PathId array) {
        records_.clear();
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (is_field(members[i])) {
                const PathId entry = paths_.record_entry(members[i].path);
                if (records_.empty() || records_.back().entry != entry) records_.push_back({i, i, entry});
                records_.back().new_entry = records_.back().new_entry || members[i].new_entry;
            }
            records_.back().end = i + 1;
        }
        for (Record& record : records_) {
            record.fresh = takes_next_index(array, paths_.segment(record.entry), record.new_entry);
        }
    }

    bool fresh_records_fit(std::span<const FormatItem> members, std::size_t path_length) const {
        for (const Record& record : records_) {
            if (!record.fresh) continue;
            const auto fields = members.subspan(record.begin, record.end - record.begin);
            if (!all_fields(fields) || !is_compact_binding(fields)) return false;
            if (!std::ranges::all_of(fields, [&](const FormatItem& f) { return f.path == record.entry; })) return false;
            if (path_length + 3 + pairs_length(fields) >= kCompactLimit) return false;
        }
        return true;
    }

    // The members of one section: fields of the entry itself as they are,
    // deeper fields inside a «(S)» block shared by neighbours with one S.
    void write_section_members(std::span<const FormatItem> members, PathId entry) {
        for (const FormatItem& member : members) {
            if (is_field(member) && member.path == entry) {
                close_namespace();
            } else if (is_field(member) && member.path != open_namespace_) {
                close_namespace();
                out_ += "(";
                paths_.append_text_below(entry, member.path, out_);
                end_line(")");
                open_namespace_ = member.path;
            }
            write_member(member, &Renderer::write_field_lines);
        }
    }

    void close_namespace() {
        if (open_namespace_ == kRootPath) return;
        end_line("()");
        open_namespace_ = kRootPath;
    }

    // ---- lines ----

    void write_annotations(const FormatItem& field) {
        for (std::uint32_t i = 0; i < field.annotations.count; ++i) {
            end_line(model_.annotations[field.annotations.first + i]);
        }
    }

    // The annotation lines, then «key=value».
    void write_field_lines(const FormatItem& field) {
        write_annotations(field);
        out_ += field.key;
        out_ += '=';
        end_line(field.text);
    }

    // The annotation lines, then «/path::key=value».
    void write_qualified_line(const FormatItem& field) {
        write_annotations(field);
        paths_.append_text(field.path, out_);
        out_ += "::";
        out_ += field.key;
        out_ += '=';
        end_line(field.text);
    }

    // The operator and «k=v|k=v» after a path already written.
    void write_pairs(std::string_view op, std::span<const FormatItem> fields) {
        out_ += op;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) out_ += '|';
            out_ += fields[i].key;
            out_ += '=';
            out_ += fields[i].text;
        }
        end_line("");
    }

    void end_line(std::string_view rest) {
        out_ += rest;
        out_ += '\n';
        ++group_lines_;
    }

    static void write_line(std::string& out, std::string_view line) {
        out += line;
        out += '\n';
    }

    const FormatModel& model_;
    std::span<const FormatItem> items_;
    const PathTable& paths_;
    std::vector<std::uint64_t> entry_counts_;  // entries written so far, by array path

    std::string out_;
    std::size_t group_lines_ = 0;
    std::vector<bool> fresh_;
    std::vector<Record> records_;
    PathId open_namespace_ = kRootPath;  // the «(S)» block open inside a section

    bool written_ = false;
    bool after_comment_ = false;
    bool after_header_ = false;
    bool after_block_ = false;
    bool blank_pending_ = false;
};

bool declares_authored(const FormatItem& item) {
    return item.kind == FormatItemKind::Verbatim && (item.text == ".!bezo" || item.text.starts_with(".!bezo "));
}

}  // namespace

std::string render_format_model(const FormatModel& model, std::size_t size_hint) {
    return Renderer(model, size_hint).render();
}

Result<std::string> format_authored(std::string_view text, Utf8State utf8) {
    auto model = build_format_model(text, utf8);
    if (!model) return forward_error(model);
    auto& items = model->items;
    if (std::ranges::none_of(items, declares_authored)) {
        if (!items.empty()) items.insert(items.begin(), FormatItem::line(FormatItemKind::Blank));
        items.insert(items.begin(), FormatItem::line(FormatItemKind::Verbatim, ".!bezo"));
    }
    // Formatted text is about as long as its source.
    return render_format_model(*model, text.size() + text.size() / 8);
}

}  // namespace bezo
