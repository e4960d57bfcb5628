"""bezo.build: authored text to canonical text, with and without a schema."""
import json

import pytest

import bezo


def canonical(*lines, schema="s"):
    head = [".!nezo"] + ([f".!schema:{schema}"] if schema else [])
    return "".join(line + "\n" for line in head + list(lines))


PLAIN = ".!hezo s\na?=1\nb=\nc?=x\n"
TABLE = ".!hezo s\n[/@t]\nx?=0\ny=\n[]\n"
METRES = ".!hezo s\n(/a)\n!float:m\nd=\n()\n"

BUILDS = [
    ("defaults before and after a present field", "b=2\n", PLAIN,
     canonical("!str'::a=1", "!str'::b=2", "!str'::c=x")),
    ("unknown field kept in place", "b=2\nz=3\n", PLAIN,
     canonical("!str'::a=1", "!str'::b=2", "!str'::z=3", "!str'::c=x")),
    # The first line names y, yet x belongs to the table's run and is added.
    ("element defaults in every entry", "[@t]\ny=1\n[@t]\ny=2\nz=3\n", TABLE,
     canonical("!str'/@t/0::x=0", "!str'/@t/0::y=1", "!str'/@t/1::x=0", "!str'/@t/1::y=2", "!str'/@t/1::z=3")),
    ("unit shorthand converted", "(/a)\n!:km\nd=1.5\n", METRES, canonical("!float:m'/a::d=1500")),
    ("str retyped as text", "t=xy\n", ".!hezo s\n!text\nt=\n", canonical("!text'::t=xy")),
    ("null member with an empty value", "v=1\n", ".!hezo s\n!null|int\nn?=null\nv=\n",
     canonical("!null'::n=", "!str'::v=1")),
    ("union default keeps its member's unit", "x=1\n", ".!hezo s\n!int:m|null\nn?=5\nx=\n",
     canonical("!int:m'::n=5", "!str'::x=1")),
    ("unit of the provenance left alone", "!:km?sensor:km\nd=1.5\n", ".!hezo s\n!float:m\nd=\n",
     canonical("!float:m?sensor:km'::d=1500")),
    ("schema line after the declaration", ".!bezo\nx=1\n", ".!hezo s\nx=\n", canonical("!str'::x=1")),
    ("schema line before a #! line", "#!run\n.!bezo\nx=1\n", ".!hezo s\nx=\n", canonical("!str'::x=1")),
    ("name after a version", "x=1\n", ".!hezo 1.0 s\nx=\n", canonical("!str'::x=1")),
    ("CR LF input", "b=2\r\n", PLAIN, canonical("!str'::a=1", "!str'::b=2", "!str'::c=x")),
    ("no schema", "(/a)\n!:km\nd=1.5\n", None, canonical("!:km'/a::d=1.5", schema=None)),
]


@pytest.mark.parametrize("text, schema, expected", [row[1:] for row in BUILDS], ids=[row[0] for row in BUILDS])
def test_build(text, schema, expected):
    built = bezo.build(text, schema)
    assert built == expected
    if schema:
        assert bezo.validate(built, schema) is None


def test_a_value_that_does_not_convert_is_left_to_validate():
    built = bezo.build("(/a)\n!:km\nd=abc\n", METRES)
    assert built == canonical("!float:km'/a::d=abc")
    with pytest.raises(bezo.ValidationError, match="^TypeMismatchError"):
        bezo.validate(built, METRES)


REFUSALS = [
    ("inexact conversion", "!:m\nd=1\n", ".!hezo s\n!float:ft\nd=\n", "UnitConversionError"),
    ("line break mark in a text", "t=x|:|y\n", ".!hezo s\n!text\nt=\n", "DelimiterCollisionError"),
    ("absent required field", "a=1\n", PLAIN, "RequiredFieldSchemaError"),
    ("absent required element field", "[@t]\nx=1\n", TABLE, "RequiredFieldSchemaError"),
    ("document naming another schema", ".!schema:other\nx=1\n", ".!hezo s\nx=\n", "SchemaResolutionError"),
    ("version but no name", "x=1\n", ".!hezo 1.0\nx=\n", "the .!hezo declaration names no schema"),
    ("declaration not on line 1", "x=1\n", "\n.!hezo s\nx=\n", "schema must open with a .!hezo declaration"),
    ("declaration without a line feed", ".!bezo", ".!hezo s\n", "MISSING_FINAL_EOL_ERROR"),
    ("versioned declaration without a line feed", ".!bezo 1.0", ".!hezo s\n", "MISSING_FINAL_EOL_ERROR"),
]


@pytest.mark.parametrize("text, schema, message", [row[1:] for row in REFUSALS], ids=[row[0] for row in REFUSALS])
def test_build_refusal(text, schema, message):
    with pytest.raises(bezo.BezoError) as raised:
        bezo.build(text, schema)
    assert type(raised.value) is bezo.BezoError
    assert str(raised.value) == message


@pytest.fixture
def registry(tmp_path):
    (tmp_path / "acme").mkdir()
    for name, size in (("a", 2), ("b", 3)):
        (tmp_path / "acme" / f"{name}.gezo").write_text(f".!gezo acme/{name}\nm {size}\n&u=\n")
    (tmp_path / "acme" / "s.whezo").write_text(".!whezo acme/s\n/^/'::a?=1\n/^/'::b=\n/^/'::c?=x\n")
    return f".!registry acme={tmp_path}\n"


@pytest.mark.parametrize("first, second, value", [("a", "b", "2"), ("b", "a", "3")])
def test_the_first_unit_module_to_define_a_symbol_wins(registry, first, second, value):
    head = f"{registry}.!units acme/{first}\n.!units acme/{second}\n"
    schema = ".!hezo s\n!float:m\nd=\n"
    built = bezo.build(head + "!:u\nd=1\n", schema)
    assert built.endswith(f"\n!float:m'::d={value}\n")
    assert bezo.validate(built, schema) is None


def test_added_lines_take_the_text_line_ending(registry):
    head = f".!lezo\r\n{registry.strip()}\r\n.!schema:acme/s\r\n"
    assert bezo.denormalize(head + "!str'::b=2") == (head.replace(".!lezo", ".!nezo") +
                                                     "!str'::a=1\r\n!str'::b=2\r\n!str'::c=x\r\n")


def test_json_round_trip_through_build():
    source = {"a$b": "1", "c=d": {"e": "$x", "f": [1, 2]}, "g": "=$="}
    built = bezo.build(bezo.import_from("json", json.dumps(source)))
    assert json.loads(bezo.export_to("json", built)) == source


# Without a schema, build hands the compiled text to the reference pass,
# which keeps it in place when it finds nothing to rewrite but the
# declaration: each row must come out as compile then denormalize gives it,
# whether it takes that way or not. The long rows pass the point where the
# compiler sizes its output for the whole text.
LONG_RECORDS = "".join(f"[@r]\nid={i}\n!int\nn={i}\n[]\n" for i in range(5000))


@pytest.mark.parametrize("text", [
    "a=1\nb=two\n",
    "a=1\r\nb=2\r\n",
    "a=1\nb=$a\n",
    "a=cost $$5\n",
    "(/a)\n!:km\nd=1.5\n",
    "a=wow!:yes\n",
    ".!verbatim\na=$x\n",
    ".!verbatim\na=1\n",
    "a=.!lezo\nb=.!verbatim\n",
    LONG_RECORDS,
    LONG_RECORDS + "last=$/@r/4999::id\n",
    "a=" + "x" * 300_000 + "\nb=$a\n",
], ids=["plain", "crlf", "reference", "dollar", "unit shorthand", "shorthand in a value", "verbatim",
        "verbatim without a dollar", "declarations in values", "long", "long with a reference", "long value"])
def test_build_without_schema_is_compile_then_denormalize(text):
    assert bezo.build(text) == bezo.denormalize(bezo.compile(text))


# A plain string under a field whose only string member is "text" becomes
# text, in a union as alone, so that validate then takes what build wrote;
# in a union only when no member before "text" takes it as it is.
@pytest.mark.parametrize("schema, document, line", [
    ("!text\na=\n", "a=abc\n", "!text'::a=abc"),
    ("!null|text\na?=\n", "a=abc\n", "!text'::a=abc"),
    ("!int|text\na=\n", "a=5\n", "!str'::a=5"),
    ("!int|text\na=\n", "a=x5\n", "!text'::a=x5"),
    ("!null|text#[,3]\na?=\n", "a=abc\n", "!text'::a=abc"),
    ("!null|str|text\na?=\n", "a=abc\n", "!str'::a=abc"),
    ("!null|text\na?=\n", "!text\na=x|:|y\n", "!text'::a=x|:|y"),
])
def test_plain_strings_under_text_members_become_text(schema, document, line):
    schema = ".!hezo s\n" + schema
    built = bezo.build(document, schema)
    assert built == f".!nezo\n.!schema:s\n{line}\n"
    assert bezo.validate(built, schema) is None


@pytest.mark.parametrize("schema", ["!text\na=\n", "!null|text\na?=\n"])
def test_a_plain_string_holding_the_line_mark_is_no_text(schema):
    with pytest.raises(bezo.BezoError, match="DelimiterCollisionError"):
        bezo.build("a=p|:|q\n", ".!hezo s\n" + schema)
