"""bezo.validate: canonical documents against authored and compiled schemas."""
import json

import jsonschema
import pytest

import bezo
from interchange_support import verdict

# Root fields a (an int in [0,10]) and b; a map /m with a key pattern and at
# least one entry; a table /t/@r of one or two elements with a unique id and a
# reference into /u/@s.
SCHEMA = (".!hezo d\n!int[0,10]\na=\nb=\n(/m min=1)\n!int\n/^[a-z]+$/=\n()\n"
          "[/t/@r id=! min=1 max=2 ref=/u/@s/*::k]\n!int\nid=\nx?=q\nref?=z\n[]\n[/u/@s]\nk=\n[]\n")
COMPILED = bezo.compile_schema(SCHEMA)

HEAD = ".!nezo\n!int'::a=5\n!str'::b=x\n!int'/m::k=1\n"
ROW0 = "!int'/t/@r/0::id=1\n!str'/t/@r/0::x=q\n!str'/t/@r/0::ref=z\n"
TARGET = "!str'/u/@s/0::k=z\n"

VERDICTS = [
    ("passes", HEAD + ROW0 + TARGET, None),
    ("no declaration", "!int'::a=5\n",
     "FORMAT_KIND_ERROR: stream does not open with the .!nezo declaration (line 1)"),
    ("declaration after #! of another kind", "#!run\n.!lezo\n",
     "FORMAT_KIND_ERROR: stream does not open with the .!nezo declaration (line 2)"),
    ("line without apostrophe", ".!nezo\n\n  abc\n", "ConstraintViolationError: canonical line without ' (line 3): abc"),
    ("line without =", ".!nezo\n!str'::a\n", "ConstraintViolationError: canonical line without = (line 2): !str'::a"),
    ("bad metadata", ".!nezo\nx'::a=1\n", "ConstraintViolationError: bad metadata prefix (line 2): x"),
    ("plain field twice", ".!nezo\n!int'::a=5\n!int'::a=5\n",
     "DuplicateKeySchemaError: second entry for schema field ::a (line 3)"),
    ("plain field skipped", ".!nezo\n!str'::b=x\n",
     "RequiredFieldSchemaError: declared field ::a missing (scan reached ::b) (line 2)"),
    ("range", ".!nezo\n!int'::a=11\n",
     "ConstraintViolationError: ::a=11 (type !int) violates !int /^-?[0-9]+$/ ..num [0,10] (line 2)"),
    ("type", ".!nezo\n!null'::a=\n",
     "TypeMismatchError: ::a= (type !null) does not satisfy !int /^-?[0-9]+$/ ..num [0,10] (line 2)"),
    ("unit on a field without one", ".!nezo\n!int:m'::a=1\n",
     "TypeMismatchError: ::a=1 (type !int:m) does not satisfy !int /^-?[0-9]+$/ ..num [0,10] (line 2)"),
    ("missing at the end", ".!nezo\n!int'::a=5\n", "RequiredFieldSchemaError: declared field ::b missing at end of document"),
    ("map entries", ".!nezo\n!int'::a=5\n!str'::b=x\n", "CardinalityViolationError: /m has 0 entries, schema requires min=1"),
    ("element count", HEAD, "CardinalityViolationError: /t/@r has 0 elements, schema requires min=1 max=2"),
    ("key pattern", HEAD + "!int'/m::K=2\n" + ROW0 + TARGET,
     "ConstraintViolationError: /m: entry key K does not match the key pattern /^[a-z]+$/ (line 5)"),
    ("element field skipped", HEAD + "!int'/t/@r/0::id=1\n!str'/t/@r/0::ref=z\n",
     "RequiredFieldSchemaError: element /t/@r/0 missing declared field /t/@r/::x (scan reached /t/@r/0::ref) (line 6)"),
    ("element field twice", HEAD + "!int'/t/@r/0::id=1\n!str'/t/@r/0::x=q\n!str'/t/@r/0::x=q\n",
     "DuplicateKeySchemaError: second entry for schema field /t/@r/0::x (line 7)"),
    ("element ends early", HEAD + "!int'/t/@r/0::id=1\n!str'/t/@r/0::x=q\n",
     "RequiredFieldSchemaError: element /t/@r/0 missing declared field /t/@r/::ref"),
    ("element value", HEAD + "!int'/t/@r/0::id=x\n",
     "ConstraintViolationError: /t/@r/0::id=x (type !int) violates !int /^-?[0-9]+$/ ..num (line 5)"),
    ("unique key", HEAD + ROW0 + ROW0.replace("/0::", "/1::") + TARGET,
     "UniquenessViolationError: /t/@r: duplicate value (1) for unique key (id)"),
    ("reference", HEAD + ROW0.replace("ref=z", "ref=y") + TARGET,
     "ReferentialIntegrityError: /t/@r: ref=y has no match in /u/@s/*::k"),
    ("reference into an empty table", HEAD + ROW0, "ReferentialIntegrityError: /t/@r: ref=z has no match in /u/@s/*::k"),
    ("value cut to 40 characters", ".!nezo\n!int'::a=" + "é" * 41 + "\n",
     "ConstraintViolationError: ::a=" + "é" * 40 + "\u2026 (type !int) violates !int /^-?[0-9]+$/ ..num [0,10] (line 2)"),
]


@pytest.mark.parametrize("document, message", [row[1:] for row in VERDICTS], ids=[row[0] for row in VERDICTS])
@pytest.mark.parametrize("schema", [SCHEMA, COMPILED, "  \t" + COMPILED], ids=["authored", "compiled", "indented"])
def test_verdicts(schema, document, message):
    if message is None:
        assert bezo.validate(document, schema) is None
        return
    with pytest.raises(bezo.ValidationError) as raised:
        bezo.validate(document, schema)
    assert str(raised.value) == message


# Two references of /o/@r into the quoted column of /c/@c, one of them from
# a quoted column.
QUOTED_REFERENCES = ('.!hezo d\n[/c/@c]\n"k y"=\n[]\n[/o/@r cust=/c/@c/*::"k y" "c u"=/c/@c/*::"k y"]\n'
                     'cust=\n"c u"=\n[]\n')

OTHER_VERDICTS = [
    ("strict schema", ".!whezo d strict\n/^/'::a=\n", ".!nezo\n!str'::a=1\n!str'::z=1\n",
     "UndefinedFieldStrictSchemaError: ::z is not defined in the strict schema (line 3)"),
    ("unknown field ignored", ".!whezo d\n/^/'::a=\n", ".!nezo\n!str'::z=1\n!str'::a=1\n", None),
    ("strict element table", ".!whezo d strict\n/^/'/@t/::a=\n", ".!nezo\n!str'/@t/0::a=1\n!str'/@t/0::b=1\n",
     "UndefinedFieldStrictSchemaError: /@t/0::b is not defined in the strict schema (line 3)"),
    ("provenance required", ".!whezo d\n.!provenance:required\n", ".!nezo\n!str?src'::a=1\n",
     "ProvenanceSchemaError: ::a: schema requires source and timestamp on every line (line 2)"),
    ("provenance with timestamp", ".!whezo d\n.!provenance:required\n", ".!nezo\n!str?src@2024'::a=1\n", None),
    ("empty source", ".!whezo d\n.!provenance:source\n", ".!nezo\n!str?'::a=1\n", None),
    ("provenance prohibited", ".!whezo d\n.!provenance:none\n", ".!nezo\n!str?s'::a=1\n",
     "ProvenanceSchemaError: ::a: schema prohibits provenance (line 2)"),
    ("only collection fields", ".!whezo d\n/^/'/m::=\n/^/'/@l::=\n", ".!nezo\n", None),
    ("array members", ".!whezo d\n/@l [max=1]\n!int /^[0-9]+$/'/@l::=\n", ".!nezo\n!int'/@l::0=1\n!int'/@l::1=x\n",
     "ConstraintViolationError: /@l::1=x (type !int) violates !int /^[0-9]+$/ (line 3)"),
    ("array count", ".!whezo d\n/@l [max=1]\n/^/'/@l::=\n", ".!nezo\n!int'/@l::0=1\n!int'/@l::1=2\n",
     "CardinalityViolationError: /@l has 2 elements, schema requires max=1"),
    ("quoted map key", ".!whezo d\n/m [key::/^a b$/]\n/^/'/m::=\n", '.!nezo\n!str\'/m::"a b"=1\n', None),
    ("key pattern outside the dialect", ".!whezo d\n/m [key::/a{2000}/]\n", ".!nezo\n",
     "ConstraintViolationError: /m: key pattern outside the dialect: /a{2000}/"),
    ("absent unique fields collide", ".!whezo d\n/@t [unique::k]\n/^/'/@t/::a=\n", ".!nezo\n!str'/@t/0::a=1\n!str'/@t/1::a=2\n",
     "UniquenessViolationError: /@t: duplicate value () for unique key (k)"),
    ("quoted unique column", '.!hezo d\n[/r/@x "a b"=!]\n!int\n"a b"=\n[]\n',
     '.!nezo\n!int\'/r/@x/0::"a b"=1\n!int\'/r/@x/1::"a b"=2\n', None),
    ("quoted unique column repeated", '.!hezo d\n[/r/@x "a b"=!]\n!int\n"a b"=\n[]\n',
     '.!nezo\n!int\'/r/@x/0::"a b"=1\n!int\'/r/@x/1::"a b"=1\n',
     "UniquenessViolationError: /r/@x: duplicate value (1) for unique key (a b)"),
    ("quoted and plain unique columns", '.!hezo d\n[/r/@x id=!,"a b"=!]\nid=\n"a b"=\n[]\n',
     '.!nezo\n!str\'/r/@x/0::id=1\n!str\'/r/@x/0::"a b"=p\n!str\'/r/@x/1::id=1\n!str\'/r/@x/1::"a b"=p\n',
     "UniquenessViolationError: /r/@x: duplicate value (1, p) for unique key (id, a b)"),
    ("reference between quoted columns", QUOTED_REFERENCES, '.!nezo\n!str\'/c/@c/0::"k y"=a\n!str\'/o/@r/0::cust=a\n'
     '!str\'/o/@r/0::"c u"=a\n', None),
    ("reference to a quoted column", QUOTED_REFERENCES, '.!nezo\n!str\'/c/@c/0::"k y"=b\n!str\'/o/@r/0::cust=a\n'
     '!str\'/o/@r/0::"c u"=b\n', "ReferentialIntegrityError: /o/@r: cust=a has no match in /c/@c/*::k y"),
    ("reference from a quoted column", QUOTED_REFERENCES, '.!nezo\n!str\'/c/@c/0::"k y"=a\n!str\'/o/@r/0::cust=a\n'
     '!str\'/o/@r/0::"c u"=b\n', "ReferentialIntegrityError: /o/@r: c u=b has no match in /c/@c/*::k y"),
    # A line whose field lies before the cursor is still checked, and so are
    # the lines after it.
    ("out-of-order map line", ".!whezo d\n/^/'::a=\n!int /^-?[0-9]+$/ ..num'/m::=\n!int /^-?[0-9]+$/ ..num'/n::=\n",
     ".!nezo\n!str'::a=1\n!int'/n::x=1\n!int'/m::y=2\n!int'/n::z=abc\n",
     "ConstraintViolationError: /n::z=abc (type !int) violates !int /^-?[0-9]+$/ ..num (line 5)"),
    ("out-of-order map line checked", ".!whezo d\n!int /^[0-9]+$/'/m::=\n/^/'/n::=\n",
     ".!nezo\n!int'/n::x=1\n!int'/m::y=abc\n",
     "ConstraintViolationError: /m::y=abc (type !int) violates !int /^[0-9]+$/ (line 3)"),
    ("out-of-order element table", ".!whezo d\n/^/'::a=\n!int /^[0-9]+$/'/@t/::id=\n/^/'/m::=\n",
     ".!nezo\n!str'::a=1\n!str'/m::k=1\n!int'/@t/0::id=abc\n",
     "ConstraintViolationError: /@t/0::id=abc (type !int) violates !int /^[0-9]+$/ (line 4)"),
    # ... but a plain field still ahead of the cursor is missing at that line.
    ("out-of-order map line before a plain field", ".!whezo d\n/^/'/m::=\n/^/'::b=\n/^/'::c=\n",
     ".!nezo\n!str'/m::x=1\n!str'::b=1\n!str'/m::y=1\n!str'::c=1\n",
     "RequiredFieldSchemaError: declared field ::c missing (scan reached /m::y) (line 4)"),
    ("out of order under a strict schema", ".!whezo d strict\n/^/'/m::=\n/^/'/n::=\n",
     ".!nezo\n!str'/n::x=1\n!str'/m::y=2\n",
     "UndefinedFieldStrictSchemaError: /m::y is not defined in the strict schema (line 3)"),
]


@pytest.mark.parametrize("schema, document, message", [row[1:] for row in OTHER_VERDICTS],
                         ids=[row[0] for row in OTHER_VERDICTS])
def test_other_verdicts(schema, document, message):
    assert verdict(document, schema) == message


SCHEMA_ERRORS = [
    ("authored schema that does not compile", ".!hezo d\nx=\nx=1\n", "schema: SchemaDuplicateKeyError"),
    ("no declaration", "x=\n", "schema: FORMAT_KIND_ERROR (line 1)"),
    ("compiled declaration on line 2", "\n.!whezo d\n", "schema: FORMAT_KIND_ERROR (line 1)"),
    ("unreadable compiled schema", ".!whezo d\n.!provenance:bogus\n", "schema: unknown provenance level: bogus"),
]


@pytest.mark.parametrize("schema, message", [row[1:] for row in SCHEMA_ERRORS], ids=[row[0] for row in SCHEMA_ERRORS])
def test_schema_errors_are_not_verdicts(schema, message):
    with pytest.raises(bezo.BezoError) as raised:
        bezo.validate(".!nezo\n", schema)
    assert type(raised.value) is bezo.BezoError
    assert str(raised.value) == message


def canonical(data):
    return bezo.denormalize(bezo.compile(bezo.import_from("json", json.dumps(data))))


def json_object(**properties):
    return {"type": "object", "properties": properties, "required": list(properties)}


# (JSON Schema, the same contract as an authored schema, instances)
DIFFERENTIAL = [
    (json_object(n={"type": "integer", "minimum": 0, "maximum": 10}), "!int[0,10]\nn=\n",
     [{"n": 0}, {"n": 10}, {"n": 11}, {"n": -1}, {"n": "x"}, {}]),
    (json_object(s={"type": "string", "pattern": "^[a-z]+$"}), "/^[a-z]+$/\ns=\n",
     [{"s": "abc"}, {"s": "ab1"}, {"s": ""}]),
    (json_object(s={"enum": ["red", "green"]}), "{red,green}\ns=\n", [{"s": "red"}, {"s": "blue"}]),
    (json_object(s={"type": "string", "maxLength": 3}), "!str#[,3]\ns=\n",
     [{"s": "$ab"}, {"s": "$abc"}, {"s": "a\r\n"}, {"s": "a\r\nb"}]),
    (json_object(f={"type": "number", "maximum": 5}), "!float[,5]|std/num/inf|std/num/nan\nf=\n",
     [{"f": 2}, {"f": 2.5}, {"f": 7}, {"f": "x"}]),
    (json_object(s={"type": "string", "minLength": 2, "maxLength": 3}), "!str#[2,3]\ns=\n",
     [{"s": "a"}, {"s": "ab"}, {"s": "äöü"}, {"s": "abcd"}]),
    (json_object(rows={"type": "array", "minItems": 1, "items": json_object(a={"type": "integer", "maximum": 5})}),
     "[/@rows min=1]\n!int[,5]\na=\n[]\n",
     [{"rows": [{"a": 1}, {"a": 5}]}, {"rows": [{"a": 1}, {"a": 6}]}, {"rows": [{"b": 1}]}, {"rows": []}]),
]


@pytest.mark.parametrize("json_schema, authored, instance",
                         [(row[0], row[1], instance) for row in DIFFERENTIAL for instance in row[2]])
def test_agrees_with_jsonschema(json_schema, authored, instance):
    expected = jsonschema.Draft7Validator(json_schema).is_valid(instance)
    assert (verdict(canonical(instance), ".!hezo d\n" + authored) is None) == expected


@pytest.fixture
def registry(tmp_path):
    """A parent schema «acme/qp» whose table paths are quoted and hold a blank;
    returns the header of a child that can name it."""
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "qp.hezo").write_text(
        '.!hezo acme/qp\n[/"a b"/@r min=2]\nid=\n[]\n[/"a c"/@s min=1]\nid=\n[]\n')
    return f".!hezo child\n.!registry acme={tmp_path}\n"


def elements(table, count):
    return "".join(f"!str'{table}/{i}::id={i}\n" for i in range(count))


INHERITED_QUOTED_TABLES = [
    ("both parent rules kept", ".!schema acme/qp\n", elements('/"a b"/@r', 1) + elements('/"a c"/@s', 1),
     'CardinalityViolationError: /"a b"/@r has 1 elements, schema requires min=2'),
    ("second parent rule", ".!schema acme/qp\n", elements('/"a b"/@r', 2),
     'CardinalityViolationError: /"a c"/@s has 0 elements, schema requires min=1'),
    ("child rule replaces the parent's", '.!schema acme/qp\n[/"a b"/@r min=1]\n[]\n',
     elements('/"a b"/@r', 1) + elements('/"a c"/@s', 1), None),
    ("re-rooted under a path", ".!schema:/x acme/qp\n", elements('/x/"a b"/@r', 1) + elements('/x/"a c"/@s', 1),
     'CardinalityViolationError: /x/"a b"/@r has 1 elements, schema requires min=2'),
]


@pytest.mark.parametrize("body, lines, message", [row[1:] for row in INHERITED_QUOTED_TABLES],
                         ids=[row[0] for row in INHERITED_QUOTED_TABLES])
def test_inherited_quoted_table_paths(registry, body, lines, message):
    assert verdict(".!nezo\n" + lines, registry + body) == message
