"""import_schema("avsc"): Avro schemas in, authored schemas out."""
import json
import os
import time

import avro.errors
import avro.schema
import pytest

import bezo


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


# The sanitizer build (its runtime preloaded) runs an order of magnitude slower.
SECONDS_SCALE = 10 if "libasan" in os.environ.get("LD_PRELOAD", "") else 1

LONG = "!int[-9223372036854775808,9223372036854775807]"
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
    ([("m", {"type": "map", "values": "long"})], ["!map<int>", "m="]),
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
    (record(("a", "R")), "unresolved (or recursive) type reference: R"),
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
    start = time.perf_counter()
    assert refusal(record(*((f"d{i}", schema) for i, schema in enumerate(chain)))) == "schema too large to import"
    assert time.perf_counter() - start < SECONDS_SCALE
    # Each field line under four records keyed by a megabyte repeats their keys.
    long_keys = record(*((f"a{i}", "int") for i in range(2000)), name="I")
    for level in range(4):
        long_keys = record((f"k{level}" * 250_000, long_keys), name=f"N{level}")
    start = time.perf_counter()
    assert refusal(long_keys) == "schema too large to import"
    assert time.perf_counter() - start < SECONDS_SCALE
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
    ({"type": "record", "name": "Node", "fields": [{"name": "next", "type": ["null", "Node"]}]},
     "unresolved (or recursive) type reference: Node"),
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
