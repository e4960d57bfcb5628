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
# Controls alone, each of which an excerpt writes as an escape six bytes long.
CONTROLS = "k" + "\x01" * 1_000_000

N = ".!nezo\n"


def repeated_key(key):
    """A canonical text whose embedded JSON object holds `key` twice."""
    embedded = base64.urlsafe_b64encode(('{"%s":1,"%s":2}' % (key, key)).encode()).decode().rstrip("=")
    return N + "!std/enc/json'v=" + embedded + "\n"


def xsd_element(type_name):
    return ("<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
            f"<xs:element name='a' type='{type_name}'/></xs:schema>")


def xsd_two_elements(suffix):
    return ("<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
            f"<xs:element name='a{suffix}' type='xs:int'/><xs:element name='b{suffix}' type='xs:int'/></xs:schema>")


def avro_field(field_type):
    return json.dumps({"type": "record", "name": "r", "fields": [{"name": "a", "type": field_type}]})


def digits_for(s):
    """As many digits as `s` has characters: a number as long as the name."""
    return "1" * len(s)


# A field a, a map /m with a key pattern, and a table /t/@r whose ref column
# refers to the k column of /u/@s.
VALIDATED = (".!hezo d\n!int\na=\n(/m)\n!int\n/^[a-z]+$/=\n()\n"
             "[/t/@r ref=/u/@s/*::k]\nref=\n[]\n[/u/@s]\nk=\n[]\n")


def verdict(document):
    return bezo.validate(N + document, VALIDATED)


def many(template, s, count=20_000):
    """`count` definitions from `template`, each named by its number and the
    start of `s`: a text of many short names."""
    return "".join(template.format(f"n{i}{s[:3]}") for i in range(count))


def pattern_work(s):
    """A pattern of 199,000 instructions, then the first 200 characters of
    `s` (a pattern holds at most 4096 bytes), over a 30 KB value: more work
    than a call may spend."""
    pattern = "(a{1000}){199}b" + s[:200].replace("[", "\\[")
    return bezo.validate(N + "!str'::v=" + "a" * 30_000 + "\n", ".!hezo s\n!str/" + pattern + "/\nv=\n")


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
    "CBOR float": lambda s: bezo.export_to("cbor", N + "!float'a=1" + digits_for(s) + "e999999\n"),
    "CBOR float at a long key": lambda s: bezo.export_to("cbor", N + "!float'a" + s + "=1e999\n"),
    "CBOR repeated key": lambda s: bezo.export_to("cbor", repeated_key(s)),
    "YAML repeated key": lambda s: bezo.export_to("yaml", repeated_key(s)),
    "TOML repeated key in an export": lambda s: bezo.export_to("toml", repeated_key(s)),
    "TOML integer": lambda s: bezo.export_to("toml", N + "!int'v=9" + digits_for(s) + "\n"),
    "TOML float overflow": lambda s: bezo.export_to("toml", N + "!float'v=1" + digits_for(s) + "e999\n"),
    "TOML float underflow": lambda s: bezo.export_to("toml", N + "!float'v=0." + "0" * len(s) + "1\n"),
    "TOML datetime": lambda s: bezo.export_to("toml", N + "!std/time/date'v=2024-01-01 # " + s + "\n"),
    "TOML std/num marker": lambda s: bezo.export_to("toml", N + "!std/num/inf'v=" + s + "\n"),
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
    "provenance annotation": lambda s: bezo.compile("?a " + s + "\nx=1\n"),
    "span after a named type": lambda s: bezo.compile("&int ..num" + s + "\nx=1\n"),
    "item after a named type": lambda s: bezo.compile("&int !int /" + s + "/\nx=1\n"),
    "field reference in a variable": lambda s: bezo.compile(".v=$" + s + "\n"),
    "unresolved variable in .lezo": lambda s: bezo.denormalize(".!lezo\n!str'::a=1\n!str'::x=$a$." + s + "\n"),
    "document .!schema": lambda s: bezo.build(".!schema:/" + s + "\na=1\n"),
    "schema .!schema": lambda s: bezo.compile_schema(".!hezo d\n.!schema:/" + s + "\n"),
    "schema map-block header": lambda s: bezo.compile_schema(".!hezo d\n(/m min=9" + digits_for(s) + ")\n"),
    "schema item after a named type": lambda s: bezo.compile_schema(".!hezo d\n&int !int /" + s + "/\nx=\n"),
    # Validation verdicts.
    "verdict on a line without '": lambda s: verdict(s + "\n"),
    "verdict on a line without =": lambda s: verdict("!int'::a" + s + "\n"),
    "verdict on a metadata prefix": lambda s: verdict("x" + s + "'::a=1\n"),
    "verdict on a value": lambda s: verdict("!int'::a=" + s + "\n"),
    "verdict on a unit": lambda s: verdict("!int:" + s + "'::a=1\n"),
    "verdict on a map entry key": lambda s: verdict("!int'::a=1\n!int'/m::K" + s + "=1\n"),
    "verdict on a map entry path": lambda s: verdict("!int'::a=1\n!str'/m::" + s + "=z\n"),
    "verdict on a record in a map entry": lambda s: verdict("!int'::a=1\n!int'/m/k" + s + "/x::y=1\n"),
    "verdict on a list in a table element": lambda s: verdict("!int'::a=1\n!str'/t/@r/0" + s + "/@ref::0=z\n"),
    "verdict on a reference": lambda s: verdict("!int'::a=1\n!str'/t/@r/0::ref=" + s + "\n!str'/u/@s/0::k=z\n"),
    "pattern work": pattern_work,
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
    "Avro schema decimal scale": lambda s: bezo.import_schema("avsc", avro_field(
        {"type": "bytes", "logicalType": "decimal", "scale": 1.5}).replace("1.5", digits_for(s) + ".5")),
    "Avro schema fixed size": lambda s: bezo.import_schema("avsc", avro_field(
        {"type": "fixed", "name": "F", "size": 1.5}).replace("1.5", digits_for(s) + ".5")),
    "proto message name": lambda s: bezo.import_schema("proto", "message A {}", "t", s),
    "proto unexpected word": lambda s: bezo.import_schema("proto", "f" + s),
    "proto unterminated message": lambda s: bezo.import_schema("proto", "message M" + s + " { int32 a = 1;"),
    "proto field number": lambda s: bezo.import_schema("proto", "message M { int32 a" + s + " = 0; }"),
    "proto field number token": lambda s: bezo.import_schema("proto", "message M { int32 a = x" + s + "; }"),
    "proto field without ;": lambda s: bezo.import_schema("proto", "message M { int32 a" + s + " = 1 }"),
    "proto field without =": lambda s: bezo.import_schema("proto", "message M { int32 a " + s + " = 1; }"),
    "proto numeric literal": lambda s: bezo.import_schema(
        "proto", "message M { int32 a = 1 [default = 1.5.0" + digits_for(s) + "]; }"),
    "proto enum value": lambda s: bezo.import_schema("proto", "enum E { A" + s + " = 1e3; }"),
    "proto enum value out of range": lambda s: bezo.import_schema("proto", "enum E { A" + s + " = 2147483648; }"),
    "proto unterminated enum": lambda s: bezo.import_schema("proto", "enum E" + s + " { A = 0;"),
    "proto string for a name": lambda s: bezo.import_schema("proto", 'message "' + s + '" {}'),
    "proto string token": lambda s: bezo.import_schema("proto", '"' + s + '"'),
    "proto map key type": lambda s: bezo.import_schema(
        "proto", 'syntax = "proto3";\nmessage M' + s + " { map<double, int32> a = 1; }\n"),
    "proto several top-level messages": lambda s: bezo.import_schema(
        "proto", "message A" + s + " {} message B" + s + " {}"),
    "proto ambiguous message name": lambda s: bezo.import_schema(
        "proto", "message A { message B" + s + " {} } message C { message B" + s + " {} }", "t", "B" + s),
    "GraphQL several object types": lambda s: bezo.import_schema(
        "graphql", "type A" + s + " { a: Int } type B" + s + " { a: Int }"),
    "GraphQL type name": lambda s: bezo.import_schema("graphql", "type A { x: Int }", "t", s),
    "GraphQL not an object type": lambda s: bezo.import_schema(
        "graphql", "enum E" + s + " { A } type T { a: Int }", "t", "E" + s),
    "GraphQL unexpected word": lambda s: bezo.import_schema("graphql", "type A { x: Int } q" + s),
    "GraphQL repeated field": lambda s: bezo.import_schema("graphql", "type Q { a" + s + ": Int a" + s + ": Int }"),
    "XSD element name": lambda s: bezo.import_schema("xsd", xsd_element("xs:int"), "t", s),
    "proto repeated field": lambda s: bezo.import_schema(
        "proto", 'syntax = "proto3";\nmessage M { int32 ' + s + " = 1; int32 " + s + " = 2; }\n"),
    "proto repeated field number": lambda s: bezo.import_schema(
        "proto", 'syntax = "proto3";\nmessage M' + s + " { int32 a = 1; int32 b = 1; }\n"),
    "proto unknown type": lambda s: bezo.import_schema("proto", 'syntax = "proto3";\nmessage M { ' + s + " a = 1; }\n"),
    "XSD unknown type": lambda s: bezo.import_schema("xsd", xsd_element(s)),
    "XSD several top-level elements": lambda s: bezo.import_schema("xsd", xsd_two_elements(s)),
    "proto many top-level messages": lambda s: bezo.import_schema("proto", many("message {} {{}} ", s)),
    "GraphQL many object types": lambda s: bezo.import_schema("graphql", many("type {} {{ a: Int }} ", s)),
    "XSD many top-level elements": lambda s: bezo.import_schema(
        "xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
        + many("<xs:element name='{}' type='xs:int'/>", s) + "</xs:schema>"),
    "YAML scalar against its tag": lambda s: bezo.import_from("yaml", "a: !!int " + json.dumps(s) + "\n"),
    "YAML key with a line break": lambda s: bezo.import_from("yaml", json.dumps(s + "\n") + ": 1\n"),
    "unknown import format": lambda s: bezo.import_from(s, "{}"),
    "unknown export format": lambda s: bezo.export_to(s, N),
    "unknown schema format": lambda s: bezo.import_schema(s, "{}"),
}


def failure_message(call, text):
    with pytest.raises(bezo.BezoError) as caught:
        call(text)
    return str(caught.value)


@pytest.mark.parametrize("road", ROADS)
@pytest.mark.parametrize("text", [LONG, ESCAPES, CONTROLS], ids=["long", "escapes", "controls"])
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
    ("provenance annotation", "b", "invalid provenance annotation: ?a b"),
    ("unresolved variable in .lezo", "v", "unresolved variable in .lezo: $a$.v"),
    ("TOML std/num marker", "huge", "invalid std/num marker: huge"),
    ("proto message name", "Order", "no message named Order in the schema"),
    ("verdict on a reference", "y", "ReferentialIntegrityError: /t/@r: ref=y has no match in /u/@s/*::k"),
    ("verdict on a record in a map entry", "b",
     "/m/kb/x::y holds a record or list where the schema declares the value /m::kb (line 3)"),
    ("verdict on a list in a table element", "b",
     "/t/@r/0b/@ref::0 holds a record or list where the schema declares the value /t/@r/0b::ref (line 3)"),
    ("proto ambiguous message name", "b", "message name Bb is ambiguous: A.Bb, C.Bb"),
    ("proto several top-level messages", "b", "the schema has several top-level messages (Ab, Bb); pass --message"),
    ("GraphQL several object types", "b", "the document has several object types (Ab, Bb); pass --message"),
    ("XSD several top-level elements", "b", "the schema has several top-level elements (ab, bb); pass --message"),
    ("verdict on a unit", "m", "::a=1 (type !int:m) does not satisfy !int"),
    ("YAML scalar against its tag", 'x"\\\ty', 'YAML scalar "x\\"\\\\\\ty" does not match its tag !!int'),
    ("YAML scalar against its tag", "x\x85y\x7f", 'YAML scalar "x\\u{85}y\\u{7f}" does not match its tag !!int'),
    ("YAML key with a line break", "k", 'unrepresentable YAML key "k\\n"'),
    ("unknown export format", "word", "unsupported export format: word"),
])
def test_a_message_of_ordinary_size_quotes_the_input_whole(road, text, quoted):
    assert quoted in failure_message(ROADS[road], text)


@pytest.mark.parametrize("pattern, shown", [
    ("^\x1b\\[31m$", "violates !str /^\\u{1b}\\[31m$/"),
    ("^\x7f\u0085\u00e9$", "violates !str /^\\u{7f}\\u{85}\u00e9$/"),
])
def test_schema_text_quoted_whole_has_its_controls_escaped(pattern, shown):
    schema = ".!hezo s\n!str/" + pattern + "/\nv=\n"
    message = failure_message(lambda document: bezo.validate(document, schema), N + "!str'::v=x\n")
    assert shown in message
    assert not RAW_CONTROL.search(message), repr(message)


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


def test_an_ambiguous_named_type_is_quoted_as_a_short_excerpt(tmp_path):
    name = "T" + LONG
    (tmp_path / "acme").mkdir()
    for library in ("a", "b"):
        (tmp_path / "acme" / f"{library}.yezo").write_text(f".!yezo acme/{library}\n&{name}=int\n")
    document = f".!registry acme={tmp_path}\n.!types acme/a\n.!types acme/b\n&{name}\nx=1\n"
    message = failure_message(bezo.compile, document)
    assert message.startswith("ambiguous named type &Tkxxx")
    assert len(message.encode("utf-8")) <= MESSAGE_LIMIT, message[:200]
