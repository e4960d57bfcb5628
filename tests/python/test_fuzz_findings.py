"""Inputs that fuzzing found mishandled, through the module: each now ends in a
clear BezoError."""
import pytest

import bezo

REFUSED = [
    # The TOML library's blank test reached an unreachable branch here.
    ("toml", "a = 1\u00a1\n", "invalid TOML: Error while parsing decimal integer: expected digit, saw '\u00a1' (line 1, column 6)"),
    ("toml", "a = 1\ufefe\n", "invalid TOML: Error while parsing decimal integer: expected digit, saw '\ufefe' (line 1, column 6)"),
    # The TOML library asserted here in debug builds.
    ("toml", "[[[a]]]\nb = 1\n", "invalid TOML: Error while parsing key: expected bare key starting character or"
     " string delimiter, saw '[' (line 1, column 3)"),
    # Two fields of one name became two lines of one key.
    ("proto", "message I{double Price=2;double Price=5;}", "duplicate field name Price in I"),
    ("graphql", "type Q { a: Int b: Int a: String }", "duplicate field a in type Q"),
    ('jsonschema', '{"properties": {"m": {}, "n": {}, "m": {"type": "string"}}}', "duplicate property name m"),
    # The field line /a::"x/..y"= reads as a pattern and a range.
    ("jsonschema", '{"properties": {"a": {"type": "object", "properties": {"x/..y": {"type": "string"}}}}}',
     'unrepresentable field path: "/a::\\"x/..y\\"?="'),
    ("avsc", '{"type": "record", "name": "R", "fields": [{"name": "a", "type": {"type": "record", "name": "S",'
     ' "fields": [{"name": "x/..y", "type": "string"}]}}]}', 'unrepresentable field path: "/a::\\"x/..y\\"="'),
]


@pytest.mark.parametrize("word, text, message", REFUSED)
def test_refused(word, text, message):
    call = bezo.import_from if word == "toml" else bezo.import_schema
    with pytest.raises(bezo.BezoError) as raised:
        call(word, text)
    assert str(raised.value) == message


# Respelled, a declaration's name read as a version ("2" or "1" once the
# version before it was dropped; "1x" once the form feed before it was a
# blank), so the formatted text no longer formatted or formatted again.
FORMATTED = [
    (".!bezo\n.!hezo  1  2 x\n", ".!bezo\n.!hezo 1 2 x\n"),
    (".!bezo\n.!hezo 1 1 x\n", ".!bezo\n.!hezo 1 1 x\n"),
    (".!bezo\n.!whezo\f1x\n", ".!bezo\n.!whezo\f1x\n"),
    (".!bezo\n.!hezo  1  x\n", ".!bezo\n.!hezo x\n"),
]


@pytest.mark.parametrize("text, formatted", FORMATTED)
def test_formatted_text_formats_to_itself(text, formatted):
    assert bezo.fmt(text) == formatted
    assert bezo.fmt(formatted) == formatted


# A float's plain decimals ran past the 128 digits our TOML reader takes.
def test_tiny_float_exports_to_toml_that_reads_back():
    exported = bezo.export_to("toml", ".!nezo\n!float'a=1.5e-300\n!float'b=0.25\n")
    assert exported == "a = 1.5e-300\nb = 0.25\n"
    assert bezo.import_from("toml", exported).startswith(".!bezo")
