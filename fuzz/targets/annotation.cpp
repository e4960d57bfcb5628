// Annotation tokens and annotation or constraint lines.
#include "fuzz_target.hpp"
#include "lang/anno.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    (void)parse_annotation(text);
    (void)split_annotation_line(text);
    if (is_compact_timestamp(text))
        fuzz::check(is_compact_timestamp(expand_compact_timestamp(text)), "expanded timestamp");
}
