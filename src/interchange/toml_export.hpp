// A canonical document as a TOML 1.0 document: the body of
// export_to("toml", ...). Each table writes its plain values first, then its
// sub-tables and arrays of tables, each under its own header.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/value.hpp"

namespace bezo {

Result<std::string> export_toml(std::string_view canonical_text);

Result<std::string> toml_export_body(const CanonicalValue& tree);

// The TOML document of an object. Refuses what TOML cannot hold: null,
// integers beyond 64 bits, floats beyond the binary64 range, a std/time
// literal that is no TOML date-time, repeated keys.
Result<std::string> value_to_toml(const Value& value);

}  // namespace bezo
