"""Times bezo.import_schema("jsonschema") against jsonschema's check_schema,
and bezo.import_schema("xsd") against xmlschema.XMLSchema.

Run after a build:
    PYTHONPATH=build/python /usr/bin/python3 benchmarks/schema_import.py

First imports XSDs whose root holds 25k, 50k and 100k element declarations,
most of them typed with a few named complex and simple types that expand at
every use, the rest inline restrictions, built-ins, vectors and tables.
Prints the time of each size and the time ratio of each doubling (linear work
keeps it near 2; the script exits with status 1 above 2.2 here or below),
then times xmlschema.XMLSchema, which builds the same schema, beside bezo on
1k, 2k and 4k elements and prints how many times faster bezo is.

Then imports JSON Schemas of 25k, 50k and 100k properties, most of them "$ref"s to
a few definitions, the rest inline scalars with constraints, formats, enums,
tables and nested objects, with the same doubling ratios, then times
Draft202012Validator.check_schema, which walks the same schema once, on the
smallest size and prints how many times faster bezo is.
"""
import json
import sys

import jsonschema
import xmlschema

import bezo
from timing import best_time

SIZES = [25_000, 50_000, 100_000]

DEFINITIONS = {
    "id": {"type": "integer", "minimum": 1, "maximum": 1_000_000},
    "code": {"type": "string", "pattern": "^[A-Z]{2}-[0-9]+$", "maxLength": 12},
    "mail": {"type": "string", "format": "email"},
    "point": {"type": "object", "required": ["x"], "properties": {
        "x": {"type": "number"}, "y": {"type": "number", "exclusiveMinimum": 0}}},
}

# The property schemas taken in turn; a quarter of them are inline.
PROPERTIES = [
    {"$ref": "#/$defs/id"},
    {"$ref": "#/$defs/code"},
    {"$ref": "#/$defs/mail"},
    {"$ref": "#/$defs/point"},
    {"$ref": "#/$defs/id"},
    {"$ref": "#/$defs/code"},
    {"description": "one of three", "enum": ["red", "green", "blue"]},
    {"type": "array", "items": {"type": "object", "required": ["n"], "properties": {
        "n": {"$ref": "#/$defs/id"}, "label": {"type": "string", "minLength": 1}}}},
]


def schema_text(count):
    properties = {f"p{i}": PROPERTIES[i % len(PROPERTIES)] for i in range(count)}
    required = [f"p{i}" for i in range(0, count, 2)]
    return json.dumps({"$defs": DEFINITIONS, "type": "object", "required": required, "properties": properties})


XSD_TYPES = """
<xs:simpleType name="Code"><xs:restriction base="xs:string"><xs:pattern value="[A-Z]{2}-[0-9]+"/>
  <xs:maxLength value="12"/></xs:restriction></xs:simpleType>
<xs:simpleType name="Colour"><xs:restriction base="xs:string"><xs:enumeration value="red"/>
  <xs:enumeration value="green"/><xs:enumeration value="blue"/></xs:restriction></xs:simpleType>
<xs:complexType name="Point"><xs:sequence><xs:element name="x" type="xs:double"/>
  <xs:element name="y" type="xs:double" minOccurs="0"/></xs:sequence>
  <xs:attribute name="unit" type="xs:string"/></xs:complexType>
<xs:complexType name="Line"><xs:sequence><xs:element name="from" type="Point"/><xs:element name="to" type="Point"/>
  <xs:element name="colour" type="Colour"/></xs:sequence>
  <xs:attribute name="id" type="xs:positiveInteger" use="required"/></xs:complexType>
<xs:complexType name="Row"><xs:sequence><xs:element name="n" type="xs:int"/>
  <xs:element name="label" type="xs:string" minOccurs="0"/></xs:sequence></xs:complexType>
"""

# The member declarations taken in turn; half of them use a named type.
XSD_MEMBERS = [
    '<xs:element name="p{i}" type="Point"/>',
    '<xs:element name="p{i}" type="Line" minOccurs="0"/>',
    '<xs:element name="p{i}" type="Code"/>',
    '<xs:element name="p{i}" type="Row" maxOccurs="unbounded"/>',
    '<xs:element name="p{i}"><xs:simpleType><xs:restriction base="xs:int"><xs:minInclusive value="1"/>'
    '<xs:maxExclusive value="100"/></xs:restriction></xs:simpleType></xs:element>',
    '<xs:element name="p{i}" type="xs:dateTime"/>',
    '<xs:element name="p{i}" type="xs:string" maxOccurs="unbounded"/>',
    '<xs:element name="p{i}" type="Colour" minOccurs="0"/>',
]

XSD_SIZES = [25_000, 50_000, 100_000]
XSD_PEER_SIZES = [1_000, 2_000, 4_000]


def xsd_text(count):
    members = "".join(XSD_MEMBERS[i % len(XSD_MEMBERS)].format(i=i) for i in range(count))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">\n'
            f'<xs:element name="Root"><xs:complexType><xs:sequence>{members}</xs:sequence>'
            f'<xs:attribute name="version" type="xs:string"/></xs:complexType></xs:element>{XSD_TYPES}</xs:schema>\n')


def bench_xsd():
    seconds = {}
    for count in XSD_SIZES:
        text = xsd_text(count)
        seconds[count] = best_time(lambda: bezo.import_schema("xsd", text, "bench"), 7)
        print(f"bezo   {count:>7} elements    {len(text) / 1e6:5.2f} MB  {seconds[count] * 1e3:8.1f} ms  "
              f"{seconds[count] / count * 1e9:6.0f} ns/element")
    doublings = [seconds[large] / seconds[small] for small, large in zip(XSD_SIZES, XSD_SIZES[1:])]
    print("time ratio per doubling: " + ", ".join(f"{ratio:.2f}" for ratio in doublings))
    for count in XSD_PEER_SIZES:
        text = xsd_text(count)
        ours = best_time(lambda: bezo.import_schema("xsd", text, "bench"), 5)
        peer = best_time(lambda: xmlschema.XMLSchema(text), 1)
        print(f"{count:>5} elements: bezo {ours * 1e3:7.1f} ms, XMLSchema {peer * 1e3:8.1f} ms, "
              f"bezo is {peer / ours:.1f}x faster")
    return max(doublings)


def main():
    # The XSD part runs first, on a fresh heap: after the JSON Schema part the
    # allocator hands pages back and forth, which blurs the larger sizes.
    worst_xsd = bench_xsd()
    texts = {count: schema_text(count) for count in SIZES}
    seconds = {}
    for count in SIZES:
        text = texts[count]
        seconds[count] = best_time(lambda: bezo.import_schema("jsonschema", text, "bench"), 7)
        print(f"bezo   {count:>7} properties  {len(text) / 1e6:5.2f} MB  {seconds[count] * 1e3:8.1f} ms  "
              f"{seconds[count] / count * 1e9:6.0f} ns/property")
    doublings = [seconds[large] / seconds[small] for small, large in zip(SIZES, SIZES[1:])]
    print("time ratio per doubling: " + ", ".join(f"{ratio:.2f}" for ratio in doublings))

    smallest = SIZES[0]
    document = json.loads(texts[smallest])
    peer = best_time(lambda: jsonschema.Draft202012Validator.check_schema(document), 1)
    print(f"check_schema {smallest:>7} properties  {peer * 1e3:8.1f} ms  {peer / smallest * 1e6:6.1f} us/property")
    print(f"bezo is {peer / seconds[smallest]:.1f}x faster than check_schema")
    return 0 if max(doublings) <= 2.2 and worst_xsd <= 2.2 else 1


if __name__ == "__main__":
    sys.exit(main())
