// import_from("xml"): what the reader writes builds.
#include "interchange/xml_import.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) { bezo::fuzz::check_import(text, bezo::import_xml); }
