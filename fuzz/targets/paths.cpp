// Paths, segments, key paths and table heads. Canonical spellings are their
// own canonical spellings, and a rendered head reads back to the same head.
#include "fuzz_target.hpp"
#include "lang/path.hpp"
#include "lang/table.hpp"

using namespace bezo;

namespace {

void check_path(std::string_view text) {
    for (const std::string_view segment : split_path(text)) {
        if (!is_valid_segment(segment)) continue;
        const std::string normal = normalize_segment(segment);
        fuzz::check(is_valid_segment(normal), "a normalized segment stays valid");
        fuzz::check_same(normalize_segment(normal), normal, "a normalized segment is its own spelling");
    }
    (void)is_path_line(text);
    (void)is_section_head_path(text);
    (void)parse_key_path(text);
    (void)field_reference_length(text);
}

void check_head(std::string_view text) {
    const auto fields = split_fields(text);
    (void)parse_section_head_args(fields);
    (void)parse_ref_target(text);
    if (const auto name = parse_column_name(text, true)) {
        const auto again = parse_column_name(quote_column_name(*name), true);
        fuzz::check(again == name, "a quoted column name reads back");
    }
    const auto head = parse_head_items(text);
    if (!head) return;
    const std::string rendered = render_head_items(*head);
    fuzz::check(parse_head_items(rendered) == head, "a rendered head reads back to the same head");
}

}  // namespace

BEZO_FUZZ_TARGET(text) {
    check_path(text);
    check_head(text);
}
