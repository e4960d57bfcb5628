"""Peak memory of the calls whose trees once took many times their input:
compile_schema of a schema of many short fields, and TOML and XML import of
a file of records. Each call runs in a fresh interpreter, which reports how
far its peak resident memory (VmHWM) grew during the call; the bound is ten
times the input.

Skipped under AddressSanitizer: its quarantine keeps freed memory resident,
so the peak there counts every allocation, not what is held at once.
"""
import json
import os
import random
import subprocess
import sys
import textwrap

import pytest
from deadlines import hang_guard

UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")
FACTOR = 10

pytestmark = pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's quarantine keeps freed memory resident")

CHILD = textwrap.dedent('''
    import json, sys
    import bezo

    def peak():
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmHWM"):
                    return int(line.split()[1]) * 1024

    road, text = sys.argv[1], sys.stdin.read()
    call = {
        "schema": bezo.compile_schema,
        "toml": lambda text: bezo.import_from("toml", text),
        "xml": lambda text: bezo.import_from("xml", text),
    }[road]
    before = peak()
    call(text)
    print(json.dumps([len(text.encode()), peak() - before]))
''')

WORDS = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu".split()


def records(count):
    rng = random.Random(7)
    for i in range(count):
        yield {"id": i, "sku": "ABC-%04d" % rng.randint(0, 9999), "qty": rng.randint(1, 1000),
               "price": round(rng.uniform(0.5, 999.0), 2), "paid": rng.random() < 0.5,
               "note": " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 10))),
               "customer": {"name": rng.choice(WORDS).title(), "email": "%s%d@example.com" % (rng.choice(WORDS), i)},
               "tags": [rng.choice(WORDS) for _ in range(rng.randint(0, 4))]}


def toml_records(count):
    return "title = \"orders\"\n" + "".join(
        '[[orders]]\nid = %d\nsku = "%s"\nqty = %d\nprice = %r\npaid = %s\nnote = "%s"\ntags = [%s]\n'
        '[orders.customer]\nname = "%s"\nemail = "%s"\n' % (
            r["id"], r["sku"], r["qty"], r["price"], json.dumps(r["paid"]), r["note"],
            ", ".join('"%s"' % t for t in r["tags"]), r["customer"]["name"], r["customer"]["email"])
        for r in records(count))


def xml_records(count):
    return "<bench>" + "".join(
        "<orders><id>%d</id><sku>%s</sku><qty>%d</qty><price>%r</price><paid>%s</paid><note>%s</note>"
        "<customer><name>%s</name><email>%s</email></customer>%s</orders>" % (
            r["id"], r["sku"], r["qty"], r["price"], json.dumps(r["paid"]), r["note"], r["customer"]["name"],
            r["customer"]["email"], "".join("<tags>%s</tags>" % t for t in r["tags"]))
        for r in records(count)) + "</bench>"


def schema_fields(count):
    return ".!hezo t\n" + "".join("f%d=\n" % i for i in range(count))


def peak_growth(road, text):
    """The input's size and how far the child's peak memory grew in the call."""
    # The deadline only guards against a hang: the call takes about a second.
    done = subprocess.run([sys.executable, "-c", CHILD, road], input=text, capture_output=True, text=True,
                          timeout=hang_guard(300), env=dict(os.environ))
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


@pytest.mark.parametrize("road, text", [
    ("schema", schema_fields(200_000)),
    ("toml", toml_records(15_000)),
    ("xml", xml_records(12_000)),
], ids=["compile_schema", "toml", "xml"])
def test_peak_memory_stays_within_ten_times_the_input(road, text):
    size, grown = peak_growth(road, text)
    assert size > 1_500_000
    assert grown <= FACTOR * size, f"{road}: {grown / size:.1f} times the input"
