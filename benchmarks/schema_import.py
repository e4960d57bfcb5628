"""Times bezo.import_schema("jsonschema") against jsonschema's check_schema.

Run after a build:
    PYTHONPATH=build/python /usr/bin/python3 benchmarks/schema_import.py

Imports JSON Schemas of 25k, 50k and 100k properties, most of them "$ref"s to
a few definitions, the rest inline scalars with constraints, formats, enums,
tables and nested objects. Prints the time of each size and the time ratio of
each doubling (linear work keeps it near 2; the script exits with status 1
above 2.2), then times Draft202012Validator.check_schema, which walks the same
schema once, on the smallest size and prints how many times faster bezo is.
"""
import json
import sys
import time

import jsonschema

import bezo

SIZES = [25_000, 50_000, 100_000]

DEFINITIONS = {
    "id": {"type": "integer", "minimum": 1, "maximum": 1_000_000},
    "code": {"type": "string", "pattern": "^[A-Z]{2}-[0-9]+$", "maxLength": 12},
    "mail": {"type": "string", "format": "email"},
    "point": {"type": "object", "required": ["x"], "properties": {
        "x": {"type": "number"}, "y": {"type": "number", "exclusiveMinimum": 0}}},
}

# The property schemas taken in turn; a quarter of them are inline.
PROPERTIES = [
    {"$ref": "#/$defs/id"},
    {"$ref": "#/$defs/code"},
    {"$ref": "#/$defs/mail"},
    {"$ref": "#/$defs/point"},
    {"$ref": "#/$defs/id"},
    {"$ref": "#/$defs/code"},
    {"description": "one of three", "enum": ["red", "green", "blue"]},
    {"type": "array", "items": {"type": "object", "required": ["n"], "properties": {
        "n": {"$ref": "#/$defs/id"}, "label": {"type": "string", "minLength": 1}}}},
]


def schema_text(count):
    properties = {f"p{i}": PROPERTIES[i % len(PROPERTIES)] for i in range(count)}
    required = [f"p{i}" for i in range(0, count, 2)]
    return json.dumps({"$defs": DEFINITIONS, "type": "object", "required": required, "properties": properties})


def best_time(action, repeats):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        action()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    texts = {count: schema_text(count) for count in SIZES}
    seconds = {}
    for count in SIZES:
        text = texts[count]
        seconds[count] = best_time(lambda: bezo.import_schema("jsonschema", text, "bench"), 7)
        print(f"bezo   {count:>7} properties  {len(text) / 1e6:5.2f} MB  {seconds[count] * 1e3:8.1f} ms  "
              f"{seconds[count] / count * 1e9:6.0f} ns/property")
    doublings = [seconds[large] / seconds[small] for small, large in zip(SIZES, SIZES[1:])]
    print("time ratio per doubling: " + ", ".join(f"{ratio:.2f}" for ratio in doublings))

    smallest = SIZES[0]
    document = json.loads(texts[smallest])
    peer = best_time(lambda: jsonschema.Draft202012Validator.check_schema(document), 1)
    print(f"check_schema {smallest:>7} properties  {peer * 1e3:8.1f} ms  {peer / smallest * 1e6:6.1f} us/property")
    print(f"bezo is {peer / seconds[smallest]:.1f}x faster than check_schema")
    return 0 if max(doublings) <= 2.2 else 1


if __name__ == "__main__":
    sys.exit(main())
