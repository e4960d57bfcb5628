"""Checks by hand that bezo.compile runs in time linear in the document size.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/compile_scaling.py

Compiles documents of growing size that mix the main line forms (sections,
annotations, unions, variables, splats, maps, references) and prints the time
per field for each size. Linear work keeps that figure flat as the size
doubles; the script exits with status 1 when the largest document costs more
than twice as much per field as the smallest.
"""
import sys

import bezo
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


def main():
    per_field = []
    for size in SIZES:
        text, fields = document(size)
        seconds = best_time(lambda: bezo.compile(text))
        per_field.append(seconds / fields)
        print(f"{fields:>8} fields  {len(text) / 1e6:6.2f} MB  {seconds * 1e3:8.1f} ms  "
              f"{per_field[-1] * 1e9:7.1f} ns/field")
    ratio = per_field[-1] / per_field[0]
    print(f"cost per field, largest over smallest: {ratio:.2f}")
    return 0 if ratio < 2.0 else 1


if __name__ == "__main__":
    sys.exit(main())
