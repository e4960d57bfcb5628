"""Peak memory of one call over the bytes of its input, road by road.

Run after a build:  PYTHONPATH=build/python /usr/bin/python3 benchmarks/memory_per_byte.py [MB]

For each road and shape (TOML arrays of small values, of small inline
tables and of dates, points, one table per key, a file of records; Avro
records that each hold a short array; JSON, YAML, XML imports; JSON, CBOR,
XML, Avro exports of records) writes about MB megabytes (default 4) of input to a file, runs the
call in a fresh child process that reads it, and prints how far the call
raised the process's peak resident memory (VmHWM) beyond what it held
before, over the input's bytes. A figure, not a test: nothing is checked.
"""
import json
import os
import subprocess
import sys
import tempfile

CHILD = r'''
import json, sys
import bezo

def status(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) * 1024

road, fmt, path = sys.argv[1:4]
with open(path, encoding="utf-8") as f:
    text = f.read()
try:
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # starts VmHWM again from what is resident now
except OSError:
    pass
before = status("VmRSS")
try:
    getattr(bezo, road)(fmt, text)
    outcome = "ok"
except bezo.BezoError as error:
    outcome = "refused: " + str(error)[:60]
print(json.dumps([outcome, len(text.encode("utf-8")), status("VmHWM") - before]))
'''

WORDS = "alpha beta gamma delta epsilon zeta eta theta iota kappa".split()


def record(i):
    return {"id": i, "sku": "ABC-%04d" % (i % 9973), "qty": i % 1000, "price": (i % 997) + 0.25,
            "paid": i % 2 == 0, "note": " ".join(WORDS[(i + k) % len(WORDS)] for k in range(i % 6 + 2)),
            "customer": {"name": WORDS[i % len(WORDS)].title(), "country": ["DE", "FR", "US"][i % 3]},
            "tags": [WORDS[(i * 7 + k) % len(WORDS)] for k in range(i % 4)]}


def repeat_to(size, piece):
    """`piece(i)` for i = 0, 1, ... until the pieces hold `size` bytes."""
    parts, total, i = [], 0, 0
    while total < size:
        part = piece(i)
        parts.append(part)
        total += len(part)
        i += 1
    return parts


def toml_records(size):
    return "".join(repeat_to(size, lambda i: (
        '[[orders]]\nid = %d\nsku = "%s"\nqty = %d\nprice = %r\npaid = %s\nnote = "%s"\ntags = [%s]\n'
        '[orders.customer]\nname = "%s"\ncountry = "%s"\n' % (
            i, record(i)["sku"], record(i)["qty"], record(i)["price"], str(record(i)["paid"]).lower(),
            record(i)["note"], ", ".join('"%s"' % t for t in record(i)["tags"]), record(i)["customer"]["name"],
            record(i)["customer"]["country"]))))


def xml_records(size):
    def element(r):
        return "<orders>" + "".join(
            "<%s>%s</%s>" % (k, v if not isinstance(v, dict) else "".join("<%s>%s</%s>" % (a, b, a)
                                                                         for a, b in v.items()), k)
            for k, v in r.items() if k != "tags") + "".join("<tags>%s</tags>" % t for t in r["tags"]) + "</orders>"
    return "<bench>" + "".join(repeat_to(size, lambda i: element(record(i)))) + "</bench>"


def yaml_records(size):
    return "orders:\n" + "".join(repeat_to(size, lambda i: (
        "- id: %d\n  sku: %s\n  qty: %d\n  price: %r\n  paid: %s\n  note: %s\n  customer:\n    name: %s\n"
        "    country: %s\n  tags: [%s]\n" % (
            i, record(i)["sku"], record(i)["qty"], record(i)["price"], str(record(i)["paid"]).lower(),
            record(i)["note"], record(i)["customer"]["name"], record(i)["customer"]["country"],
            ", ".join(record(i)["tags"])))))


def json_records(size):
    return '{"orders":[' + ",".join(repeat_to(size, lambda i: json.dumps(record(i)))) + "]}"


def canonical_records(size):
    def lines(i):
        r = record(i)
        return ("!int'@orders/{i}/id={i}\n!str'@orders/{i}/sku={sku}\n!int'@orders/{i}/qty={qty}\n"
                "!float'@orders/{i}/price={price}\n!bool'@orders/{i}/paid={paid}\n!str'@orders/{i}/note={note}\n"
                "!str'@orders/{i}/customer/name={name}\n!str'@orders/{i}/customer/country={country}\n").format(
            i=i, sku=r["sku"], qty=r["qty"], price=r["price"], paid=str(r["paid"]).lower(), note=r["note"],
            name=r["customer"]["name"], country=r["customer"]["country"]) + "".join(
            "!str'@orders/%d/@tags/%d=%s\n" % (i, k, t) for k, t in enumerate(r["tags"]))
    return ".!nezo\n" + "".join(repeat_to(size, lines))


def csv_items(size, item, head="a = [", tail="]\n"):
    """An array of `item(i)`, separators included in the size."""
    return head + "".join(repeat_to(size, lambda i: item(i) + ","))[:-1] + tail


SHAPES = [
    ("import_from", "toml", "array of one-digit numbers", lambda n: csv_items(n, lambda i: "1")),
    ("import_from", "toml", "array of small inline tables", lambda n: csv_items(n, lambda i: "{x=1}")),
    ("import_from", "toml", "points", lambda n: csv_items(n, lambda i: "{x = %d, y = %d}" % (i % 97, i % 89),
                                                          "points = [")),
    ("import_from", "toml", "array of dates", lambda n: csv_items(n, lambda i: "1979-05-%02d" % (i % 28 + 1))),
    ("import_from", "toml", "one table per key", lambda n: "".join(repeat_to(n, lambda i: "[t%d]\na=1\n" % i))),
    ("import_from", "toml", "file of records", toml_records),
    ("import_from", "json", "records", json_records),
    ("import_from", "json", "array of one-digit numbers", lambda n: csv_items(n, lambda i: "1", '{"a":[', "]}")),
    ("import_from", "yaml", "records", yaml_records),
    ("import_from", "xml", "records", xml_records),
    ("export_to", "avro", "records of one-element arrays",
     lambda n: ".!nezo\n" + "".join(repeat_to(n, lambda i: "!int'/@r/%d/@s::0=1\n" % i))),
    ("export_to", "avro", "records", canonical_records),
    ("export_to", "json", "records", canonical_records),
    ("export_to", "cbor", "records", canonical_records),
    ("export_to", "xml", "records", canonical_records),
]


def measure(road, fmt, text, tmp):
    path = os.path.join(tmp, "input")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    done = subprocess.run([sys.executable, "-c", CHILD, road, fmt, path], capture_output=True, text=True,
                          env=dict(os.environ))
    if done.returncode != 0:
        return f"child failed ({done.returncode}): {done.stderr.strip()[-120:]}"
    outcome, size, grown = json.loads(done.stdout)
    figure = f"{grown / size:5.1f} x   ({size / 1e6:.1f} MB in, peak +{grown / 2**20:.0f} MiB)"
    return figure if outcome == "ok" else f"{figure}  {outcome}"


def main():
    size = int(float(sys.argv[1]) * 1_000_000) if len(sys.argv) > 1 else 4_000_000
    print(f"peak memory of one call over its input bytes (about {size / 1e6:g} MB each)")
    with tempfile.TemporaryDirectory() as tmp:
        for road, fmt, shape, build in SHAPES:
            label = f"{road}({fmt!r}) {shape}"
            print(f"{label:54} {measure(road, fmt, build(size), tmp)}", flush=True)


if __name__ == "__main__":
    main()
