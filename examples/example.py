"""Runs a small document through the parts of the pipeline that are built."""
import json

import bezo

print("bezo", bezo.version())

document = """.!bezo
(/service)
name=catalog
!int[1,65535]
port=8080
@tags;=search;read-only
()
ratio=0.25
"""
print("relational text from bezo.compile:")
print(bezo.compile(document), end="")

authored = bezo.import_from("json", json.dumps({
    "service": {"name": "catalog", "port": 8080, "tags": ["a", "b"]},
    "ratio": 0.25,
}))
print("authored text from JSON:")
print(authored, end="")

canonical = ".!nezo\n!str'/service::name=catalog\n!int'/service::port=8080\n!float'::ratio=0.25\n"
print("JSON from canonical text:")
print(bezo.export_to("json", canonical), end="")
