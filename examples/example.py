"""Runs a small document through the pipeline: compile, build against a
schema, validate, and export."""
import json

import bezo

print("bezo", bezo.version())

document = """.!bezo
(/service)
name=catalog
!int[1,65535]
port=8080
@tags;=search;read-only
!:ms
timeout=1.5
()
ratio=0.25
"""
print("relational text from bezo.compile:")
print(bezo.compile(document), end="")

# The schema types the fields, converts the timeout to seconds and adds the
# absent retries with its default.
schema = """.!hezo service
(/service)
!str#[1,64]
name=
!int[1,65535]
port=
@tags;=
!float:s
timeout=
!int[0,10]
retries?=3
()
!float[0,1]
ratio=
"""
canonical = bezo.build(document, schema)
print("canonical text from bezo.build against the schema:")
print(canonical, end="")
print("bezo.validate against the same schema:", bezo.validate(canonical, schema))
print("JSON from the canonical text:")
print(bezo.export_to("json", canonical), end="")

authored = bezo.import_from("json", json.dumps({
    "service": {"name": "catalog", "port": 8080, "tags": ["a", "b"]},
    "ratio": 0.25,
}))
print("authored text from JSON:")
print(authored, end="")
