// import_schema("jsonschema"): the imported schema compiles.
#include "interchange_checks.hpp"
#include "schema_import/jsonschema_import.hpp"

BEZO_FUZZ_TARGET(text) { bezo::fuzz::check_schema_import(bezo::import_jsonschema(text, "fuzz")); }
