// import_from("yaml"): what the reader writes builds.
#include "interchange/yaml_import.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) { bezo::fuzz::check_import(text, bezo::import_yaml); }
