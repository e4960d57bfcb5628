"""How the pipeline's calls scale from 10 MB to 20 MB, each call timed in a
fresh child process, as a caller meets it: the memory a call maps is new to
the process, nothing is left from an earlier call.

Shared by compile_scaling.py (compile, denormalize, build) and
fmt_unbuild_speed.py (fmt, unbuild). For every road and document shape the
scripts print the time of one call on about 10 MB and on about 20 MB (the
least of a few fresh children), the ratio (the target is at most 2.2), and
the page faults of the call over its input bytes (4 KiB pages, as bytes of
fresh memory per input byte). With --baseline DIR the same children run
with the module found in DIR too, interleaved with ours, so that both
columns come from one run.
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile

import bezo

MB = 1_000_000
PAGE = 4096
TARGET = 2.2

WORDS = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt ut labore "
         "et dolore magna aliqua").split()

RECORD = (
    "[@item]\n"
    "id={i}\n"
    "sku=SKU-{i:08d}\n"
    "name={name}\n"
    "!float\n"
    "price={price}\n"
    "!bool\n"
    "in_stock=true\n"
    "(/dims)\n"
    "!int\n"
    "w={w}\n"
    "!int\n"
    "h={h}\n"
    "unit=mm\n"
    "()\n"
    "@tags;=t{w};t{h}\n"
    "[]\n"
)


def records(size):
    """Sections of short typed fields, a namespace and a list each."""
    rng = random.Random(7)
    parts, total, i = [], 0, 0
    while total < size:
        part = RECORD.format(i=i, name=" ".join(rng.choice(WORDS) for _ in range(3)),
                             price=f"{rng.uniform(1, 999):.2f}", w=rng.randint(1, 200), h=rng.randint(1, 200))
        parts.append(part)
        total += len(part)
        i += 1
    return ".!bezo\n" + "".join(parts)


def long_text(size):
    """Sections that each hold a paragraph of 1 to 4 KB."""
    rng = random.Random(7)
    parts, total, i = [], 0, 0
    while total < size:
        body = " ".join(rng.choice(WORDS) for _ in range(rng.randint(200, 600)))
        part = f"[@doc]\nid={i}\ntitle=Document {i}\nbody={body}\n"
        parts.append(part)
        total += len(part)
        i += 1
    return ".!bezo\n" + "".join(parts)


def one_string(size):
    """One field holding the whole size."""
    line = "lorem ipsum dolor sit amet, consectetur adipiscing elit "
    return ".!bezo\ns=" + (line * (size // len(line) + 1))[:size] + "\n"


SHAPES = {"records": records, "long text": long_text, "one string": one_string}

# The child reads the road's input and times one call on it.
CHILD = r"""
import resource, sys, time
import bezo
road, path = sys.argv[1], sys.argv[2]
text = open(path, encoding="utf-8").read()
call = getattr(bezo, road)
faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
start = time.perf_counter()
call(text)
elapsed = time.perf_counter() - start
faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults
print(elapsed, faults, len(text.encode()))
"""


def road_input(road, authored):
    """The text a road reads: relational for denormalize, canonical for
    unbuild, the authored text for the others."""
    if road == "denormalize":
        return bezo.compile(authored)
    if road == "unbuild":
        return bezo.build(authored)
    return authored


def fresh_call(road, path, module_dir):
    """(seconds, faults per input byte) of one call in a fresh child."""
    env = dict(os.environ)
    if module_dir:
        env["PYTHONPATH"] = os.pathsep.join([module_dir, env.get("PYTHONPATH", "")])
    out = subprocess.run([sys.executable, "-c", CHILD, road, path], check=True, capture_output=True, text=True,
                         env=env).stdout.split()
    seconds, faults, size = float(out[0]), int(out[1]), int(out[2])
    return seconds, faults * PAGE / size


def parse_arguments(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--runs", type=int, default=3, help="fresh children per figure (the least time counts)")
    parser.add_argument("--baseline", metavar="DIR", help="also run the module found in DIR, for a before column")
    parser.add_argument("--shapes", default=",".join(SHAPES), help="document shapes, comma-separated")
    return parser.parse_args()


def report(roads, args):
    """Prints the scaling table of the roads; returns True when every ratio
    of the module under test is within the target."""
    builds = [("", "ours")] + ([(args.baseline, "baseline")] if args.baseline else [])
    within = True
    with tempfile.TemporaryDirectory() as folder:
        paths = {}
        for road in roads:
            for shape in args.shapes.split(","):
                for megabytes in (10, 20):
                    path = os.path.join(folder, f"{road}_{shape.replace(' ', '_')}{megabytes}.txt")
                    with open(path, "w", encoding="utf-8") as handle:
                        handle.write(road_input(road, SHAPES[shape](megabytes * MB)))
                    paths[road, shape, megabytes] = path
        print(f"fresh process, one call, least of {args.runs}; faults as bytes of fresh pages per input byte")
        for road in roads:
            for shape in args.shapes.split(","):
                best = {}
                for _ in range(args.runs):
                    for module_dir, name in builds:
                        for megabytes in (10, 20):
                            seconds, faults = fresh_call(road, paths[road, shape, megabytes], module_dir)
                            key = (name, megabytes)
                            if key not in best or seconds < best[key][0]:
                                best[key] = (seconds, faults)
                cells = []
                for _, name in builds:
                    (small, small_faults), (large, large_faults) = best[name, 10], best[name, 20]
                    ratio = large / small
                    if name == "ours" and ratio > TARGET:
                        within = False
                    cells.append(f"{name} {small * 1e3:7.1f} -> {large * 1e3:7.1f} ms  x{ratio:4.2f}  "
                                 f"faults {small_faults:4.1f} / {large_faults:4.1f}")
                print(f"{road:12} {shape:11} " + "   |   ".join(cells), flush=True)
    return within
