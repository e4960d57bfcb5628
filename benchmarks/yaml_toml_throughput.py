"""Times YAML and TOML import and export side by side with their Python peers.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/yaml_toml_throughput.py

Builds about 5 MB of records and prints, for each road, our time, the
peer's time and how many times faster we are:
- YAML import against yaml.load with libyaml's CSafeLoader (target: 10x),
- YAML export against yaml.dump with libyaml's CSafeDumper (target: 5x),
- TOML import against tomllib.loads (target: 2x),
- TOML export against our own JSON export of the same canonical text
  (target: at most 1.5 times its time).
Then it times every road again on twice the records and prints the growth
of the time (target: at most 2.2). Exits with status 1 when a target is
missed.
"""
import sys
import tomllib

import yaml

import bezo
from timing import best_time

RECORDS = 25_000


def record(i):
    return {"id": i, "name": f"user {i}", "email": f"user{i}@example.org", "score": i + 0.25,
            "active": i % 3 != 0, "tags": ["alpha", "beta", f"t{i % 7}"],
            "address": {"street": f"{i} Main Street", "city": "Springfield", "zip": f"{10000 + i % 90000}"}}


def canonical_lines(i, data):
    prefix = f"@records/{i}/"
    yield f"!int'{prefix}id={data['id']}"
    yield f"!str'{prefix}name={data['name']}"
    yield f"!str'{prefix}email={data['email']}"
    yield f"!float'{prefix}score={data['score']}"
    yield f"!bool'{prefix}active={'true' if data['active'] else 'false'}"
    for k, tag in enumerate(data["tags"]):
        yield f"!str'{prefix}@tags/{k}={tag}"
    for key, value in data["address"].items():
        yield f"!str'{prefix}address/{key}={value}"


def workload(count):
    records = [record(i) for i in range(count)]
    lines = [".!nezo"]
    for i, data in enumerate(records):
        lines.extend(canonical_lines(i, data))
    nezo = "\n".join(lines) + "\n"
    data = {"records": records}
    return {
        "data": data,
        "nezo": nezo,
        "yaml": yaml.dump(data, Dumper=yaml.CSafeDumper, sort_keys=False),
        "toml": bezo.export_to("toml", nezo),
    }


# Each road: our call, the peer's call and the least acceptable speed-up
# (the peer's time over ours).
ROADS = {
    "YAML import": (lambda w: bezo.import_from("yaml", w["yaml"]),
                    lambda w: yaml.load(w["yaml"], Loader=yaml.CSafeLoader), 10.0),
    "YAML export": (lambda w: bezo.export_to("yaml", w["nezo"]),
                    lambda w: yaml.dump(w["data"], Dumper=yaml.CSafeDumper, sort_keys=False), 5.0),
    "TOML import": (lambda w: bezo.import_from("toml", w["toml"]),
                    lambda w: tomllib.loads(w["toml"]), 2.0),
    "TOML export": (lambda w: bezo.export_to("toml", w["nezo"]),
                    lambda w: bezo.export_to("json", w["nezo"]), 1 / 1.5),
}


def main():
    small, large = workload(RECORDS), workload(2 * RECORDS)
    print(f"{RECORDS} records: canonical {len(small['nezo']) / 1e6:.1f} MB, YAML {len(small['yaml']) / 1e6:.1f} MB, "
          f"TOML {len(small['toml']) / 1e6:.1f} MB")
    ok = True
    for name, (ours, peer, target) in ROADS.items():
        our_time = best_time(lambda: ours(small))
        peer_time = best_time(lambda: peer(small))
        growth = best_time(lambda: ours(large)) / our_time
        ratio = peer_time / our_time
        met = ratio >= target and growth <= 2.2
        ok = ok and met
        print(f"{name}: ours {our_time * 1e3:7.1f} ms, peer {peer_time * 1e3:7.1f} ms, "
              f"ratio {ratio:5.2f} (target {target:.2f}), 2x input {growth:.2f}x time{'' if met else '  MISSED'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
