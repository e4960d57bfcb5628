"""Imported schemas take every spelling of a number that their peers take, and
a "." that matches no line end: jsonschema and xmlschema are the judges."""
import json
import random
from decimal import Decimal

import jsonschema
import pytest
import xmlschema

import bezo

NS = "http://www.w3.org/2001/XMLSchema"


def json_verdicts(schema, data_text, required=True):
    """(bezo's verdict, jsonschema's verdict) on the JSON text `data_text` as
    the value of a property x of that schema (a dict, or JSON text that keeps
    its numbers as spelled)."""
    schema_text = schema if isinstance(schema, str) else json.dumps(schema)
    root_text = '{"properties": {"x": ' + schema_text + '}, "required": ' + ('["x"]' if required else "[]") + "}"
    root = json.loads(root_text)
    hezo = bezo.import_schema("jsonschema", root_text, "t")
    document = '{"x":' + data_text + "}"
    try:
        bezo.validate(bezo.build(bezo.import_from("json", document), hezo), hezo)
        ours = True
    except bezo.BezoError:
        ours = False
    checker = jsonschema.FormatChecker()
    return ours, jsonschema.Draft202012Validator(root, format_checker=checker).is_valid(json.loads(document))


def xsd_of_element(type_name=None, facets="", base=None, occurs=""):
    simple = ""
    typed = f' type="{type_name}"' if type_name else ""
    if base:
        simple = f'<xs:simpleType><xs:restriction base="{base}">{facets}</xs:restriction></xs:simpleType>'
    return (f'<xs:schema xmlns:xs="{NS}"><xs:element name="R"><xs:complexType><xs:sequence>'
            f'<xs:element name="e"{typed}{occurs}>{simple}</xs:element></xs:sequence>'
            '<xs:attribute name="a"><xs:simpleType><xs:restriction base="xs:int"><xs:enumeration value="3"/>'
            '</xs:restriction></xs:simpleType></xs:attribute></xs:complexType></xs:element></xs:schema>')


def xml_verdicts(xsd, text, attribute=""):
    """(bezo's verdict, xmlschema's verdict) on <R><e>text</e></R>, with the
    optional attribute a when given."""
    xml = f"<R{attribute}><e>{text}</e></R>"
    hezo = bezo.import_schema("xsd", xsd, "t")
    try:
        bezo.validate(bezo.build(bezo.import_from("xml", xml), hezo), hezo)
        ours = True
    except bezo.BezoError:
        ours = False
    return ours, xmlschema.XMLSchema(xsd).is_valid(xml)


def enumeration(*values):
    return "".join(f'<xs:enumeration value="{value}"/>' for value in values)


@pytest.mark.parametrize("schema, data, valid", [
    # Numbers compare by value.
    ({"enum": [1, 2]}, "1.0", True),
    ({"enum": [1, 2]}, "1e0", True),
    ({"enum": [1, 2]}, "2", True),
    ({"enum": [1, 2]}, "3", False),
    ({"enum": [1, 2]}, "1.5", False),
    ({"type": "number", "enum": [1.5, 2]}, "2.0", True),
    ({"type": "number", "enum": [1.5, 2]}, "15e-1", True),
    ({"type": "number", "enum": [1.5, 2]}, "1.25", False),
    ({"type": "integer", "enum": [10, -3]}, "1.0E1", True),
    ({"type": "integer", "enum": [10, -3]}, "-3.00", True),
    ({"type": "integer", "enum": [10, -3]}, "3", False),
    ({"const": 0}, "-0.0", True),
    ({"const": 0}, "0.001", False),
    ({"enum": ["1", "2"]}, '"1"', True),
    ({"enum": ["1", "2"]}, '"1.0"', False),
    # Values that cannot pass the type leave the numbers compared by value.
    ({"type": "number", "enum": [1, "a"]}, "1.0", True),
    ({"type": "number", "enum": [1, "a"]}, '"a"', False),
    ({"type": "integer", "enum": [1, "a", True]}, "1.0", True),
    ({"type": "integer", "enum": [1, "a", True]}, "true", False),
    ({"type": ["integer", "null"], "enum": [1, None]}, "1.0", True),
    ({"type": ["integer", "null"], "enum": [1, None]}, "null", True),
    ({"type": ["integer", "null"], "enum": [1, None]}, "2", False),
    ({"type": "integer", "enum": [1.5, 2]}, "1.5", False),
    ({"type": "integer", "enum": [1.5, 2]}, "2.0", True),
    ({"type": "integer", "enum": [15e-1, 2e0]}, "2", True),
    # "." matches any character but a line end, in a class or escaped a dot.
    ({"type": "string", "pattern": "^a.b$"}, '"axb"', True),
    ({"type": "string", "pattern": "^a.b$"}, '"a\\nb"', False),
    ({"type": "string", "pattern": "^a.b$"}, '"a\\u2603b"', True),
    ({"type": "string", "pattern": "^a[.]b$"}, '"a.b"', True),
    ({"type": "string", "pattern": "^a[.]b$"}, '"axb"', False),
    ({"type": "string", "pattern": "^a\\.b$"}, '"a.b"', True),
    ({"type": "string", "pattern": "^a\\.b$"}, '"axb"', False),
    ({"type": "string", "pattern": "x.*y"}, '"x\\ny"', False),
    ({"type": "string", "pattern": "x.*y"}, '"_x..y_"', True),
    ({"type": "string", "pattern": "^\\\\.[^].].$"}, '"\\\\x/y"', True),
    ({"type": "string", "pattern": "^\\\\.[^].].$"}, '"\\\\\\ny/"', False),
    ({"type": "string", "pattern": "^\\\\.[^].].$"}, '"\\\\x]y"', False),
])
def test_json_schema_rows_agree_with_jsonschema(schema, data, valid):
    assert json_verdicts(schema, data) == (valid, valid)


def test_an_optional_numeric_enumeration_takes_its_spellings_and_null():
    assert json_verdicts({"enum": [1, 2]}, "2.0", required=False) == (True, True)
    assert json_verdicts({"enum": [1, 2]}, "4", required=False) == (False, False)


INTEGER_TYPES = ["integer", "long", "int", "short", "byte", "unsignedLong", "unsignedInt", "unsignedShort",
                 "unsignedByte", "positiveInteger", "nonNegativeInteger"]


@pytest.mark.parametrize("xsd, text, valid", [
    (xsd_of_element(base="xs:decimal", facets=enumeration("-37", "-36")), "-36.0", True),
    (xsd_of_element(base="xs:decimal", facets=enumeration("-37", "-36")), "-036.", True),
    (xsd_of_element(base="xs:decimal", facets=enumeration("-37", "-36")), "36", False),
    (xsd_of_element(base="xs:int", facets=enumeration("5", "7")), "05", True),
    (xsd_of_element(base="xs:int", facets=enumeration("5", "7")), "+5", True),
    (xsd_of_element(base="xs:int", facets=enumeration("5", "7")), "5.0", False),
    (xsd_of_element(base="xs:int", facets=enumeration("5", "7")), "6", False),
    (xsd_of_element(base="xs:double", facets=enumeration("1.5", "INF")), "15E-1", True),
    (xsd_of_element(base="xs:double", facets=enumeration("1.5", "INF")), "INF", True),
    (xsd_of_element(base="xs:double", facets=enumeration("1.5", "INF")), "-INF", False),
    # Lexical forms of the numeric built-ins.
    *[(xsd_of_element(f"xs:{name}"), "+5", True) for name in INTEGER_TYPES],
    *[(xsd_of_element(f"xs:{name}"), "5.", False) for name in INTEGER_TYPES],
    (xsd_of_element("xs:byte"), "+0128", False),
    (xsd_of_element("xs:negativeInteger"), "+5", False),
    # A "+" does not carry an integer past a bound beyond doubles.
    (xsd_of_element("xs:long"), "+9223372036854775808", False),
    (xsd_of_element("xs:long"), "+09223372036854775807", True),
    (xsd_of_element("xs:unsignedLong"), "+18446744073709551616", False),
    (xsd_of_element("xs:unsignedLong"), "+18446744073709551615", True),
    (xsd_of_element(base="xs:integer", facets='<xs:minInclusive value="9007199254740993"/>'), "+9007199254740992", False),
    (xsd_of_element(base="xs:integer", facets='<xs:minInclusive value="9007199254740993"/>'), "+9007199254740993", True),
    (xsd_of_element("xs:negativeInteger"), "-05", True),
    (xsd_of_element("xs:decimal"), "5.", True),
    (xsd_of_element("xs:decimal"), "+1.5", True),
    (xsd_of_element("xs:decimal"), ".5", True),
    (xsd_of_element("xs:decimal"), "1e3", False),
    (xsd_of_element("xs:decimal"), "+", False),
    (xsd_of_element(base="xs:integer", facets='<xs:minInclusive value="3"/>'), "+4", True),
    (xsd_of_element(base="xs:integer", facets='<xs:minInclusive value="3"/>'), "+2", False),
    (xsd_of_element(base="xs:decimal", facets='<xs:maxInclusive value="2.5"/>'), "+2.", True),
    (xsd_of_element(base="xs:decimal", facets='<xs:maxInclusive value="2.5"/>'), "2.51", False),
    (xsd_of_element(base="xs:double", facets='<xs:minInclusive value="0"/>'), "+2.", True),
    # "." matches any character but a line end; in a class or escaped, a dot.
    (xsd_of_element(base="xs:string", facets='<xs:pattern value="a.b"/>'), "axb", True),
    (xsd_of_element(base="xs:string", facets='<xs:pattern value="a.b"/>'), "a&#10;b", False),
    (xsd_of_element(base="xs:string", facets='<xs:pattern value="a[.]b"/>'), "a.b", True),
    (xsd_of_element(base="xs:string", facets='<xs:pattern value="a[.]b"/>'), "axb", False),
    (xsd_of_element(base="xs:string", facets='<xs:pattern value="a\\.b"/>'), "axb", False),
    (xsd_of_element(base="xs:string", facets='<xs:pattern value=".+"/>'), "x&#10;y", False),
])
def test_xsd_rows_agree_with_xmlschema(xsd, text, valid):
    assert xml_verdicts(xsd, text) == (valid, valid)


OPTIONAL_DECIMALS = xsd_of_element(base="xs:decimal", facets=enumeration("1.5", "2"), occurs=' minOccurs="0"')


@pytest.mark.parametrize("text, attribute, valid", [
    ("2.0", ' a="+03"', True),
    ("1.50", "", True),
    ("1.25", "", False),
    ("2", ' a="4"', False),
])
def test_optional_numeric_enumerations_take_their_spellings(text, attribute, valid):
    assert xml_verdicts(OPTIONAL_DECIMALS, text, attribute) == (valid, valid)


# Generated enumerations: random members (whole numbers, decimals, negative
# ones), spelled at random in the schema and in the data, with values beside
# them that are no members. Both judges must agree on every one.

def random_value(rng, whole):
    value = Decimal(rng.randint(-60, 60))
    if not whole and rng.random() < 0.6:
        value += Decimal(rng.randint(1, 99)).scaleb(-rng.choice([1, 2]))
    return value


def random_spelling(rng, value, fraction, exponent, json_style):
    """A spelling of `value`: signs, leading and trailing zeros, a point and
    an exponent as the grammar allows them."""
    suffix = ""
    if exponent and rng.random() < 0.5:
        shift = rng.choice([rng.randint(-3, 3), value.adjusted()]) if value else rng.randint(-3, 3)
        value = value.scaleb(-shift)
        sign = rng.choice(["", "+", "-"]) if shift == 0 else ("-" if shift < 0 else rng.choice(["", "+"]))
        suffix = rng.choice("eE") + sign + "0" * (0 if json_style else rng.randint(0, 2)) + str(abs(shift))
    text = format(value, "f")
    negative = text.startswith("-")
    whole, _, part = text.lstrip("-").partition(".")
    if fraction and rng.random() < 0.5:
        part += "0" * rng.randint(1 if json_style else 0, 2)
    if not json_style:
        whole = "0" * rng.randint(0, 2) + whole
        if fraction and whole.strip("0") == "" and part and rng.random() < 0.5:
            whole = ""
    sign = "-" if negative else ("" if json_style else rng.choice(["", "+"]))
    if negative and value == 0 and rng.random() < 0.5:
        sign = ""
    return sign + whole + ("." + part if part or (fraction and not json_style and rng.random() < 0.2) else "") + suffix


def neighbours(rng, members):
    member = rng.choice(members)
    return [member + 1, member - Decimal("0.5"), -member, member * 10, random_value(rng, False)]


XSD_BASES = [("xs:int", False, False), ("xs:integer", False, False), ("xs:decimal", True, False),
             ("xs:double", True, True)]


def xsd_cases(count, seed=41):
    rng = random.Random(seed)
    cases = []
    while len(cases) < count:
        base, fraction, exponent = rng.choice(XSD_BASES)
        members = list({random_value(rng, not fraction) for _ in range(rng.randint(1, 5))})
        facets = enumeration(*(random_spelling(rng, m, fraction, exponent, False) for m in members))
        xsd = xsd_of_element(base=base, facets=facets, occurs=rng.choice(["", ' minOccurs="0"']))
        for value in [rng.choice(members), rng.choice(members)] + neighbours(rng, members)[:2]:
            value_fraction = fraction or rng.random() < 0.1
            cases.append((xsd, random_spelling(rng, value, value_fraction, exponent, False)))
    return cases


def json_cases(count, seed=41):
    rng = random.Random(seed)
    cases = []
    while len(cases) < count:
        whole = rng.random() < 0.5
        members = list({random_value(rng, whole) for _ in range(rng.randint(1, 5))})
        member_texts = [random_spelling(rng, m, True, True, True) for m in members]
        words = ['"integer"', None] if whole else ['"number"', None]
        word = rng.choice(words)
        keyword = '"enum": [' + ", ".join(member_texts) + "]"
        if len(members) == 1 and rng.random() < 0.5:
            keyword = '"const": ' + member_texts[0]
        schema_text = "{" + (f'"type": {word}, ' if word else "") + keyword + "}"
        required = rng.random() < 0.7
        for value in [rng.choice(members), rng.choice(members)] + neighbours(rng, members)[:2]:
            cases.append((schema_text, random_spelling(rng, value, True, True, True), required))
    return cases


@pytest.mark.parametrize("xsd, text", xsd_cases(160))
def test_generated_xsd_enumerations_agree_with_xmlschema(xsd, text):
    ours, peer = xml_verdicts(xsd, text)
    assert ours == peer


@pytest.mark.parametrize("schema_text, data, required", json_cases(160))
def test_generated_json_schema_enumerations_agree_with_jsonschema(schema_text, data, required):
    ours, peer = json_verdicts(schema_text, data, required)
    assert ours == peer


def test_an_enumeration_too_long_for_a_pattern_is_noted_and_dropped():
    values = list(range(0, 30000, 7))
    schema = {"type": "integer", "enum": values, "minimum": 0}
    root = json.dumps({"properties": {"x": schema}, "required": ["x"]})
    assert bezo.import_schema("jsonschema", root, "t").partition("\n\n")[2].splitlines() == [
        "// dropped: enum of numbers too large for a pattern of their spellings", "!int[0,]", "x="]
    assert json_verdicts(schema, "29995") == (True, True)
    assert json_verdicts(schema, "-7") == (False, False)
    xsd = xsd_of_element(base="xs:int", facets=enumeration(*values))
    assert "// dropped: enumeration of numbers too large for a pattern of their spellings" in \
        bezo.import_schema("xsd", xsd, "t").splitlines()
    assert xml_verdicts(xsd, "+0029995") == (True, True)
