"""Times export_to("avro") beside the avro library's DataFileWriter.

Run after a build:  PYTHONPATH=build/python /usr/bin/python3 benchmarks/avro_export.py

For 25,000 to 400,000 rows (a long, a string, a double, a decimal, an array,
a nested record and a timestamp each) times export_to("avro") of the
canonical text, best of three, and DataFileWriter writing the same datum,
built as Python objects, under the schema that our file declares, once;
prints the ratio for each size. Then checks that each doubling of the rows
takes at most 2.2 times as long (linear work), and exits with status 1 when
it does not.
"""
import datetime
import decimal
import io
import sys

import avro.datafile
import avro.io
import avro.schema

import bezo
from timing import best_time

SIZES = [25_000, 50_000, 100_000, 200_000, 400_000]
STAMP = datetime.datetime(2026, 7, 3, 21, 0, 0, 123456, tzinfo=datetime.timezone.utc)

ROW = (
    "!int'@rows/{i}/id={i}\n"
    "!str'@rows/{i}/name=record number {i}\n"
    "!float'@rows/{i}/score={i}.25\n"
    "!float'@rows/{i}/price={i}.12345678901234567\n"
    "!int'@rows/{i}/@tags/0=7\n"
    "!int'@rows/{i}/@tags/1=-{i}\n"
    "!str'@rows/{i}/address/city=Springfield\n"
    "!int'@rows/{i}/address/zip={zip}\n"
    "!std/time/datetime'@rows/{i}/at=2026-07-03T21:00:00.123456Z\n"
)


def canonical_text(rows):
    return ".!nezo\n" + "".join(ROW.format(i=i, zip=i % 99_999) for i in range(rows))


def python_datum(rows):
    return {"rows": [{"id": i, "name": f"record number {i}", "score": i + 0.25,
                      "price": decimal.Decimal(f"{i}.12345678901234567"), "tags": [7, -i],
                      "address": {"city": "Springfield", "zip": i % 99_999}, "at": STAMP} for i in range(rows)]}


def peer_write(schema, datum):
    buffer = io.BytesIO()
    writer = avro.datafile.DataFileWriter(buffer, avro.io.DatumWriter(), schema)
    writer.append(datum)
    writer.flush()
    return buffer.getvalue()


def main():
    ours = {}
    print(f"{'rows':>8} {'export_to':>12} {'DataFileWriter':>15} {'ratio':>7}")
    for rows in SIZES:
        text = canonical_text(rows)
        data = bezo.export_to("avro", text)
        reader = avro.datafile.DataFileReader(io.BytesIO(data), avro.io.DatumReader())
        schema = avro.schema.parse(reader.meta["avro.schema"].decode())
        datum = python_datum(rows)
        assert next(iter(reader)) == datum
        ours[rows] = best_time(lambda: bezo.export_to("avro", text), 3)
        peer = best_time(lambda: peer_write(schema, datum), 1)
        print(f"{rows:>8} {ours[rows] * 1e3:>9.1f} ms {peer * 1e3:>12.1f} ms {peer / ours[rows]:>6.1f}x"
              f"   ({ours[rows] / rows * 1e6:.2f} vs {peer / rows * 1e6:.1f} us/row)")
    growth = [ours[large] / ours[small] for small, large in zip(SIZES, SIZES[1:])]
    print("time for twice the rows over the time before:", ", ".join(f"{g:.2f}" for g in growth), "(at most 2.2)")
    return 0 if max(growth) <= 2.2 else 1


if __name__ == "__main__":
    sys.exit(main())
