"""Build against an imported schema gives imported data the shape the schema
declares where import could not know it: empty objects and empty XML
elements at declared records, lone XML occurrences at declared tables and
vectors, plain values at simple-content records. Each road (import_schema,
import_from, build, validate, export_to) must agree with the format's own
validator: what the peer accepts builds, validates and exports; what it
refuses on a stated constraint is refused by build or validate."""
import io
import json
import random
import re

import avro.io
import avro.schema
import jsonschema
import pytest
import xmlschema

import bezo


def built_if_valid(data_format, data_text, schema):
    """The text that build writes against the schema when validate passes
    it, or None when build or validate refuses the data on a constraint."""
    try:
        built = bezo.build(bezo.import_from(data_format, data_text), schema)
        bezo.validate(built, schema)
    except bezo.BezoError as refusal:
        assert "RequiredField" in str(refusal) or "Violation" in str(refusal) or "TypeMismatch" in str(refusal), \
            str(refusal)
        return None
    return built


def road(schema_format, schema_text, data_format, data_text, export_format, **schema_options):
    """The exported data, or None when build or validate refuses it."""
    schema = bezo.import_schema(schema_format, schema_text, "s", **schema_options)
    built = built_if_valid(data_format, data_text, schema)
    return None if built is None else bezo.export_to(export_format, built)


def json_schema_accepts(schema, document):
    return jsonschema.Draft7Validator(schema).is_valid(document)


def xsd_accepts(xsd, document):
    return xmlschema.XMLSchema(io.StringIO(xsd)).is_valid(io.StringIO(document))


def avro_accepts(avsc, document):
    return avro.io.validate(avro.schema.parse(avsc), document)


OBJECT_O = {"type": "object", "properties": {"o": {"type": "object", "properties": {"x": {"type": "string"}}}}}
ROWS_REQUIRE_A = {"type": "object", "properties": {"rows": {"type": "array", "items": {
    "type": "object", "required": ["a"],
    "properties": {"a": {"type": "integer"}, "o": {"type": "object", "properties": {"k": {"type": "integer"}}}}}}}}
AVRO_ROWS = {"type": "record", "name": "R", "fields": [{"name": "rows", "type": {"type": "array", "items": {
    "type": "record", "name": "Row", "fields": [{"name": "a", "type": "int"}]}}}]}


@pytest.mark.parametrize("schema, document", [
    (OBJECT_O, {"o": {}}),
    (OBJECT_O, {"o": {"x": "v"}}),
    (OBJECT_O, {"o": None}),  # a value where a record is declared: no lift, and no export could write both
    (OBJECT_O, {"o": "v"}),
    (OBJECT_O, {"o": []}),
    (ROWS_REQUIRE_A, {"rows": [{}, {"a": 1}]}),
    (ROWS_REQUIRE_A, {"rows": [{"a": 1}, {"o": {"k": 1}}]}),
    (ROWS_REQUIRE_A, {"rows": [{"a": 1}, {"a": 2, "o": {"k": 1}}]}),
    (ROWS_REQUIRE_A, {"rows": []}),
])
def test_json_road_agrees_with_jsonschema(schema, document):
    exported = road("jsonschema", json.dumps(schema), "json", json.dumps(document), "json")
    assert (exported is not None) == json_schema_accepts(schema, document)


def test_an_empty_object_at_a_declared_record_takes_its_defaults():
    exported = road("jsonschema", json.dumps(OBJECT_O), "json", '{"o":{}}', "json")
    assert json.loads(exported) == {"o": {"x": ""}}


@pytest.mark.parametrize("document", [{"rows": [{}, {"a": 1}]}, {"rows": [{"a": 1}, {"a": 2}]}])
def test_avro_road_agrees_with_the_avro_validator(document):
    exported = road("avsc", json.dumps(AVRO_ROWS), "json", json.dumps(document), "json")
    assert (exported is not None) == avro_accepts(json.dumps(AVRO_ROWS), document)


@pytest.mark.parametrize("document, accepted", [
    ('{"rows":[{},{"a":1}]}', False),
    ('{"rows":[{"a":1},{"b":"x"}]}', False),
    ('{"rows":[{"a":1,"b":"x"}]}', True),
])
def test_graphql_entries_meet_their_non_null_fields(document, accepted):
    sdl = "type Query { rows: [Row!]! }\ntype Row { a: Int!\n b: String }\n"
    assert (road("graphql", sdl, "json", document, "json", message="Query") is not None) == accepted


def xsd(content):
    return ('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="r"><xs:complexType>'
            f'<xs:sequence>{content}</xs:sequence></xs:complexType></xs:element></xs:schema>')


ITEMS = xsd('<xs:element name="item" maxOccurs="unbounded"><xs:complexType><xs:sequence>'
            '<xs:element name="v" type="xs:int"/></xs:sequence></xs:complexType></xs:element>')
INTS = xsd('<xs:element name="n" type="xs:int" minOccurs="0" maxOccurs="unbounded"/>')


def priced(occurs, use):
    return xsd(f'<xs:element name="p"{occurs}><xs:complexType><xs:simpleContent><xs:extension base="xs:int">'
               f'<xs:attribute name="cur" type="xs:string"{use}/></xs:extension></xs:simpleContent>'
               '</xs:complexType></xs:element>')


PRICE = priced("", "")
PRICES = priced(' maxOccurs="unbounded"', ' use="required"')
RECORD = xsd('<xs:element name="o"><xs:complexType><xs:sequence>'
             '<xs:element name="x" type="xs:string" minOccurs="0"/></xs:sequence></xs:complexType></xs:element>')


@pytest.mark.parametrize("schema, document", [
    (ITEMS, "<r><item><v>abc</v></item></r>"),
    (ITEMS, "<r><item><v>5</v></item></r>"),
    (ITEMS, "<r><item><v>5</v></item><item><v>6</v></item></r>"),
    (ITEMS, "<r></r>"),
    (ITEMS, "<r><item><v>5</v></item><item></item></r>"),
    (ITEMS, "<r><item>5</item></r>"),
    (INTS, "<r><n>abc</n></r>"),
    (INTS, "<r><n>5</n></r>"),
    (INTS, "<r/>"),
    (PRICE, "<r><p>5</p></r>"),
    (PRICE, "<r><p>x</p></r>"),
    (PRICE, '<r><p cur="eur">5</p></r>'),
    (PRICES, '<r><p>5</p><p cur="eur">6</p></r>'),
    (PRICES, "<r><p>5</p></r>"),
    (PRICES, '<r><p cur="eur">5</p></r>'),
    (PRICES, '<r><p cur="eur">5</p><p cur="usd">6</p></r>'),
    (RECORD, "<r><o/></r>"),
    (RECORD, "<r><o><x>s</x></o></r>"),
])
def test_xml_road_agrees_with_xmlschema(schema, document):
    exported = road("xsd", schema, "xml", document, "xml")
    assert (exported is not None) == xsd_accepts(schema, document)


@pytest.mark.parametrize("document", ["<r><item><v>5</v></item></r>", '<r><p cur="eur">5</p></r>'])
def test_a_lone_occurrence_exports_as_it_came(document):
    schema = ITEMS if "item" in document else PRICES
    exported = road("xsd", schema, "xml", document, "xml")
    assert xsd_accepts(schema, exported)
    assert "".join(exported.split()).endswith("".join(document.split()))


@pytest.mark.parametrize("document", [
    '{"r":{"item":{"v":"5"}}}',  # JSON says one record, not a list of one
    '{"r":{"n":"5"}}',
])
def test_a_lone_json_value_is_not_made_a_list(document):
    schema = bezo.import_schema("xsd", ITEMS if "item" in document else INTS, "s")
    built = bezo.build(bezo.import_from("json", document), schema)
    assert "/@" not in built


@pytest.mark.parametrize("data_format, document", [("json", '{"o":{}}'), ("xml", "<r><o/></r>")])
def test_without_a_schema_build_keeps_the_imported_shape(data_format, document):
    built = bezo.build(bezo.import_from(data_format, document))
    assert "::o=" in built
    exported = json.loads(bezo.export_to("json", built))
    assert exported in ({"o": {}}, {"r": {"o": None}})


def test_the_xml_mark_is_dropped_by_build_against_a_schema_only():
    authored = bezo.import_from("xml", "<r><o><x>s</x></o></r>")
    assert authored.startswith(".!bezo\n.?xml\n")
    assert ".?xml" in bezo.build(authored)
    assert ".?xml" not in bezo.build(authored, bezo.import_schema("xsd", RECORD, "s"))


def occurrences(rng, count, make):
    return "".join(make(rng) for _ in range(count))


def item(rng):
    roll = rng.random()
    if roll < 0.05:
        return "<item/>"
    return f"<item><v>{'abc' if roll < 0.1 else rng.randint(-5, 5)}</v></item>"


def number(rng):
    return f"<n>{'x' if rng.random() < 0.05 else rng.randint(0, 9)}</n>"


def price(rng):
    cur = "" if rng.random() < 0.05 else ' cur="eur"'
    return f"<p{cur}>{rng.randint(0, 99)}</p>"


GENERATED = xsd(
    '<xs:element name="item" maxOccurs="unbounded"><xs:complexType><xs:sequence>'
    '<xs:element name="v" type="xs:int"/></xs:sequence></xs:complexType></xs:element>'
    '<xs:element name="n" type="xs:int" minOccurs="0" maxOccurs="unbounded"/>'
    '<xs:element name="p" minOccurs="0" maxOccurs="unbounded"><xs:complexType><xs:simpleContent>'
    '<xs:extension base="xs:int"><xs:attribute name="cur" type="xs:string" use="required"/></xs:extension>'
    '</xs:simpleContent></xs:complexType></xs:element>')


def test_generated_xml_occurrences_agree_with_xmlschema():
    rng = random.Random(40)
    peer = xmlschema.XMLSchema(io.StringIO(GENERATED))
    schema = bezo.import_schema("xsd", GENERATED, "s")
    verdicts = {True: 0, False: 0}
    for _ in range(300):
        counts = [rng.choice([0, 1, 2, 50]) for _ in range(3)]
        document = "<r>" + "".join(occurrences(rng, count, make)
                                   for count, make in zip(counts, (item, number, price))) + "</r>"
        built = built_if_valid("xml", document, schema)
        assert (built is not None) == peer.is_valid(io.StringIO(document)), document
        verdicts[built is not None] += 1
        if built is None:
            continue
        exported = bezo.export_to("xml", built)
        assert peer.is_valid(io.StringIO(exported)), document
    assert min(verdicts.values()) > 30


JSON_SCHEMA = {"type": "object", "properties": {
    "o": {"type": "object", "properties": {"x": {"type": "string"}, "y": {"type": "integer"}}},
    "rows": {"type": "array", "items": {"type": "object", "required": ["a"],
                                        "properties": {"a": {"type": "integer"}, "b": {"type": "string"}}}},
    "tags": {"type": "array", "items": {"type": "string"}},
}}
O_DEFAULTS = {"x": "", "y": None}
ROW_DEFAULTS = {"b": ""}


def generated_document(rng):
    choices = {
        "o": [{}, {"x": "s"}, {"y": 1}, {"x": "s", "y": 2}, {"y": "bad"}, None, []],
        "rows": [[], [{"a": 1}], [{"a": 1, "b": "x"}, {"a": 2}], [{}], [{"a": 1}, {}], [{"b": "x"}],
                 [{"a": "bad"}]],
        "tags": [[], ["a", "b"]],
    }
    keys = [key for key in choices if rng.random() < 0.8]
    rng.shuffle(keys)
    return {key: rng.choice(choices[key]) for key in keys}


def with_defaults(document):
    expected = dict(document)
    expected["o"] = {**O_DEFAULTS, **document.get("o", {})}
    if "rows" in document:
        expected["rows"] = [{**ROW_DEFAULTS, **row} for row in document["rows"]]
    return expected


def test_generated_empty_collections_agree_with_jsonschema():
    rng = random.Random(2)
    schema = bezo.import_schema("jsonschema", json.dumps(JSON_SCHEMA), "s")
    verdicts = {True: 0, False: 0}
    for _ in range(300):
        document = generated_document(rng)
        built = built_if_valid("json", json.dumps(document), schema)
        assert (built is not None) == json_schema_accepts(JSON_SCHEMA, document), document
        verdicts[built is not None] += 1
        if built is None:
            continue
        assert json.loads(bezo.export_to("json", built)) == with_defaults(document)
    assert min(verdicts.values()) > 30


@pytest.mark.parametrize("document", ['{"rows":[{},{"a":1}]}', '{"rows":[{"a":1},{"o":{"k":1}}]}'])
def test_validate_checks_entries_of_a_document_built_without_the_schema(document):
    schema = bezo.import_schema("jsonschema", json.dumps(ROWS_REQUIRE_A), "s")
    with pytest.raises(bezo.ValidationError, match="RequiredFieldSchemaError: element /@rows/[01] missing"):
        bezo.validate(bezo.build(bezo.import_from("json", document)), schema)


VALUES = {"type": "object", "properties": {
    "z": {"type": "string"},
    "o": {"type": "object", "properties": {"x": {"type": "string"}}},
    "t": {"type": "array", "items": {"type": "object", "properties": {"a": {"type": "string"}, "b": {"type": "string"}}}},
}}


@pytest.mark.parametrize("document", [
    {"z": {"q": 1}},
    {"z": [1]},
    {"o": {"x": {"q": 1}}},
    {"o": {"x": [1, {"q": 2}]}},
    {"t": [{"a": {"q": 5}}]},
    {"t": [{"b": "x", "a": [1, 2]}]},
    {"t": [{"a": "s", "b": "x"}], "z": "v"},
])
def test_a_record_or_list_where_a_value_is_declared_is_refused(document):
    # Build writes the declared value beside the container, which no export
    # could write both of: validate refuses it, as jsonschema does.
    exported = road("jsonschema", json.dumps(VALUES), "json", json.dumps(document), "json")
    assert (exported is not None) == json_schema_accepts(VALUES, document)


MARKED = ".!hezo s\n[/@t]\na?=\nb?=\n[]\n(/@v)\n/^/=\n()\n"


@pytest.mark.parametrize("document, data", [
    # A hand-written ".?xml" line lifts a lone record or value only into a
    # table or vector the text holds no line of; beside one, validate
    # refuses what no export could write.
    (".!bezo\n.?xml\n/t::a=1\n/t::b=x\n", {"t": [{"a": "1", "b": "x"}]}),
    (".!bezo\n.?xml\nv=3\n", {"v": ["3"]}),
    (".!bezo\n.?xml\nv=3\n/@v::0=4\n", None),
    (".!bezo\n.?xml\n/@v::0=4\nv=3\n", None),
    (".!bezo\n.?xml\n/t::a=1\n/@t/1::a=2\n", None),
    (".!bezo\n.?xml\n!null\nt=\n/@t/0::a=4\n", None),
    (".!bezo\n/t::a=1\n/@t/0::a=2\n", None),
    (".!bezo\n.?xml\n/t/a::q=5\n", None),
])
def test_marked_lone_lines_never_meet_their_list(document, data):
    try:
        built = bezo.build(document, MARKED)
        bezo.validate(built, MARKED)
    except bezo.BezoError as refusal:
        assert data is None and "TypeMismatch" in str(refusal), str(refusal)
        return
    assert json.loads(bezo.export_to("json", built)) == data


MAPS = ".!hezo s\n!map<int>\n/r::m=\n(/r/b)\n!int\n/^k/=\n()\n"


@pytest.mark.parametrize("document, data", [
    # An empty element stands for the empty map; two occurrences are a list.
    ("<r><m/><b/></r>", {"r": {"m": {}, "b": {}}}),
    ("<r><m><a>1</a></m><b></b></r>", {"r": {"m": {"a": "1"}, "b": {}}}),
    ("<r><m/><m/></r>", None),
])
def test_an_empty_xml_element_at_a_declared_map_is_the_empty_map(document, data):
    try:
        built = bezo.build(bezo.import_from("xml", document), MAPS)
        bezo.validate(built, MAPS)
    except bezo.ValidationError as refusal:
        assert data is None and "holds a list where the schema declares the map /r/m" in str(refusal), str(refusal)
        return
    assert json.loads(bezo.export_to("json", built)) == data


VECTOR_V = {"type": "object", "properties": {"v": {"type": "array", "items": {"type": "integer"}}}, "required": ["v"]}
TABLE_T = {"type": "object", "properties": {"t": {"type": "array", "items": {
    "type": "object", "properties": {"a": {"type": "string"}}}}}}
MAP_M = {"type": "object", "properties": {"m": {"type": "object", "additionalProperties": {"type": "integer"}}}}
RECORD_O = {"type": "object", "properties": {"o": {"type": "object", "properties": {
    "x": {"type": "string"}}, "required": ["x"]}}, "required": ["o"]}
RECORD_OF_A_VECTOR = {"type": "object", "properties": {"o": {"type": "object", "properties": {
    "v": {"type": "array", "items": {"type": "integer"}}}}}}
AVRO_COLLECTIONS = {"type": "record", "name": "R", "fields": [
    {"name": "m", "type": {"type": "map", "values": "long"}},
    {"name": "v", "type": {"type": "array", "items": "int"}}]}


@pytest.mark.parametrize("schema, document, refusal", [
    (VECTOR_V, {"v": 5}, "::v holds a value where the schema declares the vector /@v"),
    (VECTOR_V, {"v": {"a": 1}}, "/v::a holds a record where the schema declares the vector /@v"),
    (VECTOR_V, {"v": None}, "::v holds null where the schema declares the vector /@v"),
    (VECTOR_V, {"v": {}}, "::v holds a record where the schema declares the vector /@v"),
    (TABLE_T, {"t": 5}, "::t holds a value where the schema declares the table /@t"),
    (TABLE_T, {"t": {"a": "x"}}, "/t::a holds a record where the schema declares the table /@t"),
    (TABLE_T, {"t": None}, "::t holds null where the schema declares the table /@t"),
    (MAP_M, {"m": 5}, "::m holds a value where the schema declares the map /m"),
    (MAP_M, {"m": [1, 2]}, "/@m::0 holds a list where the schema declares the map /m"),
    (MAP_M, {"m": None}, "::m holds null where the schema declares the map /m"),
    (MAP_M, {"m": []}, "::m holds a list where the schema declares the map /m"),
    (RECORD_O, {"o": [{"x": "a"}]}, "/@o/0::x holds a list where the schema declares the record /o"),
    (RECORD_OF_A_VECTOR, {"o": []}, "::o holds a list where the schema declares the record /o"),
])
def test_a_shape_other_than_the_declared_collection_is_refused(schema, document, refusal):
    assert not json_schema_accepts(schema, document)
    schema_text = bezo.import_schema("jsonschema", json.dumps(schema), "s")
    data = bezo.import_from("json", json.dumps(document))
    # Built with or without the schema, validate names the path and what
    # the schema declares there.
    with pytest.raises(bezo.ValidationError, match="^TypeMismatchError: " + re.escape(refusal)):
        bezo.validate(bezo.build(data), schema_text)
    assert road("jsonschema", json.dumps(schema), "json", json.dumps(document), "json") is None


@pytest.mark.parametrize("schema, document", [
    (VECTOR_V, {"v": []}), (VECTOR_V, {"v": [1, 2]}), (VECTOR_V, {}),
    (TABLE_T, {"t": []}), (TABLE_T, {"t": [{"a": "x"}]}),
    (MAP_M, {"m": {}}), (MAP_M, {"m": {"a": 1}}),
    (RECORD_O, {"o": {"x": "a"}}),
])
def test_the_declared_collection_or_record_passes(schema, document):
    exported = road("jsonschema", json.dumps(schema), "json", json.dumps(document), "json")
    assert exported is not None
    # An absent vector cannot be told from an empty one: jsonschema refuses
    # {} for the required v, which bezo passes (see the README).
    assert json_schema_accepts(schema, document) or document == {}


@pytest.mark.parametrize("document", [
    {"m": 5, "v": []}, {"m": [1, 2], "v": []}, {"m": None, "v": []}, {"m": {"a": {"b": 1}}, "v": []},
    {"m": {}, "v": 5}, {"m": {}, "v": None}, {"m": {}, "v": {"a": 1}},
    {"m": {"a": 1}, "v": [1, 2]},
])
def test_avro_collections_agree_with_the_avro_validator(document):
    exported = road("avsc", json.dumps(AVRO_COLLECTIONS), "json", json.dumps(document), "json")
    assert (exported is not None) == avro_accepts(json.dumps(AVRO_COLLECTIONS), document), document


@pytest.mark.parametrize("schema_format, schema, document", [
    ("jsonschema", {"type": "object", "properties": {"v": {"type": ["array", "null"], "items": {"type": "integer"}}}},
     {"v": None}),
    ("avsc", {"type": "record", "name": "R", "fields": [{"name": "v", "type": ["null", {"type": "array", "items": "int"}]}]},
     {"v": None}),
    ("avsc", {"type": "record", "name": "R", "fields": [{"name": "m", "type": ["null", {"type": "map", "values": "int"}]}]},
     {"m": None}),
])
def test_a_collection_that_may_be_null_takes_null(schema_format, schema, document):
    exported = road(schema_format, json.dumps(schema), "json", json.dumps(document), "json")
    assert json.loads(exported) == document


@pytest.mark.parametrize("sdl", ["type Query { tags: [String!] }\n", "type Query { rows: [Row!] }\ntype Row { a: Int! }\n"])
def test_a_nullable_graphql_list_takes_null(sdl):
    key = "tags" if "tags" in sdl else "rows"
    assert road("graphql", sdl, "json", json.dumps({key: None}), "json", message="Query") is not None
