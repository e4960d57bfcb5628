// The formatter: formatting what it wrote changes nothing.
#include "fuzz_target.hpp"
#include "pipeline/render.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    const auto formatted = format_authored(text);
    if (!formatted) return;
    const auto again = format_authored(*formatted);
    fuzz::check_ok(again, "formatted text formats again");
    fuzz::check_same(*again, *formatted, "fmt is idempotent");
}
