// Unbuild of canonical or relational text: when what it writes is authored
// text the formatter takes, it is already in the formatter's spelling (lines
// unbuild cannot model it keeps as they are, so the formatter may refuse them).
#include "fuzz_target.hpp"
#include "pipeline/render.hpp"
#include "pipeline/unbuild.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    const auto authored = unbuild_stream(text);
    if (!authored) return;
    const auto formatted = format_authored(*authored);
    if (formatted) fuzz::check_same(*formatted, *authored, "unbuilt text is in the formatter's spelling");
}
