"""Times validate, denormalize, build and infer beside jsonschema and json on the
same data, and measures the peak memory of each call.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/pipeline_speed.py

Generates canonical texts of about 10 MB and 20 MB (root fields, a map whose
keys follow a pattern, a table of records with ranges, a pattern and a set)
and checks each with bezo.validate against a schema (best of five) and, in
the same run, with jsonschema.Draft7Validator (built once) against the
equivalent JSON Schema, on export_to("json", ...) of the same text, with
json.loads counted on the peer's side. bezo.denormalize is timed on the
relational form of the same data (one field reference per record) beside
json.loads of the JSON text, a reader of the same data.

bezo.build is timed on authored documents of about 10 MB and 20 MB against a
schema that adds defaults to the root and to every record, converts each
record's weight from grams to kilograms and types a union; its output is
validated beside jsonschema as above. The same documents with the members of
each record in an order drawn for that record are built too, beside the
documents in schema order. Each call (compile, build, denormalize,
validate) also runs once in a fresh child process that reads its input from
a file, and the child's peak resident size is printed beside the target of
four times the input plus 50 MB.

bezo.infer is timed on the authored form of the same data (bezo.unbuild of
the canonical text) beside bezo.build of that text, which runs the same
compile and denormalize (no Debian tool infers these schemas).

Prints the ratios and how our times grow from 10 MB to 20 MB; exits with
status 1 when validate is not 10 times faster than jsonschema, infer takes
more than 1.5 times build, a shuffled build takes more than 1.3 times the
build in schema order, a time grows by more than 2.2 or a call passes its
memory target.
"""
import json
import os
import random
import subprocess
import sys
import tempfile

import jsonschema

import bezo
from timing import best_time

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


# The validate schema with a root default, and in each record a weight in
# kilograms, a union and two defaults.
BUILD_SCHEMA = SCHEMA.replace("count=\n", "count=\nregion?=eu\n").replace(
    "status=\n", "status=\n!float:kg\nweight=\n!int|null\nrank=\n!null|int\ndiscount?=null\nnote?=none\n")

INT_TEXT = {"type": "string", "pattern": "^-?[0-9]+$"}
BUILD_JSON_SCHEMA = {
    "type": "object",
    "required": ["name", "count", "region", "scores", "orders"],
    "properties": {
        "name": {"type": "string", "minLength": 1, "maxLength": 64},
        "count": INT_TEXT,
        "region": {"type": "string"},
        "scores": {"type": "object", "minProperties": 1, "propertyNames": {"pattern": "^[a-z][a-z0-9_]*$"},
                   "additionalProperties": INT_TEXT},
        "orders": {"type": "array", "minItems": 1, "items": {
            "type": "object", "required": ["id", "qty", "sku", "status", "weight", "rank", "discount", "note"],
            "properties": {
                "id": INT_TEXT,
                "qty": INT_TEXT,
                "sku": {"type": "string", "pattern": "^[A-Z]{3}-[0-9]{4}$"},
                "status": {"enum": ["new", "paid", "shipped"]},
                "weight": {"type": "number"},
                "rank": {"type": ["integer", "null"]},
                "discount": {"type": ["integer", "null"]},
                "note": {"type": "string"},
            }}},
    },
}

# The members of one record, each with the annotation line it needs.
AUTHORED_MEMBERS = ("id={i}\n", "qty={qty}\n", "sku=ABC-{sku:04d}\n", "status={status}\n", "!:g\nweight={grams}\n",
                    "!int|null\nrank={rank}\n")


def authored(target_bytes, shuffled=False):
    """An authored document of about target_bytes for BUILD_SCHEMA: root
    fields, a map, then one section per record, whose members follow the
    schema's order or, when shuffled, an order drawn for each record."""
    parts = ["name=bench\ncount=7\n(/scores)\n"] + [f"key_{k}={k % 101}\n" for k in range(2000)] + ["()\n"]
    size = sum(map(len, parts))
    draw = random.Random(7)
    members = list(AUTHORED_MEMBERS)
    i = 0
    while size < target_bytes:
        if shuffled:
            draw.shuffle(members)
        record = "[@orders]\n" + "".join(members).format(i=i, qty=1 + i % 1000, sku=i % 10000,
                                                          status=STATUSES[i % 3], grams=i % 5000,
                                                          rank=i % 7 if i % 2 else "")
        parts.append(record)
        size += len(record)
        i += 1
    return "".join(parts)


def time_infer(sizes, texts):
    """Times infer and build of the same authored text; prints both and
    returns whether the targets are met."""
    authored = {size: bezo.unbuild(texts[size]) for size in sizes}
    infer = {}
    build = {}
    for size in sizes:
        infer[size] = best_time(lambda: bezo.infer(authored[size], "bench"), repeats=5)
        build[size] = best_time(lambda: bezo.build(authored[size]), repeats=5)
    ok = True
    for size in sizes:
        ratio = infer[size] / build[size]
        ok = ok and ratio <= 1.5
        print(f"{len(texts[size]) / 1e6:5.1f} MB  infer       {infer[size] * 1e3:7.1f} ms"
              f"   build      {build[size] * 1e3:8.1f} ms   ratio {ratio:5.2f}x (at most 1.5)")
    growth = infer[sizes[1]] / infer[sizes[0]]
    print(f"(infer and build read the authored form: {len(authored[sizes[0]]) / 1e6:.1f} MB and "
          f"{len(authored[sizes[1]]) / 1e6:.1f} MB)")
    print(f"20 MB over 10 MB: infer {growth:.2f} (at most 2.2)")
    return ok and growth <= 2.2


# The child reads its peak from VmHWM: ru_maxrss would keep the size of the
# parent it was forked from.
CHILD = """
import sys
import bezo
args = [open(path, encoding="utf-8").read() for path in sys.argv[2:]]
getattr(bezo, sys.argv[1])(*args)
with open("/proc/self/status") as status:
    print(next(line.split()[1] for line in status if line.startswith("VmHWM:")))
"""


def peak_memory(function, *texts):
    """The peak resident size in MB of a fresh interpreter that reads the
    texts from files and calls bezo.function on them once."""
    with tempfile.TemporaryDirectory() as directory:
        paths = []
        for n, text in enumerate(texts):
            path = os.path.join(directory, f"input{n}")
            with open(path, "w", encoding="utf-8") as file:
                file.write(text)
            paths.append(path)
        child = subprocess.run([sys.executable, "-c", CHILD, function, *paths], capture_output=True, text=True,
                               check=True, env=dict(os.environ))
    return int(child.stdout) / 1024


def memory_report(calls):
    """Prints the peak of each (name, function, texts) call; true when every
    one stays within four times its input plus 50 MB."""
    ok = True
    for name, function, texts in calls:
        size = sum(len(text.encode()) for text in texts) / 2**20
        peak = peak_memory(function, *texts)
        target = 4 * size + 50
        ok = ok and peak <= target
        print(f"{size:5.1f} MB  {name:<26} peak {peak:6.1f} MB   target {target:6.1f} MB")
    return ok


def main():
    compiled = bezo.compile_schema(SCHEMA)
    validator = jsonschema.Draft7Validator(JSON_SCHEMA)
    build_validator = jsonschema.Draft7Validator(BUILD_JSON_SCHEMA)
    sizes = (10_000_000, 20_000_000)
    texts = {size: document(size, "nezo") for size in sizes}
    relational = {size: document(size, "lezo") for size in sizes}
    documents = {size: authored(size) for size in sizes}
    shuffled = {size: authored(size, shuffled=True) for size in sizes}
    built = {size: bezo.build(documents[size], BUILD_SCHEMA) for size in sizes}
    # Ours first for all sizes, so that they run on the same heap.
    validate = {}
    denormalize = {}
    build = {}
    build_shuffled = {}
    validate_built = {}
    for size in sizes:
        assert bezo.validate(texts[size], compiled) is None
        assert bezo.validate(built[size], BUILD_SCHEMA) is None
        assert bezo.validate(bezo.build(shuffled[size], BUILD_SCHEMA), BUILD_SCHEMA) is None
        validate[size] = best_time(lambda: bezo.validate(texts[size], compiled), repeats=5)
        denormalize[size] = best_time(lambda: bezo.denormalize(relational[size]), repeats=5)
        build[size] = best_time(lambda: bezo.build(documents[size], BUILD_SCHEMA), repeats=5)
        build_shuffled[size] = best_time(lambda: bezo.build(shuffled[size], BUILD_SCHEMA), repeats=5)
        validate_built[size] = best_time(lambda: bezo.validate(built[size], BUILD_SCHEMA), repeats=5)
    ratios = []
    for size in sizes:
        json_text = bezo.export_to("json", texts[size])
        peer = best_time(lambda: validator.validate(json.loads(json_text)), repeats=1)
        reader = best_time(lambda: json.loads(json_text), repeats=5)
        ratios.append(peer / validate[size])
        print(f"{len(texts[size]) / 1e6:5.1f} MB  validate    {validate[size] * 1e3:7.1f} ms   "
              f"jsonschema {peer * 1e3:8.1f} ms   ratio {ratios[-1]:5.1f}x (at least 10)")
        print(f"{len(relational[size]) / 1e6:5.1f} MB  denormalize {denormalize[size] * 1e3:7.1f} ms   "
              f"json.loads {reader * 1e3:8.1f} ms   ratio {reader / denormalize[size]:5.1f}x")
    shuffle_ok = True
    for size in sizes:
        built_json = bezo.export_to("json", built[size])
        peer = best_time(lambda: build_validator.validate(json.loads(built_json)), repeats=1)
        ratios.append(peer / validate_built[size])
        shuffled_ratio = build_shuffled[size] / build[size]
        shuffle_ok = shuffle_ok and shuffled_ratio <= 1.3
        print(f"{len(documents[size]) / 1e6:5.1f} MB  build       {build[size] * 1e3:7.1f} ms   "
              f"shuffled   {build_shuffled[size] * 1e3:8.1f} ms   ratio {shuffled_ratio:5.2f}x (at most 1.3)")
        print(f"{len(built[size]) / 1e6:5.1f} MB  validate    {validate_built[size] * 1e3:7.1f} ms   "
              f"jsonschema {peer * 1e3:8.1f} ms   ratio {ratios[-1]:5.1f}x (at least 10)  (build's output)")
    growth = {name: times[sizes[1]] / times[sizes[0]]
              for name, times in (("validate", validate), ("denormalize", denormalize), ("build", build),
                                  ("validate of build", validate_built))}
    print("20 MB over 10 MB: " + ", ".join(f"{name} {ratio:.2f}" for name, ratio in growth.items()) +
          " (at most 2.2)")
    memory_ok = memory_report([
        ("compile", "compile", [documents[sizes[0]]]),
        ("build", "build", [documents[sizes[0]], BUILD_SCHEMA]),
        ("denormalize", "denormalize", [relational[sizes[0]]]),
        ("validate of build", "validate", [built[sizes[0]], BUILD_SCHEMA]),
    ])
    ok = min(ratios) >= 10 and max(growth.values()) <= 2.2 and memory_ok and shuffle_ok
    ok = time_infer(sizes, texts) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
