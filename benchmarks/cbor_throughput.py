"""Times export_to("cbor") beside cbor2.dumps (Debian package python3-cbor2).

Run after a build:  PYTHONPATH=build/python python3 benchmarks/cbor_throughput.py [--quick]

For records, configuration and long text of 10 and 20 MB of canonical text
it times, median of several interleaved runs, export_to("cbor") of the text
and cbor2.dumps of the same data built as Python objects, and prints the
ratio (peer time over bezo time; 1.0 or more is the target). Then, for each
kind of data, it times the first export of the 10 MB and of the 20 MB text,
each in a fresh process, and prints how much longer the doubled text takes
(at most 2.2 is the target); and it times a 100,000-digit integer (under
0.1 s). Exits with status 1 when a target is missed. Without cbor2 it names
the package and stops.
"""
import argparse
import datetime
import random
import statistics
import subprocess
import sys
import time

import bezo
from timing import require_module

cbor2 = require_module("cbor2", "python3-cbor2")

MB = 1_000_000
STAMP = datetime.datetime(2026, 7, 3, 21, tzinfo=datetime.timezone.utc)
WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "widget", "sprocket", "café", "東京", "Müller"]


def words(draw, count):
    return " ".join(draw.choice(WORDS) for _ in range(count))


def records(size):
    """Rows of a table: integers, a text, a float, a flag, an instant, a short array and a null."""
    draw = random.Random(7)
    rows = []
    while len(rows) * 190 < size:
        i = len(rows)
        rows.append({"id": i, "name": words(draw, 3), "score": i + 0.25, "active": i % 3 == 0, "at": STAMP,
                     "tags": [7, -i], "note": None})
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


def segment(key):
    return key if key.isidentifier() and key.isascii() else '"' + key.replace('"', '""') + '"'


def canonical_lines(value, path, out):
    if isinstance(value, dict):
        for key, item in value.items():
            canonical_lines(item, f"{path}/{segment(key)}" if path else segment(key), out)
    elif isinstance(value, list):
        head, _, name = path.rpartition("/")
        array = f"{head}/@{name}" if head else f"@{name}"
        for index, item in enumerate(value):
            canonical_lines(item, f"{array}/{index}", out)
    elif value is None:
        out.append(f"!null'{path}=")
    elif isinstance(value, bool):
        out.append(f"!bool'{path}={'true' if value else 'false'}")
    elif isinstance(value, int):
        out.append(f"!int'{path}={value}")
    elif isinstance(value, float):
        out.append(f"!float'{path}={value!r}")
    elif isinstance(value, datetime.datetime):
        out.append(f"!std/time/datetime'{path}={value.isoformat().replace('+00:00', 'Z')}")
    else:
        out.append(f"!str'{path}={value}")


def canonical_text(data):
    lines = [".!nezo"]
    canonical_lines(data, "", lines)
    return "\n".join(lines) + "\n"


def interleaved_medians(contenders, rounds):
    """The median time of each (name, call) contender, run round-robin."""
    times = {name: [] for name, _ in contenders}
    for _ in range(rounds):
        for name, call in contenders:
            start = time.perf_counter()
            call()
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(runs) for name, runs in times.items()}


FIRST_CALL = """
import sys, time
sys.path.insert(0, sys.argv[1])
import bezo, cbor_throughput as bench
text = bench.canonical_text(bench.KINDS[sys.argv[2]](int(sys.argv[3])))
start = time.perf_counter()
bezo.export_to("cbor", text)
print(time.perf_counter() - start)
"""


def first_call_time(kind, size):
    """The time of one export in a fresh process, the data made there."""
    out = subprocess.run([sys.executable, "-c", FIRST_CALL, sys.path[0], kind, str(size)], check=True,
                         capture_output=True, text=True)
    return float(out.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="1 and 2 MB, fewer rounds")
    args = parser.parse_args()
    sizes = [1 * MB, 2 * MB] if args.quick else [10 * MB, 20 * MB]
    rounds = 3 if args.quick else 7
    fine = True
    print(f"{'data':10} {'canonical MB':>12} {'bezo ms':>9} {'cbor2 ms':>9}  cbor2/bezo (target >= 1.0)")
    for kind, make in KINDS.items():
        for size in sizes:
            data = make(size)
            text = canonical_text(data)
            assert cbor2.loads(bezo.export_to("cbor", text)) == data
            best = interleaved_medians([("bezo", lambda: bezo.export_to("cbor", text)),
                                        ("cbor2", lambda: cbor2.dumps(data))], rounds)
            ratio = best["cbor2"] / best["bezo"]
            fine &= ratio >= 1.0
            print(f"{kind:10} {len(text.encode()) / MB:12.1f} {best['bezo'] * 1e3:9.1f} {best['cbor2'] * 1e3:9.1f}"
                  f"  {ratio:5.2f}")

    print("\nfirst export in a fresh process, twice the text (target at most 2.2)")
    for kind in KINDS:
        growth = first_call_time(kind, sizes[1]) / first_call_time(kind, sizes[0])
        fine &= growth <= 2.2
        print(f"{kind:10} {growth:4.2f}x")

    big_text = f".!nezo\n!int'n={'7' * 100_000}\n"
    big = interleaved_medians([("bezo", lambda: bezo.export_to("cbor", big_text))], 3)["bezo"]
    print(f"\n100,000-digit integer: {big * 1e3:.1f} ms (under 100 ms)")
    return 0 if fine and big < 0.1 else 1


if __name__ == "__main__":
    sys.exit(main())
