"""Times export_to("cbor") beside cbor2.dumps (Debian package python3-cbor2).

Run after a build:  PYTHONPATH=build/python python3 benchmarks/cbor_throughput.py [--quick]

For records, configuration and long text of 10 and 20 MB of canonical text
it times, median of several interleaved runs, export_to("cbor") of the text
and cbor2.dumps of the same data built as Python objects, and prints the
ratio (peer time over bezo time; 1.0 or more is the target). Each round
hands both fresh strs, which they must encode as they do the first time a
caller's data reaches them. cbor2 is timed on the same objects in every
round too, printed beside: CPython keeps the UTF-8 of a str in it once
cbor2 has asked for it, so from the second round on cbor2 copies that UTF-8
where export_to, which keeps nothing in the caller's str, encodes again.
Then, for each kind of data, it times the first export of the 10 MB and of
the 20 MB text, each in a fresh process, and prints how much longer the
doubled text takes (at most 2.2 is the target), with cbor2's own step beside
it; and it times a 100,000-digit integer (under 0.1 s). Exits with status 1
when a target is missed. Without cbor2 it names the package and stops.
"""
import argparse
import random
import sys

import bezo
from interchange_speed import canonical_text
from timing import fresh_process_step, interleaved_medians, require_module, with_fresh_strs

cbor2 = require_module("cbor2", "python3-cbor2")

MB = 1_000_000
WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "widget", "sprocket", "café", "東京", "Müller"]


def words(draw, count):
    return " ".join(draw.choice(WORDS) for _ in range(count))


def records(size):
    """Rows of a table: integers, a text, a float, a flag, a short array and a null."""
    draw = random.Random(7)
    rows = []
    while len(rows) * 150 < size:
        i = len(rows)
        rows.append({"id": i, "name": words(draw, 3), "score": i + 0.25, "active": i % 3 == 0, "tags": [7, -i],
                     "note": None})
    return {"rows": rows}


def config(size):
    """Sections of groups of settings: nested records, no arrays."""
    draw = random.Random(7)
    root = {}
    while len(root) * 20 * 10 * 45 < size:
        root[f"section_{len(root)}"] = {
            f"group_{g}": {f"key_{k}": draw.choice([draw.randint(-10**6, 10**6), draw.random() < 0.5,
                                                     round(draw.uniform(-1e3, 1e3), 3), words(draw, 2)])
                           for k in range(10)}
            for g in range(20)}
    return root


def long_text(size):
    """A few long texts."""
    draw = random.Random(7)
    chapters = []
    while len(chapters) * 100_000 < size:
        chapters.append(" ".join(words(draw, 20) for _ in range(1_500))[:100_000])
    return {"book": {"title": "long", "chapters": chapters}}


KINDS = {"records": records, "config": config, "long text": long_text}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="1 and 2 MB, fewer rounds")
    args = parser.parse_args()
    sizes = [1 * MB, 2 * MB] if args.quick else [10 * MB, 20 * MB]
    rounds = 3 if args.quick else 7
    fine = True
    print(f"{'data':10} {'canonical MB':>12} {'bezo ms':>9} {'cbor2 ms':>9}  cbor2/bezo (target >= 1.0)"
          f"  {'same strs ms':>12}  cbor2/bezo")
    for kind, make in KINDS.items():
        for size in sizes:
            data = make(size)
            text = canonical_text(data)
            assert cbor2.loads(bezo.export_to("cbor", text)) == data
            best = interleaved_medians([("bezo", lambda fresh: bezo.export_to("cbor", fresh),
                                         lambda: with_fresh_strs(text)),
                                        ("cbor2", cbor2.dumps, lambda: with_fresh_strs(data)),
                                        ("cbor2, same strs", lambda: cbor2.dumps(data))], rounds)
            ratio = best["cbor2"] / best["bezo"]
            fine &= ratio >= 1.0
            print(f"{kind:10} {len(text.encode()) / MB:12.1f} {best['bezo'] * 1e3:9.1f} {best['cbor2'] * 1e3:9.1f}"
                  f"  {ratio:5.2f}{'':21}{best['cbor2, same strs'] * 1e3:12.1f}"
                  f"  {best['cbor2, same strs'] / best['bezo']:5.2f}")

    print("\nfirst export in a fresh process, twice the text (target at most 2.2), and cbor2's own")
    for kind in KINDS:
        data = f"bench.KINDS[{kind!r}]({{}})"
        ours = fresh_process_step(f"import bezo, cbor_throughput as bench; text = bench.canonical_text({data})",
                          'bezo.export_to("cbor", text)', sizes)
        peer = fresh_process_step(f"import cbor2, cbor_throughput as bench; data = {data}", "cbor2.dumps(data)", sizes)
        fine &= ours <= 2.2
        print(f"{kind:10} {ours:4.2f}x   cbor2 {peer:4.2f}x")

    big_text = f".!nezo\n!int'n={'7' * 100_000}\n"
    big = interleaved_medians([("bezo", lambda: bezo.export_to("cbor", big_text))], 3)["bezo"]
    print(f"\n100,000-digit integer: {big * 1e3:.1f} ms (under 100 ms)")
    return 0 if fine and big < 0.1 else 1


if __name__ == "__main__":
    sys.exit(main())
