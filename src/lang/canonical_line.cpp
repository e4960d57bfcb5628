#include "lang/canonical_line.hpp"

#include "core/text.hpp"

namespace bezo {

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
