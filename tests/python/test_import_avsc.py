"""import_schema("avsc"): Avro schemas in, authored schemas out."""
import json

import avro.errors
import avro.schema
import pytest

import bezo
from interchange_support import json_data_passes


def checked_compile(schema_text):
    """Every imported schema must compile."""
    bezo.compile_schema(schema_text)


def imported(schema, name="t"):
    text = schema if isinstance(schema, str) else json.dumps(schema)
    result = bezo.import_schema("avsc", text, name)
    checked_compile(result)
    return result


def refusal(schema):
    with pytest.raises(bezo.BezoError) as caught:
        imported(schema)
    return str(caught.value)


def record(*fields, name="R"):
    return {"type": "record", "name": name, "fields": [{"name": n, "type": t} for n, t in fields]}


def body(*fields):
    """The lines after the header's empty line for a root of these fields."""
    return imported(record(*fields)).partition("\n\n")[2].splitlines()


def nested(records):
    """`records` records, each the only field of the one around it."""
    schema = record(("c", "int"), name="N1")
    for level in range(2, records + 1):
        schema = record(("c", schema), name=f"N{level}")
    return schema

LONG = "!int[-9223372036854775808,9223372036854775807]"
NO_PLAIN_FIELD = "// dropped: record {} declares no plain field below it (a value, null or a list in its place passes)"
REQUIRED_RECORD = "// dropped: required record {} has no required field (absent passes)"
FIXED16 = {"type": "fixed", "name": "F", "size": 16}


def test_whole_schemas():
    assert imported(record(("a", "int"), ("s", "string")), "x") == ".!hezo x\n\n!int[-2147483648,2147483647]\na=\ns=\n"
    assert imported(record(("b", "bytes")), "") == (
        ".!hezo \n\n// dropped: bytes at root/b (text of code points U+0000-U+00FF; not checked)\nb=\n")
    dated = record(("d", ["null", {"type": "int", "logicalType": "date"}]), ("n", ["null", "double"]))
    assert imported(dated).startswith(".!hezo t\n.!types std/num\n.!types std/time\n\n")
    assert bezo.import_schema("avsc", json.dumps(record()), "t", "ignored") == ".!hezo t\n\n"


@pytest.mark.parametrize("fields, lines", [
    ([("inner", record(("b", "long"), name="I"))], [LONG, "/inner::b="]),
    ([("inner", record(("deeper", record(("c", "string"), name="D")), name="I"))], ["/inner/deeper::c="]),
    ([("tags", {"type": "array", "items": "string"})], ["/@tags;="]),
    ([("items", {"type": "array", "items": record(("a", "boolean"), ("r", record(name="X")), ("q", "string"),
                                                  name="It")})],
     ["[/@items]", "!bool", "a=", "// dropped: non-scalar element field r at root/items", "q=", "[]"]),
    ([("m", {"type": "map", "values": "long"})], ["(/m)", LONG, "/.*/=", "()"]),
    ([("m", {"type": "map", "values": "string"}), ("b", {"type": "map", "values": "boolean"})],
     ["!map<str>", "m=", "!map<bool>", "b="]),
    ([("o", record(("m", {"type": "map", "values": {"type": "enum", "name": "E", "symbols": ["A", "B"]}}),
                   ("n", "int"), name="O"))],
     ["(/o/m)", "!str{A,B}", "/.*/=", "()", "!int[-2147483648,2147483647]", "/o::n="]),
    ([("m", {"type": "map", "values": ["null", "string"]})], ["(/m)", "!null|str", "/.*/=", "()"]),
    ([("m", {"type": "map", "values": {"type": "array", "items": "int"}})],
     ["// dropped: map value type at root/m has no bezo spelling"]),
    # a record of no fields, or of collections alone, passes when absent
    ([("o", record(name="O")), ("p", record(("v", {"type": "array", "items": "int"}), name="P"))],
     [NO_PLAIN_FIELD.format("root/o"), REQUIRED_RECORD.format("root/o"), "!int[-2147483648,2147483647]", "/p/@v;=",
      NO_PLAIN_FIELD.format("root/p"), REQUIRED_RECORD.format("root/p")]),
    ([("m", {"type": "map", "values": record(name="V")})], ["// dropped: map value type at root/m has no bezo spelling"]),
    ([("re", "string"), ("a\nb", "int"), ("é", "int")],
     ['"re"=', '// dropped: unrepresentable field name: "a\\nb"', "!int[-2147483648,2147483647]", '"é"=']),
    ([("f", FIXED16), ("g", "F")],
     ["// dropped: fixed size 16 at root/f (text of 16 code points U+0000-U+00FF; not checked)", "f=",
      "// dropped: fixed size 16 at root/g (text of 16 code points U+0000-U+00FF; not checked)", "g="]),
    ([("a", {"type": "array", "items": "bytes"}),
      ("r", {"type": "array", "items": record(("b", FIXED16), name="It")})],
     ["// dropped: bytes at root/a (text of code points U+0000-U+00FF; not checked)", "/@a;=",
      "[/@r]", "// dropped: fixed size 16 at root/r/b (text of 16 code points U+0000-U+00FF; not checked)", "b=",
      "[]"]),
    ([("e", {"type": "enum", "name": "E", "namespace": "a.b", "symbols": ["A", "B"]}), ("f", "a.b.E"), ("g", "E")],
     ["!str{A,B}", "e=", "!str{A,B}", "f=", "!str{A,B}", "g="]),
    ([("e", {"type": "enum", "name": "E", "symbols": []})], ["!str", "e="]),
    ([("d", {"type": "bytes", "logicalType": "decimal", "precision": 10, "scale": 2})], ["!float", "d="]),
    ([("d", {"type": "bytes", "logicalType": "decimal", "precision": 10})], ["!int", "d="]),
    ([("d", {"type": "fixed", "name": "D", "size": 8, "logicalType": "decimal", "scale": 0})], ["!int", "d="]),
    ([("d", {"type": "string", "logicalType": "decimal"})], ["d="]),
    ([("a", {"type": "array", "items": {"type": "array", "items": "int"}})],
     ["// dropped: array element type at root/a has no bezo spelling"]),
    ([("u", []), ("v", {"type": "array", "items": []})],
     ["// dropped: union without branches at root/u", "// dropped: array element type at root/v has no bezo spelling"]),
    ([("u", ["null", "string", record(name="U")])], ["// dropped: union with a non-scalar branch at root/u"]),
    ([("t", {"type": {"type": {"type": "long", "logicalType": "timestamp-millis"}}}),
      ("l", {"type": "long", "logicalType": "local-timestamp-micros"}),
      ("h", {"type": "int", "logicalType": "time-millis"}), ("x", {"type": "long", "logicalType": "date"})],
     ["&datetime", "t=", "&localdatetime", "l=", "&time", "h=", LONG, "x="]),
    ([("f", "float"), ("u", ["null", "double", "boolean"]), ("v", ["null", "bytes"])],
     ["!float|std/num/inf|std/num/nan", "f=", "!null|float|std/num/inf|std/num/nan|bool", "u=",
      "// dropped: union with a bytes or fixed branch at root/v (field left untyped)", "v="]),
])
def test_field_lines(fields, lines):
    assert body(*fields) == lines


@pytest.mark.parametrize("schema, message", [
    ("[1,", "invalid JSON at byte 3"),
    (["null", "int"], "the root Avro schema must be a record"),
    ({"type": "enum", "name": "E", "symbols": []}, "the root Avro schema must be a record"),
    ('"int"', "the root Avro schema must be a record"),
    ("3", "unsupported schema JSON shape"),
    ("true", "unsupported schema JSON shape"),
    ({"type": 3}, "unsupported schema JSON shape"),
    ({"name": "R"}, "schema object without a type"),
    (record(("a", "Later")), "unresolved (or recursive) type reference: Later"),
    (record(("a", {"type": "array"})), "array schema without items"),
    (record(("a", {"type": "map"})), "map schema without values"),
    (record(("a", {"type": "enum", "name": "E"})), "enum schema without symbols"),
    (record(("a", {"type": "enum", "name": "E", "symbols": [1]})), "enum symbol is not a string"),
    (record(("a", {"type": "enum", "name": "E", "symbols": ["a\nb"]})), 'invalid Avro enum symbol: "a\\nb"'),
    (record(("a", {"type": "enum", "name": "E", "symbols": ["a,b"]})), 'invalid Avro enum symbol: "a,b"'),
    (record(("a", {"type": "enum", "name": "E", "symbols": ["a", "b", "a"]})), 'duplicate Avro enum symbol: "a"'),
    (record(("a", {"type": "fixed", "name": "F"})), "fixed schema without size"),
    (record(("a", {"type": "fixed", "name": "F", "size": -1})), "bad fixed size: -1"),
    (record(("a", {"type": "fixed", "name": "F", "size": 1.5})), "bad fixed size: 1.5"),
    (record(("a", {"type": "bytes", "logicalType": "decimal", "scale": "2"})), "bad decimal scale"),
    (record(("a", {"type": "bytes", "logicalType": "decimal", "scale": 1e2})), "bad decimal scale: 100.0"),
    (record(("a", {"type": "record", "name": "X"})), "record schema without fields"),
    (record(("a", {"type": "record", "name": "X", "fields": [3]})), "record field is not an object"),
    (record(("a", {"type": "record", "name": "X", "fields": [{"name": "b"}]})), "record field without name/type"),
    (record(("a", {"type": "record", "fields": []})), "named schema without a name"),
    (record(("a", "int"), ("a", "string")), 'duplicate Avro field name: "a"'),
    (nested(34), "record nesting too deep"),
])
def test_refusals(schema, message):
    assert refusal(schema) == message


def test_nesting_limit_is_32_records_below_the_root():
    assert imported(nested(33)).endswith("/c" * 32 + "::c=\n")


def test_imports_are_bounded():
    chain = [record(("a", "int"), name="R0")]
    chain += [record(("x", f"R{i - 1}"), ("y", f"R{i - 1}"), name=f"R{i}") for i in range(1, 41)]
    # Expanded in full, the last record would write 2^40 fields.
    assert refusal(record(*((f"d{i}", schema) for i, schema in enumerate(chain)))) == "schema too large to import"
    # Each field line under four records keyed by a megabyte repeats their keys.
    long_keys = record(*((f"a{i}", "int") for i in range(2000)), name="I")
    for level in range(4):
        long_keys = record((f"k{level}" * 250_000, long_keys), name=f"N{level}")
    assert refusal(long_keys) == "schema too large to import"
    many = [("r", record(("a", "int"), ("b", "string"), name="S"))] + [(f"f{i}", "S") for i in range(1000)]
    lines = body(*many)
    assert len(lines) == 3 * 1001 and lines[-1] == "/f999::b="


SAMPLES = [
    record(("id", "long"), ("name", "string"), ("score", ["null", "double"]), ("tags", {"type": "array",
                                                                                       "items": "string"})),
    record(("when", {"type": "long", "logicalType": "timestamp-micros"}),
           ("kind", {"type": "enum", "name": "Kind", "symbols": ["A", "B"]}), ("again", "Kind"),
           ("props", {"type": "map", "values": "int"}), ("raw", {"type": "fixed", "name": "Md5", "size": 16})),
    record(("address", record(("street", "string"), ("zip", ["null", "int"]), name="Address")),
           ("billing", "Address"), ("amount", {"type": "bytes", "logicalType": "decimal", "precision": 9,
                                               "scale": 2})),
    {"type": "error", "name": "Oops", "namespace": "x.y", "fields": [{"name": "code", "type": "int", "doc": "d"}]},
]

# What avro.schema.parse accepts and we refuse on purpose, and the reverse.
# A forward reference is refused by both.
REFUSED_HERE_ONLY = [
    ({"type": "enum", "name": "E", "symbols": ["A"]}, "the root Avro schema must be a record"),
]
ACCEPTED_HERE_ONLY = [
    record(("u", ["int", "int"])),
    record(("x", "int"), name="not a name"),
]


@pytest.mark.parametrize("schema", SAMPLES)
def test_what_the_avro_library_accepts_imports(schema):
    avro.schema.parse(json.dumps(schema))
    assert imported(schema).startswith(".!hezo t\n")


@pytest.mark.parametrize("schema, message", REFUSED_HERE_ONLY)
def test_refused_here_though_the_avro_library_accepts(schema, message):
    avro.schema.parse(json.dumps(schema))
    assert refusal(schema) == message


@pytest.mark.parametrize("schema", ACCEPTED_HERE_ONLY)
def test_accepted_here_though_the_avro_library_refuses(schema):
    with pytest.raises(avro.errors.SchemaParseException):
        avro.schema.parse(json.dumps(schema))
    imported(schema)


@pytest.mark.parametrize("symbols", [["a\nb"], ["a,b"], ["a", "a"]])
def test_bad_enum_symbols_are_refused_by_both(symbols):
    schema = record(("e", {"type": "enum", "name": "E", "symbols": symbols}))
    with pytest.raises(avro.errors.AvroException):
        avro.schema.parse(json.dumps(schema))
    assert refusal(schema).endswith("Avro enum symbol: " + json.dumps(symbols[-1]))


# Data in Avro's JSON form through the whole road: import_schema,
# import_from("json"), build and validate, against avro.io.validate.



def peer_datum(schema, datum):
    """The JSON form of a datum as the Python datum avro validates: bytes and
    fixed as bytes of their code points."""
    import avro.io
    kind = schema.type
    if kind in ("bytes", "fixed") and isinstance(datum, str):
        return datum.encode("latin-1")
    if kind in ("record", "error") and isinstance(datum, dict):
        return {field.name: peer_datum(field.type, datum[field.name]) if field.name in datum else None
                for field in schema.fields}
    if kind == "array" and isinstance(datum, list):
        return [peer_datum(schema.items, item) for item in datum]
    if kind == "map" and isinstance(datum, dict):
        return {key: peer_datum(schema.values, value) for key, value in datum.items()}
    if kind == "union":
        for branch in schema.schemas:
            converted = peer_datum(branch, datum)
            if avro.io.validate(branch, converted):
                return converted
    return datum


def avro_accepts(schema, datum):
    import avro.io
    parsed = avro.schema.parse(json.dumps(schema))
    return avro.io.validate(parsed, peer_datum(parsed, datum))


SCALARS = record(("i", "int"), ("l", "long"), ("f", "float"), ("d", "double"), ("b", "boolean"), ("s", "string"),
                 ("e", {"type": "enum", "name": "E", "symbols": ["A", "B"]}))
OPTIONALS = record(*[(key, ["null", kind]) for key, kind in
                     [("i", "int"), ("l", "long"), ("d", "double"), ("b", "boolean"), ("s", "string"), ("e", "E")]])
OPTIONALS["fields"].insert(0, {"name": "k", "type": {"type": "enum", "name": "E", "symbols": ["X", "Y"]}})
BINARY = record(("raw", "bytes"), ("md5", {"type": "fixed", "name": "MD5", "size": 4}), ("opt", ["null", "bytes"]),
                ("list", {"type": "array", "items": "MD5"}))
SPACES = {"type": "record", "name": "R", "namespace": "n.s", "fields": [
    {"name": "e", "type": {"type": "enum", "name": "E", "symbols": ["A", "B"]}},
    {"name": "by_full", "type": "n.s.E"},
    {"name": "by_short", "type": "E"},
    {"name": "inner", "type": {"type": "record", "name": "I", "namespace": "o", "fields": [
        {"name": "f", "type": {"type": "fixed", "name": "F", "size": 2}},
        {"name": "k", "type": {"type": "enum", "name": "E", "symbols": ["X"]}},
        {"name": "k2", "type": "E"}]}},
    {"name": "back", "type": "E"},
    {"name": "other", "type": "o.E"},
    {"name": "g", "type": "o.F"},
    {"name": "again", "type": "o.I"},
]}
SPACES_DATUM = {"e": "A", "by_full": "B", "by_short": "A", "inner": {"f": "ab", "k": "X", "k2": "X"}, "back": "B",
                "other": "X", "g": "\u00ff\u0000", "again": {"f": "xy", "k": "X", "k2": "X"}}


@pytest.mark.parametrize("schema, datum, valid", [
    (SCALARS, {"i": -1, "l": 2**40, "f": 1.5, "d": 2.5, "b": True, "s": "x", "e": "A"}, True),
    pytest.param(SCALARS, {"e": "B", "s": "", "b": False, "d": -0.5, "f": 0.25, "l": 0, "i": 7}, True),
    pytest.param(SCALARS, {"i": 1, "l": 2, "f": 3, "d": 4, "b": True, "s": "x", "e": "A"}, True),
    (SCALARS, {"i": 2**31, "l": 0, "f": 1.5, "d": 2.5, "b": True, "s": "x", "e": "A"}, False),
    (SCALARS, {"i": 1, "l": 2**63, "f": 1.5, "d": 2.5, "b": True, "s": "x", "e": "A"}, False),
    (SCALARS, {"i": 1, "l": 2, "f": 1.5, "d": 2.5, "b": True, "s": "x", "e": "C"}, False),
    (SCALARS, {"i": 1, "l": 2, "f": 1.5, "d": 2.5, "b": "yes", "s": "x", "e": "A"}, False),
    (SCALARS, {"l": 2, "f": 1.5, "d": 2.5, "b": True, "s": "x", "e": "A"}, False),
    # unions holding null: the JSON form writes null, else the value itself
    (OPTIONALS, {"k": "X", "i": None, "l": None, "d": None, "b": None, "s": None, "e": None}, True),
    (OPTIONALS, {"k": "Y", "i": 5, "l": -5, "d": 0.5, "b": False, "s": "t", "e": "X"}, True),
    pytest.param(OPTIONALS, {"k": "Y", "i": 5, "l": 6, "d": 3, "b": True, "s": "t", "e": "Y"}, True),
    (OPTIONALS, {"k": "X", "i": 2**31, "l": None, "d": None, "b": None, "s": None, "e": None}, False),
    (OPTIONALS, {"k": "X", "i": None, "l": None, "d": None, "b": None, "s": None, "e": "Z"}, False),
    # bytes and fixed as text of code points U+0000-U+00FF
    (BINARY, {"raw": "a\nb\u00e9", "md5": "\u0000\u0001\r\n", "opt": None, "list": ["abcd", "$\u00ff\u00fe\u00fd"]},
     True),
    (BINARY, {"raw": "", "md5": "abcd", "opt": "\u00ff", "list": []}, True),
    # named types in their namespaces
    (SPACES, SPACES_DATUM, True),
    (SPACES, {**SPACES_DATUM, "by_short": "X"}, False),
    (SPACES, {**SPACES_DATUM, "other": "A"}, False),
    # nested records, arrays of records, maps
    (record(("r", record(("x", "int"), name="In")), ("rows", {"type": "array", "items": "In"}),
            ("m", {"type": "map", "values": "long"})),
     {"r": {"x": 1}, "rows": [{"x": 2}, {"x": 3}], "m": {"a": 1, "b": 2}}, True),
    (record(("r", record(("x", "int"), name="In")), ("rows", {"type": "array", "items": "In"})),
     {"r": {"x": 1}, "rows": [{"x": 2**40}]}, False),
    # map values keep their type's range and symbols
    (record(("m", {"type": "map", "values": "int"})), {"m": {"a": 2**31}}, False),
    (record(("m", {"type": "map", "values": "int"})), {"m": {"a": -2**31}}, True),
    (record(("m", {"type": "map", "values": {"type": "enum", "name": "E", "symbols": ["A"]}})), {"m": {"a": "B"}},
     False),
    (record(("m", {"type": "map", "values": ["null", "long"]})), {"m": {"a": None, "b": 5}}, True),
])
def test_json_form_data_agrees_with_avro(schema, datum, valid):
    assert avro_accepts(schema, datum) is valid
    assert json_data_passes(imported(schema), datum) is valid


LINKED = {"type": "record", "name": "Node", "namespace": "list", "fields": [
    {"name": "value", "type": "int"}, {"name": "next", "type": ["null", "Node"]}]}
TREE = {"type": "record", "name": "Tree", "fields": [
    {"name": "size", "type": "int"}, {"name": "children", "type": {"type": "array", "items": "Tree"}},
    {"name": "by_name", "type": {"type": "map", "values": "Tree"}}]}
MUTUAL = record(("b", record(("n", "long"), ("a", ["null", "A"]), name="B")), ("rows", {"type": "array", "items": {
    "type": "record", "name": "Row", "fields": [{"name": "k", "type": "int"}, {"name": "up", "type": "list.Node"}]}}),
    name="A")
MUTUAL_WITH_LIST = {**MUTUAL, "fields": [{"name": "head", "type": LINKED}] + MUTUAL["fields"]}
# Inside a.R, "R" names a.R itself before the b.R completed earlier.
SHADOWED = {"type": "record", "name": "Root", "namespace": "a", "fields": [
    {"name": "other", "type": {"type": "record", "name": "R", "namespace": "b", "fields": [
        {"name": "x", "type": "int"}]}},
    {"name": "own", "type": {"type": "record", "name": "R", "fields": [{"name": "next", "type": ["null", "R"]}]}}]}


@pytest.mark.parametrize("schema, lines", [
    (LINKED, ["!int[-2147483648,2147483647]", "value=", "// dropped: recursive type list.Node at root/next"]),
    (TREE, ["!int[-2147483648,2147483647]", "size=", "// dropped: recursive type Tree at root/children",
            "// dropped: recursive type Tree at root/by_name"]),
    (MUTUAL_WITH_LIST, ["!int[-2147483648,2147483647]", "/head::value=",
                        "// dropped: recursive type list.Node at /head/next", LONG, "/b::n=",
                        "// dropped: recursive type A at /b/a", "[/@rows]", "!int[-2147483648,2147483647]", "k=",
                        "// dropped: non-scalar element field up at root/rows", "[]"]),
    (SHADOWED, ["!int[-2147483648,2147483647]", "/other::x=", "// dropped: recursive type a.R at /own/next",
                NO_PLAIN_FIELD.format("root/own"), REQUIRED_RECORD.format("root/own")]),
])
def test_recursive_references_are_noted_and_left_untyped(schema, lines):
    avro.schema.parse(json.dumps(schema))
    assert imported(schema).partition("\n\n")[2].splitlines() == lines


@pytest.mark.parametrize("schema, datum, valid", [
    (LINKED, {"value": 1, "next": None}, True),
    (LINKED, {"value": 1, "next": {"value": 2, "next": {"value": 3, "next": None}}}, True),
    (LINKED, {"value": "one", "next": None}, False),
    (LINKED, {"value": 2**31, "next": {"value": 2, "next": None}}, False),
    (TREE, {"size": 1, "children": [{"size": 0, "children": [], "by_name": {}}], "by_name": {}}, True),
    (TREE, {"size": "x", "children": [], "by_name": {}}, False),
    (MUTUAL_WITH_LIST, {"head": {"value": 1, "next": None}, "b": {"n": 1, "a": None},
                        "rows": [{"k": 1, "up": {"value": 2, "next": None}}]}, True),
    (MUTUAL_WITH_LIST, {"head": {"value": 1, "next": None}, "b": {"n": "x", "a": None}, "rows": []}, False),
])
def test_recursive_data_agrees_with_avro(schema, datum, valid):
    assert avro_accepts(schema, datum) is valid
    assert json_data_passes(imported(schema), datum) is valid


def enum_field(name, symbols, namespace=None):
    enumeration = {"type": "enum", "name": name, "symbols": symbols}
    if namespace is not None:
        enumeration["namespace"] = namespace
    return enumeration


@pytest.mark.parametrize("schema, lines", [
    # a type declared inside a namespace takes it; a reference without a dot
    # is tried there first
    (SPACES, ["!str{A,B}", "e=", "!str{A,B}", "by_full=", "!str{A,B}", "by_short=",
              "// dropped: fixed size 2 at /inner/f (text of 2 code points U+0000-U+00FF; not checked)", "/inner::f=",
              "!str{X}", "/inner::k=", "!str{X}", "/inner::k2=", "!str{A,B}", "back=", "!str{X}", "other=",
              "// dropped: fixed size 2 at root/g (text of 2 code points U+0000-U+00FF; not checked)", "g=",
              "// dropped: fixed size 2 at /again/f (text of 2 code points U+0000-U+00FF; not checked)", "/again::f=",
              "!str{X}", "/again::k=", "!str{X}", "/again::k2="]),
    # a dotted name is full: its namespace is what precedes the last dot
    ({"type": "record", "name": "x.y.R", "fields": [
        {"name": "a", "type": enum_field("E", ["P"])}, {"name": "b", "type": "x.y.E"}, {"name": "c", "type": "E"}]},
     ["!str{P}", "a=", "!str{P}", "b=", "!str{P}", "c="]),
    # the enclosing namespace wins over a type of the same name in none
    ({"type": "record", "name": "R", "fields": [
        {"name": "a", "type": enum_field("E", ["NONE"])},
        {"name": "in", "type": {"type": "record", "name": "I", "namespace": "n", "fields": [
            {"name": "b", "type": enum_field("E", ["INNER"])}, {"name": "c", "type": "E"}]}},
        {"name": "d", "type": "E"}, {"name": "e", "type": "n.E"}]},
     ["!str{NONE}", "a=", "!str{INNER}", "/in::b=", "!str{INNER}", "/in::c=", "!str{NONE}", "d=", "!str{INNER}", "e="]),
    # an empty namespace is none; a name found nowhere else is found in no namespace
    ({"type": "record", "name": "R", "namespace": "n", "fields": [
        {"name": "a", "type": enum_field("G", ["Q"], "")}, {"name": "b", "type": "G"}]},
     ["!str{Q}", "a=", "!str{Q}", "b="]),
])
def test_names_resolve_in_their_namespaces(schema, lines):
    avro.schema.parse(json.dumps(schema))
    assert imported(schema).partition("\n\n")[2].splitlines() == lines


@pytest.mark.parametrize("schema, message", [
    (record(("a", "n.E"), ("b", enum_field("E", ["A"], "n"))), "unresolved (or recursive) type reference: n.E"),
    ({"type": "record", "name": "R", "namespace": "n", "fields": [
        {"name": "a", "type": "m.E"}, {"name": "b", "type": enum_field("E", ["A"])}]},
     "unresolved (or recursive) type reference: m.E"),
])
def test_a_name_before_its_definition_is_refused_by_both(schema, message):
    with pytest.raises(avro.errors.SchemaParseException):
        avro.schema.parse(json.dumps(schema))
    assert refusal(schema) == message
