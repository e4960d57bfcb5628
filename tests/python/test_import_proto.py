"""import_schema("proto"): Protocol Buffers schemas in, authored schemas out."""
import json

import pytest

import bezo

SHOP = """
syntax = "proto3";
package shop;
enum Color { RED = 0; GREEN = 1; }
message Item { string sku = 1; double price = 2; }
message Order {
  int32 id = 1;
  Color color = 2;
  Item main = 3;
  repeated Item items = 4;
  repeated string tags = 5;
  map<string, int64> counts = 6;
  bytes blob = 7;
}
"""

def floating(max_value):
    quoted = r"/^([+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?|NaN|Infinity|-Infinity)$/"
    return f"!float[-{max_value},{max_value}]|std/num/inf|std/num/nan|str({quoted})"


DOUBLE = floating("1.7976931348623157e308")
FLOAT = floating("3.4028234663852886e38")
def integral(low, high, plus=""):
    return f"!int[{low},{high}]|str(/^[+-]?[0-9]+$/{plus}[{low},{high}]..num)"


INT32 = integral(-2147483648, 2147483647)
UINT32 = integral(0, 4294967295)
INT64 = integral(-9223372036854775808, 9223372036854775807, r"/^([^+]|\+0*(9223372036854775807|[0-9]{1,18}|[0-8][0-9]{18}|9[0-1][0-9]{17}|92[0-1][0-9]{16}|922[0-2][0-9]{15}|9223[0-2][0-9]{14}|92233[0-6][0-9]{13}|922337[0-1][0-9]{12}|92233720[0-2][0-9]{10}|922337203[0-5][0-9]{9}|9223372036[0-7][0-9]{8}|92233720368[0-4][0-9]{7}|922337203685[0-3][0-9]{6}|9223372036854[0-6][0-9]{5}|92233720368547[0-6][0-9]{4}|922337203685477[0-4][0-9]{3}|9223372036854775[0-7][0-9]{2}|922337203685477580[0-6])$)/")
UINT64 = integral(0, 18446744073709551615, r"/^([^+]|\+0*(18446744073709551615|[0-9]{1,19}|[0-0][0-9]{19}|1[0-7][0-9]{18}|18[0-3][0-9]{17}|184[0-3][0-9]{16}|1844[0-5][0-9]{15}|18446[0-6][0-9]{14}|184467[0-3][0-9]{13}|1844674[0-3][0-9]{12}|184467440[0-6][0-9]{10}|1844674407[0-2][0-9]{9}|18446744073[0-6][0-9]{8}|1844674407370[0-8][0-9]{6}|18446744073709[0-4][0-9]{5}|184467440737095[0-4][0-9]{4}|1844674407370955[0-0][0-9]{3}|18446744073709551[0-5][0-9]{2}|184467440737095516[0-0][0-9]{1}|1844674407370955161[0-4])$)/")
INT32_DIGITS = r"\+?0*(2147483647|[0-9]{1,9}|[0-1][0-9]{9}|2[0-0][0-9]{8}|21[0-3][0-9]{7}|214[0-6][0-9]{6}|2147[0-3][0-9]{5}|21474[0-7][0-9]{4}|214748[0-2][0-9]{3}|2147483[0-5][0-9]{2}|21474836[0-3][0-9]{1}|214748364[0-6])|-0*(2147483648|[0-9]{1,9}|[0-1][0-9]{9}|2[0-0][0-9]{8}|21[0-3][0-9]{7}|214[0-6][0-9]{6}|2147[0-3][0-9]{5}|21474[0-7][0-9]{4}|214748[0-2][0-9]{3}|2147483[0-5][0-9]{2}|21474836[0-3][0-9]{1}|214748364[0-7])"


def enum(*names):
    return "!int[-2147483648,2147483647]|str(/^(" + "".join(
        name + "|" for name in names) + INT32_DIGITS + ")$/)"


BASE64 = r"!str/^([A-Za-z0-9+\/_-]{4})*([A-Za-z0-9+\/_-]{2}(==)?|[A-Za-z0-9+\/_-]{3}=?)?$/"


def nullable(annotation):
    return "!null|" + annotation[1:]


NODE = "message Node { int32 v = 1; Node next = 2; repeated Node kids = 3; }"

MUTUAL = "message A { B b = 1; } message B { bool flag = 1; A a = 2; }"

MAPS = """message M {
  map<int32, string> by_id = 1;
  map<string, Item> items = 2;
  map<bool, bytes> blobs = 3;
  map<string, E> kinds = 4;
  map<string, float> ratios = 5;
}
message Item { int32 n = 1; }
enum E { X = 0; }
"""

ELEMENTS = """message M { repeated Row rows = 1; }
message Row { map<string, int32> m = 1; repeated int32 r = 2; Cell c = 3; uint64 n = 4; E e = 5; bytes b = 6; }
message Cell {}
enum E { A = 0; B = 1; }
"""


def chain(length, twice=False, leaf=""):
    """Messages M0 .. M{length-1}, each holding the next (twice, when asked)."""
    lines = [f"message M{i} {{ M{i + 1} a = 1;{f' M{i + 1} b = 2;' if twice else ''} }}" for i in range(length - 1)]
    return "\n".join(lines + [f"message M{length - 1} {{ {leaf} }}"])


def imported(text, message=None, name="t"):
    """The import, checked to compile."""
    schema = bezo.import_schema("proto", text, name, message)
    bezo.compile_schema(schema)
    return schema


def body(text, message=None):
    """The lines after the header's empty line."""
    return imported(text, message).partition("\n\n")[2].splitlines()


def failure(text, message=None):
    with pytest.raises(bezo.BezoError) as raised:
        imported(text, message)
    return str(raised.value)


def test_worked_example():
    assert imported(SHOP, "Order", "order").splitlines() == [
        ".!hezo order",
        ".!types std/num",
        "",
        nullable(INT32),
        "id?=",
        nullable(enum("RED", "GREEN")),
        "color?=",
        "/main::sku?=",
        nullable(DOUBLE),
        "/main::price?=",
        "[/@items]",
        "sku?=",
        nullable(DOUBLE),
        "price?=",
        "[]",
        "/@tags;=",
        "(/counts)",
        INT64,
        "/.*/=",
        "()",
        "// dropped: bytes at root/blob (base64 text; the decoded bytes are not checked)",
        nullable(BASE64),
        "blob?=",
    ]


@pytest.mark.parametrize("text, message, error", [
    (SHOP, None, "the schema has several top-level messages (shop.Item, shop.Order); pass --message"),
    ("package shop; message Order { message Item {} }", "Order.Item", "no message named Order.Item in the schema"),
    ("message A {} message B { message A {} }", "A", "message name A is ambiguous: A, B.A"),
    ("message A {}", "", "no message named  in the schema"),
    ("enum E { X = 0; }", None, "the schema declares no messages"),
    ("enum E { X = 0; }", "E", "no message named E in the schema"),
    ("// nothing but a comment", None, "the schema declares no messages"),
])
def test_root_choice_failures(text, message, error):
    assert failure(text, message) == error


def test_root_choice():
    nested = "package shop; message Order { int32 id = 1; message Item { bool ok = 1; } }"
    assert body(nested) == [nullable(INT32), "id?="]
    assert body(nested, "Item") == body(nested, "shop.Order.Item") == ["!null|bool", "ok?="]
    assert imported("message Empty {}", name="") == ".!hezo \n\n"
    assert imported("message Empty {}") == bezo.import_schema("proto", "message Empty {}", "t")


@pytest.mark.parametrize("text, message, lines", [
    (NODE, None, [nullable(INT32), "v?=",
                  "// dropped: recursive message at root/next", "// dropped: recursive message at root/kids"]),
    (MUTUAL, "A", ["!null|bool", "/b::flag?=", "// dropped: recursive message at /b/a"]),
    ("message R { S x = 1; S y = 2; } message S { T k = 1; } message T { string name = 1; }", "R",
     ["/x/k::name?=", "/y/k::name?="]),
    (MAPS, "M", [
        '// dropped: JSON name "byId" of root/by_id declared beside it (at most one of the two set: not checked)',
        "// dropped: map key type of root/by_id (bezo map keys are names; keys stringify)",
        "!map<str>", "by_id?=",
        "// dropped: map key type of root/byId (bezo map keys are names; keys stringify)",
        "!map<str>", "byId?=",
        "// dropped: message-valued map at root/items",
        "// dropped: map key type of root/blobs (bezo map keys are names; keys stringify)",
        "// dropped: map value type of root/blobs (untyped map emitted)",
        "!map<str>", "blobs?=",
        "(/kinds)", enum("X"), "/.*/=", "()",
        "(/ratios)", FLOAT, "/.*/=", "()",
    ]),
    (ELEMENTS, "M", [
        "[/@rows]",
        "// dropped: non-scalar element field m at root/rows",
        "// dropped: non-scalar element field r at root/rows",
        "// dropped: non-scalar element field c at root/rows",
        nullable(UINT64), "n?=", nullable(enum("A", "B")), "e?=",
        "// dropped: bytes at root/rows/b (base64 text; the decoded bytes are not checked)",
        nullable(BASE64), "b?=",
        "[]",
    ]),
    ("message M { repeated E a = 1; E b = 2; repeated Empty c = 3; } enum E {} message Empty {}", "M",
     [enum(), "/@a;=", nullable(enum()), "b?=", "[/@c]", "[]"]),
    ("message M { int32 a = 1; oneof pick { string b = 2; bool c = 3; } sint64 d = 4; bool re = 5; }", None,
     [nullable(INT32), "a?=", "b?=", "!null|bool", "c?=", nullable(INT64), "d?=", "!null|bool", '"re"?=']),
    # a message of collections alone (or of no fields) declares nothing a value in its place would meet
    ("message M { Tags t = 1; Empty e = 2; } message Tags { repeated string v = 1; } message Empty {}", "M",
     ["/t/@v;=",
      "// dropped: record root/t declares no plain field below it (a value, null or a list in its place passes)",
      "// dropped: record root/e declares no plain field below it (a value, null or a list in its place passes)"]),
])
def test_written_fields(text, message, lines):
    assert body(text, message) == lines


def test_package_applies_to_later_declarations_only():
    text = "message Early { Late l = 1; } package p; message Late { fixed32 n = 1; }"
    assert body(text, "Early") == [nullable(UINT32), "/l::n?="]
    assert failure(text, "p.Early") == "no message named p.Early in the schema"
    assert body(text, "p.Late") == [nullable(UINT32), "n?="]


def test_type_libraries_only_for_written_floats():
    text = "message M { int32 a = 1; map<string, bool> m = 2; map<string, bytes> b = 3; N n = 4; } " \
           "message N { bool x = 1; } message Unused { double d = 1; bytes b = 2; }"
    assert imported(text, "M").startswith(".!hezo t\n\n")
    assert imported("message M { map<string, double> m = 1; }").startswith(".!hezo t\n.!types std/num\n\n")
    assert imported("message M { repeated float f = 1; }").startswith(".!hezo t\n.!types std/num\n\n")
    assert imported("message M { bytes b = 1; repeated bytes r = 2; }").startswith(".!hezo t\n\n")


def test_nesting_depth():
    assert body(chain(32, leaf="bool ok = 1;"), "M0") == ["!null|bool", "/a" * 31 + "::ok?="]
    assert failure(chain(33), "M0") == "message nesting too deep"


def test_doubling_expansion_is_bounded():
    # 2**31 expansions that write nothing count all the same: without the
    # bound this would not end.
    assert failure(chain(32, twice=True), "M0") == "schema too large to import"
    assert len(body(chain(6, twice=True, leaf="int32 v = 1;"), "M0")) == 2**5 * 2



# Instances in the proto3 JSON mapping through the whole road: import_schema,
# import_from("json"), build and validate.


SCALARS = """syntax = "proto3";
enum Color { RED = 0; GREEN = 1; }
message Item { string sku = 1; double price = 2; }
message M {
  int32 i32 = 1; int64 i64 = 2; uint32 u32 = 3; uint64 u64 = 4; sint32 s32 = 5; fixed64 f64 = 6;
  double d = 7; float f = 8; bool b = 9; string s = 10; bytes raw = 11; Color c = 12;
  Item item = 13; repeated Item items = 14; repeated int64 ids = 15; repeated bytes blobs = 16;
}
"""


def proto_accepts(text, instance):
    schema = bezo.import_schema("proto", text, "t", "M")
    try:
        bezo.validate(bezo.build(bezo.import_from("json", json.dumps(instance)), schema), schema)
    except (bezo.BezoError, bezo.ValidationError):
        return False
    return True


@pytest.mark.parametrize("instance, valid", [
    ({}, True),
    ({"i32": -5, "u32": 7, "s32": 3, "b": True, "s": "x", "c": "GREEN"}, True),
    pytest.param({"c": "RED", "s": "x", "b": False, "u32": 0, "i32": 1}, True),
    ({"c": 1}, True),
    ({"c": "BLUE"}, False),
    ({"i32": 2147483648}, False),
    ({"u32": -1}, False),
    ({"d": 1.5, "f": -0.25}, True),
    pytest.param({"d": 2}, True),
    ({"d": "NaN", "f": "-Infinity"}, True),
    ({"d": "many"}, False),
    pytest.param({"i64": "-9223372036854775808", "u64": "18446744073709551615", "f64": "0"}, True),
    ({"u64": "-1"}, False),
    ({"raw": "AAEC/w=="}, True),
    ({"raw": "AAEC_w"}, True),
    ({"raw": ""}, True),
    ({"raw": "AAE"}, True),
    ({"raw": "A"}, False),
    ({"raw": "no spaces"}, False),
    ({"item": {"sku": "k", "price": 2.5}}, True),
    ({"items": [{"sku": "a", "price": 1.5}, {"sku": "b"}]}, True),
    ({"ids": ["1", "2", "3"]}, True),
    ({"ids": [1, 2]}, True),
    ({"ids": ["x"]}, False),
    ({"blobs": ["AA==", "AAE="]}, True),
    ({"blobs": ["AA==", "*"]}, False),
])
def test_json_mapping_instances(instance, valid):
    assert proto_accepts(SCALARS, instance) is valid


def test_float_option_values_are_read_past():
    text = """syntax = "proto2";
    message M {
      optional double d = 1 [default = -1.5e3];
      optional float f = 2 [default = 0.5];
      optional double g = 3 [default = inf];
      optional double h = 4 [default = -inf];
      optional float n = 5 [default = nan];
      optional int32 i = 6 [default = 1e2, deprecated = true];
    }"""
    floats = [line for key, annotation in zip("dfghn", [DOUBLE, FLOAT, DOUBLE, DOUBLE, FLOAT])
              for line in (nullable(annotation), f"{key}?=")]
    assert body(text) == floats + [nullable(INT32), "i?="]
