"""ASN.1 DER out through the module: export_to("asn1"), checked byte for byte and by pyasn1."""
import base64

import pytest
from pyasn1.codec.der import decoder
from pyasn1.type import univ

import bezo


def export(*lines):
    return bezo.export_to("asn1", ".!nezo\n" + "".join(line + "\n" for line in lines))


def b64(text):
    return base64.urlsafe_b64encode(text.encode()).decode().rstrip("=")


def refusal(*lines):
    with pytest.raises(bezo.BezoError) as caught:
        export(*lines)
    assert type(caught.value) is bezo.BezoError
    return str(caught.value)


def plain(value):
    """A pyasn1 value as (type name, Python value), constructed types as lists."""
    name = type(value).__name__
    if isinstance(value, (univ.Sequence, univ.SequenceOf, univ.Set, univ.SetOf)):
        return name.removesuffix("Of"), [plain(value[i]) for i in range(len(value))]
    if value.tagSet == univ.Enumerated.tagSet:
        return "Enumerated", int(value)
    if isinstance(value, univ.Integer):  # also Boolean
        return name, int(value)
    if isinstance(value, univ.BitString):
        return name, value.asBinary()
    if isinstance(value, univ.Null):
        return name, None
    if type(value) is univ.OctetString:
        return name, value.asOctets()
    return name, str(value)


def test_a_bare_integer_field_is_bytes():
    data = export("!int'int=5")
    assert type(data) is bytes
    assert data == bytes.fromhex("020105")


@pytest.mark.parametrize("lines, der", [
    (["!int'int=128"], "02020080"), (["!int'int=-129"], "0202ff7f"), (["!int'enum=3"], "0a0103"),
    (["!bool'bool=true"], "0101ff"), (["!null'null="], "0500"), (["!str'oid=1.2.840.113549"], "06062a864886f70d"),
    (["!str'oid=2.999"], "06028837"), (["!str'reloid=5.300"], "0d0305822c"), (["!str'bits=101"], "030205a0"),
    (["!str'bits="], "030100"), (["!std/enc/bin'bits=_w"], "030200ff"), (["!str'octets=ab"], "04026162"),
    (["!std/enc/bin'octets=AAE"], "04020001"), (["!str'bmp=a\U0001F600"], "1e060061d83dde00"),
    (["!str'universal=a\u00e9"], "1c0800000061000000e9"), (["!str'ia5=ab"], "16026162"),
    (["!std/enc/json'c31=" + b64("[]")], "bf1f00"), (["!str'c0p=ab"], "80026162"),
    (["!std/enc/bin'a5p=AAE"], "45020001"), (["!int'@x7/0=1"], "e703020101"),
    (["!std/enc/json'seq=" + b64("[]")], "3000"), (["!int'@set/0=2", "!int'@set/1=1"], "3106020102020101"),
    (["!str'@seq/0=ab", "!bool'@seq/1=false", "!null'@seq/2="], "30090c0261620101000500"),
    (["!std/enc/bin'@seq/0=AAE"], "300404020001"), (["!str'octets=" + "a" * 127], "047f" + "61" * 127),
    (["!str'octets=" + "a" * 128], "048180" + "61" * 128), (["!str'octets=" + "a" * 256], "04820100" + "61" * 256),
    (["!std/time/datetime'@seq/0=2026-07-03T21:00:00Z"], "3011180f" + b"20260703210000Z".hex()),
])
def test_wrapper_keys_and_default_types(lines, der):
    assert export(*lines) == bytes.fromhex(der)


@pytest.mark.parametrize("key, literal, der", [
    ("gentime", "2026-07-03T21:00:00Z", "180f" + b"20260703210000Z".hex()),
    ("gentime", "2026-07-03 23:30:00.250+02:00", "1812" + b"20260703213000.25Z".hex()),
    ("gentime", "2026-12-31T23:00:00-01:30", "180f" + b"20270101003000Z".hex()),
    ("gentime", "2026-07-03T21:00:00.000", "180e" + b"20260703210000".hex()),
    ("gentime", "2026-07-03t21:00:00z", "180f" + b"20260703210000Z".hex()),
    ("utc", "2026-07-03T21:00:00Z", "170d" + b"260703210000Z".hex()),
    ("utc", "1949-12-31T23:30:00-01:00", "170d" + b"500101003000Z".hex()),
])
def test_time_values(key, literal, der):
    assert export(f"!str'{key}={literal}") == bytes.fromhex(der)
    assert export(f"!std/time/datetime'{key}={literal}") == bytes.fromhex(der)


@pytest.mark.parametrize("lines, message", [
    (["!int'a=1", "!int'b=2"], "a multi-member namespace has no DER form (ASN.1 fields are positional)"),
    (["!std/enc/json'@seq/0=" + b64("{}")], "a multi-member namespace has no DER form (ASN.1 fields are positional)"),
    (["!int'mystery=1"], "unknown ASN.1 wrapper key: mystery"),
    (["!int'u16=1"], "unknown ASN.1 wrapper key: u16"),
    (["!int'seq=1"], "seq expects an array"),
    (["!str'int=5"], "int expects an integer"),
    (["!int'bool=1"], "bool expects a boolean"),
    (["!int'null=0"], "null expects null"),
    (["!int'oid=1"], "oid expects a dotted OID string"),
    (["!std/enc/xml'octets=AAE"], "octets expects binary content"),
    (["!str'bits=102"], "bits expects binary content or a 0/1 string"),
    (["!int'printable=1"], "printable expects a string"),
    (["!std/time/date'utc=2026-07-03"], "utc expects a datetime"),
    (["!str'c0=x"], "c0 expects an array of children"),
    (["!int'c0p=1"], "c0p expects binary content"),
    (["!str'oid=3.1"], "malformed OID: 3.1"),
    (["!str'oid=1.40"], "malformed OID: 1.40"),
    (["!str'oid=1"], "malformed OID: 1"),
    (["!str'oid=2.340282366920938463463374607431768211455"],
     "malformed OID: 2.340282366920938463463374607431768211455"),
    (["!float'int=1.5"], "not an integer token: 1.5"),
    (["!std/time/date'@seq/0=2026-07-03"], "std/time/date has no ASN.1 mapping"),
    (["!std/num/inf'@seq/0=inf"], "this typed value has no ASN.1 mapping"),
    (["!std/enc/xml'@seq/0=AAE"], "this typed value has no ASN.1 mapping"),
    (["!str'utc=1949-12-31T23:59:59Z"], "UTCTime year out of range: 1949"),
    (["!str'utc=2026-07-03T21:00:00"], "UTCTime needs a zone (Z or \u00b1HH:MM)"),
    (["!str'utc=2026-07-03T21:00:00.0"], "UTCTime cannot carry fractional seconds"),
    (["!str'gentime=2026-07-03T21:00:00+24:00"], "bad zone offset in datetime: +2400"),
    (["!str'gentime=2026-07-03T21:00:00+0200"], "malformed datetime token: 2026-07-03T21:00:00+0200"),
    (["!str'gentime=2026-07-03T21:00:0"], "malformed datetime token: 2026-07-03T21:00:0"),
    (["!str'gentime=2026-13-01T00:00:00+01:00"], "malformed datetime token: 2026-13-01T00:00:00+01:00"),
    (["!str'gentime=0000-01-01T00:30:00+01:00"], "datetime out of range after the UTC shift"),
])
def test_refusals(lines, message):
    assert refusal(*lines) == message


def test_unshifted_out_of_range_fields_pass_unchanged():
    assert export("!str'gentime=2026-13-01T00:00:00Z") == bytes.fromhex("180f" + b"20261301000000Z".hex())


def test_pyasn1_reads_every_universal_type():
    lines = [
        "!int'@seq/0/int=-300", "!bool'@seq/1/bool=true", "!null'@seq/2/null=", "!std/enc/bin'@seq/3/octets=AAE",
        "!str'@seq/4/bits=1011", "!str'@seq/5/oid=2.340282366920938463463374607431768211375",
        "!int'@seq/6/enum=2", "!str'@seq/7=héllo", "!str'@seq/8/numeric=123", "!str'@seq/9/printable=Ab",
        "!str'@seq/10/ia5=a@b", "!str'@seq/11/visible=v", "!str'@seq/12/bmp=a\U0001F600",
        "!str'@seq/13/universal=\u00e9", "!int'@seq/14/@set/0=1", "!str'@seq/15/utc=2026-07-03T21:00:00Z",
        "!std/time/datetime'@seq/16=2026-07-03T21:00:00.5+01:00", "!str'@seq/17/t61=t",
    ]
    value, rest = decoder.decode(export(*lines))
    assert rest == b""
    assert plain(value) == ("Sequence", [
        ("Integer", -300), ("Boolean", 1), ("Null", None), ("OctetString", b"\x00\x01"), ("BitString", "1011"),
        ("ObjectIdentifier", "2.340282366920938463463374607431768211375"), ("Enumerated", 2),
        ("UTF8String", "héllo"), ("NumericString", "123"), ("PrintableString", "Ab"), ("IA5String", "a@b"),
        ("VisibleString", "v"), ("BMPString", "a\U0001F600"), ("UniversalString", "\u00e9"),
        ("Set", [("Integer", 1)]), ("UTCTime", "260703210000Z"), ("GeneralizedTime", "20260703200000.5Z"),
        ("TeletexString", "t"),
    ])


def test_depth_512_is_written_and_513_refused():
    assert export("!std/enc/json'@seq/0=" + b64("[" * 511 + "1" + "]" * 511)).endswith(bytes.fromhex("020101"))
    assert refusal("!std/enc/json'@seq/0=" + b64("[" * 512 + "1" + "]" * 512)) == "nesting too deep for ASN.1 export"
