"""bezo.denormalize: relational text to canonical text (reference resolution)."""
import json

import pytest

import bezo

CANONICAL = [
    ("declaration alone", ".!lezo\n", ".!nezo\n"),
    ("rest of the declaration dropped", "  .!lezo 1.0\n!str'::a=1\n", ".!nezo\n!str'::a=1\n"),
    ("every declaration line rewritten", ".!lezo\n.!lezo\tx\n", ".!nezo\n.!nezo\n"),
    ("#! line copied", "#!run\n.!lezo\n", "#!run\n.!nezo\n"),
    ("doubled dollar", ".!lezo\n!str'::x=a$$b\n", ".!nezo\n!str'::x=a$b\n"),
    ("backward reference", ".!lezo\n!str'::a=1\n!str'::b=$a\n", ".!nezo\n!str'::a=1\n!str'::b=1\n"),
    ("trailing characters scanned again", ".!lezo\n!str'::a=1\n!str'::b=x$a/\n", ".!nezo\n!str'::a=1\n!str'::b=x1/\n"),
    ("path references", ".!lezo\n!str'/srv::p=80\n!str'/srv/0::q=1\n!str'::b=$srv::p:$/srv/0::q\n",
     ".!nezo\n!str'/srv::p=80\n!str'/srv/0::q=1\n!str'::b=80:1\n"),
    ("chains resolve to the final text", ".!lezo\n!str'::a=1\n!str'::b=<$a>\n!str'::c=$b$b\n",
     ".!nezo\n!str'::a=1\n!str'::b=<1>\n!str'::c=<1><1>\n"),
    ("latest value of a repeated path", ".!lezo\n!str'::a=1\n!str'::a=2\n!str'::b=$a\n",
     ".!nezo\n!str'::a=1\n!str'::a=2\n!str'::b=2\n"),
    ("empty value referenced", ".!lezo\n!str'::a=\n!str'::b=[$a]\n", ".!nezo\n!str'::a=\n!str'::b=[]\n"),
    ("line endings kept per line", ".!lezo\r\n!str'::a=1\r\n!str'::b=$a\n!str'::c=2",
     ".!nezo\r\n!str'::a=1\r\n!str'::b=1\n!str'::c=2"),
    ("unit shorthand of a content line kept", ".!lezo\n!:m'/a::len=5\n", ".!nezo\n!:m'/a::len=5\n"),
    ("unit shorthand of another line expanded", ".!lezo\n  !:m\n", ".!nezo\n  !float:m\n"),
    ("header and comment lines copied", ".!lezo\n.!units u\n# $x\n// $y\n.?z\n\n", ".!nezo\n.!units u\n# $x\n// $y\n.?z\n\n"),
    ("verbatim", ".!lezo\n.!verbatim\n!str'::a=$$1\n!str'::b=$x\n", ".!nezo\n!str'::a=$$1\n!str'::b=$x\n"),
    ("quoted key with = and $ kept", ".!lezo\n!str'::b=1\n!str'::\"a=$b\"=x\n", ".!nezo\n!str'::b=1\n!str'::\"a=$b\"=x\n"),
    ("quoted key referenced", ".!lezo\n!str'::\"a=b\"=x\n!str'::c=y\n", ".!nezo\n!str'::\"a=b\"=x\n!str'::c=y\n"),
]


@pytest.mark.parametrize("relational, expected", [row[1:] for row in CANONICAL], ids=[row[0] for row in CANONICAL])
def test_denormalize(relational, expected):
    assert bezo.denormalize(relational) == expected


ERRORS = [
    ("no declaration", "!str'::a=1\n", "FORMAT_KIND_ERROR (line 1)"),
    ("canonical declaration", ".!nezo\n", "FORMAT_KIND_ERROR (line 1)"),
    ("declaration after #!", "#!run\n!str'::a=1\n", "FORMAT_KIND_ERROR (line 2)"),
    ("forward reference", ".!lezo\n!str'::b=$a\n!str'::a=1\n", "UndefinedReferenceError"),
    ("lone dollar", ".!lezo\n!str'::b=$\n", "UndefinedReferenceError"),
    ("dollar before a separator only", ".!lezo\n!str'::b=$/:\n", "UndefinedReferenceError"),
    ("unresolved variable", ".!lezo\n!str'::a=1\n!str'::x=$a$.v\n", "unresolved variable in .lezo: $a$.v"),
    ("verbatim with an argument", ".!lezo\n.!verbatim on\n", "VerbatimContextError"),
    ("verbatim twice", ".!lezo\n.!verbatim\n.!verbatim\n", "VerbatimContextError"),
    ("verbatim after content", ".!lezo\n!str'::a=1\n.!verbatim\n", "VerbatimContextError"),
    ("missing schema", ".!lezo\n.!schema:none\n", "SchemaResolutionError"),
    # references that double at every line are stopped before memory runs out
    ("doubling references", ".!lezo\n!str'::a0=ab\n" + "".join(f"!str'::a{i + 1}=$a{i}$a{i}\n" for i in range(40)),
     "reference expansion too large: more than 1 GiB of substituted text"),
]


@pytest.mark.parametrize("relational, message", [row[1:] for row in ERRORS], ids=[row[0] for row in ERRORS])
def test_denormalize_error(relational, message):
    with pytest.raises(bezo.BezoError) as raised:
        bezo.denormalize(relational)
    assert type(raised.value) is bezo.BezoError
    assert str(raised.value) == message


# The directives count on lines of their own only, after any blanks and tabs.
@pytest.mark.parametrize("head", [
    ".!registry acme={path}\n.!schema:acme/s\n",
    " \t.!registry acme={path}\n\t.!schema:acme/s\n",
    ".!registry acme={path}\n!str'::v=.!schema:acme/none\n.!schema:acme/s\n",
], ids=["plain", "after blanks", "directive text in a value"])
def test_a_named_schema_expands_the_document(tmp_path, head):
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "s.whezo").write_text(".!whezo acme/s\n/^/'::a=\n/^/'::b?=2\n")
    head = head.format(path=tmp_path)
    assert bezo.denormalize(f".!lezo\n{head}!str'::a=1\n") == f".!nezo\n{head}!str'::a=1\n!str'::b=2\n"


def test_json_keys_survive_the_round_trip():
    source = {"b": "1", "a=$b": "x", "c": "$b costs $$"}
    canonical = bezo.denormalize(bezo.compile(bezo.import_from("json", json.dumps(source))))
    assert json.loads(bezo.export_to("json", canonical)) == source
