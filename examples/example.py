"""Runs a small document and its schema through the module's pipeline."""
import json

import bezo

print("bezo", bezo.version())

schema = """.!hezo demo
(/service)
name=
!int[1,65535]
port=8080
()
!float[0,1]
ratio=
@tags;=
"""

document = """.!bezo
(/service)
name=catalog
()
!float
ratio=0.25
@tags;=search;read-only
"""
print("relational text from bezo.compile:")
print(bezo.compile(document), end="")

# The schema rides along: the absent port takes its default.
canonical = bezo.build(document, schema)
print("canonical text from bezo.build with the schema:")
print(canonical, end="")
assert bezo.validate(canonical, schema) is None
print("bezo.validate: the canonical text satisfies the schema")

print("a schema inferred from the document by bezo.infer:")
print(bezo.infer(document, "demo"), end="")

print("the canonical text back as authored text, by bezo.unbuild:")
print(bezo.unbuild(canonical), end="")

print("an untidy document in the standard spelling, by bezo.fmt:")
print(bezo.fmt("(/service)\n  name =catalog\n()\n"), end="")

authored = bezo.import_from("json", json.dumps({
    "service": {"name": "catalog", "port": 8080, "tags": ["a", "b"]},
    "ratio": 0.25,
}))
print("authored text from JSON:")
print(authored, end="")

print("JSON from the canonical text:")
print(bezo.export_to("json", canonical), end="")
