// export_to("toml") of a canonical text: the toml reader reads it back.
#include "interchange/toml_export.hpp"
#include "interchange/toml_import.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) { (void)bezo::fuzz::check_export_reads_back(text, bezo::export_toml, bezo::import_toml); }
