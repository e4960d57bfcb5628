// import_schema("xsd"): the schema text, then after a NUL byte the name of
// the root; the imported schema compiles.
#include "interchange_checks.hpp"
#include "schema_import/xsd_import.hpp"

BEZO_FUZZ_TARGET(input) { bezo::fuzz::check_rooted_schema_import(input, bezo::import_xsd); }
