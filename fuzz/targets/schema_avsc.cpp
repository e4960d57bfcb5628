// import_schema("avsc"): the imported schema compiles.
#include "avro/avsc_import.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) { bezo::fuzz::check_schema_import(bezo::import_avsc(text, "fuzz")); }
