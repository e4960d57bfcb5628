// export_to("yaml") of a canonical text: the yaml reader reads it back.
#include "interchange/yaml_export.hpp"
#include "interchange/yaml_import.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) { (void)bezo::fuzz::check_export_reads_back(text, bezo::export_yaml, bezo::import_yaml); }
