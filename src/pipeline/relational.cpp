#include "pipeline/relational.hpp"

#include <variant>

#include "core/text.hpp"
#include "lang/path.hpp"
#include "lang/unit.hpp"

namespace bezo {
namespace {

constexpr std::size_t kConstraintKinds = std::variant_size_v<decltype(Constraint::value)>;

template <class... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};

void append_range(std::string& out, const Constraint::Range& range) {
    out += '[';
    out += range.lo.value_or("");
    out += ',';
    out += range.hi.value_or("");
    out += ']';
}

void append_set(std::string& out, const Constraint::Set& set) {
    out += '{';
    for (std::size_t i = 0; i < set.members.size(); ++i) {
        if (i > 0) out += ',';
        out += set.members[i];
    }
    out += '}';
}

void append_map_signature(std::string& out, const Annotation& annotation,
                          const std::optional<std::string>& provenance_line) {
    out += annotation.entry_type.value_or("str");
    const auto& provenance = provenance_line ? provenance_line : annotation.provenance;
    if (provenance) {
        out += '?';
        out += *provenance;
    }
}

void append_unit(std::string& out, const std::string& unit) {
    out += ':';
    if (auto canonical = canonical_unit_text(unit)) {
        out += *canonical;
    } else {
        out += unit;
    }
}

// Rewrites one provenance item: the time stamp after its first "@" (before
// any "#") is expanded to the long form.
void append_provenance_item(std::string& out, std::string_view item) {
    std::string_view tag;
    if (auto hash = item.find('#'); hash != std::string_view::npos) {
        tag = item.substr(hash);
        item = item.substr(0, hash);
    }
    if (auto at = item.find('@'); at != std::string_view::npos) {
        out += item.substr(0, at + 1);
        out += expand_compact_timestamp(item.substr(at + 1));
    } else {
        out += item;
    }
    out += tag;
}

// Inner double quotes of a quoted key all come in pairs.
bool inner_quotes_paired(std::string_view inner) {
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] != '"') continue;
        if (i + 1 >= inner.size() || inner[i + 1] != '"') return false;
        ++i;
    }
    return true;
}

bool is_header_line(std::string_view line) {
    while (!line.empty() && is_blank_or_tab(line.front())) line.remove_prefix(1);
    return line.starts_with(".!") || line.starts_with(".?");
}

}  // namespace

void append_constraint(std::string& out, const Constraint& constraint) {
    std::visit(Overloaded{
                   [&](const Constraint::Pattern& pattern) {
                       out += '/';
                       out += pattern.text;
                       out += '/';
                   },
                   [&](const Constraint::Range& range) { append_range(out, range); },
                   [&](const Constraint::Set& set) { append_set(out, set); },
                   [&](const Constraint::Length& length) {
                       out += '#';
                       std::visit(Overloaded{[&](const Constraint::Range& range) { append_range(out, range); },
                                             [&](const Constraint::Set& set) { append_set(out, set); }},
                                  length.inner);
                   },
                   [&](const Constraint::Span& span) { out += span.word; },
               },
               constraint.value);
}

void append_provenance_items(std::string& out, std::string_view text) {
    while (true) {
        auto comma = text.find(',');
        append_provenance_item(out, text.substr(0, comma));
        if (comma == std::string_view::npos) return;
        out += ',';
        text.remove_prefix(comma + 1);
    }
}

void append_type_signature(std::string& out, const Annotation* annotation,
                           const std::optional<std::string>& provenance_line) {
    out += '!';
    if (annotation == nullptr) {
        out += "str";
    } else if (annotation->name == "map") {
        append_map_signature(out, *annotation, provenance_line);
        return;
    } else {
        if (!annotation->name.empty()) {
            out += annotation->name;
        } else if (!annotation->unit) {
            out += "str";
        }
        // One pass per kind keeps the items of one kind in authored order.
        for (std::size_t kind = 0; kind < kConstraintKinds; ++kind) {
            for (const auto& constraint : annotation->constraints) {
                if (constraint.value.index() == kind) append_constraint(out, constraint);
            }
        }
        if (annotation->unit) append_unit(out, *annotation->unit);
    }
    const std::optional<std::string>* provenance = &provenance_line;
    if (!provenance_line && annotation != nullptr) provenance = &annotation->provenance;
    if (*provenance) {
        out += '?';
        append_provenance_items(out, **provenance);
    }
}

std::string render_type_signature(const Annotation* annotation, const std::optional<std::string>& provenance_line) {
    std::string out;
    append_type_signature(out, annotation, provenance_line);
    return out;
}

std::string normalize_key(std::string_view key) {
    if (is_plain_identifier(key)) return std::string(key);
    if (key.size() >= 3 && key.front() == '"' && key.back() == '"' &&
        inner_quotes_paired(key.substr(1, key.size() - 2))) {
        return normalize_segment(key);
    }
    std::string quoted;
    quoted.reserve(key.size() + 2);
    quoted += '"';
    for (char c : key) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void append_segments(std::string& path, std::span<const std::string> segments) {
    for (const auto& segment : segments) {
        path += '/';
        path += segment;
    }
}

void RelationalText::append_line(std::string_view line) {
    const bool extends_header_block = in_header_block_ && is_header_line(line);
    text_ += line;
    text_ += '\n';
    if (extends_header_block) {
        header_block_end_ = text_.size();
    } else {
        in_header_block_ = false;
    }
}

std::string& RelationalText::begin_line() { return text_; }

void RelationalText::end_line() {
    text_ += '\n';
    in_header_block_ = false;
}

std::string RelationalText::finish(std::span<const std::string> delegation_lines) && {
    if (!delegation_lines.empty()) {
        std::string inserted;
        for (const auto& line : delegation_lines) {
            inserted += line;
            inserted += '\n';
        }
        text_.insert(header_block_end_, inserted);
    }
    return std::move(text_);
}

}  // namespace bezo
