"""Generated documents over JSON, YAML, TOML and XML data through the schema
inferred from them: tables mixing records with null, scalars, nested arrays,
{} and records of nested members only, columns of null, text, numbers and
empty strings. What build writes against the inferred schema passes
validate, and its JSON export is the input.

An inferred schema declares no optional field (a field missing from some
items is left out with a comment), so build adds no default: the export is
the input itself."""
import json
import random
import re

import pytest
import yaml

import bezo
from deadlines import SLOW_FACTOR

# Documents per format and seed; the sanitizer build runs a few of them.
DOCUMENTS = 200 if SLOW_FACTOR <= 1 else max(8, int(200 * 4 / SLOW_FACTOR))
SEEDS = range(3)
COLUMNS = ["a", "b", "u", "re", "t", "a b", "1x", "@k", "q\"t", "é"]
XML_NAMES = ["a", "b", "u", "re", "t", "é"]
UNION_VALUES = [None, "", "txt", 5, 1.5, "5", True, "a\nb", "-0", "true", "$5", "a|:|b", " pad "]
SCALARS = [0, 7, -3, 2.5, -0.25, "", "x", "a b", "1.5", "null", False, None, "l1\nl2"]


def scalar(draw, nulls):
    value = draw.choice(SCALARS)
    return scalar(draw, nulls) if value is None and not nulls else value


def record(draw, nulls, depth):
    """A record of a table: some of the table's columns, in their order or
    (rarely) shuffled, with nested members beside them now and then."""
    members = {name: draw.choice(UNION_VALUES) for name in COLUMNS if draw.random() < 0.7}
    if not nulls:
        members = {name: value for name, value in members.items() if value is not None}
    if depth < 2 and draw.random() < 0.2:
        members["o"] = draw.choice([{}, {"x": 1}, {"in": {"y": "z"}}])
    if depth < 2 and draw.random() < 0.1:
        members["sub"] = table(draw, nulls, depth + 1)
    if draw.random() < 0.1:
        members["vec"] = [draw.randint(0, 3) for _ in range(draw.randint(0, 3))]
    if draw.random() < 0.1:
        names = list(members)
        draw.shuffle(names)
        members = {name: members[name] for name in names}
    return members


def item(draw, nulls, depth):
    roll = draw.random()
    if roll < 0.6:
        return record(draw, nulls, depth)
    return draw.choice([None if nulls else 1, 4, "s", "", [1, 2], [], {}, {"o": {"x": 2}}, {"sub": [{"k": 1}]}])


def table(draw, nulls, depth=0):
    return [item(draw, nulls, depth) for _ in range(draw.randint(1, 6))]


def value(draw, nulls, depth=0):
    roll = draw.random()
    if roll < 0.3 or depth > 1:
        return scalar(draw, nulls)
    if roll < 0.45:
        return {name: value(draw, nulls, depth + 1) for name in draw.sample(COLUMNS, draw.randint(1, 3))}
    if roll < 0.8:
        return table(draw, nulls, depth)
    if roll < 0.95:
        return [scalar(draw, nulls) for _ in range(draw.randint(1, 4))]
    return draw.choice([[], {}])


def document(draw, nulls=True):
    return {f"k{i}": value(draw, nulls) for i in range(draw.randint(1, 5))}


class TomlTime(str):
    """A TOML date or time, written bare; it exports as its text."""


TOML_TIMES = [TomlTime("2024-01-31"), TomlTime("10:00:00"), TomlTime("2024-01-31T10:00:00Z")]


def toml_value(data):
    """TOML text of a value: inline tables and arrays (TOML has no null)."""
    if isinstance(data, TomlTime):
        return str(data)
    if isinstance(data, bool):
        return "true" if data else "false"
    if isinstance(data, (int, float)):
        return repr(data)
    if isinstance(data, str):
        return json.dumps(data)
    if isinstance(data, list):
        return "[" + ", ".join(toml_value(entry) for entry in data) + "]"
    return "{" + ", ".join(f"{toml_key(name)} = {toml_value(entry)}" for name, entry in data.items()) + "}"


def toml_key(name):
    return name if re.fullmatch("[A-Za-z0-9_-]+", name) else json.dumps(name)


def records_only(data):
    return isinstance(data, list) and data and all(isinstance(entry, dict) for entry in data)


def toml_lines(members):
    return "".join(f"{toml_key(name)} = {toml_value(entry)}\n" for name, entry in members.items())


def toml_text(data):
    """Root members, then the arrays of records among them as arrays of
    tables ("[[k]]"), which the import reads in pieces when only one
    follows."""
    text = toml_lines({name: entry for name, entry in data.items() if not records_only(entry)})
    for name, entry in data.items():
        if records_only(entry):
            text += "".join(f"[[{toml_key(name)}]]\n" + toml_lines(record) for record in entry)
    return text


def xml_data(draw, depth=0):
    """A value that XML text can hold as it is: strings without blanks at
    their ends, null (an empty element), records, and lists of at least two
    items that are no list (one element alone reads as itself)."""
    roll = draw.random()
    if roll < 0.3 or depth > 2:
        return draw.choice(["x", "5", "1.5", "a b", "true", None])
    if roll < 0.55:
        return {name: xml_data(draw, depth + 1) for name in draw.sample(XML_NAMES, draw.randint(1, 3))}
    items = []
    for _ in range(draw.randint(2, 5)):
        if draw.random() < 0.6:
            items.append({name: draw.choice(["1", "p", None]) for name in XML_NAMES[:4] if draw.random() < 0.7} or None)
        else:
            items.append(draw.choice([None, "s", {"o": {"x": "2"}}, {"@id": "i", "#text": "7"}]))
        if isinstance(items[-1], dict) and draw.random() < 0.2:
            items[-1] = {"@id": "j", **items[-1]}
    return items


def xml_element(name, data):
    if data is None:
        return f"<{name}/>"
    if isinstance(data, list):
        return "".join(xml_element(name, entry) for entry in data)
    if isinstance(data, dict):
        attributes = "".join(f' {key[1:]}="{entry}"' for key, entry in data.items() if key.startswith("@"))
        content = data.get("#text", "") + "".join(
            xml_element(key, entry) for key, entry in data.items() if key[0] not in "@#")
        return f"<{name}{attributes}>{content}</{name}>"
    return f"<{name}>{data}</{name}>"


def xml_document(draw):
    return {"r": {f"k{i}": xml_data(draw) for i in range(draw.randint(1, 5))}}


def json_source(draw):
    data = document(draw)
    return data, json.dumps(data)


def yaml_source(draw):
    data = document(draw)
    return data, yaml.safe_dump(data, sort_keys=False)


def with_times(draw, data):
    """The data with some scalars made TOML dates and times."""
    if isinstance(data, dict):
        return {name: with_times(draw, entry) for name, entry in data.items()}
    if isinstance(data, list):
        return [with_times(draw, entry) for entry in data]
    return draw.choice(TOML_TIMES) if draw.random() < 0.1 else data


def toml_source(draw):
    data = with_times(draw, document(draw, nulls=False))
    return data, toml_text(data)


def xml_source(draw):
    data = xml_document(draw)
    return data, xml_element("r", data["r"])


SOURCES = {"json": json_source, "yaml": yaml_source, "toml": toml_source, "xml": xml_source}


def same(found, expected):
    """Equal as JSON texts, so that true and 1 or 1 and 1.0 differ."""
    return json.dumps(found, sort_keys=True) == json.dumps(expected, sort_keys=True)


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("data_format", list(SOURCES))
def test_a_document_passes_the_schema_inferred_from_it(data_format, seed):
    draw = random.Random(f"{data_format}-{seed}")
    passed = 0
    for _ in range(DOCUMENTS):
        data, source = SOURCES[data_format](draw)
        text = bezo.import_from(data_format, source)
        schema = bezo.infer(text, "s")
        built = bezo.build(text, schema)
        assert bezo.validate(built, schema) is None, source
        exported = json.loads(bezo.export_to("json", built))
        assert same(exported, data), (source, exported)
        passed += 1
    assert passed == DOCUMENTS


NON_TEXT_MEMBERS = ["null", "int", "float", "bool", "std/time/date", "std/enc/bin"]
TEXT_MEMBERS = ["text", "text#[0,3]", "text/^x/", "text/[a-z]/"]
STRINGS = ["", "5", "1.5", "true", "x", "xyz", "abcd", "2024-01-31", "AAAA", "-0"]


# Where the string stands: a root field, a field of a table's records (which
# build reads entry by entry), an item of a list.
PLACES = {
    "root field": (lambda value: {"n": value}, "!{}\nn=\n"),
    "table column": (lambda value: {"t": [{"n": value}, {"n": value}]}, "[/@t]\n!{}\nn=\n[]\n"),
    "list item": (lambda value: {"t": [value, value]}, "!{}\n/@t;=\n"),
}


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("place", list(PLACES))
def test_a_string_that_passes_unbuilt_passes_built(place, seed):
    """Unions of generated members over JSON strings: where the imported
    line passes validate as it is, the line that build writes against the
    schema passes too."""
    draw = random.Random(f"{place}-{seed}")
    data, field = PLACES[place]
    checked = 0
    for _ in range(DOCUMENTS):
        members = draw.sample(NON_TEXT_MEMBERS, draw.randint(1, 3))
        for text_member in draw.sample(TEXT_MEMBERS, draw.randint(1, 2)):
            members.insert(draw.randint(0, len(members)), text_member)
        schema = ".!hezo s\n" + field.format("|".join(members))
        text = bezo.import_from("json", json.dumps(data(draw.choice(STRINGS))))
        try:
            bezo.validate(bezo.build(text), schema)
        except bezo.ValidationError:
            continue
        built = bezo.build(text, schema)
        assert bezo.validate(built, schema) is None, (schema, built)
        checked += 1
    assert checked > DOCUMENTS // 10
