"""bezo.build against a schema keeps collections whole and directives in
force: what it writes exports with the data in order, builds again to the
same text after unbuild, and a string that an earlier union member takes is
not made text."""
import json
import random

import jsonschema
import pytest

import bezo


def built_and_valid(text, schema):
    built = bezo.build(text, schema)
    assert bezo.validate(built, schema) is None
    return built


MIXED = [
    # (name, format, source, schema, exported data): an empty object or
    # element among records becomes an entry with the declared defaults
    ("empty object before a record", "json", '{"a":"1","t":[{},{"c":"x"}]}', ".!hezo s\n[/@t]\nc?=\n[]\na=\n",
     {"a": "1", "t": [{"c": ""}, {"c": "x"}]}),
    ("null, scalar and nested array among records", "json", '{"a":"1","t":[{"c":"x"},null,5,[1],{"c":"y"}]}',
     ".!hezo s\n[/@t]\nc?=\n[]\na=\n", {"a": "1", "t": [{"c": "x"}, None, 5, [1], {"c": "y"}]}),
    ("item opens the table", "json", '{"t":[7,{"c":"x"}],"a":"1"}', ".!hezo s\na=\n[/@t]\nc?=\nd?=0\n[]\nz?=e\n",
     {"a": "1", "t": [7, {"c": "x", "d": "0"}], "z": "e"}),
    ("record among an array's members", "json", '{"l":[1,{"x":2},3],"a":"q"}',
     ".!hezo s\na=\n(/@l)\n!int\n/^/=\n()\n", {"a": "q", "l": [1, {"x": 2}, 3]}),
    ("record among an array's members, undeclared", "json", '{"l":[1,{"x":2},3],"a":"q"}', ".!hezo s\na=\n",
     {"a": "q", "l": [1, {"x": 2}, 3]}),
    ("empty XML element among records", "xml", '<r><n t="a"/><n/><n t="b"/></r>', '.!hezo s\n[/r/@n]\n"@t"?=\n[]\n',
     {"r": {"n": [{"@t": "a"}, {"@t": ""}, {"@t": "b"}]}}),
]


@pytest.mark.parametrize("fmt, source, schema, data", [row[1:] for row in MIXED], ids=[row[0] for row in MIXED])
def test_mixed_collections_export_in_order(fmt, source, schema, data):
    built = built_and_valid(bezo.import_from(fmt, source), schema)
    assert json.loads(bezo.export_to("json", built)) == data
    if fmt == "xml":
        assert bezo.export_to("xml", built).count("<n") == 3


ROWS_SCHEMA = {"type": "object", "properties": {"rows": {"type": "array", "items": {
    "type": "object", "properties": {"a": {"type": "integer"}}}}}}


def test_empty_object_among_records_under_an_imported_schema():
    schema = bezo.import_schema("jsonschema", json.dumps(ROWS_SCHEMA), "s")
    source = {"rows": [{"a": 1}, {}, {"a": 2}]}
    built = built_and_valid(bezo.import_from("json", json.dumps(source)), schema)
    # the empty entry takes the declared (empty) default of its field
    assert json.loads(bezo.export_to("json", built)) == {"rows": [{"a": 1}, {"a": None}, {"a": 2}]}


# A JSON Schema whose tables' items are records with declared defaults, for
# generated documents.
GENERATED_SCHEMA = {
    "type": "object",
    "required": ["id"],
    "properties": {
        "id": {"type": "integer"},
        "name": {"type": "string", "default": "anon"},
        "rows": {"type": "array", "items": {"type": "object", "properties": {
            "a": {"type": "integer"}, "b": {"type": "string"}}}},
        "tags": {"type": "array", "items": {"type": "string"}},
        "box": {"type": "object", "properties": {
            "items": {"type": "array", "items": {"type": "object", "properties": {"k": {"type": "string"}}}}}},
    },
}


def shuffled(members, draw):
    names = list(members)
    draw.shuffle(names)
    return {name: members[name] for name in names}


def record(fields, draw):
    """A record holding at least one of the fields (an empty one is an
    empty object, left out below)."""
    kept = [name for name in fields if draw.random() < 0.7] or [draw.choice(list(fields))]
    return shuffled({name: fields[name]() for name in kept}, draw)


def mixed_items(fields, draw):
    """Records mixed with items that are no record: null and scalars. Empty
    objects and empty arrays are left out under declared records: build
    gives those the declared record's shape (they become empty records whose
    fields are added), which this comparison does not model."""
    def item():
        kind = draw.choice(["record", "record", "record", "null", "int", "str"])
        if kind == "record":
            return record(fields, draw)
        return {"null": None, "int": draw.randint(-5, 5), "str": draw.choice(["s", "t u"])}[kind]
    return [item() for _ in range(draw.randint(0, 5))]


def undeclared_items(draw):
    """Items of an array the schema does not declare: anything goes."""
    pool = [{}, [], None, 3, "x", {"k": 1}, [1, {"q": 2}], {"n": {"m": 1}}]
    return [draw.choice(pool) for _ in range(draw.randint(1, 5))]


def generated_document(draw):
    rows_fields = {"a": lambda: draw.randint(0, 9), "b": lambda: draw.choice(["p", "q"])}
    members = {"id": draw.randint(0, 99)}
    if draw.random() < 0.5:
        members["name"] = draw.choice(["n", "m"])
    if draw.random() < 0.8:
        members["rows"] = mixed_items(rows_fields, draw)
    if draw.random() < 0.5:
        members["tags"] = [draw.choice(["x", "y"]) for _ in range(draw.randint(0, 3))]
    if draw.random() < 0.5:
        members["box"] = {"items": mixed_items({"k": lambda: draw.choice(["v", "w"])}, draw)}
    if draw.random() < 0.5:
        members["extra"] = undeclared_items(draw)
    return shuffled(members, draw)


def with_declared_defaults(document):
    """The data build writes: absent optional fields with their defaults (an
    optional integer without one is null, an optional string empty)."""
    def fill(obj, defaults):
        for name, value in defaults.items():
            obj.setdefault(name, value)
    expected = json.loads(json.dumps(document))
    fill(expected, {"name": "anon"})
    for row in expected.get("rows", []):
        if isinstance(row, dict):
            fill(row, {"a": None, "b": ""})
    for item in expected.get("box", {}).get("items", []):
        if isinstance(item, dict):
            fill(item, {"k": ""})
    return expected


def test_generated_documents_with_mixed_tables_export_what_they_hold():
    schema = bezo.import_schema("jsonschema", json.dumps(GENERATED_SCHEMA), "s")
    draw = random.Random(4011)
    validated = agreed = 0
    for _ in range(400):
        document = generated_document(draw)
        built = bezo.build(bezo.import_from("json", json.dumps(document)), schema)
        try:
            bezo.validate(built, schema)
        except bezo.ValidationError:
            continue
        validated += 1
        exported = json.loads(bezo.export_to("json", built))
        assert exported == with_declared_defaults(document), json.dumps(document)
        # Items that are no record among records are the one point where
        # the foreign validator is stricter; everything else it takes too.
        if all(isinstance(row, dict) for row in document.get("rows", []) + document.get("box", {}).get("items", [])):
            jsonschema.validate(document, GENERATED_SCHEMA)
            agreed += 1
    assert validated == 400 and agreed > 50


UNITS_MODULE = ".!gezo acme/u\nm 2\n&dbl=\n"


@pytest.fixture
def unit_registry(tmp_path):
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "u.gezo").write_text(UNITS_MODULE)
    return tmp_path


def field_order(canonical):
    """The keys of the content lines, in text order."""
    return [line.rsplit("::", 1)[1].split("=", 1)[0] for line in canonical.splitlines() if "'::" in line]


def test_lines_stay_below_the_units_directive_they_need(unit_registry):
    schema = ".!hezo s\nc=\na=\nb=\n"
    document = f".!registry acme={unit_registry}\na=1\n.!units acme/u\n!:dbl\nb=3\n!:dbl\nc=5\n"
    built = bezo.build(document, schema)
    lines = built.splitlines()
    assert lines.index(".!units acme/u") < lines.index("!:dbl'::c=5")
    assert field_order(built) == ["c", "a", "b"]
    assert bezo.build(bezo.unbuild(built), schema) == built


def directive_document(draw, registry):
    """Root fields f0..f5 and the records of a table t in a drawn order,
    some with a unit from a module that a ".!units" line imports somewhere
    between them, with ".!registry" lines and notes among them: lines above
    a directive that the schema puts after lines below it move down past
    it."""
    names = [f"f{i}" for i in range(6)] + ["t"] * draw.randint(0, 3)
    draw.shuffle(names)
    lines = [f".!registry acme={registry}"]
    units_at = draw.randint(0, len(names))
    for position, name in enumerate(names):
        if position == units_at:
            lines.append(".!units acme/u")
        if draw.random() < 0.2:
            lines.append(f".!registry other{position}={registry}")
        if draw.random() < 0.2:
            lines.append(f".?note {position}")
        unit = position >= units_at and draw.random() < 0.5
        line = f"/@t+:=k={position}" if name == "t" else f"{name}={position}"
        lines.extend(["!:dbl", line] if unit else [line])
    return "".join(line + "\n" for line in lines)


DIRECTIVE_SCHEMA = ".!hezo s\n" + "".join(f"f{i}=\n" for i in range(3)) + "[/@t]\nk=\n[]\n" + \
    "".join(f"f{i}=\n" for i in range(3, 6))


def test_generated_documents_with_directives_build_again_unchanged(unit_registry):
    draw = random.Random(6111)
    validated = 0
    for _ in range(200):
        document = directive_document(draw, unit_registry)
        built = bezo.build(document, DIRECTIVE_SCHEMA)
        # The schema's untyped fields take no value with a unit.
        if "!:dbl" not in document:
            assert bezo.validate(built, DIRECTIVE_SCHEMA) is None
            validated += 1
        assert field_order(built) == sorted(field_order(built)), document
        records = [line for line in built.splitlines() if "'/@t/" in line]
        assert [int(line.rsplit("=", 1)[1]) for line in records] == sorted(
            int(line.rsplit("=", 1)[1]) for line in records), document
        assert bezo.build(bezo.unbuild(built), DIRECTIVE_SCHEMA) == built, document
        lines = built.splitlines()
        units = lines.index(".!units acme/u") if ".!units acme/u" in lines else len(lines)
        assert all(not line.startswith("!:dbl") for line in lines[:units]), document
    assert validated > 30


UNIONS = [
    # (name, schema, source, built line): a member before "text" that takes
    # the string as it is keeps it a string; otherwise it becomes text.
    ("int before a short text", "!int|text#[1,3]\nn=\n", ("xml", "<n>12345</n>"), "!str'::n=12345"),
    ("short text", "!int|text#[1,3]\nn=\n", ("xml", "<n>ab</n>"), "!text'::n=ab"),
    ("date before a text pattern", "!std/time/date|text/^x/\nd=\n", ("json", '{"d":"2024-01-01"}'),
     "!str'::d=2024-01-01"),
    ("text pattern", "!std/time/date|text/^x/\nd=\n", ("json", '{"d":"xyz"}'), "!text'::d=xyz"),
    ("null before text, value not null", "!null|text\nd?=\n", ("json", '{"d":"q"}'), "!text'::d=q"),
]


@pytest.mark.parametrize("schema, source, line", [row[1:] for row in UNIONS], ids=[row[0] for row in UNIONS])
def test_strings_become_text_only_where_no_earlier_member_takes_them(schema, source, line):
    schema = ".!hezo s\n" + schema
    built = built_and_valid(bezo.import_from(*source), schema)
    assert built == f".!nezo\n.!schema:s\n{line}\n"
