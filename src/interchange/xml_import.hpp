// XML text in, authored text out: the body of import_from("xml", ...).
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"

namespace bezo {

// Reads an XML document and spells its document element, under its own
// name, as the one root member of an authored document, marked as read
// from XML (core/xml_mark.hpp).
Result<std::string> import_xml(std::string_view text);

}  // namespace bezo
