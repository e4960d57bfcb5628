"""import_from("yaml") judged against libyaml's own loader on generated documents.

Each document is written by PyYAML's dumper (random width, scalar style,
flow style, Unicode and line ends) or by a template that aims at the corners
of the scalar styles: escaped line breaks and blanks, backslash and quote
runs, block scalars with indicators and chomping, empty block scalars beside
siblings, anchors and merge keys. The answer is yaml.CSafeLoader's reading
with plain scalars resolved by the YAML 1.2 core schema, as the import
resolves them. Documents never hold NEL, LS or PS, which libyaml alone takes
for line breaks (test_yaml_interchange.py checks them).

The same documents, with keys and scalars of many forms, are also imported
with a harmless alias before them, which takes the reading through the
node tree and its conversion instead of the compact tree: the rest of the
authored text must not change.
"""
import json
import os
import random
import re

import yaml

import bezo

DOCUMENTS = 5_000
SEED = 20260


class CoreSchemaLoader(yaml.CSafeLoader):
    """libyaml's loader with the YAML 1.2 core schema for plain scalars, and
    mapping keys turned into texts as the import turns them."""

    def key_text(self, node):
        if not isinstance(node, yaml.ScalarNode):
            raise yaml.constructor.ConstructorError(None, None, "collection key", node.start_mark)
        key = self.construct_object(node)
        if isinstance(key, bool):
            return "true" if key else "false"
        if isinstance(key, float):
            return node.value
        if key is None:
            raise yaml.constructor.ConstructorError(None, None, "null key", node.start_mark)
        return str(key)

    def construct_mapping(self, node, deep=False):
        self.flatten_mapping(node)
        return {self.key_text(key): self.construct_object(value, deep=deep) for key, value in node.value}


CoreSchemaLoader.yaml_implicit_resolvers = {}
for tag, pattern, first in [
    ("null", r"~|null|Null|NULL|", list("~nN") + [""]),
    ("bool", r"true|True|TRUE|false|False|FALSE", list("tTfF")),
    ("int", r"[-+]?[0-9]+|0o[0-7]+|0x[0-9a-fA-F]+", list("-+0123456789")),
    ("float", r"[-+]?(\.[0-9]+|[0-9]+(\.[0-9]*)?)([eE][-+]?[0-9]+)?|[-+]?\.(inf|Inf|INF)|\.nan|\.NaN|\.NAN",
     list("-+0123456789.")),
    ("merge", r"<<", ["<"]),
]:
    CoreSchemaLoader.add_implicit_resolver(f"tag:yaml.org,2002:{tag}", re.compile(f"^(?:{pattern})$"), first)


def construct_core_int(loader, node):
    text = loader.construct_scalar(node)
    if text.startswith(("0o", "0x")):
        return int(text[2:], 8 if text[1] == "o" else 16)
    return int(text, 10)


def construct_core_bool(loader, node):
    return loader.construct_scalar(node).lower() == "true"


CoreSchemaLoader.add_constructor("tag:yaml.org,2002:int", construct_core_int)
CoreSchemaLoader.add_constructor("tag:yaml.org,2002:bool", construct_core_bool)

WORD_CHARACTERS = "abcxyz019_-. :#'\"\\\t/é€𝄞$|=&*!%@`?,[]{}>"
KEY_CHARACTERS = "abcxyz019_- é.:/"


def word(rng, characters, most):
    return "".join(rng.choice(characters) for _ in range(rng.randint(1, most)))


def text_value(rng):
    parts = [word(rng, WORD_CHARACTERS, 12) for _ in range(rng.randint(1, 6))]
    return rng.choice([" ", "  ", "\n", " \n ", "\n\n"]).join(parts) if rng.random() < 0.4 else "".join(parts)


# Strings that YAML 1.1 reads as text but the YAML 1.2 core schema may not,
# or the other way round: the dumper leaves some of them plain.
WORDS_OF_BOTH_SCHEMAS = ["0o17", "0x1F", "0x1f", "017", "+1", "-0", "1e5", ".5", "1.", "1_000", "12:30", "2001-12-14",
                         "yes", "No", "on", "True", "nULL", "~", ".NaN", "+.inf", "<<", "=", "0b101"]


def scalar(rng):
    kind = rng.randrange(8)
    if kind == 7:
        return rng.choice(WORDS_OF_BOTH_SCHEMAS)
    if kind == 0:
        return rng.randint(-2**63, 2**63 - 1)
    if kind == 1:
        return rng.choice([0.5, -1.25, 1e-5, 3.0e20, -0.0, 123.456])
    if kind == 2:
        return rng.choice([True, False, None])
    return text_value(rng)


def data(rng, depth=0):
    if depth >= 3 or rng.random() < 0.3:
        return scalar(rng)
    if rng.random() < 0.5:
        return [data(rng, depth + 1) for _ in range(rng.randint(0, 4))]
    return {word(rng, KEY_CHARACTERS, 8).strip() or "k": data(rng, depth + 1) for _ in range(rng.randint(0, 4))}


def dumped(rng):
    document = {f"k{i}": data(rng) for i in range(rng.randint(1, 5))}
    return yaml.safe_dump(document, width=rng.choice([10, 20, 40, 80, 1000]),
                          default_style=rng.choice([None, None, '"', "'", "|", ">"]),
                          allow_unicode=rng.random() < 0.5, default_flow_style=rng.choice([False, True, None]),
                          line_break=rng.choice(["\n", "\r\n"]), sort_keys=False)


def blanks(rng):
    return rng.choice(["", " ", "  ", "\t", " \t"])


def template(rng):
    """A small document aimed at one corner of the scalar styles."""
    run = "\\" * rng.randint(1, 5)
    quotes = "''" * rng.randint(1, 3)
    indicator = rng.choice(["|", ">"]) + rng.choice(["", "-", "+"]) + rng.choice(["", "2"])
    gap = rng.choice(["", "\n", "  \n"])
    forms = [
        f'k: "a{run}\n  b"\n',
        f'k: "a{run}{blanks(rng)}\n{blanks(rng)}\n  b"\n',
        f'k: "a\\ \n  b"\nj: x\n',
        f'k: "a{run}\\\n  {blanks(rng)}\n\n  b{run}"\n',
        f'k: "a\r\n  {blanks(rng)}"\r\nj: 1\r\n',
        f"k: 'a{quotes}b'\n",
        f"k: '{quotes}'\nj: '{blanks(rng)}\n  {quotes} x'\n",
        f"k: {indicator}\n  line one\n\n  {blanks(rng)}line two\n{gap}j: 2\n",
        f"k:\n  a: {indicator}\n  b: 1\n",
        f"k:\n  - {indicator}\n  - x\n",
        f"k: {indicator}\n",
        f"k: |2\n\n  {blanks(rng)}x\n",
        f"base: &b {{x: 1, y: {run}}}\nchild:\n  <<: *b\n  y: 3\n",
        f"a: &a {{k: 1}}\nb: &b {{k: 2, j: '{quotes}'}}\nc:\n  <<: [*a, *b]\n  m: *a\n",
        f"a: &s [1, {{b: &t \"x{run}y\"}}]\nc: *s\nd: *t\n",
    ]
    return rng.choice(forms)


def imported(text):
    return json.loads(bezo.export_to("json", bezo.build(bezo.import_from("yaml", text))))


def typed(value):
    """The value with each scalar's type beside it, for True, 1 and 1.0 are
    equal in Python."""
    if isinstance(value, dict):
        return {key: typed(item) for key, item in value.items()}
    if isinstance(value, list):
        return [typed(item) for item in value]
    return type(value).__name__, value


def reading(read, text):
    try:
        return "value", typed(read(text))
    except (yaml.YAMLError, bezo.BezoError) as error:
        return "refused", type(error).__name__


def document_count():
    slow_factor = float(os.environ.get("BEZO_TEST_SLOW_FACTOR", "1"))
    return DOCUMENTS if slow_factor <= 1 else max(1_000, int(DOCUMENTS / slow_factor))


def test_import_reads_generated_documents_as_libyaml_does():
    rng = random.Random(SEED)
    differences = []
    for _ in range(document_count()):
        text = dumped(rng) if rng.random() < 0.6 else template(rng)
        ours = reading(imported, text)
        theirs = reading(lambda t: yaml.load(t, Loader=CoreSchemaLoader), text)
        if ours[0] == theirs[0] == "refused":
            continue
        if ours != theirs:
            differences.append((text, ours, theirs))
    assert differences == []


# Scalars and keys whose reading depends on resolution, tags and style.
SCALAR_FORMS = ["-0", "+12", "0o17", "0x1F", "1.50", "+1.5", "1.", "1e400", "123456789012345678901234", "TRUE", "~", "",
                ".NaN", "-.Inf", ".Nan", "2001-12-14", "!!str 12", "!!int 0x1F", "!!float 1", "!!binary aGk=", "! 12",
                "'<<'", '"a\\0b\\x85\\N"', "|-\n  x", "[1, {a: b}]", "{}", "x\u2028y"]
KEY_FORMS = ["a", "1", "-0", "0x1F", "1.50", "true", "'<<'", '"1"', "!!str 1", "? a\n", "x\x85y"]


def keyed_document(rng):
    """A block mapping of keys and scalars of many forms, keys repeated."""
    members = [f"{rng.choice(KEY_FORMS)}: {rng.choice(SCALAR_FORMS)}" for _ in range(rng.randint(1, 6))]
    return "\n".join(members) + "\n"


def authored_reading(text, shifted_lines=0):
    """The authored text, or the failure with its line numbers moved up."""
    try:
        return bezo.import_from("yaml", text)
    except bezo.BezoError as error:
        return re.sub(r"line (\d+)", lambda m: f"line {int(m.group(1)) - shifted_lines}", str(error))


# Most documents are read straight into a compact tree, those with an alias
# into nodes that are then converted: a harmless alias before a document
# must not change how the rest of it imports.
def test_an_alias_changes_nothing_else_in_a_document():
    rng = random.Random(SEED + 1)
    alias = "zz0: &zz q\nzz1: *zz\n"
    differences = []
    for _ in range(document_count() // 2):
        text = rng.choice([dumped, template, keyed_document])(rng)
        if text.startswith("{"):  # a flow mapping takes no member before it
            continue
        direct = authored_reading(text)
        with_alias = authored_reading(alias + text, shifted_lines=2).replace("zz0=q\nzz1=q\n", "", 1)
        if direct != with_alias:
            differences.append((text, direct, with_alias))
    assert differences == []
