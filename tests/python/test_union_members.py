"""Union members under validate, strings embedded as JSON by the importers,
and build and validate agreeing on imported data."""
import base64
import json

import jsonschema
import pytest

import bezo
from interchange_support import verdict


def field_schema(annotation, name="n"):
    return f".!hezo s\n{annotation}\n{name}=\n"


UNION_ROWS = [
    # a single annotation takes another plain type when its constraints pass
    ("str under int", "!str'::n=3", "!int", None),
    ("int under float", "!int'::n=2", "!float", None),
    # a union member takes what it takes alone
    ("str under null|int", "!str'::n=3", "!null|int", None),
    ("str under null|float", "!str'::n=3", "!null|float", None),
    ("int under null|float", "!int'::n=3", "!null|float", None),
    ("int under an extended real", "!int'::n=2", "!float|std/num/inf|std/num/nan", None),
    ("str inf under an extended real", "!str'::n=-inf", "!float|std/num/inf|std/num/nan", None),
    ("date text under null|date", "!str'::n=2024-01-01", "!null|std/time/date", None),
    ("str under the second of two ranges", "!str'::n=15", "!int[0,5]|float[10,20]", None),
    # an exact name still wins, and then its constraints decide
    ("null under null|int", "!null'::n=", "!null|int", None),
    ("int under int|str", "!int'::n=x", "!int|str", "ConstraintViolationError"),
    ("null with a value under null|int", "!null'::n=3", "!null|int", "ConstraintViolationError"),
    # no member takes the line
    ("letters under null|int", "!str'::n=abc", "!null|int", "TypeMismatchError"),
    ("str never meets null", "!str'::n=", "!null|int", "TypeMismatchError"),
    ("str never meets a text member", "!str'::n=a", "!null|text", "TypeMismatchError"),
    ("str never meets an encoded member", "!str'::n=AAAA", "!null|std/enc/bin", "TypeMismatchError"),
    ("text never meets an int member", "!text'::n=3", "!null|int", "TypeMismatchError"),
    ("null never meets an int member", "!null'::n=", "!str[a,b]|int", "TypeMismatchError"),
    ("outside both ranges", "!str'::n=7", "!int[0,5]|float[10,20]", "TypeMismatchError"),
    ("unit no member has", "!int:m'::n=3", "!null|float", "TypeMismatchError"),
    ("unit of the member", "!int:m'::n=3", "!null|float:m", None),
]


@pytest.mark.parametrize("line, annotation, failure", [row[1:] for row in UNION_ROWS], ids=[row[0] for row in UNION_ROWS])
@pytest.mark.parametrize("compiled", [False, True], ids=["authored", "compiled"])
def test_union_members(line, annotation, failure, compiled):
    schema = field_schema(annotation)
    if compiled:
        schema = bezo.compile_schema(schema)
    found = verdict(f".!nezo\n{line}\n", schema)
    if failure is None:
        assert found is None
    else:
        assert found is not None and found.startswith(failure + ": "), found


def test_union_mismatch_keeps_its_message():
    assert verdict(".!nezo\n!str'::n=abc\n", field_schema("!null|int")) == (
        "TypeMismatchError: ::n=abc (type !str) does not satisfy !null(/^$/)|int(/^-?[0-9]+$/..num) (line 2)")


def embedded(text):
    """The base64url value that carries the text as a JSON string."""
    return base64.urlsafe_b64encode(json.dumps(text).encode()).decode().rstrip("=")


URI = "http://host/a$b"
EMBEDDED_ROWS = [
    ("dollar under a length", "$5", "!str#[,10]", None),
    ("dollar over a length", "$12345", "!str#[,3]", "ConstraintViolationError"),
    ("dollar under a pattern", "$5", "!str/^\\$[0-9]+$/", None),
    ("dollar against a pattern", "$5", "!str/^[0-9]+$/", "ConstraintViolationError"),
    ("CR LF text under str", "a\r\nb", "!str#[4,4]", None),
    ("CR LF text under text", "a\r\nb", "!text", None),
    ("line break mark under text", "a\n|:|b", "!text", "DelimiterCollisionError"),
    ("NUL under str", "a\0b", "!str#{3}", None),
    ("uri holding a dollar", URI, "!std/net/uri", None),
    ("url holding a dollar", URI, "!std/net/url", None),
    ("not a uri", "$ no uri", "!std/net/uri", "ConstraintViolationError"),
    ("under an optional string", "$5", "!null|str#[,10]", None),
    ("under an optional uri", URI, "!null|std/net/uri", None),
    ("CR LF text under an optional text", "a\r\nb", "!null|text", None),
    ("CR LF text under text or null", "a\r\nb", "!text|null", None),
    ("line break mark under an optional text", "a\n|:|b", "!null|text", "TypeMismatchError"),
    ("still a json field", "$5", "!std/enc/json", None),
    ("json field checks the encoded text", "$5", "!std/enc/json#[,2]", "ConstraintViolationError"),
    ("an int field expects no string", "$5", "!int", "TypeMismatchError"),
    ("an optional int expects no string", "$5", "!null|int", "TypeMismatchError"),
    ("another encoded field", "$5", "!std/enc/bin", "TypeMismatchError"),
]


@pytest.mark.parametrize("text, annotation, failure", [row[1:] for row in EMBEDDED_ROWS],
                         ids=[row[0] for row in EMBEDDED_ROWS])
def test_embedded_json_strings(text, annotation, failure):
    document = f".!nezo\n!std/enc/json'::a={embedded(text)}\n"
    found = verdict(document, field_schema(annotation, "a"))
    if failure is None:
        assert found is None
    else:
        assert found is not None and found.startswith(failure + ": "), found
        assert f"::a={embedded(text)[:40]}" in found and "(type !std/enc/json)" in found


@pytest.mark.parametrize("payload", ["5", "null", '["$5"]', '{"a":"$5"}'], ids=["number", "null", "array", "object"])
def test_embedded_json_of_another_kind_is_no_string(payload):
    value = base64.urlsafe_b64encode(payload.encode()).decode().rstrip("=")
    found = verdict(f".!nezo\n!std/enc/json'::a={value}\n", field_schema("!str", "a"))
    assert found == f"TypeMismatchError: ::a={value} (type !std/enc/json) does not satisfy !str (line 2)"


def imported_schema(properties, required=()):
    return bezo.import_schema("jsonschema", json.dumps(
        {"type": "object", "properties": properties, "required": list(required)}), name="s")


def test_dollar_string_built_against_a_bounded_string():
    schema = imported_schema({"a": {"type": "string", "maxLength": 10}}, ["a"])
    built = bezo.build(bezo.import_from("json", '{"a": "$5"}'), schema)
    assert "!std/enc/json'::a=IiQ1Ig" in built
    assert verdict(built, schema) is None
    assert verdict(built, bezo.compile_schema(schema)) is None


OPTIONAL_FIELDS = {
    "i": {"type": "integer"},
    "f": {"type": "number"},
    "s": {"type": "string", "maxLength": 8},
    "u": {"type": "string", "format": "uri"},
}

IMPORTED_DOCUMENTS = [
    ("all present", {"i": 3, "f": 2.5, "s": "plain", "u": "http://h/p"}),
    ("float given as an integer", {"f": 2}),
    ("float with an exponent", {"f": 1e5}),
    ("negative numbers", {"i": -4, "f": -0.5}),
    ("strings embedded as json", {"s": "$x", "u": "http://h/$p"}),
    ("windows line ends", {"s": "a\r\nb"}),
    ("nothing present", {}),
    ("integer given as a fraction", {"i": 2.5}),
    ("integer given as text", {"i": "abc"}),
    ("number given as text", {"f": "$1"}),
    ("string too long", {"s": "$123456789"}),
    ("string given as a number", {"s": 5}),
]


@pytest.mark.parametrize("data", [row[1] for row in IMPORTED_DOCUMENTS], ids=[row[0] for row in IMPORTED_DOCUMENTS])
def test_build_and_validate_agree_on_imported_data(data):
    """A document imported from JSON and built against the imported schema
    is valid exactly when the JSON is valid under the JSON Schema (format is
    checked by neither side here, so the uri's text is a valid uri)."""
    json_schema = {"type": "object", "properties": OPTIONAL_FIELDS}
    schema = imported_schema(OPTIONAL_FIELDS)
    expected_valid = jsonschema.Draft7Validator(json_schema).is_valid(data)
    built = bezo.build(bezo.import_from("json", json.dumps(data)), schema)
    found = verdict(built, schema)
    assert (found is None) == expected_valid, found


# A string under a union with a text member: build keeps "!str" exactly where
# validate takes it so, from a member before the text member or when the text
# line would be refused; otherwise it writes "!text". Either way the built
# line passes.
RETYPED_ROWS = [
    ("empty under null|text", "!null|text", "", "text"),
    ("empty under int|null|text", "!int|null|text", "", "text"),
    ("empty under null|int|text", "!null|int|text", "", "text"),
    ("empty under bool|null|text", "!bool|null|text", "", "text"),
    ("empty under null|text with a length", "!null|text#[0,3]", "", "text"),
    ("number under int|null|text", "!int|null|text", "5", "str"),
    ("boolean under bool|null|text", "!bool|null|text", "true", "str"),
    ("number under int|text", "!int|text", "5", "str"),
    ("number under text|int", "!text|int", "5", "text"),
    ("fraction after the text member", "!int|text|float", "1.5", "text"),
    ("fraction the first text member refuses", "!int|text/^x/|text|float", "1.5", "str"),
    ("word the first text member takes", "!int|text/^x/|text|float", "xy", "text"),
]


@pytest.mark.parametrize("annotation, value, kept", [row[1:] for row in RETYPED_ROWS],
                         ids=[row[0] for row in RETYPED_ROWS])
def test_build_writes_a_string_under_a_text_union_as_validate_takes_it(annotation, value, kept):
    schema = field_schema(annotation)
    built = bezo.build(bezo.import_from("json", json.dumps({"n": value})), schema)
    assert built.endswith(f"\n!{kept}'::n={value}\n"), built
    assert verdict(built, schema) is None


STRING_UNIONS = ["!null|text", "!int|null|text", "!null|int|text", "!bool|null|text", "!null|text#[0,3]",
                 "!int|text/^x/|text|float", "!text|int", "!int|text|float", "!text/^x/|text", "!float|text#[2,]",
                 "!null|std/enc/bin|text", "!std/time/date|text"]
STRING_VALUES = ["", "5", "1.5", "true", "x", "xyz1", "AAAA", "2024-01-31", "a|:|b", "-0"]


@pytest.mark.parametrize("annotation", STRING_UNIONS)
def test_a_built_string_passes_where_the_unbuilt_one_does(annotation):
    """Where a JSON string validates as imported, the line that build
    writes against the schema validates too."""
    schema = field_schema(annotation)
    for value in STRING_VALUES:
        text = bezo.import_from("json", json.dumps({"n": value}))
        if verdict(bezo.build(text), schema) is not None:
            continue
        built = bezo.build(text, schema)
        assert verdict(built, schema) is None, (value, built)


# A union member chosen by build: for a document's own union annotation (the
# compiler writes the member with its constraints) and for a default added
# to an absent field (written with the member's name alone). A member that
# an earlier member of its name shadows is passed over, since validate
# checks a line of that type against the earlier one; it is still taken
# when no other member takes the value.
MEMBER_CHOICE_ROWS = [
    ("fraction is a float", "!int|text/^x/|text|float", "1.5", "!float", "!float", None),
    ("word of the first text member", "!int|text/^x/|text|float", "xy", "!text/^x/", "!text", None),
    ("only the shadowed member takes it", "!text/^x/|text", "ab", "!text", "!text", "ConstraintViolationError"),
    ("empty is null", "!int|null|text", "", "!null", "!null", None),
]


def built_from_document(annotation, value):
    return bezo.build(f"{annotation}\nn={value}\n"), field_schema(annotation), ".!nezo\n{}\n"


def built_with_default(annotation, value):
    schema = f".!hezo s\n{annotation}\nn?={value}\nm=\n"
    return bezo.build("m=1\n", schema), schema, ".!nezo\n.!schema:s\n{}\n!str'::m=1\n"


@pytest.mark.parametrize("annotation, value, compiled, added, failure", [row[1:] for row in MEMBER_CHOICE_ROWS],
                         ids=[row[0] for row in MEMBER_CHOICE_ROWS])
@pytest.mark.parametrize("road", [built_from_document, built_with_default], ids=["document", "default"])
def test_build_chooses_the_member_validate_checks(road, annotation, value, compiled, added, failure):
    built, schema, expected = road(annotation, value)
    signature = compiled if road is built_from_document else added
    assert built == expected.format(f"{signature}'::n={value}")
    found = verdict(built, schema)
    assert (found is None) if failure is None else found.startswith(failure + ": "), found
