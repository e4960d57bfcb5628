"""Avro out through the module: export_to("avro"), checked byte for byte and read back by the avro library."""
import base64
import datetime
import decimal
import io
import itertools
import json
import math
import warnings

import avro.datafile
import avro.io
import pytest

import bezo

MARKER = b"bezo.avro.sync!!"


def export(*lines):
    return bezo.export_to("avro", ".!nezo\n" + "".join(line + "\n" for line in lines))


def read_back(*lines):
    """The writer schema and the one datum, as the avro library reads them."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # it reads local-timestamp-micros as a plain long, and says so
        reader = avro.datafile.DataFileReader(io.BytesIO(export(*lines)), avro.io.DatumReader())
        (datum,) = list(reader)
    return json.loads(reader.meta["avro.schema"]), datum


def refusal(*lines):
    with pytest.raises(bezo.BezoError) as caught:
        export(*lines)
    return str(caught.value)


def b64(data):
    return base64.urlsafe_b64encode(data).decode().rstrip("=")


def embedded(value_json):
    return "!std/enc/json'j=" + b64(value_json.encode())


def header(schema_json):
    schema = schema_json.encode()
    length = bytes([len(schema) * 2]) if len(schema) < 64 else bytes([(len(schema) * 2) & 0x7F | 0x80,
                                                                         len(schema) * 2 >> 7])
    return b"Obj\x01\x04\x16avro.schema" + length + schema + b"\x14avro.codec\x08null\x00" + MARKER


def test_exact_files():
    empty = export()
    assert empty == header('{"type":"record","name":"root","fields":[]}') + b"\x02\x00" + MARKER
    assert empty[17] == 0x56
    one = export("!int'a=1")
    assert one[17:19] == b"\x8a\x01"
    assert one == header('{"type":"record","name":"root","fields":[{"name":"a","type":"long"}]}') + \
        b"\x02\x02\x02" + MARKER
    assert one.count(MARKER) == 2


@pytest.mark.parametrize("lines, fields, datum", [
    (["!int'n=-9223372036854775808", "!int'big=123456789012345678901", "!float'f=2.5", "!float'x=1.10"],
     [{"name": "n", "type": "long"},
      {"name": "big", "type": {"type": "bytes", "logicalType": "decimal", "precision": 21, "scale": 0}},
      {"name": "f", "type": "double"}, {"name": "x", "type": "double"}],
     {"n": -9223372036854775808, "big": decimal.Decimal(123456789012345678901), "f": 2.5, "x": 1.1}),
    (["!float'pi=3.14159265358979323846", "!str's=é", "!std/enc/bin'b=AAEC_w", "!bool't=true", "!null'z=",
      "!std/enc/xml'x=PGEvPg", "!text'm=a|:|b"],
     [{"name": "pi", "type": {"type": "bytes", "logicalType": "decimal", "precision": 21, "scale": 20}},
      {"name": "s", "type": "string"}, {"name": "b", "type": "bytes"}, {"name": "t", "type": "boolean"},
      {"name": "z", "type": "null"}, {"name": "x", "type": "string"}, {"name": "m", "type": "string"}],
     {"pi": decimal.Decimal("3.14159265358979323846"), "s": "é", "b": b"\x00\x01\x02\xff", "t": True, "z": None,
      "x": "PGEvPg", "m": "a\nb"}),
    (["!std/time/date'd=2024-02-29", "!std/time/time't=12:00:00.25", "!std/time/datetime'ts=2024-01-02T03:04:05+01:00",
      "!std/time/localdatetime'l=1970-01-01T00:00:01"],
     [{"name": "d", "type": {"type": "int", "logicalType": "date"}},
      {"name": "t", "type": {"type": "long", "logicalType": "time-micros"}},
      {"name": "ts", "type": {"type": "long", "logicalType": "timestamp-micros"}},
      {"name": "l", "type": {"type": "long", "logicalType": "local-timestamp-micros"}}],
     {"d": datetime.date(2024, 2, 29), "t": datetime.time(12, 0, 0, 250000),
      "ts": datetime.datetime(2024, 1, 2, 2, 4, 5, tzinfo=datetime.timezone.utc), "l": 1_000_000}),
    (["!int'@rows/0/a=1", "!str'@rows/1/b=x", "!int'@rows/1/a=2", "!int'@v/0=1", "!null'@v/1=", "!null'@w/0=",
      "!float'@w/1=0.5", embedded("[]")],
     [{"name": "rows", "type": {"type": "array", "items": {"type": "record", "name": "rows", "fields": [
         {"name": "a", "type": "long"}, {"name": "b", "type": ["string", "null"]}]}}},
      {"name": "v", "type": {"type": "array", "items": ["long", "null"]}},
      {"name": "w", "type": {"type": "array", "items": ["null", "double"]}},
      {"name": "j", "type": {"type": "array", "items": "null"}}],
     {"rows": [{"a": 1, "b": None}, {"a": 2, "b": "x"}], "v": [1, None], "w": [None, 0.5], "j": []}),
    (["!int'string/a=1", "!int'root/b=2", "!int'@x/0/x/c=3", "!int'y/x/d=4"],
     [{"name": "string", "type": {"type": "record", "name": "string_2", "fields": [{"name": "a", "type": "long"}]}},
      {"name": "root", "type": {"type": "record", "name": "root_2", "fields": [{"name": "b", "type": "long"}]}},
      {"name": "x", "type": {"type": "array", "items": {"type": "record", "name": "x", "fields": [
          {"name": "x", "type": {"type": "record", "name": "x_2", "fields": [{"name": "c", "type": "long"}]}}]}}},
      {"name": "y", "type": {"type": "record", "name": "y", "fields": [
          {"name": "x", "type": {"type": "record", "name": "x_3", "fields": [{"name": "d", "type": "long"}]}}]}}],
     {"string": {"a": 1}, "root": {"b": 2}, "x": [{"x": {"c": 3}}], "y": {"x": {"d": 4}}}),
    (["!int'@a/0=1", "!std/num/inf'@a/1=inf", "!std/enc/bin'@b/0=AA", "!float'@b/1=0.5", "!int'@c/0=1",
      "!std/time/date'@c/1=1970-01-02", "!int'@d/0=1", "!str'@d/1=a", "!null'@d/2="],
     [{"name": "a", "type": {"type": "array", "items": "double"}},
      {"name": "b", "type": {"type": "array", "items": ["bytes", "double"]}},
      {"name": "c", "type": {"type": "array", "items": ["long", {"type": "int", "logicalType": "date"}]}},
      {"name": "d", "type": {"type": "array", "items": ["long", "string", "null"]}}],
     {"a": [1.0, float("inf")], "b": [b"\x00", 0.5], "c": [1, datetime.date(1970, 1, 2)], "d": [1, "a", None]}),
    ([embedded('[{},{"a":1,"b":2}]')],
     [{"name": "j", "type": {"type": "array", "items": {"type": "record", "name": "j", "fields": [
         {"name": "a", "type": ["long", "null"]}, {"name": "b", "type": ["long", "null"]}]}}}],
     {"j": [{"a": None, "b": None}, {"a": 1, "b": 2}]}),
])
def test_the_avro_library_reads_back(lines, fields, datum):
    schema, value = read_back(*lines)
    assert schema == {"type": "record", "name": "root", "fields": fields}
    assert value == datum


@pytest.mark.parametrize("lines, message", [
    (["x=1"], "not a canonical line: x=1"),
    ([embedded('{"a-b":1}')], "not a valid Avro field name: a-b"),
    ([embedded('{"a":1,"a":2}')], "duplicate Avro field name: a"),
    ([embedded("[" * 512 + "1" + "]" * 512)], "nesting too deep for Avro export"),
    (["!std/time/time'@v/0=10:00:00", "!std/time/datetime'@v/1=2024-01-02T00:00:00Z"],
     "cannot unify different time logical types"),
    (["!int'@v/0=1", "!std/time/datetime'@v/1=2024-01-02T00:00:00Z"], "an Avro union cannot hold two long branches"),
    (["!std/enc/bin'@v/0=AA", "!float'@v/1=3.14159265358979323846"], "an Avro union cannot hold two bytes branches"),
    (["!float'x=1e999999999999"], "cannot represent 1e999999999999 exactly as an Avro double"),
    (["!std/time/date'd=2024-02-30"], "invalid date token: 2024-02-30"),
    (["!std/time/time't=24:00:00"], "invalid time token: 24:00:00"),
    (["!std/time/time't=12:00:00.1234567"],
     "sub-microsecond fraction cannot ride an Avro time logical type: 12:00:00.1234567"),
    (["!std/time/datetime't=2024-01-02T00:00:00"], "invalid datetime token: 2024-01-02T00:00:00"),
])
def test_refusals(lines, message):
    assert refusal(*lines) == message


DATE = ({"type": "int", "logicalType": "date"}, "!std/time/date'@v/{}=1970-01-03", datetime.date(1970, 1, 3))
TIME = ({"type": "long", "logicalType": "time-micros"}, "!std/time/time'@v/{}=00:00:01", datetime.time(0, 0, 1))
STAMP = ({"type": "long", "logicalType": "timestamp-micros"}, "!std/time/datetime'@v/{}=1970-01-01T00:00:00Z",
         datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc))
ZONE = ("string", "!std/time/zone'@v/{}=UTC", "UTC")
XML = ("string", "!std/enc/xml'@v/{}=PGEvPg", "PGEvPg")
NAN = ("double", "!std/num/nan'@v/{}=nan", None)
BIN = ("bytes", "!std/enc/bin'@v/{}=AA", b"\x00")


@pytest.mark.parametrize("first, second", [
    (DATE, ZONE), (ZONE, DATE), (TIME, ZONE), (ZONE, TIME), (STAMP, ZONE), (ZONE, STAMP), (DATE, XML), (XML, DATE),
    (ZONE, NAN), (NAN, ZONE), (BIN, ZONE), (ZONE, BIN),
], ids=lambda kind: kind[1].split("'")[0])
def test_each_value_takes_its_own_union_branch_in_either_order(first, second):
    schema, datum = read_back(first[1].format(0), second[1].format(1))
    assert schema["fields"] == [{"name": "v", "type": {"type": "array", "items": [first[0], second[0]]}}]
    if NAN in (first, second):  # NaN is unequal to itself
        nan_at = [first, second].index(NAN)
        assert math.isnan(datum["v"][nan_at])
        datum["v"][nan_at] = None
    assert datum["v"] == [first[2], second[2]]


def order_free(schema):
    """A schema with the branches of each union sorted: what the order of an array's items may not change."""
    if isinstance(schema, list):
        return sorted((order_free(branch) for branch in schema), key=json.dumps)
    if isinstance(schema, dict):
        return {key: order_free(value) for key, value in schema.items()}
    return schema


DECIMAL_PI = {"type": "bytes", "logicalType": "decimal", "precision": 21, "scale": 20}
DATE_TYPE = {"type": "int", "logicalType": "date"}
STAMP_TYPE = {"type": "long", "logicalType": "timestamp-micros"}
INF = ("!std/num/inf'@v/{}=inf", math.inf)
NAN_ITEM = ("!std/num/nan'@v/{}=nan", "nan")
ONE = ("!int'@v/{}=1", 1)
HALF = ("!float'@v/{}=0.5", 0.5)
PI = ("!float'@v/{}=3.14159265358979323846", decimal.Decimal("3.14159265358979323846"))
BIG = ("!int'@v/{}=9007199254740993", 9007199254740993)
WORD = ("!str'@v/{}=s", "s")
NOTHING = ("!null'@v/{}=", None)
A_DATE = ("!std/time/date'@v/{}=2024-01-02", datetime.date(2024, 1, 2))
A_STAMP = ("!std/time/datetime'@v/{}=2024-01-02T00:00:00Z",
           datetime.datetime(2024, 1, 2, tzinfo=datetime.timezone.utc))
A_TIME = ("!std/time/time'@v/{}=10:00:00", None)


@pytest.mark.parametrize("items, items_type", [
    ([ONE, HALF, INF], "double"),
    ([ONE, INF, NOTHING], ["double", "null"]),
    ([PI, NAN_ITEM], [DECIMAL_PI, "double"]),
    ([PI, NAN_ITEM, WORD], [DECIMAL_PI, "double", "string"]),
    ([BIG, INF], ["double", "long"]),
    ([A_DATE, A_STAMP, NOTHING], [DATE_TYPE, STAMP_TYPE, "null"]),
    ([A_DATE, A_STAMP, A_TIME], "cannot unify different time logical types"),
    ([A_STAMP, ONE, WORD], "an Avro union cannot hold two long branches"),
])
def test_every_order_of_an_array_gives_one_type(items, items_type):
    for order in itertools.permutations(items):
        lines = [line.format(i) for i, (line, _) in enumerate(order)]
        if isinstance(items_type, str) and " " in items_type:
            assert refusal(*lines) == items_type
            continue
        schema, datum = read_back(*lines)
        (field,) = schema["fields"]
        assert field["name"] == "v" and field["type"]["type"] == "array"
        assert order_free(field["type"]["items"]) == order_free(items_type)
        expected = [value for _, value in order]
        got = ["nan" if isinstance(value, float) and math.isnan(value) else value for value in datum["v"]]
        assert got == expected


def test_objects_holding_few_of_many_fields_read_back_whole():
    # Each object holds two of 80 fields, in either order, one of them a
    # record: written member by member, the absent fields between them as
    # runs of null branch indices.
    rows = [{f"n{i}": i, f"r{79 - i}": {"x": i}} if i % 2 else {f"r{79 - i}": {"x": i}, f"n{i}": i}
            for i in range(40)]
    schema, datum = read_back(embedded(json.dumps(rows)))
    names = [field["name"] for field in schema["fields"][0]["type"]["items"]["fields"]]
    assert len(names) == 80
    assert datum["j"] == [{name: row.get(name) for name in names} for row in rows]


def test_depth_512_is_written():
    # Too deep for the avro library's own recursion; the datum is 511 one-element blocks around the long 1.
    data = export(embedded("[" * 511 + "1" + "]" * 511))
    assert data.endswith(b"\x02" * 511 + b"\x02" + b"\x00" * 511 + MARKER)
