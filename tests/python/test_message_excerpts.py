"""A message that quotes what the caller gave (a name, a value, a line)
quotes a short excerpt of it, control characters escaped: a megabyte name
gives a message of a few hundred bytes at most, and no escape sequence
reaches whoever prints or logs the message."""
import base64
import json
import re

import pytest

import bezo

# Far above any message of ordinary size, far below the quoted text.
MESSAGE_LIMIT = 400
RAW_CONTROL = re.compile("[\x00-\x1f\x7f-\x9f]")

LONG = "k" + "x" * 1_000_000
# A terminal escape sequence in a name, repeated up to a megabyte.
ESCAPES = "k" + "\x1b[31mred\x1b[0m" * 80_000

N = ".!nezo\n"


def repeated_key(key):
    """A canonical text whose embedded JSON object holds `key` twice."""
    embedded = base64.urlsafe_b64encode(('{"%s":1,"%s":2}' % (key, key)).encode()).decode().rstrip("=")
    return N + "!std/enc/json'v=" + embedded + "\n"


def xsd_element(type_name):
    return ("<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
            f"<xs:element name='a' type='{type_name}'/></xs:schema>")


# Each road that quotes input: a call that fails quoting `s`.
ROADS = {
    # The canonical reader, under every export.
    "canonical line": lambda s: bezo.export_to("json", N + s + "\n"),
    "canonical prefix": lambda s: bezo.export_to("json", N + "!int/" + s + "'a=1\n"),
    "canonical line without =": lambda s: bezo.export_to("json", N + "!int'" + s + "\n"),
    "canonical number": lambda s: bezo.export_to("json", N + "!int'a=" + s + "\n"),
    "canonical bool": lambda s: bezo.export_to("json", N + "!bool'a=" + s + "\n"),
    "canonical array index": lambda s: bezo.export_to("json", N + "!int'/@a/" + s + "=1\n"),
    "canonical collision": lambda s: bezo.export_to("json", N + "!int'" + s + "=1\n!int'" + s + "/b=1\n"),
    # Exports.
    "XML element name": lambda s: bezo.export_to("xml", N + "!int'1" + s + "=1\n"),
    "XML array in array": lambda s: bezo.export_to("xml", N + "!std/enc/json'k" + s + "=W1sxXV0\n"),
    "Avro field name": lambda s: bezo.export_to("avro", N + "!int'a-" + s + "=1\n"),
    "Avro double": lambda s: bezo.export_to("avro", N + "!float'a=0.1" + "1" * len(s) + "\n"),
    "ASN.1 wrapper key": lambda s: bezo.export_to("asn1", N + "!int'a" + s + "/b=1\n!int'a" + s + "/c=1\n"),
    "CBOR repeated key": lambda s: bezo.export_to("cbor", repeated_key(s)),
    "YAML repeated key": lambda s: bezo.export_to("yaml", repeated_key(s)),
    "TOML repeated key in an export": lambda s: bezo.export_to("toml", repeated_key(s)),
    # Imports.
    "TOML repeated key": lambda s: bezo.import_from("toml", f'"{s}" = 1\n"{s}" = 2\n'),
    "XML mismatched tags": lambda s: bezo.import_from("xml", "<a" + s + "></b>"),
    "XML entity": lambda s: bezo.import_from("xml", "<a>&" + s + ";</a>"),
    "XML repeated attribute": lambda s: bezo.import_from("xml", "<a b" + s + "='1' b" + s + "='2'/>"),
    "XML encoding": lambda s: bezo.import_from("xml", "<?xml version='1.0' encoding='" + s + "'?><a/>"),
    "XML unclosed element": lambda s: bezo.import_from("xml", "<a" + s + ">"),
    "JSON key with a NUL": lambda s: bezo.import_from("json", json.dumps({"\0" + s: 1})),
    # The language.
    "compile unknown unit": lambda s: bezo.compile("!:" + s + "\na=1\n"),
    "build unknown unit": lambda s: bezo.build("!:" + s + "\na=1\n"),
    "schema unknown type": lambda s: bezo.compile_schema(".!hezo s\n!" + s + "\na=\n"),
    "schema unit on a union": lambda s: bezo.compile_schema(".!hezo s\n!int|str:" + s + "\na=\n"),
    # Schema imports.
    "JSON Schema $ref": lambda s: bezo.import_schema("jsonschema", json.dumps({"$ref": "#/x/" + s})),
    "JSON Schema repeated property": lambda s: bezo.import_schema(
        "jsonschema", '{"type":"object","properties":{"%s":{},"%s":{}}}' % (s, s)),
    "Avro schema repeated field": lambda s: bezo.import_schema("avsc", json.dumps(
        {"type": "record", "name": "r", "fields": [{"name": "a" + s, "type": "int"}] * 2})),
    "Avro schema unknown type": lambda s: bezo.import_schema("avsc", json.dumps(
        {"type": "record", "name": "r", "fields": [{"name": "a", "type": "T" + s}]})),
    "Avro schema enum symbol": lambda s: bezo.import_schema("avsc", json.dumps(
        {"type": "enum", "name": "e", "symbols": ["a-" + s]})),
    "proto repeated field": lambda s: bezo.import_schema(
        "proto", 'syntax = "proto3";\nmessage M { int32 ' + s + " = 1; int32 " + s + " = 2; }\n"),
    "proto repeated field number": lambda s: bezo.import_schema(
        "proto", 'syntax = "proto3";\nmessage M' + s + " { int32 a = 1; int32 b = 1; }\n"),
    "proto unknown type": lambda s: bezo.import_schema("proto", 'syntax = "proto3";\nmessage M { ' + s + " a = 1; }\n"),
    "XSD unknown type": lambda s: bezo.import_schema("xsd", xsd_element(s)),
}


def failure_message(call, text):
    with pytest.raises(bezo.BezoError) as caught:
        call(text)
    return str(caught.value)


@pytest.mark.parametrize("road", ROADS)
@pytest.mark.parametrize("text", [LONG, ESCAPES], ids=["long", "escapes"])
def test_a_message_quotes_a_short_excerpt_of_the_input(road, text):
    message = failure_message(ROADS[road], text)
    assert len(message.encode("utf-8")) <= MESSAGE_LIMIT, message[:200]
    assert not RAW_CONTROL.search(message), repr(message[:200])


@pytest.mark.parametrize("road, text, quoted", [
    ("canonical line", "oops", "not a canonical line: oops"),
    ("canonical number", "1x", "!int value is not a JSON number: 1x"),
    ("XML mismatched tags", "", "mismatched tags: <a> \u2026 </b>"),
    ("compile unknown unit", "furlong", "unknown unit 'furlong'"),
    ("Avro field name", "b", "not a valid Avro field name: a-b"),
])
def test_a_message_of_ordinary_size_quotes_the_input_whole(road, text, quoted):
    assert quoted in failure_message(ROADS[road], text)


@pytest.mark.parametrize("body", [
    "m " + "\x01" * 4000 + "\n&u=\n",
    "&u=" + "\x1b" * 4000 + "\n",
], ids=["dimension line", "alias"])
def test_a_module_file_message_keeps_to_its_bound_escapes_included(tmp_path, body):
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "u.gezo").write_text(".!gezo acme/u\n" + body)
    document = f".!registry acme={tmp_path}\n.!units acme/u\n!:u\na=1\n"
    message = failure_message(bezo.build, document)
    # 160 bytes of the message, then the cut mark.
    assert len(message.encode("utf-8")) <= 160 + len("\u2026".encode("utf-8")), message
    assert message.endswith("\u2026") and "\\u{" in message
    assert not RAW_CONTROL.search(message)
