// The infer road: an authored document compiled, denormalized and its schema
// inferred, in one call, the compiler and the denormalizer sharing one
// resolver.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// The authored schema of the document, declared under `name`; a name that
// check_schema_name refuses (a line break, a blank, a leading digit, ...) is
// refused before the document is read.
Result<std::string> infer_document(std::string_view text, std::string_view name);

}  // namespace bezo
