"""bezo.build against a schema: fields come out in the schema's order whatever
order the document lists them in, and notes and directives among a table's
lines stay where they stand."""
import itertools
import json

import pytest

import bezo


def canonical(*lines, schema="s", ending="\n"):
    head = [".!nezo", f".!schema:{schema}"]
    return "".join(line + ending for line in head + list(lines))


def built_and_valid(text, schema):
    built = bezo.build(text, schema)
    assert bezo.validate(built, schema) is None
    return built


def data_of(built):
    return json.loads(bezo.export_to("json", built))


def without_notes(text):
    return "".join(line for line in text.splitlines(keepends=True) if not line.startswith((".?", ".!registry")))


ROW = ".!hezo s\n[/@row]\na=\nmm=\n[]\n"
ROW_DEFAULT = ".!hezo s\n[/@row]\na=\nmm?=9\n[]\n"
ROW_NOTE = canonical("!str'/@row/0::a=1", ".?mid", "!str'/@row/0::mm=3")
TABLE_AND_UNITS = ".!hezo s\n[/@t]\nx?=0\ny=\n[]\n(/a)\n!float:m\nd=\ne?=5\n()\n"

NOTES = [
    ("note inside an entry", "[@row]\na=1\n.?mid\nmm=3\n", ROW, ROW_NOTE),
    ("note inside an entry, default not doubled", "[@row]\na=1\n.?mid\nmm=3\n", ROW_DEFAULT, ROW_NOTE),
    # A note after an entry's last line precedes what follows the entry.
    ("note after an entry", "[@row]\na=1\n.?after\n", ROW_DEFAULT,
     canonical("!str'/@row/0::a=1", "!str'/@row/0::mm=9", ".?after")),
    ("directive inside an entry", "[@row]\na=1\n.!registry acme=/nowhere\nmm=3\n", ROW,
     canonical("!str'/@row/0::a=1", ".!registry acme=/nowhere", "!str'/@row/0::mm=3")),
    ("note between entries, expansion goes on", "[@t]\ny=1\n.?between\n[@t]\ny=2\n[]\n(/a)\n!:km\nd=1.5\n()\n",
     TABLE_AND_UNITS,
     canonical("!str'/@t/0::x=0", "!str'/@t/0::y=1", ".?between", "!str'/@t/1::x=0", "!str'/@t/1::y=2",
               "!float:m'/a::d=1500", "!str'/a::e=5")),
    ("notes in a row between entries", "[@t]\ny=1\n.?one\n.?two\n[@t]\ny=2\n[]\n", TABLE_AND_UNITS.replace("d=", "d?=1"),
     canonical("!str'/@t/0::x=0", "!str'/@t/0::y=1", ".?one", ".?two", "!str'/@t/1::x=0", "!str'/@t/1::y=2",
               "!float:m'/a::d=1", "!str'/a::e=5")),
    ("note after the last entry", "[@t]\ny=1\n.?end\n", ".!hezo s\n[/@t]\nx?=0\ny=\n[]\nz?=1\n",
     canonical("!str'/@t/0::x=0", "!str'/@t/0::y=1", ".?end", "!str'::z=1")),
]


@pytest.mark.parametrize("text, schema, expected", [row[1:] for row in NOTES], ids=[row[0] for row in NOTES])
def test_notes_among_table_lines(text, schema, expected):
    assert built_and_valid(text, schema) == expected
    # The note changes nothing of the data.
    assert without_notes(expected) == built_and_valid(without_notes(text), schema)


SCHEMA_ABC = ".!hezo s{strict}\na=\nb?=dflt\nc=\n"


@pytest.mark.parametrize("strict", ["", " strict"])
@pytest.mark.parametrize("order", list(itertools.permutations("abc")))
def test_members_in_any_order(order, strict):
    schema = SCHEMA_ABC.format(strict=strict)
    source = {name: f"v{name}" for name in order}
    built = built_and_valid(bezo.import_from("json", json.dumps(source)), schema)
    assert built == canonical("!str'::a=va", "!str'::b=vb", "!str'::c=vc")
    without_b = {name: value for name, value in source.items() if name != "b"}
    built = built_and_valid(bezo.import_from("json", json.dumps(without_b)), schema)
    assert built == canonical("!str'::a=va", "!str'::b=dflt", "!str'::c=vc")


RECORDS = ".!hezo s\nname=\n(/o)\np?=1\nq=\n()\n[/@t]\nx?=0\ny=\nz=\n[]\nend?=e\n"
RECORDS_BUILT = canonical("!str'::name=n", "!str'/o::p=1", "!str'/o::q=2", "!str'/@t/0::x=0", "!int'/@t/0::y=1",
                          "!int'/@t/0::z=2", "!int'/@t/1::x=3", "!int'/@t/1::y=4", "!int'/@t/1::z=5", "!str'::end=e")


@pytest.mark.parametrize("order", list(itertools.permutations(["name", "o", "t"])))
@pytest.mark.parametrize("record", list(itertools.permutations("xyz")))
def test_nested_objects_and_records_in_any_order(order, record):
    members = {"name": "n", "o": {"q": "2"}, "t": [{"y": 1, "z": 2}, {"x": 3, "y": 4, "z": 5}]}
    source = {name: members[name] for name in order}
    second = source["t"][1]
    source["t"][1] = {name: second[name] for name in record}
    assert built_and_valid(bezo.import_from("json", json.dumps(source)), RECORDS) == RECORDS_BUILT


UNDECLARED = [
    # Lines the schema does not declare keep their places; the declared
    # ones move among the places they fill.
    ("before and after", '{"b":"1","z1":"u","a":"2","z2":"w"}', ".!hezo s\na=\nb=\n",
     ["!str'::a=2", "!str'::z1=u", "!str'::b=1", "!str'::z2=w"]),
    ("first", '{"z":"u","b":"1","a":"2"}', ".!hezo s\na=\nb=\nc?=3\n",
     ["!str'::z=u", "!str'::a=2", "!str'::b=1", "!str'::c=3"]),
    ("inside a record", '{"t":[{"y":"1","w":"u","x":"2"}]}', ".!hezo s\n[/@t]\nx=\ny=\n[]\n",
     ["!str'/@t/0::x=2", "!str'/@t/0::w=u", "!str'/@t/0::y=1"]),
    ("object inside a record", '{"t":[{"y":"1","w":{"k":"u"},"x":"2"}]}', ".!hezo s\n[/@t]\nx=\ny=\n[]\n",
     ["!str'/@t/0::x=2", "!str'/@t/0/w::k=u", "!str'/@t/0::y=1"]),
    ("map entries keep their order", '{"m":{"k2":2,"k1":1},"a":"x"}', ".!hezo s\na=\n(/m)\n!int\n/^k/=\n()\n",
     ["!str'::a=x", "!int'/m::k2=2", "!int'/m::k1=1"]),
    ("array members keep their order", '{"l":[3,1,2],"a":"x"}', ".!hezo s\na=\n(/@l)\n!int\n/^/=\n()\n",
     ["!str'::a=x", "!int'/@l::0=3", "!int'/@l::1=1", "!int'/@l::2=2"]),
]


@pytest.mark.parametrize("source, schema, lines", [row[1:] for row in UNDECLARED], ids=[row[0] for row in UNDECLARED])
def test_undeclared_members(source, schema, lines):
    built = built_and_valid(bezo.import_from("json", source), schema)
    assert built == canonical(*lines)
    assert data_of(built) == {**json.loads(source), **data_of(built)}


def test_undeclared_members_under_a_strict_schema_are_refused_wherever_they_stand():
    schema = ".!hezo s strict\na=\nb=\n"
    built = bezo.build(bezo.import_from("json", '{"b":"1","z":"u","a":"2"}'), schema)
    with pytest.raises(bezo.ValidationError, match="^UndefinedFieldStrictSchemaError: ::z is not defined"):
        bezo.validate(built, schema)


IN_ORDER = [
    # Documents whose declared lines follow the schema build as they did.
    ("undeclared after", "b=2\nz=3\n", ".!hezo s\na?=1\nb=\nc?=x\n",
     ["!str'::a=1", "!str'::b=2", "!str'::z=3", "!str'::c=x"]),
    ("undeclared before", "z=3\nb=2\n", ".!hezo s\na?=1\nb=\nc?=x\n",
     ["!str'::z=3", "!str'::a=1", "!str'::b=2", "!str'::c=x"]),
    ("note before an added default", "a=1\n.?h\nc=3\n", ".!hezo s\na=\nb?=2\nc=\n",
     ["!str'::a=1", ".?h", "!str'::b=2", "!str'::c=3"]),
    ("undeclared field in a record", "[@t]\ny=1\nw=5\n[@t]\nx=1\ny=2\n", ".!hezo s\n[/@t]\nx?=0\ny=\n[]\n",
     ["!str'/@t/0::x=0", "!str'/@t/0::y=1", "!str'/@t/0::w=5", "!str'/@t/1::x=1", "!str'/@t/1::y=2"]),
]


@pytest.mark.parametrize("text, schema, lines", [row[1:] for row in IN_ORDER], ids=[row[0] for row in IN_ORDER])
def test_documents_in_schema_order_build_unchanged(text, schema, lines):
    assert built_and_valid(text, schema) == canonical(*lines)


MOVES = [
    ("note moves with its line", "c=3\n.?about a\na=1\n", ".!hezo s\na=\nb?=2\nc=\n",
     [".?about a", "!str'::a=1", "!str'::b=2", "!str'::c=3"]),
    ("note moves with its record field", "[@t]\ny=1\n.?about x\nx=2\n", ".!hezo s\n[/@t]\nx=\ny=\n[]\n",
     [".?about x", "!str'/@t/0::x=2", "!str'/@t/0::y=1"]),
    ("table gathered where it first stood", "[@t]\ny=1\n[]\nb=2\n[@t]\ny=2\n[]\na=1\n",
     ".!hezo s\na=\n[/@t]\nx?=0\ny=\n[]\nb=\n",
     ["!str'::a=1", "!str'/@t/0::x=0", "!str'/@t/0::y=1", "!str'/@t/1::x=0", "!str'/@t/1::y=2", "!str'::b=2"]),
    ("undeclared line between entries leaves the table", "[@t]\ny=1\n[]\nz=9\n[@t]\ny=2\n[]\nb=2\n",
     ".!hezo s\n[/@t]\ny=\n[]\nb=\n",
     ["!str'/@t/0::y=1", "!str'/@t/1::y=2", "!str'::z=9", "!str'::b=2"]),
    ("unit converted after moving", "e=1\n!:km\nd=1.5\n", ".!hezo s\n!float:m\nd=\ne=\n",
     ["!float:m'::d=1500", "!str'::e=1"]),
]


@pytest.mark.parametrize("text, schema, lines", [row[1:] for row in MOVES], ids=[row[0] for row in MOVES])
def test_lines_moved_into_schema_order(text, schema, lines):
    assert built_and_valid(text, schema) == canonical(*lines)


@pytest.fixture
def registry(tmp_path):
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "s.whezo").write_text(
        ".!whezo acme/s\n/^/'::a=\n/^/'::b?=2\n/^/'::c=\n/^/'/@t/::x=\n/^/'/@t/::y=\n/^/'/@t/::z?=0\n")
    return f".!registry acme={tmp_path}\n.!schema:acme/s\n"


def test_cr_lf_document_out_of_order(registry):
    head = ".!lezo\r\n" + registry.replace("\n", "\r\n")
    lines = ["!str'::c=3", "!str'::a=1", "!str'/@t/0::y=1", ".?n", "!str'/@t/0::x=2"]
    built = bezo.denormalize(head + "".join(line + "\r\n" for line in lines))
    assert built == head.replace(".!lezo", ".!nezo") + "".join(line + "\r\n" for line in [
        "!str'::a=1", "!str'::b=2", "!str'::c=3", ".?n", "!str'/@t/0::x=2", "!str'/@t/0::y=1", "!str'/@t/0::z=0"])


@pytest.mark.parametrize("ending", ["\n", "\r\n"])
def test_a_last_line_without_ending_moved_ahead_gets_one(registry, ending):
    head = ".!lezo" + ending + registry.replace("\n", ending)
    built = bezo.denormalize(head + "!str'::c=3" + ending + "!str'::a=1")
    assert built == head.replace(".!lezo", ".!nezo") + ending.join(["!str'::a=1", "!str'::b=2", "!str'::c=3", ""])


def test_a_repeated_field_is_not_lost():
    built = bezo.build("b=1\na=2\nb=3\n", ".!hezo s\na=\nb=\n")
    assert built == canonical("!str'::a=2", "!str'::b=1", "!str'::b=3")
    with pytest.raises(bezo.ValidationError, match="^DuplicateKeySchemaError"):
        bezo.validate(built, ".!hezo s\na=\nb=\n")


def test_xml_attributes_in_any_order():
    schema = '.!hezo s\n(/r)\n"@a"=\n"@b"=\nc=\n()\n'
    for xml in ('<r b="1" a="2"><c>3</c></r>', '<r a="2" b="1"><c>3</c></r>'):
        built = built_and_valid(bezo.import_from("xml", xml), schema)
        assert built == canonical("!str'/r::\"@a\"=2", "!str'/r::\"@b\"=1", "!str'/r::c=3")


def test_shuffled_records_build_the_data_of_ordered_ones():
    schema = ".!hezo s\n[/@t]\nid=\nqty=\n!float\nw=\nnote?=none\n[]\n"
    names = ["id", "qty", "w"]
    ordered = {"t": [{"id": i, "qty": i * 2, "w": i / 2} for i in range(24)]}
    shuffled = {"t": [{name: record[name] for name in order}
                      for record, order in zip(ordered["t"], itertools.cycle(itertools.permutations(names)))]}
    expected = built_and_valid(bezo.import_from("json", json.dumps(ordered)), schema)
    assert built_and_valid(bezo.import_from("json", json.dumps(shuffled)), schema) == expected
