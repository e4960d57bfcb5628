// export_to("xml") of a canonical text: the xml reader reads it back.
#include "interchange/xml_export.hpp"
#include "interchange/xml_import.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) { (void)bezo::fuzz::check_export_reads_back(text, bezo::export_xml, bezo::import_xml); }
