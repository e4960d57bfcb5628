// Well-formed UTF-8 check for texts that arrive as bytes.
#pragma once

#include <string_view>

namespace bezo {

// True when the bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no truncated sequence.
bool is_valid_utf8(std::string_view bytes);

}  // namespace bezo
