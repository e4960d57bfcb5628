"""Generated canonical documents exported to CBOR and XML read back by their
peers (cbor2, xml.etree) as the same data that the JSON export of the same
text reads back as: numbers of every spelling, texts with escapes, non-ASCII
and control characters, nested records and arrays, typed values and
embedded JSON documents."""
import base64
import datetime
import json
import math
import random
import xml.etree.ElementTree as ET

import cbor2
import pytest

import bezo
from interchange_support import b64

INTEGERS = ["0", "-0", "7", "-12", "23", "24", "-25", "255", "65536", "4294967296",
            "9223372036854775807", "18446744073709551615", "18446744073709551616", "-18446744073709551616",
            "-18446744073709551617", "123456789012345678901234567890"]
FLOATS = ["1.5", "-0.0", "0.1", "1e10", "1E+2", "2.5e-3", "-7.0", "100000.0", "65504.0", "6.103515625e-05",
          "3.4028234663852886e38", "1.0000000000000002", "0.30000000000000004", "-1.25E-300", "5e-324"]
WORDS = ["plain", "café", "東京", "a\"quote", "back\\slash", "tab\there", "two|:|lines", "cr\rhere", "",
         " spaced ", "&<>", "😀", "é\u2028\u2029"]
CONTROLS = ["\x01", "\x1f", "\x7f", "\x0b", "\x0c", "\b"]
KEYS = ["a", "b_1", "name", "ключ", "日本", "x.y", "k-2"]
# Keys that only JSON and CBOR carry: no XML name.
FREE_KEYS = ["a b", "1st", "a/b", "@", "x\"y", "é/é"]
# Date-times CBOR tags as instants, and the instant of each.
INSTANTS = {"2024-01-02T03:04:05Z": datetime.datetime(2024, 1, 2, 3, 4, 5, tzinfo=datetime.timezone.utc),
            "2024-01-02 03:04:05+01:00": datetime.datetime(
                2024, 1, 2, 3, 4, 5, tzinfo=datetime.timezone(datetime.timedelta(hours=1)))}
EMBEDDED = [{"k": [1, "x", None], "m": {"n": True, "f": 1.5}}, [1, [2, [3]], {}], 5, "s", None, {},
            {"deep": [[[{"z": -0.0}]]]}]


def quoted(segment):
    return '"' + segment.replace('"', '""') + '"'


class Generator:
    """Draws canonical lines for one document; `xml` keeps to what XML can write."""

    def __init__(self, seed, xml):
        self.draw = random.Random(seed)
        self.xml = xml
        self.lines = [".!nezo", "# generated"]

    def key(self):
        pool = KEYS if self.xml else KEYS + FREE_KEYS
        return self.draw.choice(pool) + str(self.draw.randrange(3))

    def text(self):
        parts = self.draw.sample(WORDS, 3)
        if not self.xml and self.draw.random() < 0.3:
            parts.append(self.draw.choice(CONTROLS))
        return "".join(parts)

    def scalar(self):
        kind = self.draw.randrange(11)
        if kind == 0:
            return "!int", self.draw.choice(INTEGERS)
        if kind == 1:
            return "!float", self.draw.choice(FLOATS)
        if kind == 2:
            return "!bool", self.draw.choice(["true", "false"])
        if kind == 3:
            return "!null", ""
        if kind == 4:
            return "!text", self.text()
        if kind == 5:
            return "!std/time/date", "2024-02-29"
        if kind == 6:
            return "!std/time/datetime", self.draw.choice(list(INSTANTS))
        if kind == 7:
            return "!std/enc/bin", b64(self.text())
        if kind == 8:
            return "!std/num/inf", self.draw.choice(["inf", "-inf", "nan"])
        if kind == 9 and not self.xml:
            return "!std/enc/json", b64(json.dumps(self.draw.choice(EMBEDDED), indent=self.draw.choice([None, 1])))
        return "!str", self.text().replace("|:|", "|")

    def fill(self, path, depth):
        """Lines for a namespace at `path`: scalars, nested namespaces, arrays."""
        used = set()
        for _ in range(self.draw.randrange(1, 5)):
            key = self.key()
            if key in used:
                continue
            used.add(key)
            segment = key if key.isidentifier() else quoted(key)
            here = f"{path}/{segment}" if path else segment
            shape = self.draw.randrange(4) if depth < 4 else 0
            if shape == 1:
                self.fill(here, depth + 1)
            elif shape == 2:
                self.array(path, segment, depth)
            else:
                meta, value = self.scalar()
                self.lines.append(f"{meta}'{here}={value}")

    def array(self, path, segment, depth):
        array = f"{path}/@{segment}" if path else f"@{segment}"
        records = self.draw.random() < 0.5
        for index in range(self.draw.randrange(1, 4)):
            if records:
                self.fill(f"{array}/{index}", depth + 1)
            else:
                meta, value = self.scalar()
                self.lines.append(f"{meta}'{array}/{index}={value}")

    def document(self):
        self.fill("", 0)
        return "\n".join(self.lines) + "\n"


def json_data(text, lexemes=False):
    """The JSON export read back; numbers as their lexemes when `lexemes`."""
    exported = bezo.export_to("json", text)
    if lexemes:
        return json.loads(exported, parse_int=str, parse_float=str, parse_constant=str)
    return json.loads(exported)


# ---- CBOR ----

def cbor_as_json(value):
    """What the JSON export writes for what CBOR decoded to: byte strings
    and tagged instants as their literal, the non-finite numbers of std/num
    as theirs."""
    if isinstance(value, dict):
        return {key: cbor_as_json(item) for key, item in value.items()}
    if isinstance(value, list):
        return [cbor_as_json(item) for item in value]
    if isinstance(value, bytes):
        return base64.urlsafe_b64encode(value).decode().rstrip("=")
    if isinstance(value, datetime.datetime):
        return value
    if isinstance(value, float) and not math.isfinite(value):
        return "nan" if math.isnan(value) else ("inf" if value > 0 else "-inf")
    return value


def json_as_cbor(value):
    """The JSON export's data with instants read as such, as cbor2 gives them."""
    if isinstance(value, dict):
        return {key: json_as_cbor(item) for key, item in value.items()}
    if isinstance(value, list):
        return [json_as_cbor(item) for item in value]
    return INSTANTS.get(value, value) if isinstance(value, str) else value


@pytest.mark.parametrize("seed", range(40))
def test_cbor_export_reads_back_as_the_json_export(seed):
    text = Generator(seed, xml=False).document()
    assert cbor_as_json(cbor2.loads(bezo.export_to("cbor", text))) == json_as_cbor(json_data(text)), text


# ---- XML ----

def element_data(element):
    """An element read back the way XML export writes data: an element of
    children gives their names (repeated ones a list), any other its text."""
    if len(element) == 0:
        return element.text or ""
    grouped = {}
    for child in element:
        grouped.setdefault(child.tag, []).append(element_data(child))
    return {tag: values[0] if len(values) == 1 else values for tag, values in grouped.items()}


def xml_shape(value):
    """What XML keeps of JSON data: scalars as text (null and empty records
    as the empty text), arrays as repeated elements, an array of one as its
    item and an empty array as nothing."""
    if isinstance(value, dict):
        members = {}
        for key, item in value.items():
            if isinstance(item, list):
                if len(item) == 1:
                    members[key] = xml_shape(item[0])
                elif item:
                    members[key] = [xml_shape(element) for element in item]
            else:
                members[key] = xml_shape(item)
        return members or ""
    if value is None:
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    return value


def xml_document_shape(data):
    if len(data) == 1 and not isinstance(next(iter(data.values())), list):
        return xml_shape(data)
    return {"root": xml_shape(data)}


@pytest.mark.parametrize("seed", range(40))
def test_xml_export_reads_back_as_the_json_export(seed):
    text = Generator(seed, xml=True).document()
    root = ET.fromstring(bezo.export_to("xml", text))
    assert {root.tag: element_data(root)} == xml_document_shape(json_data(text, lexemes=True)), text


@pytest.mark.parametrize("seed", range(10))
def test_exports_refuse_what_their_format_cannot_hold_alike_for_every_seed(seed):
    """A control character has no XML form: the export refuses it, naming it,
    where CBOR and JSON carry it."""
    generator = Generator(seed, xml=True)
    generator.lines.append("!str'zz=a\x01b")
    text = generator.document()
    with pytest.raises(bezo.BezoError) as caught:
        bezo.export_to("xml", text)
    assert str(caught.value) == "character U+0001 has no XML representation"
    assert cbor2.loads(bezo.export_to("cbor", text))["zz"] == json_data(text)["zz"] == "a\x01b"
