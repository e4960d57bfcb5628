// A canonical document as one YAML document: the body of
// export_to("yaml", ...). The text opens with "---" and is laid out in block
// style with an indentation step of 2; strings are plain when no YAML 1.1
// or 1.2 reader can take them for anything else, double-quoted otherwise,
// and floats carry a point and a signed exponent, which YAML 1.1 needs.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "interchange/canonical_tree.hpp"
#include "interchange/value.hpp"

namespace bezo {

Result<std::string> export_yaml(std::string_view canonical_text);

// The YAML document of a canonical tree, ending in one line feed.
Result<std::string> yaml_export_body(const CanonicalValue& tree);

// Appends the YAML document of a value after its "---" line. Fails on an
// object that repeats a key, which a YAML mapping cannot hold.
Result<void> value_to_yaml(const Value& value, std::string& out);

}  // namespace bezo
