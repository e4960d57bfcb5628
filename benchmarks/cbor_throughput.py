"""Times export_to("cbor") beside cbor2.dumps and beside export_to("json").

Run after a build:  PYTHONPATH=build/python python3 benchmarks/cbor_throughput.py

Writes about 10 MB of canonical records and times, best of three runs each,
export_to("cbor") and export_to("json") of that text and cbor2.dumps of the
same records built as Python objects; prints both ratios. Then checks two
bounds: the CBOR export of half the text takes at least 1/2.2 of the time
of the whole (linear work), and a 100,000-digit integer converts in under
0.1 s. Exits with status 1 when either bound fails.
"""
import datetime
import sys

import cbor2

import bezo
from timing import best_time

TARGET_BYTES = 10_000_000
STAMP = datetime.datetime(2026, 7, 3, 21, tzinfo=datetime.timezone.utc)

RECORD = (
    "!int'@rows/{i}/id={i}\n"
    "!str'@rows/{i}/name=record number {i}\n"
    "!float'@rows/{i}/score={i}.25\n"
    "!bool'@rows/{i}/active=true\n"
    "!std/time/datetime'@rows/{i}/at=2026-07-03T21:00:00Z\n"
    "!int'@rows/{i}/@tags/0=7\n"
    "!int'@rows/{i}/@tags/1=-{i}\n"
    "!null'@rows/{i}/note=\n"
)


def canonical_text(records):
    return ".!nezo\n" + "".join(RECORD.format(i=i) for i in range(records))


def python_records(records):
    return {"rows": [{"id": i, "name": f"record number {i}", "score": i + 0.25, "active": True, "at": STAMP,
                      "tags": [7, -i], "note": None} for i in range(records)]}


def main():
    records = TARGET_BYTES // len(RECORD.format(i=10_000))
    text = canonical_text(records)
    data = python_records(records)
    assert cbor2.loads(bezo.export_to("cbor", text)) == data

    cbor = best_time(lambda: bezo.export_to("cbor", text))
    json = best_time(lambda: bezo.export_to("json", text))
    peer = best_time(lambda: cbor2.dumps(data))
    print(f"{records} records, {len(text) / 1e6:.1f} MB of canonical text")
    print(f"export_to('cbor') {cbor * 1e3:8.1f} ms")
    print(f"export_to('json') {json * 1e3:8.1f} ms   cbor / json   = {cbor / json:.2f}")
    print(f"cbor2.dumps       {peer * 1e3:8.1f} ms   cbor / cbor2  = {cbor / peer:.2f}")

    half_text = canonical_text(records // 2)
    half = best_time(lambda: bezo.export_to("cbor", half_text))
    growth = cbor / half
    print(f"time for the whole text over half of it: {growth:.2f} (at most 2.2)")

    big_text = f".!nezo\n!int'n={'7' * 100_000}\n"
    big = best_time(lambda: bezo.export_to("cbor", big_text))
    print(f"100,000-digit integer: {big * 1e3:.1f} ms (under 100 ms)")
    return 0 if growth <= 2.2 and big < 0.1 else 1


if __name__ == "__main__":
    sys.exit(main())
