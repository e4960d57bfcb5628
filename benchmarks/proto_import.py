"""Times bezo.import_schema("proto") against protoc.

Run after a build (protoc from Debian's protobuf-compiler):
    PYTHONPATH=build/python /usr/bin/python3 benchmarks/proto_import.py

Builds .proto files of 1,000 to 8,000 message groups, each with a nested
message and enum, a map, a oneof, options, a repeated message and a
reference to the previous group's nested message, under one root that holds
every group. Prints the time per byte of each size and the time ratio of
each doubling (linear work keeps it near 2; the script exits with status 1
above 2.2), then times `protoc -o` (a descriptor set written to a temporary
file) on the same files and prints how many times faster bezo is.
"""
import os
import subprocess
import sys
import tempfile

import bezo
from timing import best_time, require_command

require_command("protoc", "protobuf-compiler")

SIZES = [1_000, 2_000, 4_000, 8_000]

GROUP = """
message Group{i} {{
  enum Kind {{ KIND_UNKNOWN = 0; KIND_A = 1; KIND_B = 2; }}
  message Detail {{
    string label = 1;
    int64 amount = 2 [json_name = "amt"];
    Kind kind = 3;
    repeated fixed32 marks = 4 [packed = true];
  }}
  reserved 20 to 30;
  int32 id = 1;
  string name = 2;
  Detail detail = 3;
  repeated Detail history = 4;
  map<string, int32> counters = 5;
  oneof choice {{
    string text = 6;
    double value = 7;
    {previous}.Detail previous = 8;
  }}
  repeated string tags = 9;
  bytes payload = 10 [deprecated = true];
  .bench.v1.Status status = 11;
}}
"""


def proto_text(count):
    parts = ['syntax = "proto3";\npackage bench.v1;\noption java_multiple_files = true;\n',
             "enum Status { STATUS_UNKNOWN = 0; STATUS_OK = 1; STATUS_FAILED = 2; }\n"]
    for i in range(count):
        parts.append(GROUP.format(i=i, previous=f"Group{max(i - 1, 0)}"))
    fields = "".join(f"  Group{i} g{i} = {i + 1};\n" for i in range(count))
    parts.append(f"message Catalog {{\n{fields}}}\n")
    return "".join(parts)


def protoc_time(text, directory):
    source = os.path.join(directory, "bench.proto")
    with open(source, "w", encoding="utf-8") as file:
        file.write(text)
    command = ["protoc", f"-I{directory}", "-o", os.path.join(directory, "bench.pb"), source]
    return best_time(lambda: subprocess.run(command, check=True), 2)


def main():
    texts = {count: proto_text(count) for count in SIZES}
    seconds = {}
    for count in SIZES:
        text = texts[count]
        seconds[count] = best_time(lambda: bezo.import_schema("proto", text, "bench", "Catalog"), 7)
        print(f"bezo   {count:>5} groups  {len(text) / 1e6:5.2f} MB  {seconds[count] * 1e3:8.1f} ms  "
              f"{seconds[count] / len(text) * 1e9:6.1f} ns/byte")
    doublings = [seconds[large] / seconds[small] for small, large in zip(SIZES, SIZES[1:])]
    print("time ratio per doubling: " + ", ".join(f"{ratio:.2f}" for ratio in doublings))

    with tempfile.TemporaryDirectory() as directory:
        for count in SIZES:
            peer = protoc_time(texts[count], directory)
            print(f"protoc {count:>5} groups  {peer * 1e3:8.1f} ms  "
                  f"bezo is {peer / seconds[count]:.1f}x faster")
    return 0 if max(doublings) <= 2.2 else 1


if __name__ == "__main__":
    sys.exit(main())
