"""Checks by hand that bezo.compile, denormalize and build run in time linear
in the document size, and times build within the JSON road.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/compile_scaling.py
                    [--runs N] [--baseline DIR] [--shapes records,long text,one string]

First compiles documents of growing size that mix the main line forms
(sections, annotations, unions, variables, splats, maps, references) in
this process and prints the time per field for each size; linear work
keeps that figure flat as the size doubles (the target: the largest
document costs less than twice as much per field as the smallest).

Then times one call of compile, denormalize and build on about 10 MB and
20 MB of records, long text and one long string, each in a fresh child
process (fresh_scaling.py), and prints the time per doubling (the target:
at most 2.2) and the page faults per input byte.

Last, the JSON road on about 10 MB and 20 MB of JSON records: import_from,
build and export_to beside json.loads and json.dumps of the same text,
with the peer's time over build's and over the whole road's (the target
for the road: at least 1.0). Exits with status 1 when a target is missed.
"""
import json
import random
import sys

import bezo
from fresh_scaling import MB, WORDS, parse_arguments, report
from timing import best_time

SIZES = [25_000, 50_000, 100_000, 200_000, 400_000]

HEADER = ".!bezo 1\n.!types std/time\n.v=shared\n/.s:=a=1|b=$.v\n"

# One block of the document and the number of fields it writes.
BLOCK = (
    "[@row]\n"
    "id={i}\n"
    "!int[0,]\n"
    "n={i}\n"
    "!int|text\n"
    "u=x{i}\n"
    "name=$.v-{i}\n"
    "ref=$id\n"
    "@tags;=a;b\n"
    "$/.s\n"
    "!map<int>\n"
    "m=k:{i};j:2\n"
)
FIELDS_PER_BLOCK = 11


def document(fields):
    blocks = fields // FIELDS_PER_BLOCK
    return HEADER + "".join(BLOCK.format(i=i) for i in range(blocks)), blocks * FIELDS_PER_BLOCK


def per_field_scaling():
    per_field = []
    for size in SIZES:
        text, fields = document(size)
        seconds = best_time(lambda: bezo.compile(text))
        per_field.append(seconds / fields)
        print(f"{fields:>8} fields  {len(text) / 1e6:6.2f} MB  {seconds * 1e3:8.1f} ms  "
              f"{per_field[-1] * 1e9:7.1f} ns/field")
    ratio = per_field[-1] / per_field[0]
    print(f"cost per field, largest over smallest: {ratio:.2f}\n")
    return ratio < 2.0


def json_records(size):
    rng = random.Random(11)
    items, total, i = [], 0, 0
    while total < size:
        item = {"id": i, "sku": f"SKU-{i:08d}", "name": " ".join(rng.choice(WORDS) for _ in range(3)),
                "price": round(rng.uniform(1, 999), 2), "in_stock": rng.random() < 0.7,
                "tags": [rng.choice(WORDS) for _ in range(rng.randint(1, 4))],
                "dims": {"w": rng.randint(1, 200), "h": rng.randint(1, 200), "unit": "mm"},
                "description": " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 30)))}
        items.append(item)
        total += len(json.dumps(item)) + 1
        i += 1
    return json.dumps({"name": "catalog", "items": items}, separators=(",", ":"))


def json_road():
    print("\nJSON road, best of 3 in this process (peer: json.loads + json.dumps; the road's target: at least 1.0)")
    within = True
    for megabytes in (10, 20):
        text = json_records(megabytes * MB)
        authored = bezo.import_from("json", text)
        canonical = bezo.build(authored)
        data = json.loads(text)
        imported = best_time(lambda: bezo.import_from("json", text))
        built = best_time(lambda: bezo.build(authored))
        exported = best_time(lambda: bezo.export_to("json", canonical))
        peer = best_time(lambda: json.loads(text)) + best_time(lambda: json.dumps(data, separators=(",", ":")))
        road = imported + built + exported
        within = within and peer / road >= 1.0
        print(f"{megabytes} MB of JSON: import {imported * 1e3:6.0f} ms, build {built * 1e3:6.0f} ms, "
              f"export {exported * 1e3:6.0f} ms; peer {peer * 1e3:6.0f} ms; "
              f"peer over build {peer / built:4.2f}, over the road {peer / road:4.2f}")
    return within


def main():
    args = parse_arguments(__doc__.splitlines()[0])
    linear = per_field_scaling()
    scaled = report(("compile", "denormalize", "build"), args)
    road = json_road()
    return 0 if linear and scaled and road else 1


if __name__ == "__main__":
    sys.exit(main())
