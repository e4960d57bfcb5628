// Canonical text in, JSON text out: the body of export_to("json", ...).
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// A canonical document as one compact JSON object followed by a line feed.
Result<std::string> export_json(std::string_view canonical_text);

}  // namespace bezo
