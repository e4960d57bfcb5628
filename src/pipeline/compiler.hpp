// The compiler driver: authored text (kind bezo) to relational text (kind
// lezo). It lexes the text, compiles every line against one compile state,
// checks what is left pending at the end and assembles the output.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"
#include "lang/resolve.hpp"

namespace bezo {

// Compiles with a resolver of its own, dropped before returning. A text
// known to be UTF-8 (a str's) is not checked as UTF-8 again.
Result<std::string> compile_text(std::string_view text, Utf8State utf8 = Utf8State::Unchecked);

// Compiles with the caller's resolver; the modules it loads stay cached there.
Result<std::string> compile_document(std::string_view text, Resolver& resolver, Utf8State utf8 = Utf8State::Unchecked);

}  // namespace bezo
