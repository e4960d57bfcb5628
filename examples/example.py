"""Runs a small document and its schema through the module's pipeline:
compile, build against the schema, validate, infer, unbuild, fmt, and JSON
in and out."""
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
assert bezo.validate(canonical, schema) is None
print("bezo.validate: the canonical text satisfies the schema")

print("a schema inferred from the document by bezo.infer:")
print(bezo.infer(document, "service"), end="")

print("the canonical text back as authored text, by bezo.unbuild:")
print(bezo.unbuild(canonical), end="")

print("an untidy document in the standard spelling, by bezo.fmt:")
print(bezo.fmt("(/service)\n  name =catalog\n()\n"), end="")

print("JSON from the canonical text:")
print(bezo.export_to("json", canonical), end="")

authored = bezo.import_from("json", json.dumps({
    "service": {"name": "catalog", "port": 8080, "tags": ["a", "b"]},
    "ratio": 0.25,
}))
print("authored text from JSON:")
print(authored, end="")
