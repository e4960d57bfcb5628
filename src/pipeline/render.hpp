// Rendering of the formatter's item list in the standard spelling: which
// fields are written together and in which form (plain lines, namespace
// blocks, section blocks, one-line compact forms), where blank lines go, and
// the spelling of every line. Shared by fmt and unbuild.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "pipeline/fmt.hpp"

namespace bezo {

// The text of a model: its shebang, then its items; lines end in LF. The
// standard spelling writes every path in full, so deeply nested blocks can
// ask for far more text than their source: the text may be at most eight
// times the source and 16 MiB more, or the rendering fails.
[[nodiscard]] Result<std::string> render_format_model(const FormatModel& model, std::size_t source_size);

// The whole of fmt: the model of the authored text, with a ".!bezo" line in
// front when it has none, rendered.
[[nodiscard]] Result<std::string> format_authored(std::string_view text);

}  // namespace bezo
