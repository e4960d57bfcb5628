#include "lang/canonical_line.hpp"

#include "lang/path.hpp"

namespace bezo {

std::optional<std::size_t> find_unquoted_equals(std::string_view text, std::size_t apostrophe) {
    return find_unquoted(text, '=', apostrophe + 1);
}

}  // namespace bezo
