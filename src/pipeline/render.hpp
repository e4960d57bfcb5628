// Rendering of the formatter's item list in the standard spelling: which
// fields are written together and in which form (plain lines, namespace
// blocks, section blocks, one-line compact forms), where blank lines go, and
// the spelling of every line. Shared by fmt and unbuild.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "pipeline/fmt.hpp"

namespace bezo {

// The text of a model: its shebang, then its items; lines end in LF. The
// output is first sized for `size_hint` bytes.
[[nodiscard]] std::string render_format_model(const FormatModel& model, std::size_t size_hint);

// The whole of fmt: the model of the authored text, with a ".!bezo" line in
// front when it has none, rendered. A text known to be UTF-8 (a str's) is
// not checked as UTF-8 again.
Result<std::string> format_authored(std::string_view text, Utf8State utf8 = Utf8State::Unchecked);

}  // namespace bezo
