#include "lang/canonical_line.hpp"

#include "core/text.hpp"
#include "lang/path.hpp"

namespace bezo {

std::string_view take_line(std::string_view& rest) {
    const auto lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    if (lf == std::string_view::npos) {
        rest = {};
        return line;
    }
    rest.remove_prefix(lf + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

bool is_skipped_line(std::string_view line) {
    return line.empty() || line.starts_with('#') || line.starts_with("//") || line.starts_with(".!") ||
           line.starts_with(".?");
}

std::optional<std::size_t> find_unquoted_equals(std::string_view text, std::size_t apostrophe) {
    return find_unquoted(text, '=', apostrophe + 1);
}

std::expected<ContentLine, ContentLineFault> split_content_line(std::string_view line) {
    const auto apostrophe = line.find('\'');
    if (apostrophe == std::string_view::npos) return std::unexpected(ContentLineFault::NoApostrophe);
    const auto equals = find_unquoted_equals(line, apostrophe);
    if (!equals) return std::unexpected(ContentLineFault::NoEquals);
    return ContentLine{line.substr(0, apostrophe), line.substr(apostrophe + 1, *equals - apostrophe - 1),
                       line.substr(*equals + 1)};
}

std::optional<std::string_view> content_line_name_path(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = trim_leading_blanks(line);
    if (is_skipped_line(line)) return std::nullopt;
    const auto parts = split_content_line(line);
    if (!parts) return std::nullopt;
    return parts->name_path;
}

}  // namespace bezo
