// import_from("toml"): what the reader writes builds.
#include "interchange/toml_import.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) { bezo::fuzz::check_import(text, bezo::import_toml); }
