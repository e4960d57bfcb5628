"""JSON in and out through the module: export_to("json") and import_from("json")."""
import base64
import json

import pytest

import bezo


def export(*lines):
    return bezo.export_to("json", ".!nezo\n" + "".join(line + "\n" for line in lines))


def b64(text):
    return base64.urlsafe_b64encode(text.encode()).decode().rstrip("=")


def import_json(value):
    return bezo.import_from("json", json.dumps(value))


def body(value):
    """The body of the imported text: what follows the header's empty line."""
    text = import_json(value)
    header, _, rest = text.partition("\n\n")
    assert header.startswith(".!bezo")
    return rest


# --- export ---------------------------------------------------------------

def test_export_of_a_declaration_alone_is_an_empty_object():
    assert bezo.export_to("json", ".!nezo\n") == "{}\n"


@pytest.mark.parametrize("lines, expected", [
    (["!int'a/b=1", "!str'a/c=x"], {"a": {"b": 1, "c": "x"}}),
    (["!int'a/b/c/d=1", "!int'a/e=2", "!int'f=3"], {"a": {"b": {"c": {"d": 1}}, "e": 2}, "f": 3}),
    (["!int'@xs/0=1", "!int'@xs/1=2"], {"xs": [1, 2]}),
    (["!str'@xs/0/name=a", "!int'@xs/0/n=1", "!str'@xs/1/name=b"], {"xs": [{"name": "a", "n": 1}, {"name": "b"}]}),
    (["!int'a/@xs/0/@ys/0=1", "!int'a/@xs/0/@ys/1=2"], {"a": {"xs": [{"ys": [1, 2]}]}}),
    (["!int'\"a/b\"=1", "!int'\"@c\"=2", "!int'd::e=3"], {"a/b": 1, "@c": 2, "d": {"e": 3}}),
    (["!int'a=1", "!int'b=2", "!int'a=3"], {"a": 3, "b": 2}),
])
def test_export_of_namespaces_and_arrays(lines, expected):
    text = export(*lines)
    assert text.endswith("}\n")
    assert json.loads(text) == expected


@pytest.mark.parametrize("line, expected", [
    ("!int'v=123456789012345678901234567890", 123456789012345678901234567890),
    ("!float'v=-0.5e+3", -500.0),
    ("!bool'v=true", True),
    ("!null'v=", None),
    ("!str'v=say \"hi\" \\ there", 'say "hi" \\ there'),
    ("!text'v=one|:|two", "one\ntwo"),
    ("!std/time/date'v=2024-01-02", "2024-01-02"),
    ("!std/num/nan'v=nan", "nan"),
    ("!std/enc/bin'v=AAA", "AAA"),
    ("!std/enc/json'v=" + b64('{"k": [1, null]}'), {"k": [1, None]}),
    ("!email'v=a@b.c", "a@b.c"),
    ("!std/time'v=1", "1"),
])
def test_export_converts_each_value_by_its_type(line, expected):
    assert json.loads(export(line)) == {"v": expected}


def test_export_keeps_number_text_and_embedded_formatting():
    text = export("!float'a=1.50", "!std/enc/json'j=" + b64("[1, 2]"))
    assert text == '{"a":1.50,"j":[1, 2]}\n'


@pytest.mark.parametrize("value", [
    "\x01" * 100_000,
    '"\\' * 50_000 + "é東😀",
    ("a" * 15 + "\x1f\b") * 20_000,
    "|:|".join(["\t"] * 30_000),
])
def test_export_of_texts_whose_escapes_outgrow_the_canonical_text(value):
    # Each of these texts becomes two to six times longer as JSON, past the
    # size of the canonical text; the escapes are those json.dumps writes.
    key = '"' + value.replace('"', '""') + '"'
    text = export(f"!str'v={value}", f"!int'{key}=1", f"!text'@t/0={value}")
    expected = {"v": value, value: 1, "t": [value.replace("|:|", "\n")]}
    assert text == json.dumps(expected, ensure_ascii=False, separators=(",", ":")) + "\n"


def test_export_strips_carriage_returns_from_every_line():
    text = bezo.export_to("json", ".!nezo\r\n!str'a=x\r\n!str'b=y\r")
    assert json.loads(text) == {"a": "x", "b": "y"}


@pytest.mark.parametrize("lines, message", [
    (["!int'@xs/1=2"], "array index 1 leaves a gap (canonical arrays are contiguous)"),
    (["!int'@xs/0=1", "!int'@xs/2=3"], "array index 2 leaves a gap (canonical arrays are contiguous)"),
    (["!int'@xs=1"], "array without index"),
    (["!int'@xs/01=1"], "bad array index: 01"),
    (["!int'a=1", "!int'a/b=2"], "namespace/leaf collision at a"),
    (["!int'@xs/0=1", "!int'@xs/0/a=2"], "namespace/leaf collision at element 0"),
    (["!int'a=01"], "!int value is not a JSON number: 01"),
    (["!float'a=1."], "!float value is not a JSON number: 1."),
    (["!bool'a=TRUE"], "!bool value is not true/false: TRUE"),
    (["!null'a=x"], "!null value carries a payload"),
    (["!std/enc/bin'b=AAA="], "invalid base64url payload"),
    (["!std/enc/json'j=" + b64("[1,]")], "invalid JSON at byte 3"),
    (["!std/enc/json'j=" + b64("1 2")], "std/enc/json payload is not a single JSON value"),
    (["x=1"], "not a canonical line: x=1"),
    (["'a=1"], "bad metadata prefix: 'a=1"),
    (["!int'a"], "canonical line without =: !int'a"),
    (["!int'//=1"], "empty namepath: //"),
    (["!int'" + "/".join(["a"] * 513) + "=1"], "namepath nests deeper than 512 segments"),
])
def test_export_refusals(lines, message):
    with pytest.raises(bezo.BezoError) as caught:
        export(*lines)
    assert str(caught.value) == message
    assert type(caught.value) is bezo.BezoError


# --- import ---------------------------------------------------------------

def test_import_of_a_whole_document():
    text = bezo.import_from(
        "json", '{"name":"demo","port":8080,"tags":["a","b"],"db":{"host":"h","user":"u"},"note":"$x"}')
    assert text == (".!bezo\n.!types std/enc\n\nname=demo\n!int\nport=8080\n/@tags;=a;b\n"
                    "/db:=host=h|user=u\n&json\nnote=IiR4Ig\n")


def test_import_of_no_members():
    assert bezo.import_from("json", " {} ") == ".!bezo\n\n"


@pytest.mark.parametrize("value, expected", [
    # scalars
    ({"x": None}, "!null\nx=\n"),
    ({"flag": True}, "!bool\nflag=true\n"),
    ({"a": 42, "b": -7}, "!int\na=42\n!int\nb=-7\n"),
    ({"s": ""}, "s=\n"),
    ({"s": "a\nb"}, "!text\ns=a|:|b\n"),
    # records, lists, appends
    ({"server": {"host": "h", "name": "n"}}, "/server:=host=h|name=n\n"),
    ({"server": {"host": "h", "port": 1}}, "/server::host=h\n!int\n/server::port=1\n"),
    ({"o": {"a b": "x", "c": "y"}}, '/o::"a b"=x\n/o::c=y\n'),
    ({"o": {"a": "x|y"}}, "/o::a=x|y\n"),
    ({"tags": ["a", "b"]}, "/@tags;=a;b\n"),
    ({"tags": [None, None]}, "!null\n/@tags;=;\n"),
    ({"tags": [1, 2.5]}, "!int\n/@tags+=1\n!float\n/@tags+=2.5\n"),
    ({"tags": ["a;b", "c"]}, "/@tags+=a;b\n/@tags+=c\n"),
    ({"k": [{"a": 1}, {"a": 2}]}, "!int\n/@k+:=a=1\n!int\n/@k+:=a=2\n"),
    ({"k": [{"a": 1}, {"a": "x"}]}, "!int\n/@k+:=a=1\n/@k+:=a=x\n"),
    # indexed
    ({"k": [{"a": 1}, 2]}, "!int\n/@k/0:=a=1\n!int\n/@k::1=2\n"),
    ({"k": [{"a": [1]}, {"b": 2}]}, "!int\n/@k/0/@a;=1\n!int\n/@k/1:=b=2\n"),
    ({"a": {"b": {"c": 1, "d": [1, 2]}}}, "!int\n/a/b::c=1\n!int\n/a/b/@d;=1;2\n"),
])
def test_import_line_forms(value, expected):
    assert body(value) == expected


@pytest.mark.parametrize("value, lines", [
    ({"k": {}}, [("k=", "{}")]),
    ({"k": []}, [("k=", "[]")]),
    ({"k": [[1], [2]]}, [("/@k+=", "[1]"), ("/@k+=", "[2]")]),
    ({"k": [{"a": 1}, {}]}, [("/@k::1=", "{}")]),
    ({"k": [{"a": 1}, []]}, [("/@k::1=", "[]")]),
    ({"o": {"e": {}}}, [("/o::e=", "{}")]),
    ({"s": "$x"}, [("s=", '"$x"')]),
    ({"s": "a\rb"}, [("s=", '"a\\rb"')]),
    ({"s": "a\u0000b"}, [("s=", '"a\\u0000b"')]),
    ({"s": "a\nb|:|c"}, [("s=", '"a\\nb|:|c"')]),
    ({"k": [[{"": 1}]]}, [("/@k+=", '[{"":1}]')]),
])
def test_import_embeds_what_lines_cannot_carry(value, lines):
    text = import_json(value)
    assert ".!types std/enc\n" in text
    for head, payload in lines:
        assert "&json\n" + head + b64(payload) + "\n" in text


@pytest.mark.parametrize("value", [
    {"a": "1", "b": "x$a"},
    {"s": "costs $5"},
    {"s": "line\n$x"},
    {"tags": ["a", "$b"]},
    {"o": {"a": "$", "b": "c"}},
])
def test_import_embeds_every_text_holding_a_reference_sign(value):
    text = import_json(value)
    for line in text.splitlines():
        if not line.startswith("&json") and not line.startswith(".!"):
            assert "$" not in line
    assert ".!types std/enc\n" in text


def test_import_round_trips_through_build_and_export():
    source = {"a": "1", "b": "x$a", "s": "costs $5", "n": 1.50, "t": "x\ny", "l": [1, {"k": "$v"}], "e": {}}
    authored = bezo.import_from("json", json.dumps(source))
    canonical = bezo.build(authored)
    assert json.loads(bezo.export_to("json", canonical)) == source


@pytest.mark.parametrize("value, compact_line", [
    ({"r": {"a": "x" * 74}}, "/r:=a=" + "x" * 74),
    ({"t": ["x" * 37, "x" * 37]}, "/@t;=" + "x" * 37 + ";" + "x" * 37),
    ({"k": [{"a": "x" * 72}, {"a": "y"}]}, "/@k+:=a=" + "x" * 72),
])
def test_import_compact_forms_take_lines_of_80_bytes(value, compact_line):
    assert len(compact_line) == 80
    assert compact_line + "\n" in body(value)


@pytest.mark.parametrize("value, expected", [
    ({"r": {"a": "x" * 75}}, "/r::a=" + "x" * 75 + "\n"),
    ({"t": ["x" * 38, "x" * 37]}, "/@t+=" + "x" * 38 + "\n/@t+=" + "x" * 37 + "\n"),
    ({"k": [{"a": "x" * 73}, {"a": "y"}]}, "/@k/0::a=" + "x" * 73 + "\n/@k/1:=a=y\n"),
])
def test_import_compact_forms_refuse_lines_of_81_bytes(value, expected):
    assert body(value) == expected


@pytest.mark.parametrize("key, spelled", [
    ("my key", '"my key"'),
    ('a"b', '"a""b"'),
    ("re", "re"),
    ("_x9", "_x9"),
    ("9x", '"9x"'),
    ("é", '"é"'),
])
def test_import_key_spelling(key, spelled):
    assert body({key: 1}) == "!int\n" + spelled + "=1\n"


@pytest.mark.parametrize("value, message", [
    ({"": 1}, "empty JSON key is unrepresentable"),
    ({"a\nb": 1}, 'unrepresentable JSON key: "a\\nb"'),
    ({"o": {"a": 1, "\u0000": 2}}, 'unrepresentable JSON key: "\\0"'),
    ({"k": [{"a": 1}, {"": 2}]}, "empty JSON key is unrepresentable"),
])
def test_import_key_refusals(value, message):
    with pytest.raises(bezo.BezoError) as caught:
        import_json(value)
    assert str(caught.value) == message


@pytest.mark.parametrize("text, message", [
    ("[1]", "root must be a JSON object"),
    ('"x"', "root must be a JSON object"),
    ("", "invalid JSON at byte 0"),
    ('{"a":1,}', "invalid JSON at byte 7"),
    ('{"a":1} x', "trailing content after JSON document"),
    ('{"a":"\\ud800"}', "invalid JSON at byte 12"),
    ('{"a":' * 513 + "1" + "}" * 513, "JSON nesting too deep"),
])
def test_import_refusals(text, message):
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_from("json", text)
    assert str(caught.value) == message
