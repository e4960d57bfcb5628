"""Seeded mutations that put a value, null, a record or a list where a schema
declares another shape. Each generated document comes with its schema:
inferred from the document, or imported from a JSON Schema, an Avro schema
or (for XML data) an XSD schema drawn beside it; the data is JSON or YAML
text, or XML. The document itself must build and validate; every mutation
of it, which the format's own validator refuses, must be refused by build
or validate, so that nothing exports in a shape the schema does not
declare."""
import copy
import io
import json
import os
import random

import avro.io
import avro.schema
import jsonschema
import pytest
import xmlschema
import yaml

import bezo
from test_declared_shapes import built_if_valid

SLOW_FACTOR = float(os.environ.get("BEZO_TEST_SLOW_FACTOR") or 1)
DOCUMENTS = max(6, int(60 / SLOW_FACTOR))  # per seed and schema source
MUTATIONS = 4  # per document

# A shape tree: ("int",), ("str",), ("record", {name: shape}), ("vector", scalar),
# ("table", {name: scalar}), ("map", scalar). The root is a record.
SCALARS = (("int",), ("str",))

# What a mutation puts where each shape is declared: another shape.
REPLACEMENTS = {
    "value": [{"q": 1}, [1, 2], [{"q": 1}]],
    "record": [5, "s", None, [1, 2], [{"q": 1}]],
    "vector": [5, None, {"q": 1}, {}],
    "table": [5, "s", None, {"a": 1}, {}],
    "map": [5, None, [1, 2], []],
}


def draw_record(draw, depth, collections):
    members = {"a": draw.choice(SCALARS)}
    for index in range(draw.randint(1, 4)):
        roll = draw.random()
        if roll < 0.3 or depth >= 2:
            shape = draw.choice(SCALARS)
        elif roll < 0.5:
            shape = draw_record(draw, depth + 1, collections)
        else:
            kind = draw.choice(collections)
            if kind == "table":
                shape = ("table", {f"c{column}": draw.choice(SCALARS) for column in range(draw.randint(1, 3))})
            else:
                shape = (kind, draw.choice(SCALARS))
        members[f"f{index}"] = shape
    return ("record", members)


def instance(shape, draw, least):
    """A value of the shape; collections hold at least `least` members."""
    kind = shape[0]
    if kind == "int":
        return draw.randint(-5, 99)
    if kind == "str":
        return draw.choice(["a", "bc", ""])
    count = draw.randint(least, 3)
    if kind == "record":
        names = list(shape[1])
        draw.shuffle(names)
        return {name: instance(shape[1][name], draw, least) for name in names}
    if kind == "vector":
        return [instance(shape[1], draw, least) for _ in range(count)]
    if kind == "table":
        # Entries list their columns in one order, which infer needs to
        # declare them.
        return [{name: instance(column, draw, least) for name, column in shape[1].items()} for _ in range(count)]
    return {f"k{key}": instance(shape[1], draw, least) for key in range(count)}


def json_schema(shape):
    kind = shape[0]
    if kind in ("int", "str"):
        return {"type": "integer" if kind == "int" else "string"}
    if kind == "record":
        return {"type": "object", "required": sorted(shape[1]),
                "properties": {name: json_schema(member) for name, member in shape[1].items()}}
    if kind == "vector":
        return {"type": "array", "items": json_schema(shape[1])}
    if kind == "table":
        return {"type": "array", "items": json_schema(("record", shape[1]))}
    return {"type": "object", "additionalProperties": json_schema(shape[1])}


def avro_schema(shape, names):
    kind = shape[0]
    if kind in ("int", "str"):
        return "long" if kind == "int" else "string"
    if kind == "record":
        names.append(f"R{len(names)}")
        return {"type": "record", "name": names[-1],
                "fields": [{"name": name, "type": avro_schema(member, names)} for name, member in shape[1].items()]}
    if kind == "vector":
        return {"type": "array", "items": avro_schema(shape[1], names)}
    if kind == "table":
        return {"type": "array", "items": avro_schema(("record", shape[1]), names)}
    return {"type": "map", "values": avro_schema(shape[1], names)}


def points(shape, value, where=()):
    """The places a mutation may take, each with the shape declared there:
    the members of records, the columns of table entries and the entries
    of maps. The members of a vector are left alone (see the README)."""
    for name, member in shape[1].items():
        at = where + (name,)
        kind = member[0]
        yield at, "value" if kind in ("int", "str") else kind
        if kind == "record":
            yield from points(member, value[name], at)
        elif kind == "table":
            for index, entry in enumerate(value[name]):
                yield from ((at + (index, column), "value") for column in entry)
        elif kind == "map":
            yield from ((at + (key,), "value") for key in value[name])


def inferred_shape(value):
    """The shape infer declares for a document whose collections are not
    empty: a list of records is a table, a list of values a vector."""
    if isinstance(value, dict):
        return ("record", {name: inferred_shape(member) for name, member in value.items()})
    if isinstance(value, list):
        if isinstance(value[0], dict):
            return ("table", {name: ("int",) for name in value[0]})
        return ("vector", ("int",))
    return ("int",)


def value_at(document, at):
    for step in at:
        document = document[step]
    return document


def mutated(document, at, replacement):
    copied = copy.deepcopy(document)
    target = copied
    for step in at[:-1]:
        target = target[step]
    target[at[-1]] = copy.deepcopy(replacement)
    return copied


class Source:
    """A schema source: the schema text for a drawn document, and the peer
    that judges a mutation (None: the mutation itself is the verdict)."""

    def __init__(self, name, collections, least):
        self.name, self.collections, self.least = name, collections, least

    def draw(self, draw):
        shape = draw_record(draw, 0, self.collections)
        document = instance(shape, draw, self.least)
        if self.name == "inferred":
            schema = bezo.infer(bezo.import_from("json", json.dumps(document)), "s")
            return inferred_shape(document), document, schema, None
        if self.name == "jsonschema":
            foreign = json_schema(shape)
            checker = jsonschema.Draft7Validator(foreign)
            return shape, document, bezo.import_schema("jsonschema", json.dumps(foreign), "s"), checker.is_valid
        foreign = json.dumps(avro_schema(shape, []))
        parsed = avro.schema.parse(foreign)
        return shape, document, bezo.import_schema("avsc", foreign, "s"), lambda datum: avro.io.validate(parsed, datum)


def mutation_places(draw, shape, document):
    """MUTATIONS places (at, declared shape), the declared shapes drawn
    evenly."""
    places = {}
    for at, declared in points(shape, document):
        places.setdefault(declared, []).append(at)
    for _ in range(MUTATIONS):
        declared = draw.choice(sorted(places))
        yield draw.choice(places[declared]), declared


class Tally:
    """The counts of one run, and the mutations that were accepted."""

    def __init__(self):
        self.counts = {"valid accepted": 0, "mutations refused": 0, "mutations accepted": 0}
        self.accepted = []

    def valid(self):
        self.counts["valid accepted"] += 1

    def mutation(self, refused, *case):
        self.counts["mutations refused" if refused else "mutations accepted"] += 1
        if not refused:
            self.accepted.append(case)

    def check(self, *label):
        print(*label, self.counts)
        assert not self.accepted, self.accepted[:3]


def spelled(data_format, document):
    if data_format == "yaml":
        return yaml.safe_dump(document, sort_keys=False)
    return json.dumps(document)


def passes(built, schema):
    try:
        bezo.validate(built, schema)
    except bezo.ValidationError:
        return False
    return True


SOURCES = [
    # infer declares no map, and an empty list is no table or vector to it
    Source("inferred", ["vector", "table"], 1),
    Source("jsonschema", ["vector", "table", "map"], 0),
    Source("avsc", ["vector", "table", "map"], 0),
]


@pytest.mark.parametrize("source", SOURCES, ids=[source.name for source in SOURCES])
@pytest.mark.parametrize("seed", range(3))
def test_mutated_shapes_are_refused(source, seed):
    draw = random.Random(7100 + 10 * seed + SOURCES.index(source))
    tally = Tally()
    for _ in range(DOCUMENTS):
        shape, document, schema, peer = source.draw(draw)
        data_format = draw.choice(["json", "yaml"])
        assert peer is None or peer(document), json.dumps(document)
        text = spelled(data_format, document)
        assert built_if_valid(data_format, text, schema) is not None, (text, schema)
        tally.valid()
        for at, declared in mutation_places(draw, shape, document):
            wrong = mutated(document, at, draw.choice(REPLACEMENTS[declared]))
            assert peer is None or not peer(wrong), json.dumps(wrong)
            text = spelled(data_format, wrong)
            # Validate is the judge: it refuses the mutation built without
            # the schema too, where build cannot have refused it first.
            refused = built_if_valid(data_format, text, schema) is None
            refused = refused and not passes(bezo.build(bezo.import_from(data_format, text)), schema)
            tally.mutation(refused, declared, at, text, schema)
    tally.check(source.name, seed)


# XML has no maps, and says null only as an empty element: an XSD schema
# declares records, values and repeated elements (tables and vectors).
XML_REPLACEMENTS = {
    "value": [{"q": 1}, [1, 2]],
    "record": [5, None, "twice"],
    "vector": [{"q": 1}, None],
    "table": [5, None],
}


def xsd_element(name, shape):
    kind = shape[0]
    if kind in ("int", "str"):
        return f'<xs:element name="{name}" type="xs:{"int" if kind == "int" else "string"}"/>'
    occurs = ' minOccurs="0" maxOccurs="unbounded"'
    if kind == "vector":
        return xsd_element(name, shape[1]).replace("/>", occurs + "/>")
    members = shape[1]
    body = "<xs:complexType><xs:sequence>" + "".join(xsd_element(n, m) for n, m in members.items()) + \
        "</xs:sequence></xs:complexType>"
    return f'<xs:element name="{name}"{occurs if kind == "table" else ""}>{body}</xs:element>'


def xml_text(name, value):
    """Elements for a value: a list repeats the element, None is empty."""
    if isinstance(value, list):
        return "".join(xml_text(name, item) for item in value)
    if value is None:
        return f"<{name}/>"
    if isinstance(value, dict):
        return f"<{name}>" + "".join(xml_text(key, member) for key, member in value.items()) + f"</{name}>"
    return f"<{name}>{value}</{name}>"


def in_order(shape, value):
    """The value with every record's members in the order of the schema's
    sequence; strings are never empty (an empty element is XML's null)."""
    kind = shape[0]
    if kind == "str":
        return value or "s"
    if kind == "record":
        return {name: in_order(member, value[name]) for name, member in shape[1].items()}
    if kind == "vector":
        return [in_order(shape[1], item) for item in value]
    if kind == "table":
        return [in_order(("record", shape[1]), item) for item in value]
    return value


@pytest.mark.parametrize("seed", range(3))
def test_mutated_xml_shapes_are_refused(seed):
    draw = random.Random(7200 + seed)
    tally = Tally()
    for _ in range(max(3, DOCUMENTS // 2)):
        shape = draw_record(draw, 0, ["vector", "table"])
        document = in_order(shape, instance(shape, draw, 0))
        xsd = '<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">' + xsd_element("r", shape) + "</xs:schema>"
        peer = xmlschema.XMLSchema(io.StringIO(xsd))
        schema = bezo.import_schema("xsd", xsd, "s")
        source = xml_text("r", document)
        assert peer.is_valid(io.StringIO(source)), source
        assert built_if_valid("xml", source, schema) is not None, (source, schema)
        tally.valid()
        for at, declared in mutation_places(draw, shape, document):
            replacement = draw.choice(XML_REPLACEMENTS[declared])
            if replacement == "twice":  # the record repeated: a list of two
                replacement = [value_at(document, at)] * 2
            wrong = xml_text("r", mutated(document, at, replacement))
            if peer.is_valid(io.StringIO(wrong)):
                # An empty element in a vector of strings is an empty string.
                assert declared == "vector" and replacement is None, wrong
                continue
            tally.mutation(built_if_valid("xml", wrong, schema) is None, declared, at, wrong, schema)
    tally.check("xsd", seed)
