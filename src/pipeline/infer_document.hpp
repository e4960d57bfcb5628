// The infer road: an authored document compiled, denormalized and its schema
// inferred, in one call, the compiler and the denormalizer sharing one
// resolver.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// The authored schema of the document, declared under `name`; a name that
// check_schema_name refuses (a line break, a blank, a leading digit, ...) is
// refused before the document is read. A text known to be UTF-8 (a str's)
// is not checked as UTF-8 again.
Result<std::string> infer_document(std::string_view text, std::string_view name, Utf8State utf8 = Utf8State::Unchecked);

}  // namespace bezo
