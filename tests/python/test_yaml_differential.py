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
import math
import os
import random
import re

import yaml

import bezo
from yaml_schemas import CoreSchemaLoader, load_yaml_1_1, load_yaml_1_2

DOCUMENTS = 5_000
SEED = 20260


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


# --- surrogate escapes, explicit tags, null and repeated keys -------------
#
# Each form is written twice: as import_from reads it, and as libyaml can
# read it, where a surrogate pair's escapes become the one "\U" escape of
# their character (libyaml refuses surrogate escapes; a lone one stays, so
# both refuse it). Elsewhere the two texts are the same.

def pair_escapes(character):
    code = ord(character) - 0x10000
    return f"\\u{0xD800 + (code >> 10):04x}", f"\\u{0xDC00 + (code & 0x3FF):04X}"


def surrogate_form(rng, key=False, lone=False):
    character = rng.choice(["\U0001F600", "\U00010000", "\U0010FFFF", "\U0001D11E"])
    high, low = pair_escapes(character)
    around = rng.choice(["", "x", " é ", "\\\\"])
    if lone:
        return (rng.choice([f'"{around}{high}"', f'"{low}{high}"', f'"{high}{high}{low}"', f'"{low}"']),) * 2
    if not key and rng.random() < 0.1:  # an escaped line break between them
        return f'"{high}\\\n  {low}"', f'"\\U{ord(character):08X}"'
    return rng.choice([
        (f'"{around}{high}{low}{around}"', f'"{around}\\U{ord(character):08X}{around}"'),
        (f'"{high}{low}{high}{low}"', f'"\\U{ord(character):08X}\\U{ord(character):08X}"'),
        (f"'{high}{low}'",) * 2,
        (f"x{high}{low}",) * 2,
        (f'"\\\\{high}"',) * 2,
    ])


# Scalars and collections under every core tag, and plain ones; those a
# YAML 1.2 reader refuses apart.
TAGGED = [
    "!!float 3", "!!float -0", "!!float +12", "!!float -12345678901234567890", "!!float '7'", "!!float 1.50",
    "!!float 1e3", "!!float .5", "!!float .inf", "!!float -.Inf", "!!int 0x1F", "!!int 0o17", "!!int '-007'",
    "!!int 123456789012345678901234", "!!bool false", "!!bool TRUE", "!!null ~", "!!null ''", "!!null null",
    "!!str 12", "!!str true", "!!str ~", "!!str ''", "!!map {a: 1}", "!!seq [1, x]", "!!map {}", "!!seq []",
    "[!!float 3, !!str 4, !!null ~]", "{!!int 1: !!bool false}",
    "3", "1.5", "-0", "0x1F", "x y", "~", "true", "'1'", "''", ".inf",
]
MISFIT_TAGGED = ["!!float x", "!!float 0x1F", "!!float 1_0", "!!int 1.5", "!!int x", "!!bool yes", "!!bool 1",
                 "!!null 0", "!!null x", "!!map 5", "!!seq x", "!!map [1]", "!!seq {a: 1}", "!!str [1]",
                 "!!int {a: 1}"]
# Keys, in classes of spellings of one key.
KEY_CLASSES = [["a"], ["b"], ["'1'", "!!str 1"], ["31", "0x1F", "!!int 0x1F", "+31"], ["1.5", "1.50", "!!float 1.5"],
               ["0", "-0"], ["true", "True", "!!bool true"], ["false"], ["~", "null", "!!null ''", "!!null ~"],
               ["3.0", "!!float 3"], ["!!str a b"], ["'<<'"]]
MISFIT_KEYS = ["''", '"a\\nb"', "!!int x", "!!float x", "? |\n  k\n"]


def value_form(rng):
    if rng.random() < 0.04:
        return surrogate_form(rng, lone=True)
    if rng.random() < 0.04:
        form = rng.choice(MISFIT_TAGGED)
        return form, form
    if rng.random() < 0.2:
        return surrogate_form(rng)
    form = rng.choice(TAGGED)
    return form, form


def mapping_lines(rng, indent):
    """The members of one block mapping, as (ours, theirs) lines: distinct
    keys, now and then one repeated in another spelling of its class, a
    surrogate key, a key no authored text holds, a merge key."""
    classes = rng.sample(KEY_CLASSES, rng.randint(1, 4))
    keys = [(form, form) for form in (rng.choice(keys) for keys in classes)]
    if rng.random() < 0.1:
        keys.append((rng.choice(rng.choice(classes)),) * 2)
    if rng.random() < 0.15:
        keys.append(surrogate_form(rng, key=True))
    if rng.random() < 0.03:
        keys.append((rng.choice(MISFIT_KEYS),) * 2)
    if indent == "" and rng.random() < 0.2:
        keys.append(("<<", "<<"))
    rng.shuffle(keys)
    lines = []
    for ours_key, their_key in keys:
        if ours_key == "<<":
            lines.append(("<<: *base", "<<: *base"))
        elif indent == "" and rng.random() < 0.2:
            inner = mapping_lines(rng, "  ")
            lines.append((f"{ours_key}:\n" + "\n".join(o for o, _ in inner),
                          f"{their_key}:\n" + "\n".join(t for _, t in inner)))
        else:
            value = value_form(rng)
            lines.append((f"{ours_key}: {value[0]}", f"{their_key}: {value[1]}"))
    return [(indent + o.replace("\n", "\n" + indent), indent + t.replace("\n", "\n" + indent)) for o, t in lines]


def tagged_document(rng):
    """A block mapping of keys and values of many forms, beside an anchored
    mapping its merge keys bring in."""
    lines = [("base: &base {a: 1, '1': 2, x: 3}",) * 2] + mapping_lines(rng, "")
    return "\n".join(o for o, _ in lines) + "\n", "\n".join(t for _, t in lines) + "\n"


def carried(value):
    """The oracle's value as a JSON export carries it: a non-finite float
    is imported as its std/num marker, which JSON writes as a string."""
    if isinstance(value, dict):
        return {key: carried(item) for key, item in value.items()}
    if isinstance(value, list):
        return [carried(item) for item in value]
    if isinstance(value, float) and not math.isfinite(value):
        return "nan" if math.isnan(value) else ("inf" if value > 0 else "-inf")
    return value


def typed_exactly(value):
    """typed(), with floats compared by their bits' spelling, so that -0.0
    and 0.0 differ and NaN equals NaN."""
    if isinstance(value, dict):
        return {key: typed_exactly(item) for key, item in value.items()}
    if isinstance(value, list):
        return [typed_exactly(item) for item in value]
    return type(value).__name__, repr(value)


def outcome(read, text):
    try:
        return "value", typed_exactly(read(text))
    except (yaml.YAMLError, bezo.BezoError):
        return "refused", None


def imported_after_an_alias(text):
    """The import of the text through the node tree: an alias before it."""
    value = imported("zz0: &zz q\nzz1: *zz\n" + text)
    return {key: item for key, item in value.items() if key not in ("zz0", "zz1")}


def test_tags_keys_and_surrogate_escapes_read_as_yaml_1_2_reads_them():
    rng = random.Random(SEED + 2)
    counts = {"equal": 0, "refused by both": 0}
    differences = []
    for _ in range(document_count()):
        ours_text, their_text = tagged_document(rng)
        theirs = outcome(lambda t: carried(load_yaml_1_2(t)), their_text)
        for read in (imported, imported_after_an_alias):
            ours = outcome(read, ours_text)
            if ours != theirs:
                differences.append((ours_text, read.__name__, ours, theirs))
            else:
                counts["equal" if ours[0] == "value" else "refused by both"] += 1
    print(f"\nimport differential: {counts}, differences {len(differences)}")
    assert differences == []
    # The generator reaches both outcomes often.
    assert min(counts.values()) > document_count() // 4


# --- export read back by YAML 1.1 and YAML 1.2 readers ---------------------

# Every spelling of a JSON float: integer-valued, with and without a point,
# an exponent with and without a sign and in either case, subnormal, the
# largest double.
FLOAT_SPELLINGS = ["0.0", "-0.0", "3.0", "1e300", "1E300", "1e+300", "1.5e5", "2.5e-05", "1.5E-7", "0.0E308",
                   "1e0", "-1e-0", "4.9e-324", "2.2250738585072014e-308", "1.7976931348623157e308",
                   "-1.7976931348623157e308", "123456.789", "1e16", "1.0000000000000002e20", "0.1", "1e22",
                   "12345678901234567890.5"]
# Strings that YAML 1.1 or YAML 1.2 readers resolve as something else.
RESOLVED_STRINGS = ["y", "Y", "n", "N", "yes", "No", "ON", "off", "true", "False", "null", "Null", "~", "", "<<", "=",
                    "0x1F", "0o17", "017", "0b101", "1_000", "1:30", "190:20:30.15", "2001-12-14",
                    "2001-12-14t21:59:43.10-05:00", "2001-12-14 21:59:43.10 -5", ".inf", "-.Inf", ".NaN", "1e3",
                    "1.5", "+1", "-0", ".5", "1.", "1e", "+.inf", "12e03", "0.", "-", "- a", "? x", "a: b", "#c",
                    "@x", "`x", "!x", "&x", "*x", "%x", "'x", '"x', "x #y", " x", "x ", "\t", "1_0.5", "0x_1F"]


def json_value(rng, depth=0):
    kind = rng.randrange(8 if depth < 3 else 5)
    if kind == 0:
        return rng.choice(FLOAT_SPELLINGS)
    if kind == 1:
        return json.dumps(rng.choice(RESOLVED_STRINGS))
    if kind == 2:
        return rng.choice(["0", "-12", "9223372036854775807", "-9223372036854775808", "123456789012345678901234567890",
                           "true", "false", "null"])
    if kind in (3, 4):
        return json.dumps(rng.choice(RESOLVED_STRINGS) + rng.choice(["", " x", "\U0001F600"]))
    if kind == 5:
        return "[" + ", ".join(json_value(rng, depth + 1) for _ in range(rng.randint(1, 4))) + "]"
    keys = rng.sample(RESOLVED_STRINGS, rng.randint(1, 4))
    return "{" + ", ".join(f"{json.dumps(key or 'k')}: {json_value(rng, depth + 1)}" for key in keys) + "}"


def test_export_reads_back_alike_under_yaml_1_1_and_yaml_1_2():
    rng = random.Random(SEED + 3)
    counts = {"YAML 1.1 equal": 0, "YAML 1.2 equal": 0}
    differences = []
    for _ in range(document_count()):
        keys = rng.sample(RESOLVED_STRINGS, rng.randint(1, 5))
        source = "{" + ", ".join(f"{json.dumps(key or 'k')}: {json_value(rng)}" for key in keys) + "}"
        exported = bezo.export_to("yaml", bezo.build(bezo.import_from("json", source)))
        expected = typed_exactly(json.loads(source))
        for name, load in (("YAML 1.1", load_yaml_1_1), ("YAML 1.2", load_yaml_1_2)):
            if typed_exactly(load(exported)) == expected:
                counts[f"{name} equal"] += 1
            else:
                differences.append((source, exported, name))
    print(f"\nexport read back: {counts}, differences {len(differences)}")
    assert differences == []
