// export_to("json") of a canonical text: the JSON reader reads it back, and
// the canonical text built from that exports to the same JSON value
// (embedded documents keep their own spacing, so the texts may differ).
#include "interchange/json_export.hpp"
#include "interchange/json_import.hpp"
#include "interchange/json_reader.hpp"
#include "interchange_checks.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    const auto rebuilt = fuzz::check_export_reads_back(text, export_json, import_json_entry);
    if (!rebuilt) return;
    const auto first = export_json(text);
    const auto second = export_json(*rebuilt);
    fuzz::check_ok(second, "the rebuilt document exports");
    const auto first_value = parse_json_document(*first);
    const auto second_value = parse_json_document(*second);
    fuzz::check_ok(first_value, "exported JSON reads");
    fuzz::check_ok(second_value, "re-exported JSON reads");
    if (*first_value != *second_value) fuzz::check_same(*second, *first, "JSON survives import, build and export");
}
