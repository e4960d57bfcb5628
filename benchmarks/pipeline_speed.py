"""Times validate and denormalize beside jsonschema and json on the same data.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/pipeline_speed.py

Generates canonical texts of about 10 MB and 20 MB (root fields, a map whose
keys follow a pattern, a table of records with ranges, a pattern and a set)
and checks each with bezo.validate against a schema (best of five) and, in
the same run, with jsonschema.Draft7Validator (built once) against the
equivalent JSON Schema, on export_to("json", ...) of the same text, with
json.loads counted on the peer's side. bezo.denormalize is timed on the
relational form of the same data (one field reference per record) beside
json.loads of the JSON text, a reader of the same data. bezo.infer is timed
on the authored form of the same data (bezo.unbuild of the canonical text)
beside bezo.build of that text, which runs the same compile and denormalize
(no Debian tool infers these schemas); while build is not in the module,
infer is timed alone. Prints the ratios and how our times grow from 10 MB to
20 MB; exits with status 1 when validate is not 10 times faster than
jsonschema, infer takes more than 1.5 times build, or a time grows by more
than 2.2.
"""
import json
import sys
import timeit

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
RECORD = ("!int'/@orders/{i}::id={i}\n"
          "!int'/@orders/{i}::qty={qty}\n"
          "!str'/@orders/{i}::sku=ABC-{sku:04d}\n"
          "!str'/@orders/{i}::status={status}\n")


def document(target_bytes, kind):
    """A canonical (kind "nezo") or relational (kind "lezo") text of about
    target_bytes; the relational one gives every record's status by a
    reference to a root field."""
    head = [f".!{kind}\n", "!str'::name=bench\n", "!int'::count=7\n", "!str'::status=paid\n"]
    size = sum(map(len, head))
    keys = [f"!int'/scores::key_{k}={k % 101}\n" for k in range(2000)]
    size += sum(map(len, keys))
    records = []
    i = 0
    while size < target_bytes:
        status = "$status" if kind == "lezo" else STATUSES[i % 3]
        record = RECORD.format(i=i, qty=1 + i % 1000, sku=i % 10000, status=status)
        records.append(record)
        size += len(record)
        i += 1
    return "".join(head + keys + records)


def best_time(call, repeats=5):
    return min(timeit.repeat(call, number=1, repeat=repeats))


def build_available():
    try:
        bezo.build("a=1\n")
    except bezo.BezoError as error:
        if str(error) == "build() is not available in this build":
            return False
        raise
    return True


def time_infer(sizes, texts):
    """Times infer, and build of the same authored text when the module has
    it; prints both and returns whether the targets are met."""
    authored = {size: bezo.unbuild(texts[size]) for size in sizes}
    with_build = build_available()
    infer = {}
    build = {}
    for size in sizes:
        infer[size] = best_time(lambda: bezo.infer(authored[size], "bench"))
        if with_build:
            build[size] = best_time(lambda: bezo.build(authored[size]))
    ok = True
    for size in sizes:
        line = f"{len(texts[size]) / 1e6:5.1f} MB  infer       {infer[size] * 1e3:7.1f} ms"
        if with_build:
            ratio = infer[size] / build[size]
            ok = ok and ratio <= 1.5
            line += f"   build      {build[size] * 1e3:8.1f} ms   ratio {ratio:5.2f}x (at most 1.5)"
        else:
            line += "   build is missing from this module: infer timed alone"
        print(line)
    growth = infer[sizes[1]] / infer[sizes[0]]
    print(f"(infer and build read the authored form: {len(authored[sizes[0]]) / 1e6:.1f} MB and "
          f"{len(authored[sizes[1]]) / 1e6:.1f} MB)")
    print(f"20 MB over 10 MB: infer {growth:.2f} (at most 2.2)")
    return ok and growth <= 2.2


def main():
    compiled = bezo.compile_schema(SCHEMA)
    validator = jsonschema.Draft7Validator(JSON_SCHEMA)
    sizes = (10_000_000, 20_000_000)
    texts = {size: document(size, "nezo") for size in sizes}
    relational = {size: document(size, "lezo") for size in sizes}
    # Ours first for both sizes, so that both run on the same heap.
    validate = {}
    denormalize = {}
    for size in sizes:
        assert bezo.validate(texts[size], compiled) is None
        validate[size] = best_time(lambda: bezo.validate(texts[size], compiled))
        denormalize[size] = best_time(lambda: bezo.denormalize(relational[size]))
    ratios = []
    for size in sizes:
        json_text = bezo.export_to("json", texts[size])
        peer = best_time(lambda: validator.validate(json.loads(json_text)), repeats=1)
        reader = best_time(lambda: json.loads(json_text))
        ratios.append(peer / validate[size])
        print(f"{len(texts[size]) / 1e6:5.1f} MB  validate    {validate[size] * 1e3:7.1f} ms   "
              f"jsonschema {peer * 1e3:8.1f} ms   ratio {ratios[-1]:5.1f}x (at least 10)")
        print(f"{len(relational[size]) / 1e6:5.1f} MB  denormalize {denormalize[size] * 1e3:7.1f} ms   "
              f"json.loads {reader * 1e3:8.1f} ms   ratio {reader / denormalize[size]:5.1f}x")
    validate_growth = validate[sizes[1]] / validate[sizes[0]]
    denormalize_growth = denormalize[sizes[1]] / denormalize[sizes[0]]
    print(f"20 MB over 10 MB: validate {validate_growth:.2f}, denormalize {denormalize_growth:.2f} (at most 2.2)")
    ok = min(ratios) >= 10 and validate_growth <= 2.2 and denormalize_growth <= 2.2
    ok = time_infer(sizes, texts) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
