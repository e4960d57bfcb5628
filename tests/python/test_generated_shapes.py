"""Generated JSON documents through an imported JSON Schema: tables mixing
records with {}, [], null and scalars, records nested in entries, tables in
entries, vectors and arrays of arrays, members in a drawn order. What
validate passes exports to every format that can hold its shape, the export
is the input with the declared defaults added, and validate agrees with
jsonschema wherever the imported schema states the constraint."""
import io
import json
import os
import random
import re

import avro.io
import avro.schema
import jsonschema
import pytest
import xmlschema
from google.protobuf import descriptor_pb2

import bezo
from deadlines import SLOW_FACTOR
from test_declared_shapes import built_if_valid
from test_import_proto_json import message_class, parser_accepts

Field = descriptor_pb2.FieldDescriptorProto

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


# Shape mutations through every schema format. A seeded tree of members
# (scalars, records, tables of records, vectors and maps of scalars,
# required or not, nullable or not) is written as a JSON Schema, an Avro
# schema, GraphQL SDL, a .proto file and an XSD; documents valid under it
# are mutated (a member left out, made null, a value, a record or a list
# where another shape is declared). Each format's own validator judges each
# document; bezo must pass what the peer passes, and what it passes that the
# peer refuses must fall under a "// dropped:" note naming the member (or a
# member around it) or a README line.

SCALAR_KINDS = ("int", "str", "bool", "float")
README = open(os.path.join(os.path.dirname(__file__), "..", "..", "README.md"), encoding="utf-8").read()

# README lines that cover what the peer refuses and bezo passes (or, for
# the last, what protobuf's lenient parser passes and bezo refuses).
PLAIN_STRING = "A field imported from a plain string type"
OPTIONAL_NULL = "An optional field of an imported schema takes null"
ABSENT_COLLECTION = "cannot be told absent from empty"
ITEM_NO_RECORD = ("An item that is no record (null, a scalar, a nested array) among a table's records passes "
                  "`validate` unless the table's entries require a field")
NULL_FOR_PROTO = "null for a message, repeated or map field"
TRUE_FOR_FLOAT = "`true` for a floating or enum field"


def member_tree(draw, fmt, depth=0, columns=False):
    """The members of one record, as the format can declare them: Avro
    fields are always present, GraphQL fields are required exactly when not
    nullable, .proto and XSD fields are never null, and neither GraphQL nor
    XSD has maps. A table's entries hold scalars alone."""
    kinds = list(SCALAR_KINDS)
    if not columns:
        kinds += ["record", "table"] if depth < 2 else []
        kinds += ["vector"] + ([] if fmt in ("graphql", "xsd") else ["map"])
    members = []
    for letter in "abcd"[:draw.randint(1, 4)]:
        kind = draw.choice(kinds)
        member = {"name": letter, "kind": kind, "required": draw.random() < 0.6, "nullable": draw.random() < 0.25}
        if fmt == "avsc":
            member["required"] = True
        elif fmt == "graphql":
            member["required"] = not member["nullable"]
        elif fmt in ("proto", "xsd"):
            member["nullable"] = False
        if kind in ("record", "table"):
            member["fields"] = member_tree(draw, fmt, depth + 1, columns=kind == "table")
        elif kind in ("vector", "map"):
            member["item"] = draw.choice(SCALAR_KINDS)
        # An XSD element that must occur is a table or vector of one item or more.
        member["least"] = 1 if fmt == "xsd" and member["required"] and kind in ("table", "vector") else 0
        members.append(member)
    return members


def scalar_value(draw, kind):
    return {"int": lambda: draw.randint(0, 9), "str": lambda: draw.choice(["x", "yz"]),
            "bool": lambda: draw.random() < 0.5, "float": lambda: 1.5}[kind]()


def member_value(draw, member):
    if member["nullable"] and draw.random() < 0.15:
        return None
    kind = member["kind"]
    if kind == "record":
        return record_value(draw, member["fields"])
    if kind == "table":
        return [record_value(draw, member["fields"]) for _ in range(draw.randint(member["least"], 2))]
    if kind == "vector":
        return [scalar_value(draw, member["item"]) for _ in range(draw.randint(member["least"], 3))]
    if kind == "map":
        return {f"k{i}": scalar_value(draw, member["item"]) for i in range(draw.randint(0, 2))}
    return scalar_value(draw, kind)


def record_value(draw, members):
    return {m["name"]: member_value(draw, m) for m in members if m["required"] or draw.random() < 0.5}


def member_paths(members, value, path=()):
    """(path, member) for every member present in a record value, records
    entered."""
    for member in members:
        if member["name"] not in value:
            continue
        yield path + (member["name"],), member
        inner = value[member["name"]]
        if member["kind"] == "record" and isinstance(inner, dict):
            yield from member_paths(member["fields"], inner, path + (member["name"],))


def absent_members(members, value, path=()):
    """(path, member) for every member a present record leaves out."""
    for member in members:
        inner = value.get(member["name"])
        if member["name"] not in value:
            yield path + (member["name"],), member
        elif member["kind"] == "record" and isinstance(inner, dict):
            yield from absent_members(member["fields"], inner, path + (member["name"],))


def shape_mutations(member, fmt):
    """(kind, value) put in place of a member: null (an empty element in
    XML), a value, a record or a list (two elements in XML) where the member
    declares another shape. Any text is an XSD string, and Python's bool is
    an int to the Avro validator, so neither gets a value of another type."""
    kind = member["kind"]
    values = [("null", None)]
    if kind != "str" or fmt != "xsd":
        values += [("value", "s"), ("value", 5)] + ([] if fmt == "avsc" else [("value", True)])
    if kind not in ("record", "map"):
        values.append(("record", {"z": 1}))
    if kind not in ("table", "vector"):
        values.append(("list", [1, 1]))
    return values


def replaced(value, path, new):
    copy = json.loads(json.dumps(value))
    target = copy
    for name in path[:-1]:
        target = target[name]
    if new is ...:
        del target[path[-1]]
    else:
        target[path[-1]] = new
    return copy


# Each format's schema text and its peer's verdict on a document.

JSON_WORDS = {"int": "integer", "str": "string", "bool": "boolean", "float": "number"}


def jsonschema_of(members):
    properties = {}
    for m in members:
        kind = m["kind"]
        if kind == "record":
            schema = jsonschema_of(m["fields"])
        elif kind == "table":
            schema = {"type": "array", "items": jsonschema_of(m["fields"])}
        elif kind == "vector":
            schema = {"type": "array", "items": {"type": JSON_WORDS[m["item"]]}}
        elif kind == "map":
            values = {"type": JSON_WORDS[m["item"]]}
            if m["item"] == "str":
                values["pattern"] = "^[a-z]+$"
            schema = {"type": "object", "additionalProperties": values}
        else:
            schema = {"type": JSON_WORDS[kind]}
        if m["nullable"]:
            schema["type"] = [schema["type"], "null"]
        properties[m["name"]] = schema
    return {"type": "object", "properties": properties, "required": [m["name"] for m in members if m["required"]]}


AVRO_TYPES = {"int": "int", "str": "string", "bool": "boolean", "float": "double"}


def avsc_of(members, name="R"):
    fields = []
    for m in members:
        kind = m["kind"]
        if kind == "record":
            schema = avsc_of(m["fields"], f"{name}_{m['name']}")
        elif kind == "table":
            schema = {"type": "array", "items": avsc_of(m["fields"], f"{name}_{m['name']}")}
        elif kind in ("vector", "map"):
            schema = {"type": "array" if kind == "vector" else "map",
                      ("items" if kind == "vector" else "values"): AVRO_TYPES[m["item"]]}
        else:
            schema = AVRO_TYPES[kind]
        fields.append({"name": m["name"], "type": ["null", schema] if m["nullable"] else schema})
    return {"type": "record", "name": name, "fields": fields}


GRAPHQL_TYPES = {"int": "Int", "str": "String", "bool": "Boolean", "float": "Float"}


def named_types(members, name, member_line, definition):
    """The definition of the type `name` and of the type of every record
    and table below it, that of a member `name_member`: `member_line`
    writes a member (its number, itself, its record type's name),
    `definition` a type of its name and member lines."""
    lines, below = [], []
    for number, m in enumerate(members, 1):
        inner = f"{name}_{m['name']}"
        if m["kind"] in ("record", "table"):
            below.append(named_types(m["fields"], inner, member_line, definition))
        lines.append(member_line(number, m, inner))
    return definition(name, lines) + "".join(below)


def graphql_member(number, m, inner):
    written = {"record": inner, "table": f"[{inner}!]"}.get(m["kind"])
    if not written:
        written = f"[{GRAPHQL_TYPES[m['item']]}!]" if m["kind"] == "vector" else GRAPHQL_TYPES[m["kind"]]
    return f"{m['name']}: {written}{'' if m['nullable'] else '!'}"


def graphql_of(members):
    """The SDL of the root type Q and of every type below it."""
    return named_types(members, "Q", graphql_member, lambda name, lines: f"type {name} {{ {' '.join(lines)} }}\n")


def graphql_accepts(members, value):
    """A response's data against the SDL: non-null fields present and not
    null, lists of non-null items, Int within 32 bits. Keys the type does
    not name are not looked at, as in every other peer here."""
    if not isinstance(value, dict):
        return False
    for m in members:
        inner = value.get(m["name"])
        if inner is None:
            if not m["nullable"]:
                return False
        elif not graphql_value_accepted(m, inner):
            return False
    return True


def graphql_scalar_accepted(kind, value):
    if isinstance(value, bool):
        return kind == "bool"
    return {"int": isinstance(value, int) and -2**31 <= value < 2**31,
            "float": isinstance(value, (int, float)), "str": isinstance(value, str), "bool": False}[kind]


def graphql_value_accepted(member, value):
    kind = member["kind"]
    if kind == "record":
        return graphql_accepts(member["fields"], value)
    if kind in ("table", "vector"):
        if not isinstance(value, list):
            return False
        if kind == "table":
            return all(item is not None and graphql_accepts(member["fields"], item) for item in value)
        return all(item is not None and graphql_scalar_accepted(member["item"], item) for item in value)
    return graphql_scalar_accepted(kind, value)


PROTO_TYPES = {"int": "int32", "str": "string", "bool": "bool", "float": "double"}
PROTO_FIELD_TYPES = {"int32": Field.TYPE_INT32, "string": Field.TYPE_STRING, "bool": Field.TYPE_BOOL,
                     "double": Field.TYPE_DOUBLE}


def proto_member(number, m, inner):
    kind = m["kind"]
    written = {"record": inner, "table": f"repeated {inner}"}.get(kind)
    if not written:
        item = PROTO_TYPES[m.get("item", kind)]
        written = {"vector": f"repeated {item}", "map": f"map<string, {item}>"}.get(kind, item)
    return f"{written} {m['name']} = {number};"


def proto_of(members):
    """The .proto text of message M and every message below it."""
    return named_types(members, "M", proto_member, lambda name, lines: f"message {name} {{ {' '.join(lines)} }}\n")


def add_proto_message(file, members, name):
    message = file.message_type.add(name=name)
    for number, m in enumerate(members, 1):
        kind = m["kind"]
        field = message.field.add(name=m["name"], number=number, json_name=m["name"], label=Field.LABEL_OPTIONAL)
        if kind in ("record", "table"):
            add_proto_message(file, m["fields"], f"{name}_{m['name']}")
            field.type, field.type_name = Field.TYPE_MESSAGE, f".t.{name}_{m['name']}"
        elif kind == "map":
            entry = message.nested_type.add(name=f"{m['name'].upper()}Entry")
            entry.options.map_entry = True
            entry.field.add(name="key", number=1, json_name="key", type=Field.TYPE_STRING, label=Field.LABEL_OPTIONAL)
            entry.field.add(name="value", number=2, json_name="value", label=Field.LABEL_OPTIONAL,
                            type=PROTO_FIELD_TYPES[PROTO_TYPES[m["item"]]])
            field.type, field.type_name = Field.TYPE_MESSAGE, f".t.{name}.{entry.name}"
        else:
            field.type = PROTO_FIELD_TYPES[PROTO_TYPES[m.get("item", kind)]]
        if kind in ("table", "vector", "map"):
            field.label = Field.LABEL_REPEATED


def proto_peer(members):
    file = descriptor_pb2.FileDescriptorProto(name="t.proto", package="t", syntax="proto3")
    add_proto_message(file, members, "M")
    message = message_class(file, "t.M")
    return lambda value: parser_accepts(message, value)


XSD_TYPES = {"int": "xs:int", "str": "xs:string", "bool": "xs:boolean", "float": "xs:double"}


def xsd_members(members):
    elements = []
    for m in members:
        occurs = "" if m["required"] else ' minOccurs="0"'
        if m["kind"] in ("table", "vector"):
            occurs += ' maxOccurs="unbounded"'
        if m["kind"] in ("record", "table"):
            elements.append(xsd_element(m["name"], sequence(*xsd_members(m["fields"])), occurs))
        else:
            elements.append(scalar(m["name"], XSD_TYPES[m.get("item", m["kind"])][3:], occurs))
    return elements


def xsd_of(members):
    return f'<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">{xsd_element("r", sequence(*xsd_members(members)))}' \
           "</xs:schema>"


def xml_text(value):
    return "true" if value is True else "false" if value is False else str(value)


def xml_of(name, value, members=None):
    """An element for each item of a list; children in the schema's order
    where the value is a declared record, else in the value's."""
    if isinstance(value, list):
        return "".join(xml_of(name, item, members) for item in value)
    if value is None:
        return f"<{name}/>"
    if not isinstance(value, dict):
        return f"<{name}>{xml_text(value)}</{name}>"
    children = [(m["name"], m) for m in members or ()] or [(key, None) for key in value]
    body = "".join(xml_of(key, value[key], m and m.get("fields")) for key, m in children if key in value)
    return f"<{name}>{body}</{name}>"


class Format:
    """A schema format: the schema text bezo imports, the peer's verdict on
    a document, how a document is written, and how notes name a member."""

    def __init__(self, fmt, members):
        self.fmt, self.members = fmt, members
        self.data_format = "xml" if fmt == "xsd" else "json"
        if fmt == "jsonschema":
            foreign = jsonschema_of(members)
            self.text = json.dumps(foreign)
            self.accepts = jsonschema.Draft7Validator(foreign).is_valid
        elif fmt == "avsc":
            foreign = avsc_of(members)
            self.text = json.dumps(foreign)
            parsed = avro.schema.parse(self.text)
            self.accepts = lambda value: avro.io.validate(parsed, value)
        elif fmt == "graphql":
            self.text = graphql_of(members)
            self.accepts = lambda value: graphql_accepts(members, value)
        elif fmt == "proto":
            self.text = 'syntax = "proto3";\n' + proto_of(members)
            self.accepts = proto_peer(members)
        else:
            self.text = xsd_of(members)
            peer = xmlschema.XMLSchema(io.StringIO(self.text))
            self.accepts = lambda value: peer.is_valid(io.StringIO(self.document(value)))
        message = {"graphql": "Q", "proto": "M"}.get(fmt)
        self.schema = bezo.import_schema(fmt, self.text, "s", message)
        self.notes = [line[len("// dropped: "):] for line in self.schema.splitlines() if line.startswith("// dropped: ")]

    def document(self, value):
        if self.fmt == "xsd":
            return xml_of("r", value, self.members)
        return json.dumps(value)

    def bezo_accepts(self, value):
        return built_if_valid(self.data_format, self.document(value), self.schema) is not None

    def locations(self, path):
        """How notes name the member at `path`."""
        joined = "/".join(path)
        if self.fmt == "xsd":
            return ["/r/" + joined]
        return ["/" + joined] + (["root/" + joined] if len(path) == 1 else [])

    def noted(self, path, member):
        """Whether a note names the member, or names a member around it that
        the import left undeclared. A note on a requirement covers its own
        member, and a record whose content a mutation replaced."""
        def names(note, location, below=False):
            tail = r"/[^ ]+($|[ )])" if below else r"($|[ )])"
            return re.search(r"(^| )" + re.escape(location) + tail, note) is not None
        own = self.locations(path)
        around = [location for k in range(1, len(path)) for location in self.locations(path[:k])]
        for note in self.notes:
            if any(names(note, location) for location in own):
                return True
            requirement = note.startswith(("required record ", "presence of ", "minOccurs="))
            if not requirement and any(names(note, location) for location in around):
                return True
            if requirement and member["kind"] == "record" and any(names(note, location, True) for location in own):
                return True
        return False


def readme_covers(member, kind, fmt):
    """The README line that covers bezo passing a mutation the peer refuses,
    or None."""
    if member["kind"] == "str" and not member["nullable"] and kind in ("value", "null") and fmt != "xsd":
        return PLAIN_STRING
    if not member["required"] and kind == "null" and member["kind"] in SCALAR_KINDS:
        return OPTIONAL_NULL
    if member["kind"] in ("table", "vector", "map") and kind == "absent":
        return ABSENT_COLLECTION
    if fmt == "xsd" and member["kind"] == "table" and kind == "value" and not any(
            column["required"] for column in member["fields"]):
        # A lone element's text at a declared table becomes its item 0.
        return ITEM_NO_RECORD
    return None


def readme_covers_refusal(member, kind, document, path, fmt):
    """The README line that covers bezo refusing what protobuf's lenient
    JSON parser takes, or None: null for a message, repeated or map field,
    and true for a floating field."""
    if fmt != "proto":
        return None
    if kind == "null" and member["kind"] not in SCALAR_KINDS:
        return NULL_FOR_PROTO
    value = document
    for name in path:
        value = value[name]
    if kind == "value" and value is True and member["kind"] == "float":
        return TRUE_FOR_FLOAT
    return None


def verdict(schema, path, member, kind, document):
    """The count a document falls under; a fault fails the test."""
    peer = schema.accepts(document)
    accepted = schema.bezo_accepts(document)
    where = f"{kind} at {'/'.join(path)} of {schema.document(document)}\n{schema.text}\n{schema.schema}"
    assert peer or kind != "valid", where
    if peer:
        if accepted:
            return "valid accepted"
        line = readme_covers_refusal(member, kind, document, path, schema.fmt)
        assert line, where
        assert line in README
        return "valid refused under the README"
    if not accepted:
        return "invalid refused"
    if schema.noted(path, member):
        return "invalid accepted under a note"
    line = readme_covers(member, kind, schema.fmt)
    assert line and line in README, where
    return "invalid accepted under the README"


def mutated_documents(schema, value):
    """(path, member, kind, document) for a valid document and its
    mutations."""
    fmt = schema.fmt
    cases = [((), None, "valid", value)]
    for path, member in member_paths(schema.members, value):
        if fmt != "avsc" or not member["nullable"]:
            # A missing nullable field passes the Avro validator, though
            # the Avro JSON encoding writes every field.
            cases.append((path, member, "absent", replaced(value, path, ...)))
        for kind, new in shape_mutations(member, fmt):
            cases.append((path, member, kind, replaced(value, path, new)))
    for path, member in absent_members(schema.members, value):
        if member["required"] and fmt != "avsc":
            cases.append((path, member, "absent", value))
    return cases


FOREIGN_FORMATS = ("jsonschema", "avsc", "graphql", "proto", "xsd")
ROUNDS = 16 if SLOW_FACTOR <= 1 else 3


@pytest.mark.parametrize("fmt", FOREIGN_FORMATS)
def test_shape_mutations_are_refused_or_noted(fmt):
    """Printed per format (pytest -s): documents valid to the peer that bezo
    passes, and those it refuses under a README line; documents the peer
    refuses that bezo refuses, passes under a note or passes under a README
    line."""
    draw = random.Random(4500 + FOREIGN_FORMATS.index(fmt))
    counts = dict.fromkeys(["valid accepted", "valid refused under the README", "invalid refused",
                            "invalid accepted under a note", "invalid accepted under the README"], 0)
    for _ in range(ROUNDS):
        schema = Format(fmt, member_tree(draw, fmt))
        for _ in range(4):
            for case in mutated_documents(schema, record_value(draw, schema.members)):
                counts[verdict(schema, *case)] += 1
    print(fmt, counts)
    assert counts["valid accepted"] > 20 and counts["invalid refused"] > 20, counts
