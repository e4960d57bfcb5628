#pragma once

#include <string_view>

#include "core/error.hpp"

namespace bezo {

// A name written as the one word after the kind word of a ".!hezo" line (by
// infer and the schema importers) may not end that line, split into several
// words (the compiled header would read a later word "strict" as a flag),
// be such a header word itself, or read as the version that may stand there. `role` opens the message
// ("schema", "infer").
Result<void> check_schema_name(std::string_view name, std::string_view role);

}  // namespace bezo
