"""Times validate and denormalize beside jsonschema and json on the same data.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/pipeline_speed.py

Generates canonical texts of about 10 MB and 20 MB (root fields, a map whose
keys follow a pattern, a table of records with ranges, a pattern and a set)
and checks each with bezo.validate against a schema, and, in the same run,
with jsonschema.Draft7Validator (built once) against the equivalent JSON
Schema, on export_to("json", ...) of the same text; json.loads is counted
on the peer's side. Then times bezo.denormalize on the relational form of
the same data (with one field reference per record) beside json.loads of the
JSON text, a reader of the same data. Prints the ratios and how the time
grows from 10 MB to 20 MB; exits with status 1 when validate is not 10 times
faster than the peer or a time grows by more than 2.2.
"""
import json
import sys
import time

import jsonschema

import bezo

SCHEMA = """.!hezo bench
!str#[1,64]
name=
!int[0,]
count=
(/scores min=1)
!int[0,100]
/^[a-z][a-z0-9_]*$/=
()
[/@orders min=1]
!int[0,]
id=
!int[1,1000]
qty=
/^[A-Z]{3}-[0-9]{4}$/
sku=
{new,paid,shipped}
status=
[]
"""

JSON_SCHEMA = {
    "type": "object",
    "required": ["name", "count", "scores", "orders"],
    "properties": {
        "name": {"type": "string", "minLength": 1, "maxLength": 64},
        "count": {"type": "integer", "minimum": 0},
        "scores": {"type": "object", "minProperties": 1, "propertyNames": {"pattern": "^[a-z][a-z0-9_]*$"},
                   "additionalProperties": {"type": "integer", "minimum": 0, "maximum": 100}},
        "orders": {"type": "array", "minItems": 1, "items": {
            "type": "object", "required": ["id", "qty", "sku", "status"],
            "properties": {
                "id": {"type": "integer", "minimum": 0},
                "qty": {"type": "integer", "minimum": 1, "maximum": 1000},
                "sku": {"type": "string", "pattern": "^[A-Z]{3}-[0-9]{4}$"},
                "status": {"enum": ["new", "paid", "shipped"]},
            }}},
    },
}

STATUSES = ("new", "paid", "shipped")
RECORD = ("{sig}'/@orders/{i}::id={i}\n"
          "{sig}'/@orders/{i}::qty={qty}\n"
          "!str'/@orders/{i}::sku=ABC-{sku:04d}\n"
          "!str'/@orders/{i}::status={status}\n")


def document(target_bytes, kind):
    """A canonical (kind "nezo") or relational (kind "lezo") text of about
    target_bytes; the relational one gives every record's status by a
    reference to a root field."""
    head = [f".!{kind}\n", "!str'::name=bench\n", "!int'::count=7\n", "!str'::status=paid\n"]
    size = sum(map(len, head))
    keys = []
    for k in range(2000):
        keys.append(f"!int'/scores::key_{k}={k % 101}\n")
    size += sum(map(len, keys))
    records = []
    i = 0
    while size < target_bytes:
        status = "$status" if kind == "lezo" else STATUSES[i % 3]
        record = RECORD.format(sig="!int", i=i, qty=1 + i % 1000, sku=i % 10000, status=status)
        records.append(record)
        size += len(record)
        i += 1
    return "".join(head + keys + records)


def best_time(call, repeats=3):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def measure(target_bytes, compiled, validator):
    text = document(target_bytes, "nezo")
    json_text = bezo.export_to("json", text)
    assert bezo.validate(text, compiled) is None
    ours = best_time(lambda: bezo.validate(text, compiled))
    peer = best_time(lambda: validator.validate(json.loads(json_text)), repeats=1)
    relational = document(target_bytes, "lezo")
    denormalized = best_time(lambda: bezo.denormalize(relational))
    reader = best_time(lambda: json.loads(json_text))
    print(f"{len(text) / 1e6:5.1f} MB  validate {ours * 1e3:8.1f} ms   jsonschema {peer * 1e3:9.1f} ms   "
          f"ratio {peer / ours:6.1f}x")
    print(f"{len(relational) / 1e6:5.1f} MB  denormalize {denormalized * 1e3:5.1f} ms   json.loads {reader * 1e3:9.1f} ms"
          f"   ratio {reader / denormalized:6.1f}x")
    return ours, peer, denormalized


def main():
    compiled = bezo.compile_schema(SCHEMA)
    validator = jsonschema.Draft7Validator(JSON_SCHEMA)
    small = measure(10_000_000, compiled, validator)
    large = measure(20_000_000, compiled, validator)
    ratios = (small[1] / small[0], large[1] / large[0])
    validate_growth = large[0] / small[0]
    denormalize_growth = large[2] / small[2]
    print(f"20 MB over 10 MB: validate {validate_growth:.2f}, denormalize {denormalize_growth:.2f} (at most 2.2)")
    ok = min(ratios) >= 10 and validate_growth <= 2.2 and denormalize_growth <= 2.2
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
