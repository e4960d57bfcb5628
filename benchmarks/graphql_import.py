"""Times bezo.import_schema("graphql") against graphql-core's parse.

Run after a build:
    PYTHONPATH=build/python /usr/bin/python3 benchmarks/graphql_import.py

Imports SDL documents of 1000, 2000 and 4000 object types (0.5 to 2.2 MB),
each with scalar, enum, list and object fields, arguments with defaults
(negative numbers, lists, objects, enum values), directives and a list of
items; a Query root holds every type once. The sizes take turns, best of 9. Prints the time per byte of each size and
the time ratio of each doubling (linear work keeps it near 2; the script
exits with status 1 above 2.2), then times graphql.parse (python3-graphql-core)
on the smallest document and prints how many times faster bezo is. That
parser predates SDL descriptions, so the documents hold none.
"""
import sys

import bezo
from timing import best_time, require_module

parse = require_module("graphql", "python3-graphql-core").parse

SIZES = [1000, 2000, 4000]

PROLOGUE = """directive @tag(name: String!, weight: Int = -1) on FIELD_DEFINITION | OBJECT
enum Color { RED GREEN BLUE @deprecated(reason: "too blue") }
enum Status { ACTIVE INACTIVE }
input Filter { min: Int = -5 max: Int = 100 colors: [Color!] = [RED, GREEN] }
scalar DateTime
union Result = Query | Filter
"""

TYPE = """type T{i} @tag(name: "t{i}") {{
  id: ID!
  count(first: Int = 10, after: String = "cursor", skip: Int = -3): Int
  ratio: Float @deprecated(reason: "use score")
  score: Float!
  flag: Boolean!
  color(filter: Filter = {{min: 1, colors: [RED, BLUE]}}, order: [Color] = [GREEN]): Color!
  status: Status
  tags(limit: Int = 5): [String!] @tag(name: "tags", weight: 2)
  codes: [Int]
  items(where: Filter = {{max: 9}}): [Item{i}!]
  when: DateTime
  next: T{i}
}}
type Item{i} {{ name: String! qty: Int price: Float! color: Color }}
"""


def sdl(count):
    types = "".join(TYPE.format(i=i) for i in range(count))
    root = "type Query {\n" + "".join(f"  t{i}: T{i}!\n" for i in range(count)) + "}\n"
    return PROLOGUE + types + root


def main():
    texts = {count: sdl(count) for count in SIZES}
    # The sizes take turns, so that the load of a shared machine weighs on each alike.
    seconds = {count: float("inf") for count in SIZES}
    for _ in range(9):
        for count in SIZES:
            text = texts[count]
            seconds[count] = min(seconds[count],
                                 best_time(lambda: bezo.import_schema("graphql", text, "bench", message="Query"), 1))
    for count in SIZES:
        size = len(texts[count])
        print(f"bezo   {count:>5} types  {size / 1e3:7.0f} kB  {seconds[count] * 1e3:7.2f} ms  "
              f"{seconds[count] / size * 1e9:6.1f} ns/byte")
    doublings = [seconds[large] / seconds[small] for small, large in zip(SIZES, SIZES[1:])]
    print("time ratio per doubling: " + ", ".join(f"{ratio:.2f}" for ratio in doublings))

    smallest = SIZES[0]
    text = texts[smallest]
    peer = best_time(lambda: parse(text), 3)
    print(f"graphql.parse {smallest:>5} types  {len(text) / 1e3:7.0f} kB  {peer * 1e3:7.1f} ms  "
          f"{peer / len(text) * 1e9:6.1f} ns/byte")
    print(f"bezo is {peer / seconds[smallest]:.1f}x faster than graphql.parse")
    return 0 if max(doublings) <= 2.2 else 1


if __name__ == "__main__":
    sys.exit(main())
