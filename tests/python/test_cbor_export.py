"""CBOR out through the module: export_to("cbor"), checked byte for byte and by cbor2."""
import base64
import datetime
import math

import cbor2
import pytest

import bezo


def export(*lines):
    return bezo.export_to("cbor", ".!nezo\n" + "".join(line + "\n" for line in lines))


def b64(text):
    return base64.urlsafe_b64encode(text.encode()).decode().rstrip("=")


def refusal(*lines):
    with pytest.raises(bezo.BezoError) as caught:
        export(*lines)
    return str(caught.value)


def test_one_field_is_a_one_entry_map_of_bytes():
    data = export("!int'a=1")
    assert type(data) is bytes
    assert data == bytes.fromhex("a1616101")


@pytest.mark.parametrize("line, item", [
    ("!int'v=23", "17"), ("!int'v=24", "1818"), ("!int'v=255", "18ff"), ("!int'v=256", "190100"),
    ("!int'v=65536", "1a00010000"), ("!int'v=4294967296", "1b0000000100000000"), ("!int'v=-1", "20"),
    ("!int'v=-18446744073709551616", "3bffffffffffffffff"),
    ("!int'v=18446744073709551616", "c249010000000000000000"),
    ("!int'v=-18446744073709551617", "c349010000000000000000"),
    ("!int'v=-4722366482869645213696", "c349ffffffffffffffffff"),
    ("!float'v=1.5", "f93e00"), ("!float'v=0.1", "fb3fb999999999999a"), ("!float'v=100000.0", "fa47c35000"),
    ("!float'v=-0.0", "f98000"), ("!float'v=1.0", "f93c00"),
    ("!float'v=1.7976931348623157e308", "fb7fefffffffffffff"), ("!float'v=5e-324", "fb0000000000000001"),
    ("!std/enc/bin'v=", "40"), ("!std/enc/xml'v=PGEvPg", "66" + b"PGEvPg".hex()),
    ("!std/time/datetime'v=2026-07-03T21:00:00Z", "c074" + b"2026-07-03T21:00:00Z".hex()),
    ("!std/time/date'v=2026-07-03", "6a" + b"2026-07-03".hex()),
    ("!std/num/inf'v=inf", "f97c00"), ("!std/num/inf'v=-inf", "f9fc00"), ("!std/num/nan'v=nan", "f97e00"),
    ("!bool'v=true", "f5"), ("!null'v=", "f6"),
])
def test_each_value_kind_as_the_item_under_one_key(line, item):
    assert export(line) == bytes.fromhex("a16176" + item)


@pytest.mark.parametrize("literal", [
    "2026-07-03T21:00:00Z", "2026-07-03t21:00:00z", "2026-07-03 21:00:00Z", "2026-07-03T23:00:00+02:00",
])
def test_each_datetime_spelling_is_a_tagged_rfc3339_instant(literal):
    data = export("!std/time/datetime'v=" + literal)
    assert data[3] == 0xC0
    assert cbor2.loads(data)["v"] == datetime.datetime(2026, 7, 3, 21, tzinfo=datetime.timezone.utc)


@pytest.mark.parametrize("literal", [
    "2026-07-03T21:00:00", "not a date", "2026-02-29T21:00:00Z", "2026-07-03T21:00:00+24:00",
])
def test_datetime_without_zone_shape_or_real_fields_stays_plain_text(literal):
    assert cbor2.loads(export("!std/time/datetime'v=" + literal)) == {"v": literal}


def test_cbor2_reads_back_every_kind():
    data = export(
        "!int'big=123456789012345678901234567890", "!int'neg=-123456789012345678901234567890", "!int'small=-7",
        "!float'f=2.5e-3", "!std/num/nan'n=nan", "!std/enc/bin'b=AAEC_w", "!str'@xs/0=x", "!int'@xs/1/k=1",
        "!std/enc/json'j=" + b64('{"o": [true, null, "é"]}'), "!text't=one|:|two",
    )
    value = cbor2.loads(data)
    assert math.isnan(value.pop("n"))
    assert value == {
        "big": 123456789012345678901234567890, "neg": -123456789012345678901234567890, "small": -7,
        "f": 2.5e-3, "b": b"\x00\x01\x02\xff", "xs": ["x", {"k": 1}], "j": {"o": [True, None, "é"]},
        "t": "one\ntwo",
    }


@pytest.mark.parametrize("members, key", [
    ('"a":1,"a":2', "a"), (",".join(f'"k{i}":0' for i in range(20)) + ',"k7":0', "k7"),
])
def test_repeated_keys_of_an_embedded_object_are_refused(members, key):
    assert refusal("!std/enc/json'j=" + b64("{" + members + "}")) == "CBOR cannot represent the repeated key " + key


@pytest.mark.parametrize("json_text, message", [
    ('{"x":1e400}', "CBOR cannot represent the float 1e400 at x (overflows f64)"),
    ('{"x":-1e400}', "CBOR cannot represent the float -1e400 at x (overflows f64)"),
    ('{"x":1e-400}', "CBOR cannot represent the float 1e-400 at x (underflows f64)"),
    ('{"a":{"b":[0.5,2.0E-324]}}', "CBOR cannot represent the float 2.0E-324 at a/b/1 (underflows f64)"),
    ('{"x":1.8e308}', "CBOR cannot represent the float 1.8e308 at x (overflows f64)"),
])
def test_finite_numbers_beyond_binary64_are_refused_not_rounded(json_text, message):
    canonical = bezo.build(bezo.import_from("json", json_text))
    with pytest.raises(bezo.BezoError) as caught:
        bezo.export_to("cbor", canonical)
    assert str(caught.value) == message


@pytest.mark.parametrize("json_text, value", [
    ('{"x":0.0}', 0.0), ('{"x":-0e5}', -0.0), ('{"x":0e-999}', 0.0), ('{"x":2.5e-324}', 5e-324),
    ('{"x":1.7976931348623158e308}', 1.7976931348623157e308),
])
def test_zeros_and_numbers_that_round_into_range_are_written(json_text, value):
    written = cbor2.loads(bezo.export_to("cbor", bezo.build(bezo.import_from("json", json_text))))["x"]
    assert written == value and math.copysign(1, written) == math.copysign(1, value)


def test_depth_512_is_written_and_513_refused():
    assert cbor2.loads(export("!std/enc/json'a=" + b64("[" * 511 + "1" + "]" * 511)))
    assert refusal("!std/enc/json'a=" + b64("[" * 512 + "1" + "]" * 512)) == "nesting too deep for CBOR export"


@pytest.mark.parametrize("items", [1, 1_000, 200_000])
def test_outputs_of_every_size_read_back_and_a_late_refusal_leaves_nothing(items):
    lines = [f"!str'@t/{i}=item {i} caf\u00e9" for i in range(items)]
    data = export(*lines)
    assert type(data) is bytes
    assert cbor2.loads(data) == {"t": [f"item {i} caf\u00e9" for i in range(items)]}
    # The refused float comes after every other item is written.
    with pytest.raises(bezo.BezoError) as caught:
        export(*lines, f"!float'@t/{items}=1e400")
    assert str(caught.value) == f"CBOR cannot represent the float 1e400 at t/{items} (overflows f64)"
    assert export(*lines) == data
