// import_from("json"): what the reader writes builds.
#include "interchange/json_import.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) { bezo::fuzz::check_import(text, bezo::import_json_entry); }
