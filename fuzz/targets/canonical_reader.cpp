// The canonical reader, and the typed values the exporters take from its
// tree.
#include "fuzz_target.hpp"
#include "interchange/canonical_reader.hpp"
#include "interchange/canonical_to_value.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    const auto tree = canonical_to_tree_borrowing(text);
    if (!tree) return;
    (void)tree_to_value(*tree);
}
