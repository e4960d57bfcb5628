// The compiled-schema reader and the value checks: every field's default
// value is checked against the field's own items, and every table head
// renders and reads back to itself.
#include "fuzz_target.hpp"
#include "lang/table.hpp"
#include "schema/check.hpp"
#include "schema/compiled.hpp"

using namespace bezo;

BEZO_FUZZ_TARGET(text) {
    const auto schema = parse_compiled_schema(text);
    if (!schema) return;
    PatternCache patterns;
    for (const SchemaField& field : schema->fields) {
        (void)satisfies_constraints(field.items, field.value, patterns);
        const CanonicalLine line{
            .type_name = "str", .path = field.path, .value = field.value, .unit = {}, .provenance = {}};
        const CheckResult checked = check_field_value(field.items, line, patterns);
        if (checked.failed()) (void)type_violation_message(checked.kind(), field, line);
    }
    for (const TableConstraint& table : schema->tables) {
        fuzz::check(parse_head_items(render_head_items(table.head)) == table.head,
                    "a table head renders and reads back to itself");
    }
}
