// XML text in, authored text out: the body of import_from("xml", ...).
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

// Reads an XML document and spells its document element, under its own
// name, as the one root member of an authored document, marked as read
// from XML (core/xml_mark.hpp). An unchecked text is refused unless it is
// UTF-8.
Result<std::string> import_xml(std::string_view text, Utf8State state);
Result<std::string> import_xml(std::string_view text);

}  // namespace bezo
