"""Roads that read a str's text as the language's lines or as a foreign
schema: non-ASCII text gives the results and messages it always gave, and
every check of the whole text but UTF-8 still fires. (A str without UTF-8, a
lone surrogate, is refused before any road runs: test_module_surface.py.)"""
import pytest

import bezo

SCHEMA = ".!hezo s\n\n// caf\u00e9\n!str\nname=\n!str\ncity?=T\u014dky\u014d\n"
INT_SCHEMA = ".!hezo s\n\n// \u00e9\n!int\nname=\n"
XSD = ('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><!-- \u00e9 --><xs:element name="r"><xs:complexType>'
       '<xs:sequence><xs:element name="caf\u00e9" type="xs:string"/></xs:sequence></xs:complexType></xs:element>'
       '</xs:schema>')

RESULTS = [
    ("compile", lambda: bezo.compile("!str\nname=caf\u00e9 \U0001F600\n// \u6771\u4eac\ncity=\u0417\u0430\u0433\u0440\u0435\u0431\n"),
     ".!lezo\n!str'::name=caf\u00e9 \U0001F600\n!str'::city=\u0417\u0430\u0433\u0440\u0435\u0431\n"),
    ("build", lambda: bezo.build("name=na\u00efve \u6771\u4eac\ncity=\"S\u00e3o Paulo\"\n"),
     ".!nezo\n!str'::name=na\u00efve \u6771\u4eac\n!str'::city=\"S\u00e3o Paulo\"\n"),
    ("build with a schema", lambda: bezo.build(".!bezo\nname=Z\u00fcrich\n", SCHEMA),
     ".!nezo\n.!schema:s\n!str'::name=Z\u00fcrich\n!str'::city=T\u014dky\u014d\n"),
    ("fmt", lambda: bezo.fmt("(/place)\nname=na\u00efve\n()\n// \u6771\u4eac\n"),
     ".!bezo\n\n/place::name=na\u00efve\n// \u6771\u4eac\n"),
    ("infer", lambda: bezo.infer("name=\u00e9t\u00e9\ncount=3\n", "s"), ".!hezo s\n\nname=\ncount=\n"),
    ("compile_schema", lambda: bezo.compile_schema(SCHEMA), ".!whezo s\n!str'::name=\n!str'::city?=T\u014dky\u014d\n"),
    ("validate", lambda: bezo.validate(".!nezo\n!str'::name=\u00e9\n!str'::city=\u6771\n", SCHEMA), None),
    ("unbuild", lambda: bezo.unbuild(".!nezo\n!str'/caf\u00e9::name=\u6771\u4eac\n"), ".!bezo\n\n/caf\u00e9::name=\u6771\u4eac\n"),
    ("jsonschema", lambda: bezo.import_schema(
        "jsonschema", '{"type":"object","description":"\u00e9","properties":{"caf\u00e9":{"type":"string",'
        '"enum":["\u6771","\U0001F600"]}}}', "s"),
     '.!hezo s\n\n!null|str{\u6771,\U0001F600}\n"caf\u00e9"?=\n'),
    ("xsd", lambda: bezo.import_schema("xsd", XSD, "s"), '.!hezo s\n\n/r::"caf\u00e9"=\n'),
    ("graphql", lambda: bezo.import_schema("graphql", '# \u00e9\n"""\u6771\u4eac"""\ntype R { name: String! }\n', "s"),
     ".!hezo s\n\nname=\n"),
    ("proto", lambda: bezo.import_schema(
        "proto", 'syntax = "proto3";\n// \u00e9\nmessage R { string name = 1; // \u6771\n}\n', "s"),
     ".!hezo s\n\nname?=\n"),
    ("avsc", lambda: bezo.import_schema(
        "avsc", '{"type":"record","name":"R","doc":"\u00e9","fields":[{"name":"caf\u00e9","type":"string"}]}', "s"),
     '.!hezo s\n\n"caf\u00e9"=\n'),
]


@pytest.mark.parametrize("call, expected", [row[1:] for row in RESULTS], ids=[row[0] for row in RESULTS])
def test_non_ascii_text_gives_its_result(call, expected):
    assert call() == expected


# The checks of the whole text other than UTF-8: a byte order mark, a NUL or
# a lone carriage return, a missing final line feed; and a verdict quoting
# non-ASCII text.
FAILURES = [
    ("mark", lambda: bezo.compile("\ufeffa=\u00e9\n"), bezo.BezoError, "BOM_ERROR"),
    ("NUL", lambda: bezo.fmt("a=\u00e9\nb=\0\n"), bezo.BezoError, "INVALID_CHARACTER_ERROR (line 2)"),
    ("carriage return", lambda: bezo.build("a=\u00e9\rb\n"), bezo.BezoError, "INVALID_CHARACTER_ERROR (line 1)"),
    ("final line feed", lambda: bezo.infer("a=\u00e9", "s"), bezo.BezoError, "MISSING_FINAL_EOL_ERROR"),
    ("schema mark", lambda: bezo.validate(".!nezo\n", "\ufeff.!hezo s\n"), bezo.BezoError, "schema: BOM_ERROR"),
    ("schema NUL", lambda: bezo.compile_schema(".!hezo s\n\n!str\n\u00e9=\0\n"), bezo.BezoError,
     "INVALID_CHARACTER_ERROR (line 4)"),
    ("build's schema final line feed", lambda: bezo.build("a=1\n", ".!hezo s\n\n!str\na=\u00e9"), bezo.BezoError,
     "MISSING_FINAL_EOL_ERROR"),
    ("verdict", lambda: bezo.validate(".!nezo\n!int'::name=\u00e9\u00e9\u00e9\n", INT_SCHEMA), bezo.ValidationError,
     "ConstraintViolationError: ::name=\u00e9\u00e9\u00e9 (type !int) violates !int /^-?[0-9]+$/ ..num (line 2)"),
]


@pytest.mark.parametrize("call, error, message", [row[1:] for row in FAILURES], ids=[row[0] for row in FAILURES])
def test_whole_text_checks_still_fire(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert type(raised.value) is error
    assert str(raised.value) == message
