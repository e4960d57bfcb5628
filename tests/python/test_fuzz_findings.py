"""Inputs that fuzzing found mishandled, through the module: each now ends in a
clear BezoError."""
import pytest

import bezo

REFUSED = [
    # The TOML library's blank test reached an unreachable branch here.
    ("toml", "a = 1\u00a1\n", "invalid TOML: Error while parsing decimal integer: expected digit, saw '\u00a1' (line 1, column 6)"),
    ("toml", "a = 1\ufefe\n", "invalid TOML: Error while parsing decimal integer: expected digit, saw '\ufefe' (line 1, column 6)"),
    # Two fields of one name became two lines of one key.
    ("proto", "message I{double Price=2;double Price=5;}", "duplicate field name Price in I"),
    ("graphql", "type Q { a: Int b: Int a: String }", "duplicate field a in type Q"),
]


@pytest.mark.parametrize("word, text, message", REFUSED)
def test_refused(word, text, message):
    call = bezo.import_from if word == "toml" else bezo.import_schema
    with pytest.raises(bezo.BezoError) as raised:
        call(word, text)
    assert str(raised.value) == message


# Dropping the version word of ".!hezo 1 2" made the name "2" read as an
# unsupported version, so the formatted text no longer formatted.
FORMATTED = [
    (".!bezo\n.!hezo  1  2 x\n", ".!bezo\n.!hezo 1 2 x\n"),
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
