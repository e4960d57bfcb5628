"""Every function of the module runs its road; every format word answers."""
import pytest

import bezo

NEZO = ".!nezo\n!int'::a=1\n"
SCHEMA = ".!hezo s\n\n!int\na=\n"


ROADS = [
    ("version", lambda: bezo.version(), "0.13.0"),
    ("compile", lambda: bezo.compile("!int\na=1\n"), ".!lezo\n!int'::a=1\n"),
    ("denormalize", lambda: bezo.denormalize(".!lezo\n!int'::a=1\n"), NEZO),
    ("build", lambda: bezo.build("!int\na=1\n"), NEZO),
    ("compile_schema", lambda: bezo.compile_schema(SCHEMA), ".!whezo s\n!int /^-?[0-9]+$/ ..num'::a=\n"),
    ("validate authored", lambda: bezo.validate(NEZO, SCHEMA), None),
    ("validate compiled after white space", lambda: bezo.validate(NEZO, " \t" + bezo.compile_schema(SCHEMA)), None),
    ("fmt", lambda: bezo.fmt("a=1\n"), ".!bezo\n\na=1\n"),
    ("unbuild", lambda: bezo.unbuild(NEZO), ".!bezo\n\n!int\na=1\n"),
    ("infer", lambda: bezo.infer("!int\na=1\n", "s"), SCHEMA),
    ("import_from", lambda: bezo.import_from("json", '{"a": 1}'), None),
    ("export_to", lambda: bezo.export_to("json", NEZO), '{"a":1}\n'),
    ("import_schema", lambda: bezo.import_schema("jsonschema", '{"type": "object"}', "s"), None),
]


@pytest.mark.parametrize("call, expected", [row[1:] for row in ROADS], ids=[row[0] for row in ROADS])
def test_road(call, expected):
    result = call()
    if expected is not None or result is None:
        assert result == expected
    else:
        assert isinstance(result, str) and result


AVSC = '{"type": "record", "name": "R", "fields": [{"name": "a", "type": "int"}]}'
XSD = ('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="r"><xs:complexType><xs:sequence>'
       '<xs:element name="a" type="xs:int"/></xs:sequence></xs:complexType></xs:element></xs:schema>')

# (function, word, a small input for the word, type of the result)
WORDS = [
    (bezo.import_from, "json", '{"a": 1}', str),
    (bezo.import_from, "yaml", "a: 1\n", str),
    (bezo.import_from, "toml", "a = 1\n", str),
    (bezo.import_from, "xml", "<r><a>1</a></r>", str),
    (bezo.export_to, "xml", NEZO, str),
    (bezo.export_to, "json", NEZO, str),
    (bezo.export_to, "yaml", NEZO, str),
    (bezo.export_to, "toml", NEZO, str),
    (bezo.export_to, "cbor", NEZO, bytes),
    (bezo.export_to, "avro", NEZO, bytes),
    (bezo.export_to, "asn1", ".!nezo\n!int'int=5\n", bytes),
    (bezo.import_schema, "jsonschema", '{"type": "object", "properties": {"a": {"type": "integer"}}}', str),
    (bezo.import_schema, "xsd", XSD, str),
    (bezo.import_schema, "proto", 'syntax = "proto3";\nmessage M { int32 a = 1; }\n', str),
    (bezo.import_schema, "avsc", AVSC, str),
    (bezo.import_schema, "graphql", "type Query { a: Int }\n", str),
]


@pytest.mark.parametrize("function, word, text, kind", WORDS, ids=[f"{row[0].__name__}-{row[1]}" for row in WORDS])
def test_every_word_has_its_entry(function, word, text, kind):
    result = function(word, text)
    assert type(result) is kind and result


def test_avsc_ignores_message():
    assert bezo.import_schema("avsc", AVSC, "s", "Other") == bezo.import_schema("avsc", AVSC, "s")


UNSUPPORTED = {
    bezo.import_from: "unsupported import format: ",
    bezo.export_to: "unsupported export format: ",
    bezo.import_schema: "unsupported schema format: ",
}


def refused_words(function):
    own = {row[1] for row in WORDS if row[0] is function}
    others = {row[1] for row in WORDS} - own
    variants = {variant for word in own for variant in (word.upper(), word.capitalize(), word + " ", " " + word)}
    return sorted(others | variants | {"", "csv"})


@pytest.mark.parametrize("function", list(UNSUPPORTED), ids=lambda function: function.__name__)
def test_other_words_are_refused(function):
    for word in refused_words(function):
        with pytest.raises(bezo.BezoError) as raised:
            function(word, "")
        assert type(raised.value) is bezo.BezoError
        assert str(raised.value) == UNSUPPORTED[function] + word
