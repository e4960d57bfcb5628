"""Times the shared paths of the module side by side with their peers.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/interchange_speed.py [--quick]

Roads and peers, on the same data in one run:
  import    bezo.import_from("json", J)   vs  json.loads(J), ujson.loads(J), rapidjson.loads(J)
  export    bezo.export_to("json", N)     vs  json.dumps(data), ujson.dumps and rapidjson.dumps
(ujson and rapidjson come with python3-ujson and python3-rapidjson; without
one the script names it and stops)
  compile   bezo.compile(A)               vs  json.loads(J)
where J is the data as JSON, N the same data as a canonical document and A
the authored text that import_from gives for J. json.dumps writes compact
separators without ASCII escaping, the same text export_to writes.

Data: generated catalogs (nested configuration, arrays of records, about 5%
non-ASCII strings) of 1, 10 and 20 MB, plus a deep document (128 levels), a
wide one (400,000 keys), one holding a single 10 MB string and a
unicode-heavy one. Every call gets a fresh str (so no UTF-8 cache carries
over), the contenders of a row run round-robin, and each keeps its best of
several rounds; the cyclic garbage collector is off during a timed call, as
in timeit, so that the objects this script keeps alive do not slow json.loads. The machine may be shared: read the ratios, not the times.

Printed: per road and data set the time, MB/s of the road's input, the
ratio to each peer; the time per doubling of catalogs from 5 to 40 MB, with
the fresh memory of a call (pages first touched in it: glibc maps a buffer
above 32 MB anew on every call, and the system maps and zeroes each page
of it again); the first call of import and export in a fresh process on
the 20 MB catalog over the 10 MB one, with json.loads and ujson.dumps
beside; and
the peak memory of one call over its input, measured in a fresh child
process from the rise of the resident set's high-water mark.
"""
import argparse
import gc
import json
import os
import random
import resource
import subprocess
import sys
import tempfile
import time

import bezo
from timing import fresh_process_step, require_module, with_fresh_strs

# Peers from Debian, for the benchmarks only: python3-ujson, python3-rapidjson.
ujson = require_module("ujson", "python3-ujson")
rapidjson = require_module("rapidjson", "python3-rapidjson")

MB = 1_000_000

ASCII_WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet",
               "kilo", "lima", "metric", "widget", "sprocket", "gear", "north", "south", "red", "blue"]
# Words of the basic multilingual plane; the unicode-heavy document adds
# characters beyond it, which make Python hold a text at four bytes each.
UNICODE_WORDS = ["café", "Müller", "naïve", "Ångström", "東京", "северный", "łódź", "ελληνικά", "日本語",
                 "Straße", "español", "Žluťoučký", "대한민국"]
ASTRAL_WORDS = ["😀smile", "𝄞clef", "🚀launch"]


# --- data ------------------------------------------------------------------

def words(rng, count, unicode_share, astral=False):
    pool = ASCII_WORDS
    if rng.random() < unicode_share:
        pool = UNICODE_WORDS + ASTRAL_WORDS if astral else UNICODE_WORDS
    return " ".join(rng.choice(pool) for _ in range(count))


def record(rng, i, unicode_share, astral):
    return {
        "id": i,
        "sku": f"SKU-{i:08d}",
        "name": words(rng, 3, unicode_share, astral),
        "price": round(rng.uniform(1, 999), 2),
        "in_stock": rng.random() < 0.7,
        "tags": [rng.choice(ASCII_WORDS) for _ in range(rng.randint(1, 4))],
        "dims": {"w": rng.randint(1, 200), "h": rng.randint(1, 200), "unit": "mm"},
        "description": words(rng, rng.randint(4, 30), unicode_share, astral),
        "supplier": None if rng.random() < 0.2 else {"name": words(rng, 2, unicode_share, astral), "country": "DE"},
    }


def config(rng):
    return {
        "service": {"name": "catalog", "port": 8080, "debug": False,
                    "timeouts": {"connect": 1.5, "read": 30, "write": 30},
                    "features": ["search", "export", "audit"]},
        "database": {"host": "db.internal", "port": 5432, "pool": {"min": 2, "max": 32},
                     "replicas": [{"host": f"r{k}.internal", "weight": k} for k in range(3)]},
        "limits": {f"tier_{k}": {"rps": 100 * k, "burst": 10 * k} for k in range(1, 8)},
        "seed": rng.randint(0, 10**12),
    }


def catalog(size, unicode_share=0.05, seed=7, astral=False):
    """Nested configuration plus arrays of records, about `size` bytes of JSON."""
    rng = random.Random(seed)
    data = {"config": config(rng), "products": [], "customers": []}
    approx = 600
    i = 0
    while approx < size:
        item = record(rng, i, unicode_share, astral)
        data["products" if i % 3 else "customers"].append(item)
        approx += len(json.dumps(item, ensure_ascii=False).encode())
        i += 1
    return data


def deep(levels=128, branches=60, seed=7):
    """Branches of `levels` nested objects, each level holding a few scalars."""
    rng = random.Random(seed)
    root = {}
    for b in range(branches):
        node = root.setdefault(f"branch{b}", {})
        for level in range(levels):
            node["n"] = level
            node["label"] = words(rng, 2, 0.05)
            node = node.setdefault(f"l{level}", {})
        node["leaf"] = True
    return root


def wide(keys=400_000):
    return {f"key{k:07d}": k if k % 2 else f"v{k}" for k in range(keys)}


def long_string(size=10 * MB):
    text = ("lorem ipsum dolor sit amet, consectetur adipiscing elit " * (size // 56 + 1))[:size]
    return {"s": text}


def unicode_heavy(size=5 * MB):
    return catalog(size, unicode_share=0.9, seed=11, astral=True)


def segment(key):
    if key.isidentifier() and key.isascii():
        return key
    return '"' + key.replace('"', '""') + '"'


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
    else:
        out.append(f"!str'{path}={value}")


def canonical_text(data):
    lines = [".!nezo"]
    canonical_lines(data, "", lines)
    return "\n".join(lines) + "\n"


def dumps(data):
    return json.dumps(data, ensure_ascii=False, separators=(",", ":"))


class DataSet:
    def __init__(self, name, data):
        self.name = name
        self.data = data
        self.json = dumps(data)
        self.canonical = canonical_text(data)
        self.authored = bezo.import_from("json", self.json)


# --- timing ----------------------------------------------------------------

def minor_faults():
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt


def best_times(contenders, rounds, faults=None):
    """Best time of each (name, function, input) contender, run round-robin.
    With a `faults` dict, also the fewest pages each first touched in a call
    (fresh memory the call had the system map)."""
    best = {name: float("inf") for name, _, _ in contenders}
    for round_index in range(rounds):
        order = contenders[round_index % len(contenders):] + contenders[:round_index % len(contenders)]
        for name, function, argument in order:
            if isinstance(argument, str):
                argument = with_fresh_strs(argument)
            gc.disable()
            touched = minor_faults()
            start = time.perf_counter()
            function(argument)
            elapsed = time.perf_counter() - start
            touched = minor_faults() - touched
            gc.enable()
            best[name] = min(best[name], elapsed)
            if faults is not None:
                faults[name] = min(faults.get(name, touched), touched)
    return best


def export_contenders(data_set):
    """export_to("json") beside json.dumps, ujson.dumps and rapidjson.dumps of
    the same data, each writing compact JSON without ASCII escaping."""
    return [("bezo", lambda text: bezo.export_to("json", text), data_set.canonical),
            ("json.dumps", dumps, data_set.data),
            ("ujson.dumps", lambda data: ujson.dumps(data, ensure_ascii=False), data_set.data),
            ("rapidjson.dumps", lambda data: rapidjson.dumps(data, ensure_ascii=False), data_set.data)]


def road_contenders(road, data_set):
    if road == "import":
        rows = [("bezo", lambda text: bezo.import_from("json", text), data_set.json),
                ("json.loads", json.loads, data_set.json),
                ("ujson.loads", ujson.loads, data_set.json),
                ("rapidjson.loads", rapidjson.loads, data_set.json)]
        return rows, data_set.json
    if road == "export":
        return export_contenders(data_set), data_set.canonical
    return [("bezo", bezo.compile, data_set.authored), ("json.loads", json.loads, data_set.json)], data_set.authored


def input_mb(text):
    return len(text.encode()) / MB


def report_speed(data_sets, rounds):
    print(f"{'road':8} {'data':16} {'input MB':>9} {'bezo ms':>9} {'MB/s':>7}  peers (time, bezo/peer)")
    for road in ("import", "export", "compile"):
        for data_set in data_sets:
            contenders, road_input = road_contenders(road, data_set)
            best = best_times(contenders, rounds)
            size = input_mb(road_input)
            ours = best["bezo"]
            peers = "  ".join(f"{name} {best[name] * 1e3:8.1f} ms {ours / best[name]:5.2f}x"
                              for name, _, _ in contenders[1:])
            print(f"{road:8} {data_set.name:16} {size:9.2f} {ours * 1e3:9.1f} {size / ours:7.1f}  {peers}")


def report_scaling(sizes, rounds):
    print("\nscaling: time per doubling of the catalog (target at most 2.2x), and the fresh memory of a call")
    print("(pages first touched in it, least of the rounds, in MB: what the system mapped anew for it)")
    sets = [DataSet(f"catalog {size // MB} MB", catalog(size)) for size in sizes]
    page = os.sysconf("SC_PAGE_SIZE")
    for road in ("import", "export", "compile"):
        times = []
        fresh_mb = []
        for data_set in sets:
            contenders, _ = road_contenders(road, data_set)
            faults = {}
            times.append(best_times(contenders[:1], rounds, faults)["bezo"])
            fresh_mb.append(faults["bezo"] * page / MB)
        steps = "  ".join(f"{later / earlier:4.2f}x" for earlier, later in zip(times, times[1:]))
        print(f"{road:8} {' '.join(f'{t * 1e3:7.1f}' for t in times)} ms   per doubling: {steps}   "
              f"fresh MB: {' '.join(f'{mb:.0f}' for mb in fresh_mb)}")


def report_fresh_steps(sizes):
    """The first call of each road in a fresh process, on the larger catalog
    over the smaller, with the peers' own steps beside."""
    print("\nfirst call in a fresh process: time on twice the catalog (target at most 2.2x)")
    catalog_of = "import bezo, ujson, interchange_speed as bench; data = bench.catalog({})"
    steps = [("import", "json.loads", f"{catalog_of}; text = bench.dumps(data)",
              'bezo.import_from("json", text)', "bench.json.loads(text)"),
             ("export", "ujson.dumps", f"{catalog_of}; text = bench.canonical_text(data)",
              'bezo.export_to("json", text)', "ujson.dumps(data, ensure_ascii=False)")]
    for road, peer, setup, ours, theirs in steps:
        print(f"{road:8} {fresh_process_step(setup, ours, sizes):4.2f}x   "
              f"{peer} {fresh_process_step(setup, theirs, sizes):4.2f}x")


# --- peak memory -----------------------------------------------------------

CHILD = r"""
import json, sys
import bezo
road, path = sys.argv[1], sys.argv[2]
text = open(path, encoding="utf-8").read()
if road == "import":
    call = lambda: bezo.import_from("json", text)
elif road == "export":
    call = lambda: bezo.export_to("json", text)
elif road == "compile":
    call = lambda: bezo.compile(text)
elif road == "json.loads":
    call = lambda: json.loads(text)
else:
    data = json.loads(text)
    text = None
    call = lambda: json.dumps(data, ensure_ascii=False, separators=(",", ":"))

def status(field):
    for line in open("/proc/self/status"):
        if line.startswith(field):
            return int(line.split()[1]) * 1024

open("/proc/self/clear_refs", "w").write("5")
before = status("VmRSS:")
result = call()
print(status("VmHWM:") - before)
"""


def peak_rise(road, text):
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt", delete=False) as handle:
        handle.write(text)
    try:
        out = subprocess.run([sys.executable, "-c", CHILD, road, handle.name], check=True, capture_output=True,
                             text=True, env=dict(os.environ))
        return int(out.stdout)
    finally:
        os.unlink(handle.name)


def report_memory(data_sets):
    print("\npeak memory of one call, fresh child process (target at most 4x input + 50 MB)")
    for data_set in data_sets:
        cases = [("import", data_set.json), ("export", data_set.canonical), ("compile", data_set.authored),
                 ("json.loads", data_set.json), ("json.dumps", data_set.json)]
        for road, text in cases:
            size = len(text.encode())
            rise = peak_rise(road, text)
            verdict = "ok" if rise <= 4 * size + 50 * MB else "OVER"
            print(f"{road:10} {data_set.name:16} input {size / MB:7.2f} MB  peak rise {rise / MB:8.1f} MB "
                  f"= {rise / size:5.2f}x  {verdict}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="smaller data and fewer rounds")
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    rounds = 2 if args.quick else args.rounds
    catalog_sizes = [1 * MB, 5 * MB] if args.quick else [1 * MB, 10 * MB, 20 * MB]
    data_sets = [DataSet(f"catalog {size // MB} MB", catalog(size)) for size in catalog_sizes]
    data_sets += [DataSet("deep 128", deep(branches=10 if args.quick else 60)),
                  DataSet("wide 400k", wide(40_000 if args.quick else 400_000)),
                  DataSet("long string", long_string(MB if args.quick else 10 * MB)),
                  DataSet("unicode", unicode_heavy(MB if args.quick else 5 * MB))]
    report_speed(data_sets, rounds)
    report_scaling([5 * MB, 10 * MB] if args.quick else [5 * MB, 10 * MB, 20 * MB, 40 * MB], rounds)
    report_fresh_steps(catalog_sizes[-2:])
    report_memory([data_sets[-5]] if args.quick else [data_sets[2]] + data_sets[3:])


if __name__ == "__main__":
    main()
