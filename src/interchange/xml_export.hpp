// export_to("xml"): a canonical text read into its tree and written as
// indented XML (interchange/xml_writer.hpp).
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// The body of export_to("xml", ...).
Result<std::string> export_xml(std::string_view canonical_text);

}  // namespace bezo
