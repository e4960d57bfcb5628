"""Generated JSON documents through an imported JSON Schema: tables mixing
records with {}, [], null and scalars, records nested in entries, tables in
entries, vectors and arrays of arrays, members in a drawn order. What
validate passes exports to every format that can hold its shape, the export
is the input with the declared defaults added, and validate agrees with
jsonschema wherever the imported schema states the constraint."""
import io
import json
import random

import jsonschema
import pytest
import xmlschema

import bezo
from test_declared_shapes import built_if_valid

SCHEMA = {"type": "object", "required": ["id"], "properties": {
    "id": {"type": "integer"},
    "o": {"type": "object", "properties": {
        "x": {"type": "string"}, "in": {"type": "object", "properties": {"y": {"type": "integer"}}}}},
    "rows": {"type": "array", "items": {"type": "object", "required": ["a"], "properties": {
        "a": {"type": "integer"},
        "b": {"type": "string"},
        "o": {"type": "object", "properties": {"k": {"type": "integer"}}},
        "sub": {"type": "array", "items": {"type": "object", "properties": {"z": {"type": "string"}}}},
        "vec": {"type": "array", "items": {"type": "integer"}}}}},
    "free": {"type": "array", "items": {"type": "object", "properties": {"c": {"type": "string"}}}},
    "grid": {"type": "array", "items": {"type": "array", "items": {"type": "integer"}}},
    "tags": {"type": "array", "items": {"type": "string"}},
}}
CHECKER = jsonschema.Draft7Validator(SCHEMA, format_checker=jsonschema.FormatChecker())


def shuffled(members, draw):
    names = list(members)
    draw.shuffle(names)
    return {name: members[name] for name in names}


def no_record(draw):
    return draw.choice([{}, [], None, 3, "s", [1, 2]])


def items(draw, record):
    return [record() if draw.random() < 0.6 else no_record(draw) for _ in range(draw.randint(0, 4))]


def row(draw):
    members = {}
    if draw.random() < 0.8:
        members["a"] = draw.randint(0, 9)
    if draw.random() < 0.4:
        members["b"] = draw.choice(["p", "q"])
    if draw.random() < 0.3:
        members["o"] = draw.choice([{}, {"k": 1}])
    if draw.random() < 0.3:
        members["sub"] = items(draw, lambda: draw.choice([{}, {"z": "w"}]))
    if draw.random() < 0.3:
        members["vec"] = [draw.randint(0, 3) for _ in range(draw.randint(0, 3))]
    return shuffled(members, draw)


def document(draw):
    members = {"id": draw.randint(0, 9)}
    if draw.random() < 0.5:
        members["o"] = draw.choice([{}, {"x": "s"}, {"in": {}}, {"in": {"y": 2}, "x": "t"}])
    if draw.random() < 0.7:
        members["rows"] = items(draw, lambda: row(draw))
    if draw.random() < 0.5:
        members["free"] = items(draw, lambda: draw.choice([{"c": "v"}, {}]))
    if draw.random() < 0.4:
        members["grid"] = [[draw.randint(0, 3) for _ in range(draw.randint(0, 2))] for _ in range(draw.randint(0, 3))]
    if draw.random() < 0.4:
        members["tags"] = [draw.choice("xy") for _ in range(draw.randint(0, 3))]
    return shuffled(members, draw)


def with_defaults(document):
    """The data build writes: every absent optional field of a record with
    its empty default (null for an integer, "" for a string); absent tables
    and vectors stay absent. Items that are no record stay as they are."""
    def record(value, defaults):
        if not isinstance(value, dict):
            return value
        filled = {**defaults, **value}
        for name, nested in defaults.items():
            if isinstance(nested, dict):
                filled[name] = record(filled[name], nested)
        return filled

    expected = json.loads(json.dumps(document))
    expected["o"] = record(expected.get("o", {}), {"x": "", "in": {"y": None}})
    # The importer declares no field for a container inside an entry (o,
    # sub, vec of rows): those are kept as they came.
    for name, defaults in (("rows", {"b": ""}), ("free", {"c": ""})):
        if name in expected:
            expected[name] = [record(item, defaults) for item in expected[name]]
    return expected


def only_records(document):
    """Whether every table item is a record, and every container inside an
    entry holds what the foreign schema asks: the constraints that the
    imported schema does not state (an item's type; the fields of a
    container inside an entry, which the importer drops)."""
    rows = document.get("rows", [])
    if not all(isinstance(entry, dict) for entry in rows + document.get("free", [])):
        return False
    return all(all(isinstance(entry, dict) for entry in row.get("sub", [])) for row in rows)


def nested_arrays(document):
    """Whether an array stands directly in an array, which XML cannot write."""
    items = document.get("grid", []) + document.get("rows", []) + document.get("free", [])
    items += [entry for item in document.get("rows", []) if isinstance(item, dict) for entry in item.get("sub", [])]
    return any(isinstance(item, list) for item in items)


@pytest.mark.parametrize("seed", range(4))
def test_generated_documents_export_what_validate_passes(seed):
    schema = bezo.import_schema("jsonschema", json.dumps(SCHEMA), "s")
    draw = random.Random(4000 + seed)
    counts = {"valid": 0, "refused": 0, "compared": 0}
    for _ in range(250):
        source = document(draw)
        built = built_if_valid("json", json.dumps(source), schema)
        if built is None:
            counts["refused"] += 1
            assert not CHECKER.is_valid(source), json.dumps(source)
            continue
        counts["valid"] += 1
        assert json.loads(bezo.export_to("json", built)) == with_defaults(source), json.dumps(source)
        for fmt in ("yaml", "cbor", "avro"):
            bezo.export_to(fmt, built)
        if not nested_arrays(source):
            bezo.export_to("xml", built)
        assert bezo.build(bezo.unbuild(built), schema) == built, json.dumps(source)
        if only_records(source):
            counts["compared"] += 1
            assert CHECKER.is_valid(source), json.dumps(source)
    assert min(counts.values()) > 20, counts


def xsd_element(name, body, occurs=""):
    return f'<xs:element name="{name}"{occurs}><xs:complexType>{body}</xs:complexType></xs:element>'


def sequence(*elements):
    return "<xs:sequence>" + "".join(elements) + "</xs:sequence>"


def scalar(name, kind, occurs=""):
    return f'<xs:element name="{name}" type="xs:{kind}"{occurs}/>'


MANY = ' minOccurs="0" maxOccurs="unbounded"'
XSD = ('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">' + xsd_element("r", sequence(
    xsd_element("item", sequence(scalar("v", "int"), scalar("w", "string", ' minOccurs="0"'))
                + '<xs:attribute name="id" type="xs:string"/>', MANY),
    scalar("n", "int", MANY),
    xsd_element("p", '<xs:simpleContent><xs:extension base="xs:int"><xs:attribute name="cur" type="xs:string"/>'
                     '</xs:extension></xs:simpleContent>', MANY),
    xsd_element("o", sequence(scalar("x", "string", ' minOccurs="0"'),
                              xsd_element("q", sequence(scalar("y", "int", ' minOccurs="0"')), ' minOccurs="0"')),
                ' minOccurs="0"'),
    xsd_element("g", sequence(xsd_element("h", sequence(scalar("k", "string")), ' maxOccurs="unbounded"'))),
    scalar("s", "string", MANY))) + "</xs:schema>")


def xml_item(draw):
    roll = draw.random()
    if roll < 0.01:
        return "<item/>"
    value = "" if roll < 0.02 else f"<v>{'abc' if roll < 0.03 else draw.randint(0, 9)}</v>"
    attribute = ' id="i"' if draw.random() < 0.3 else ""
    optional = "<w>t</w>" if draw.random() < 0.3 else ""
    return f"<item{attribute}>{value}{optional}</item>"


def xml_price(draw):
    attribute = ' cur="e"' if draw.random() < 0.5 else ""
    return f"<p{attribute}>{'z' if draw.random() < 0.02 else draw.randint(0, 9)}</p>"


def xml_document(draw):
    makers = [
        xml_item,
        lambda draw: f"<n>{'x' if draw.random() < 0.02 else draw.randint(0, 9)}</n>",
        xml_price,
    ]
    body = "".join(make(draw) for make in makers for _ in range(draw.choice([0, 1, 2, 50])))
    if draw.random() < 0.5:
        body += draw.choice(["<o/>", "<o><x>a</x></o>", "<o><q/></o>", "<o><x>b</x><q><y>3</y></q></o>",
                             "<o><q><y>no</y></q></o>"])
    entries = (draw.choice(["<h><k>a</k></h>", "<h><k>b</k></h>"]) if draw.random() > 0.02 else "<h/>"
               for _ in range(draw.choice([0, 1, 1, 2, 50])))
    body += "<g>" + "".join(entries) + "</g>"
    body += "".join(draw.choice(["<s>a</s>", "<s/>", "<s>b c</s>"]) for _ in range(draw.choice([0, 1, 2, 50])))
    return f"<r>{body}</r>"


@pytest.mark.parametrize("seed", range(3))
def test_generated_xml_with_nested_and_empty_occurrences_agrees_with_xmlschema(seed):
    peer = xmlschema.XMLSchema(io.StringIO(XSD))
    schema = bezo.import_schema("xsd", XSD, "s")
    draw = random.Random(5000 + seed)
    verdicts = {True: 0, False: 0}
    for _ in range(300):
        source = xml_document(draw)
        built = built_if_valid("xml", source, schema)
        assert (built is not None) == peer.is_valid(io.StringIO(source)), source
        verdicts[built is not None] += 1
        if built is None:
            continue
        for fmt in ("json", "yaml", "xml", "cbor"):
            bezo.export_to(fmt, built)
        assert bezo.build(bezo.unbuild(built), schema) == built, source
    assert min(verdicts.values()) > 20, verdicts
