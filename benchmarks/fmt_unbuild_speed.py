"""Times bezo.fmt and bezo.unbuild side by side with a JSON round trip, and checks their scaling.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/fmt_unbuild_speed.py
                    [--runs N] [--baseline DIR] [--shapes records,long text,one string]

Generates authored documents of about 10 MB and 20 MB (section records with
annotations, nested namespaces, lists, compact splats and plain fields), and
times bezo.fmt of each and bezo.unbuild of its canonical text (from
bezo.build, or, while build is not in the module, the compiler's relational
text under the canonical declaration: the documents hold no reference, so
both are the same lines). Beside each it times json.dumps(json.loads(j)),
j being export_to("json") of the same data, and prints the ratios (bezo over
JSON; the target is at most 1.0) and how much longer the 20 MB document takes
than the 10 MB one (the target is at most 2.2). Then times one call of fmt
and unbuild on about 10 MB and 20 MB of records, long text and one long
string, each in a fresh child process (fresh_scaling.py), with the time per
doubling (the target is at most 2.2) and the page faults per input byte.
Exits with status 1 when a target is missed.
"""
import json
import sys

import bezo
from fresh_scaling import parse_arguments, report
from timing import best_time

KINDS = ("book", "article", "thesis")

BLOCK = (
    "[@record]\n"
    "id={i}\n"
    "kind={kind}\n"
    "!int[0,]\n"
    "pages={pages}\n"
    "title=Record number {i}\n"
    "(/price)\n"
    "!float\n"
    "amount={pages}.50\n"
    "currency=EUR\n"
    "()\n"
    "[]\n"
    "@tags;=t{a};t{b};t{c}\n"
    "/author/a{i}:=name=Author {a}|country=FR\n"
    "(/stats/r{i})\n"
    "!int\n"
    "views={pages}\n"
    "note=plain text, {i}\n"
    "()\n"
)


def document(megabytes):
    parts = [".!bezo\n\nname=catalog\n"]
    size = 0
    i = 0
    while size < megabytes * 1_000_000:
        block = BLOCK.format(i=i, kind=KINDS[i % 3], pages=i % 1000, a=i % 7, b=i % 11, c=i % 13)
        parts.append(block)
        size += len(block)
        i += 1
    return "".join(parts)


def canonical(text):
    try:
        return bezo.build(text)
    except bezo.BezoError as error:
        if "is not available in this build" not in str(error):
            raise
    return bezo.compile(text).replace(".!lezo", ".!nezo", 1)


def json_round_trip(text):
    return json.dumps(json.loads(text))


def main():
    args = parse_arguments(__doc__.splitlines()[0])
    figures = {}
    for megabytes in (10, 20):
        authored = document(megabytes)
        nezo = canonical(authored)
        exported = bezo.export_to("json", nezo)
        peer = best_time(lambda: json_round_trip(exported))
        fmt = best_time(lambda: bezo.fmt(authored))
        unbuild = best_time(lambda: bezo.unbuild(nezo))
        figures[megabytes] = (peer, fmt, unbuild)
        print(f"{megabytes} MB authored ({len(authored) / 1e6:.1f} MB, canonical {len(nezo) / 1e6:.1f} MB, "
              f"JSON {len(exported) / 1e6:.1f} MB): json round trip {peer * 1e3:.0f} ms")
        print(f"  fmt      {fmt * 1e3:7.0f} ms   ratio {fmt / peer:.2f}")
        print(f"  unbuild  {unbuild * 1e3:7.0f} ms   ratio {unbuild / peer:.2f}")
    fmt_scaling = figures[20][1] / figures[10][1]
    unbuild_scaling = figures[20][2] / figures[10][2]
    print(f"20 MB over 10 MB: fmt {fmt_scaling:.2f}, unbuild {unbuild_scaling:.2f}")
    ratios = [value / figures[size][0] for size in figures for value in figures[size][1:]]
    print()
    scaled = report(("fmt", "unbuild"), args)
    return 0 if max(ratios) <= 1.0 and fmt_scaling <= 2.2 and unbuild_scaling <= 2.2 and scaled else 1


if __name__ == "__main__":
    sys.exit(main())
