"""YAML in and out through the module: import_from("yaml") and export_to("yaml")."""
import json
import math
import os
import re
import subprocess
import sys
import textwrap

import pytest
import yaml

import bezo
from deadlines import hang_guard
from interchange_support import b64, canonical, imports_as_json, payload, refused


def same_as_json(text, json_text):
    imports_as_json("yaml", text, json_text)


def imported(text):
    """The data of a YAML text after import, build and JSON export."""
    return json.loads(bezo.export_to("json", bezo.build(bezo.import_from("yaml", text))))


# --- import ---------------------------------------------------------------

@pytest.mark.parametrize("written, json_value", [
    ("1.50", "1.50"), ("+1.5", "1.5"), ("1.", "1.0"), ("-.5", "-0.5"), ("1e20", "1e20"),
    ("0x10", "16"), ("0o17", "15"), ("+12", "12"), ("-0009", "-9"),
    ("123456789012345678901234567890", "123456789012345678901234567890"),
    ("+1e999", '"+1e999"'), ("1_000", '"1_000"'), ("0x1p3", '"0x1p3"'),
    ("~", "null"), ("", "null"), ("True", "true"), ("FALSE", "false"), ("yes", '"yes"'),
    ("'42'", '"42"'), ("!!str 42", '"42"'), ("!!float '1.5'", "1.5"), ("!!int '7'", "7"),
    ("!!null ''", "null"), ("!!bool 'True'", "true"), ("!custom 5", "5"), ("! 12", '"12"'),
    ("[1, a, [b]]", '[1, "a", ["b"]]'), ("{b: c, d: [1]}", '{"b": "c", "d": [1]}'),
])
def test_import_resolves_scalars_by_the_core_schema(written, json_value):
    same_as_json(f"v: {written}\n", f'{{"v": {json_value}}}')


@pytest.mark.parametrize("written, literal, type_name", [
    (".inf", "inf", "inf"), ("+.INF", "inf", "inf"), ("-.Inf", "-inf", "inf"), (".NaN", "nan", "nan"),
])
def test_import_carries_non_finite_floats_as_std_num(written, literal, type_name):
    assert bezo.import_from("yaml", f"v: {written}\n") == f".!bezo\n.!types std/num\n\n&{type_name}\nv={literal}\n"


def test_import_key_kinds():
    same_as_json("1.50: a\n0x10: b\ntrue: c\n'x y': d\n", '{"1.50": "a", "16": "b", "true": "c", "x y": "d"}')


@pytest.mark.parametrize("text, json_text", [
    ("base: &b {x: 1, y: 2}\nchild:\n  <<: *b\n  y: 3\n",
     '{"base": {"x": 1, "y": 2}, "child": {"x": 1, "y": 3}}'),
    ("a: &a {k: 1}\nb: &b {k: 2, j: 3}\nc:\n  <<: [*a, *b]\n",
     '{"a": {"k": 1}, "b": {"k": 2, "j": 3}, "c": {"k": 1, "j": 3}}'),
    ("a: &a {k: 1, m: 2}\nc:\n  k: 0\n  <<: *a\n", '{"a": {"k": 1, "m": 2}, "c": {"k": 0, "m": 2}}'),
    ("c:\n  first: 0\n  <<: {x: 1}\n  last: 2\n", '{"c": {"first": 0, "x": 1, "last": 2}}'),
    ('c:\n  "<<": {x: 1}\n  <<: []\n', '{"c": {"<<": {"x": 1}}}'),
    ("a: &s [1, {b: &t x}]\nc: *s\nd: *t\n", '{"a": [1, {"b": "x"}], "c": [1, {"b": "x"}], "d": "x"}'),
])
def test_import_applies_merge_keys_and_copies_aliases(text, json_text):
    same_as_json(text, json_text)


@pytest.mark.parametrize("text, json_text", [
    ('c:\n  "<<": {x: 1}\n', '{"c": {"<<": {"x": 1}}}'),
    ("c:\n  '<<': {x: 1}\n  y: 2\n", '{"c": {"<<": {"x": 1}, "y": 2}}'),
    ("c:\n  !!str <<: {x: 1}\n", '{"c": {"<<": {"x": 1}}}'),
    ("c:\n  ! <<: {x: 1}\n", '{"c": {"<<": {"x": 1}}}'),
    ('c: {"<<": 1, <<: {x: 2}}\n', '{"c": {"<<": 1, "x": 2}}'),
    ("c:\n  \"<<\": 5\n", '{"c": {"<<": 5}}'),
])
def test_import_takes_only_the_plain_untagged_merge_key(text, json_text):
    same_as_json(text, json_text)


@pytest.mark.parametrize("data", [{"<<": {"c": 1}, "d": 2}, {"<<": 1}, {"x": [{"<<": None}]}])
def test_an_exported_merge_key_spelling_reads_back_as_a_key(data):
    exported = bezo.export_to("yaml", payload(data))
    same_as_json(exported, json.dumps({"v": data}))


# Each YAML 1.2 line break stand-in of YAML 1.1 (NEL, LS, PS) is content in
# every scalar style.
@pytest.mark.parametrize("char", ["\x85", "\u2028", "\u2029"], ids=["NEL", "LS", "PS"])
@pytest.mark.parametrize("written, value", [
    ("x{c}y", "x{c}y"), ("x{c} y{c}", "x{c} y{c}"), ("{c}", "{c}"),
    ("'x{c}y'", "x{c}y"), ("' {c} '", " {c} "),
    ('"x{c}y"', "x{c}y"), ('"x{c}\n  y"', "x{c} y"),
    ("|\n  x{c}y\n", "x{c}y\n"), ("|-\n  {c}\n", "{c}"),
    (">\n  x{c}\n  y\n", "x{c} y\n"),
])
def test_import_keeps_nel_ls_and_ps_as_content(char, written, value):
    same_as_json(f"v: {written.format(c=char)}\n", json.dumps({"v": value.format(c=char)}))


@pytest.mark.parametrize("char", ["\x85", "\u2028", "\u2029"], ids=["NEL", "LS", "PS"])
@pytest.mark.parametrize("written, key", [
    ("x{c}y: 1\n", "x{c}y"), ("'{c}': 1\n", "{c}"), ('"a{c}": 1\n', "a{c}"), ("? |-\n  k{c}\n: 1\n", "k{c}"),
    ("{{a{c}: 1}}\n", "a{c}"), ("k{c}: &a 1\nj: *a\n", "k{c}"),
])
def test_import_keeps_nel_ls_and_ps_in_keys(char, written, key):
    assert imported(written.format(c=char))[key.format(c=char)] == 1


# A stand-in for NEL, LS and PS is never one the text writes itself; NEL,
# LS and PS written or escaped stay as they are, neither folding a plain
# scalar nor ending a comment.
@pytest.mark.parametrize("text, json_value", [
    ('a: "x\x85\\U000F0000\U000F0001"\n', {"a": "x\x85\U000F0000\U000F0001"}),
    ('a: "\u2028\\U000f0000"\nb: \U000F0001\n', {"a": "\u2028\U000F0000", "b": "\U000F0001"}),
    ('k: "\\N\x85\\x85\\u2028\u2028\\L\\P\u2029\\U00000085"\n',
     {"k": "\x85\x85\x85\u2028\u2028\u2028\u2029\u2029\x85"}),
    ("k: x\x85\n  y\u2028\n  z\n", {"k": "x\x85 y\u2028 z"}),
    ("k: v # c\x85 y: z\nj: w\n", {"k": "v", "j": "w"}),
])
def test_import_keeps_code_points_beside_nel_ls_and_ps(text, json_value):
    assert imported(text) == json_value


# Escapes, folding and block scalars that an earlier YAML library read wrong.
@pytest.mark.parametrize("text, json_value", [
    ('k: "a\\\\\\\n  b"\n', {"k": "a\\b"}),
    ('k: "a\\ \n  b"\n', {"k": "a  b"}),
    ('k: "a\\\\\t\n  b"\n', {"k": "a\\ b"}),
    ('k: "a\\\n  \n\n  b"\n', {"k": "a\n\nb"}),
    ('k: "a\r\n  "\r\n', {"k": "a "}),
    ("k: 'a''''b'\n", {"k": "a''b"}),
    ("k:\n  a: |\n  b: 1\n", {"k": {"a": "", "b": 1}}),
    ("k:\n  - |-\n  - x\n", {"k": ["", "x"]}),
    ("k: |2\n\n  \t\n", {"k": "\n\t\n"}),
])
def test_import_reads_escapes_folding_and_block_scalars(text, json_value):
    assert imported(text) == json_value


@pytest.mark.parametrize("escape, char", [("\\N", "\x85"), ("\\L", "\u2028"), ("\\P", "\u2029")])
def test_import_reads_the_escapes_of_nel_ls_and_ps(escape, char):
    same_as_json(f'v: "a{escape}b"\n', json.dumps({"v": f"a{char}b"}))


# Texts whose meaning differs between YAML 1.1 and YAML 1.2 readers.
@pytest.mark.parametrize("text, json_text", [
    ("?foo: bar\n", '{"?foo": "bar"}'),
    ("k: ! 12\n", '{"k": "12"}'),
    ("k: 017\nl: yes\n", '{"k": 17, "l": "yes"}'),
])
def test_import_reads_yaml_1_2(text, json_text):
    same_as_json(text, json_text)


# What the YAML library, a YAML 1.1 reader, reads otherwise than YAML 1.2;
# the README names each.
@pytest.mark.parametrize("text, json_text", [
    ("{ ?foo: bar,\nbar: 42\n}\n", '{"foo": "bar", "bar": 42}'),
    ("key: &an:chor value\n", '{"key": ":chor value"}'),
    ("foo: |\n  x\n   ", '{"foo": "x\\n "}'),
    ('foo: "bar\n\tbaz"\n', '{"foo": "bar baz"}'),
    ('key: "value"# no blank\n', '{"key": "value"}'),
    ("block: ># comment\n  scalar\n", '{"block": "scalar\\n"}'),
    ("flow: [a,\nb]\n", '{"flow": ["a", "b"]}'),
])
def test_import_reads_some_texts_as_yaml_1_1(text, json_text):
    same_as_json(text, json_text)


# Plain scalars on one line are read straight from the text; their bounds
# must leave out blanks, comments, line ends and a byte order mark.
@pytest.mark.parametrize("text, json_text", [
    ("\ufeffa: b c  \n", '{"a": "b c"}'),
    ("a: b\t# c\nd: e #f\n", '{"a": "b", "d": "e"}'),
    ("a: b c\r\nd: -e\r\n", '{"a": "b c", "d": "-e"}'),
    ("a: [b , c\t, d e ]\n", '{"a": ["b", "c", "d e"]}'),
    ("a: {b : c d , e: f}\n", '{"a": {"b": "c d", "e": "f"}}'),
    ("a: x\ty\n", '{"a": "x\\ty"}'),
    ("a: x\n  y\n\n  z\n", '{"a": "x y\\nz"}'),
    ("a: ét é \n", '{"a": "ét é"}'),
    ("a: !!str  b\nc: &x  y\nd: *x\n", '{"a": "b", "c": "y", "d": "y"}'),
])
def test_import_takes_plain_scalars_without_their_surroundings(text, json_text):
    same_as_json(text, json_text)


# A block scalar without content lines is empty, also where it ends the text;
# a double-quoted "\0" is the one way to write NUL.
@pytest.mark.parametrize("text, json_text", [
    ("k: |\n", '{"k": ""}'),
    ("k: >\n", '{"k": ""}'),
    ("k: |+\n", '{"k": ""}'),
    ("k: >2\n", '{"k": ""}'),
    ("k: |-\n", '{"k": ""}'),
    ("k:\n  - |\n", '{"k": [""]}'),
    ("k: >\nj: 1\n", '{"k": "", "j": 1}'),
    ("k: |\n  a\n", '{"k": "a\\n"}'),
    ('k: "\\0"\n', '{"k": "\\u0000"}'),
])
def test_import_of_empty_block_scalars(text, json_text):
    same_as_json(text, json_text)


@pytest.mark.parametrize("text, message", [
    ("a:\n\tb: c\n", "invalid YAML: found character that cannot start any token at line 2, column 1"),
    ("a: [b\n\t, c]\n", "invalid YAML: found a tab character that violates indentation at line 2, column 1"),
    ("foo: |\n \tbar\n",
     "invalid YAML: found a tab character where an indentation space is expected at line 2, column 2"),
    ("--- |0\n", "invalid YAML: found an indentation indicator equal to 0 at line 1, column 6"),
    ("k: &a\U0001f601 v\n", "invalid YAML: did not find expected alphabetic or numeric character at line 1, column 6"),
    ("a: \x7f\n", "invalid YAML: control characters are not allowed at line 1, column 4"),
    ("é: ok\nb: x\x80\n", "invalid YAML: control characters are not allowed at line 2, column 5"),
    ("a: \ufffe\n", "invalid YAML: control characters are not allowed at line 1, column 4"),
    ("a: 1\rb: x\x01\n", "invalid YAML: control characters are not allowed at line 2, column 5"),
    ("a: 1\r\n\rb: \x01\n", "invalid YAML: control characters are not allowed at line 3, column 4"),
    ('a: "\x85\u2028\x01"\n', "invalid YAML: control characters are not allowed at line 1, column 7"),
    ("a: \x85 \u2028 b: c\n", "invalid YAML: mapping values are not allowed in this context at line 1, column 9"),
])
def test_import_refuses_what_the_reader_refuses(text, message, capfd):
    refused(lambda: bezo.import_from("yaml", text), message)
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("text, message", [
    ("", "empty YAML input"),
    ("# only a comment\n", "empty YAML input"),
    ("a: 1\n---\nb: 2\n", "expected one YAML document, found 2"),
    ("a: 1\n---\nb: [\n", "invalid YAML: did not find expected node content at line 4, column 1"),
    ("a: b: c\n", "invalid YAML: mapping values are not allowed in this context at line 1, column 5"),
    ("a: \x01\n", "invalid YAML: control characters are not allowed at line 1, column 4"),
    ("- 1\n", "root must be a YAML mapping"),
    ("? [1]\n: 1\n", "unsupported YAML mapping key: Array([Integer(1)])"),
    ("[1, a]: x\n", 'unsupported YAML mapping key: Array([Integer(1), String("a")])'),
    ("{a: 1.5}: x\n", 'unsupported YAML mapping key: Hash({String("a"): Real("1.5")})'),
    ("[*x, *long_name]: 1\n", 'unsupported YAML mapping key: Array([Alias("x"), Alias("long_name")])'),
    ("a: &a [1]\nb: {*a : 1}\n", "unsupported YAML mapping key: Array([Integer(1)])"),
    ("a: &a {x: 1}\nb: [? *a : 1]\n", 'unsupported YAML mapping key: Hash({String("x"): Integer(1)})'),
    ("a: *x\n? !!int 0x8000000000000000\n: 1\n", "unsupported YAML mapping key: BadValue"),
    ("a: *x\n", "unsupported YAML node"),
    ("a: &a [*a]\n", "unsupported YAML node"),
    ("x: &a 1\ny: &a {k: *a}\n", "unsupported YAML node"),
    ("a: !!int x\n", 'YAML scalar "x" does not match its tag !!int at line 1, column 4'),
    ("a: !!str [1]\n", "YAML sequence does not match its tag !!str at line 1, column 4"),
    ("a: 0x8000000000000000\n", "unsupported YAML node"),
    ("a:\n  <<: 1\n", "YAML merge key value must be a mapping or a sequence of mappings"),
    ("a:\n  <<: [{x: 1}, 2]\n", "YAML merge key value must be a mapping or a sequence of mappings"),
])
def test_import_refusals(text, message):
    refused(lambda: bezo.import_from("yaml", text), message)


NINE_BY_NINE = "a0: &a0 [x, x, x, x, x, x, x, x, x]\n" + "".join(
    f"a{i}: &a{i} [" + ", ".join([f"*a{i - 1}"] * 9) + "]\n" for i in range(1, 10))
MERGE_CHAIN = "a0: &a0 {x: 1}\n" + "".join(f"a{i}: &a{i} {{<<: *a{i - 1}, y{i}: 1}}\n" for i in range(1, 500))


@pytest.mark.parametrize("text", [
    pytest.param(NINE_BY_NINE, id="nodes"),
    pytest.param("a: &a " + "x" * 100_000 + "\nb: [" + "*a, " * 1000 + "]\n", id="text"),
    pytest.param(MERGE_CHAIN, id="merge-chain"),
])
def test_alias_expansion_is_bounded(text):
    refused(lambda: bezo.import_from("yaml", text), "YAML alias expansion too large")


def aliases_of_eight(count):
    return "a: &a [1, 2, 3, 4, 5, 6, 7, 8]\nb: [" + ", ".join(["*a"] * count) + "]\n"


# Within the node budget, copies are counted in bytes too: 110,000 aliases
# of eight items copy 990,000 nodes, fewer than the least node budget, but
# more bytes of tree than the least byte budget allows; 40,000 stay within.
def test_alias_copies_are_counted_in_bytes():
    refused(lambda: bezo.import_from("yaml", aliases_of_eight(110_000)), "YAML alias expansion too large")
    assert bezo.import_from("yaml", aliases_of_eight(40_000)).count("\n/@b+=") == 40_000


def test_many_merges_of_one_anchor_import():
    anchor = "base: &b {" + ", ".join(f"k{i}: {i}" for i in range(49)) + "}\n"
    text = anchor + "".join(f"m{i}:\n  <<: *b\n  own: {i}\n" for i in range(1000))
    assert "/m999::own=999\n" in bezo.import_from("yaml", text)


def test_nesting_is_bounded():
    assert "&json" in bezo.import_from("yaml", "a: " + "[" * 511 + "1" + "]" * 511 + "\n")
    refused(lambda: bezo.import_from("yaml", "a: " + "[" * 512 + "1" + "]" * 512 + "\n"), "YAML nesting too deep")
    refused(lambda: bezo.import_from("yaml", "[" * 2_000_000), "YAML nesting too deep")
    deep = "[" * 300 + "1" + "]" * 300
    refused(lambda: bezo.import_from("yaml", f"a: &a {deep}\nb: {deep.replace('1', '*a')}\n"), "YAML nesting too deep")


# Run in a child whose address space is capped, so that a reader whose
# memory grows with the nesting or with the aliases' expansion fails there.
BOUNDED_CHILD = textwrap.dedent("""
    import resource, sys
    import bezo
    text = sys.stdin.read()
    with open("/proc/self/status") as status:
        used = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
    resource.setrlimit(resource.RLIMIT_AS, (used + (256 << 20), used + (256 << 20)))
    try:
        bezo.import_from("yaml", text)
        print("imported")
    except bezo.BezoError as error:
        print(error)
""")

LAUGHS = "a0: &a0 [lol, lol, lol, lol, lol, lol, lol, lol, lol, lol]\n" + "".join(
    f"a{i}: &a{i} [" + ", ".join([f"*a{i - 1}"] * 10) + "]\n" for i in range(1, 12))


@pytest.mark.parametrize("text, message", [
    pytest.param("a: " + "[" * 100_000 + "]" * 100_000 + "\n", "YAML nesting too deep", id="deep-flow"),
    pytest.param("[" * 100_000, "YAML nesting too deep", id="deep-unclosed"),
    pytest.param("a: " + "{a: " * 100_000 + "}" * 100_000 + "\n", "YAML nesting too deep", id="deep-mapping"),
    pytest.param(LAUGHS, "YAML alias expansion too large", id="alias-bomb"),
    pytest.param(aliases_of_eight(1_000_000), "YAML alias expansion too large", id="many-aliases"),
])
def test_memory_stays_bounded(text, message):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    child = subprocess.run([sys.executable, "-c", BOUNDED_CHILD], input=text, capture_output=True, text=True,
                           env=env, timeout=hang_guard(120))
    assert (child.stdout.strip(), child.stderr) == (message, "")


# --- surrogate escapes, explicit tags, null and repeated keys ---------------

ALIAS_FIRST = "zz0: &zz q\nzz1: *zz\n"


def same_as_json_on_both_paths(text, json_text):
    """The text imports as the JSON text does, read straight into a tree and,
    with an alias before it, through the nodes and their conversion."""
    same_as_json(text, json_text)
    same_as_json(ALIAS_FIRST + text, '{"zz0": "q", "zz1": "q", ' + json_text[1:])


def refused_on_both_paths(text, message):
    refused(lambda: bezo.import_from("yaml", text), message)
    shifted = re.sub(r"line (\d+)", lambda m: f"line {int(m.group(1)) + 2}", message)
    refused(lambda: bezo.import_from("yaml", ALIAS_FIRST + text), shifted)


# JSON writes each character beyond U+FFFF as the escapes of its surrogate
# pair; YAML 1.2 reads them as that character wherever "\u" is an escape.
@pytest.mark.parametrize("text, json_value", [
    ('k: "\\ud83d\\ude00"\n', {"k": "\U0001F600"}),
    ('k: "a\\uD83D\\uDE00b\\uD83D\\uDE01\\ud83d\\ude00"\n', {"k": "a\U0001F600b\U0001F601\U0001F600"}),
    ('"\\uDBFF\\uDFFF": 1\n', {"\U0010FFFF": 1}),
    ('k: {"\\ud800\\udc00": ["\\ud800\\udc00"]}\n', {"k": {"\U00010000": ["\U00010000"]}}),
    ('k: "\\uD83D\\\n  \\uDE00"\n', {"k": "\U0001F600"}),
    ('k: "\\\\uD83D"\n', {"k": "\\uD83D"}),
    ('k: "\\\\\\ud83d\\ude00"\n', {"k": "\\\U0001F600"}),
    ("k: '\\uD83D\\uDE00'\nj: \\ud83d x\n", {"k": "\\uD83D\\uDE00", "j": "\\ud83d x"}),
    ("k: |\n  \\uD83D\\uDE00\n", {"k": "\\uD83D\\uDE00\n"}),
    ('k: "\\uD83D\\uDE00"\nj: \'\\uD83D\\uDE00\'\n', {"k": "\U0001F600", "j": "\\uD83D\\uDE00"}),
    ('k: "\\ue000\\U0000E001\\uD83D\\uDE00\ue002"\nj: \\uE003\n',
     {"k": "\ue000\ue001\U0001F600\ue002", "j": "\\uE003"}),
    ('k: "\x85\\uD83D\\uDE00\u2028"\n', {"k": "\x85\U0001F600\u2028"}),
    ('k: "\x85\\uDB80\\uDC00\\uDB80\\uDC01"\n', {"k": "\x85\U000F0000\U000F0001"}),
])
def test_import_reads_surrogate_pair_escapes(text, json_value):
    same_as_json_on_both_paths(text, json.dumps(json_value))


def test_import_reads_the_surrogate_escapes_json_dumps_writes():
    data = {"k\U0001F600": ["\U0001F600 \U00010000", {"\U0010FFFF": "x"}]}
    assert imported(json.dumps(data)) == data
    assert imported(json.dumps(data, separators=(",", ":"))) == data
    assert imported('{"k":"\\ud83d\\ude00"}') == {"k": "\U0001F600"}
    assert imported(json.dumps(data)) == json.loads(bezo.export_to("json", bezo.build(
        bezo.import_from("json", json.dumps(data)))))


@pytest.mark.parametrize("text, position, escape", [
    ('k: "x\\ud83d"\n', "at line 1, column 6", "\\ud83d"),
    ('a: 1\nb: "ok \\uDE00 x"\n', "at line 2, column 8", "\\uDE00"),
    ('k: "\\ude00\\ud83d"\n', "at line 1, column 5", "\\ude00"),
    ('k: "\\ud83d\\ud83d\\ude00"\n', "at line 1, column 5", "\\ud83d"),
    ('k: "é\x85\\uD800"\n', "at line 1, column 7", "\\uD800"),
    ('k: "\\uD83D\\uDE00 \\\\ \\uD83D"\n', "at line 1, column 21", "\\uD83D"),
    ('k: [1,\n  "\\uD83D\\uDE00",\n  "x\\udfff"]\n', "at line 3, column 5", "\\udfff"),
    ('k: "\\\\\\ud800"\n', "at line 1, column 7", "\\ud800"),
], ids=range(8))
def test_import_refuses_a_surrogate_escape_without_its_pair(text, position, escape):
    refused_on_both_paths(text, f"invalid YAML: found a surrogate escape {escape} without its pair {position}")


# The YAML library counts a byte-order mark as the first line's first column.
def test_a_lone_surrogate_escape_after_a_byte_order_mark_is_placed_as_the_library_places_errors():
    refused(lambda: bezo.import_from("yaml", '\ufeffk: "\\\\\\ud800"\n'),
            "invalid YAML: found a surrogate escape \\ud800 without its pair at line 1, column 8")
    refused(lambda: bezo.import_from("yaml", "\ufeffa: b: c\n"),
            "invalid YAML: mapping values are not allowed in this context at line 1, column 6")


# An explicit core tag decides the type as the YAML 1.2 core schema says.
@pytest.mark.parametrize("written, json_value", [
    ("!!float 3", "3.0"), ("!!float -0", "-0.0"), ("!!float +1", "1.0"), ("!!float '7'", "7.0"),
    ("!!float 100000000000000016000", "1.0000000000000002e20"), ("!!float 1.50", "1.50"), ("!!float 1e3", "1e3"),
    ("!!float 1" + "0" * 400, "1" + "0" * 400 + ".0"),
    ("!!int 0x1F", "31"), ("!!int '-007'", "-7"), ("!!bool FALSE", "false"), ("!!null ~", "null"),
    ("!!null ''", "null"), ("!!str 3", '"3"'), ("!!str true", '"true"'), ("!!str ~", '"~"'), ("!!str ''", '""'),
    ("!!map {a: 1}", '{"a": 1}'), ("!!seq [1, x]", '[1, "x"]'), ("!!set {a}", '{"a": null}'),
])
def test_import_lets_explicit_core_tags_decide_the_type(written, json_value):
    same_as_json_on_both_paths(f"a: {written}\nb: [{written}]\n", f'{{"a": {json_value}, "b": [{json_value}]}}')


def test_a_float_tag_on_an_integer_key_gives_the_float_text():
    same_as_json("!!float 100000000000000016000: 1\n!!float 3: 2\n",
                 '{"1.0000000000000002e20": 1, "3.0": 2}')


@pytest.mark.parametrize("text, message", [
    ("a: !!int x\n", 'YAML scalar "x" does not match its tag !!int at line 1, column 4'),
    ("a: !!int 1.5\n", 'YAML scalar "1.5" does not match its tag !!int at line 1, column 4'),
    ("a: !!float 0x1F\n", 'YAML scalar "0x1F" does not match its tag !!float at line 1, column 4'),
    ("a: !!float inf\n", 'YAML scalar "inf" does not match its tag !!float at line 1, column 4'),
    ("a: !!bool yes\n", 'YAML scalar "yes" does not match its tag !!bool at line 1, column 4'),
    ("a:\n  - !!null 0\n", 'YAML scalar "0" does not match its tag !!null at line 2, column 5'),
    ("a: !!map [1]\n", "YAML sequence does not match its tag !!map at line 1, column 4"),
    ("a: !!seq {b: 1}\n", "YAML mapping does not match its tag !!seq at line 1, column 4"),
    ("a:\n  b: !!seq\n    c: 1\n", "YAML mapping does not match its tag !!seq at line 2, column 6"),
    ("a: !!map 5\n", 'YAML scalar "5" does not match its tag !!map at line 1, column 4'),
    ("a: !!int {b: 1}\n", "YAML mapping does not match its tag !!int at line 1, column 4"),
    ("? !!bool x\n: 1\n", 'YAML scalar "x" does not match its tag !!bool at line 1, column 3'),
    ("a: !!int " + "x" * 100 + "\n",
     'YAML scalar "' + "x" * 80 + '"\u2026 does not match its tag !!int at line 1, column 4'),
    ("a: !!int x\nb: [\n", "invalid YAML: did not find expected node content at line 3, column 1"),
])
def test_import_refuses_a_tag_its_node_does_not_fit(text, message):
    refused_on_both_paths(text, message)


# Every scalar key imports as the text of its value, null as "null".
@pytest.mark.parametrize("text, json_text", [
    ("~: 1\n", '{"null": 1}'), ("null: 1\n", '{"null": 1}'), ("NULL: 1\n", '{"null": 1}'), ("? \n: 1\n", '{"null": 1}'),
    ("!!null '': 1\n", '{"null": 1}'), ("'~': 1\n", '{"~": 1}'),
    ("a:\n  ~: {~: ~}\n", '{"a": {"null": {"null": null}}}'),
    ("True: 1\n0x1F: 2\n1.5: 3\n-0: 4\n", '{"true": 1, "31": 2, "1.5": 3, "0": 4}'),
])
def test_import_names_scalar_keys_by_their_value(text, json_text):
    same_as_json_on_both_paths(text, json_text)


@pytest.mark.parametrize("text, message", [
    ('"a\\nb": 1\n', 'unrepresentable YAML key "a\\nb" at line 1, column 1'),
    ("k:\n  ? 'a\n\n    b'\n  : 1\n", 'unrepresentable YAML key "a\\nb" at line 2, column 5'),
    ('k: {"\\0": 1}\n', 'unrepresentable YAML key "\\u{0}" at line 1, column 5'),
    ('k: {"\\r": 1}\n', 'unrepresentable YAML key "\\r" at line 1, column 5'),
    ("? |\n  a\n: 1\n", 'unrepresentable YAML key "a\\n" at line 1, column 3'),
    ("'': 1\n", "empty YAML key is unrepresentable at line 1, column 1"),
    ("k:\n  !!str : 1\n", "empty YAML key is unrepresentable at line 2, column 3"),
    ("a: &a ''\nb: {*a : 1}\n", "empty YAML key is unrepresentable at line 2, column 5"),
])
def test_import_refuses_keys_authored_text_cannot_hold_at_their_position(text, message):
    refused_on_both_paths(text, message)


@pytest.mark.parametrize("text, message", [
    ("a: 1\na: 2\n", "repeated YAML mapping key a at line 2, column 1"),
    ("a: [1]\nb: 0\na: [2]\n", "repeated YAML mapping key a at line 3, column 1"),
    ("a: {x: 1}\na: {y: 2}\n", "repeated YAML mapping key a at line 2, column 1"),
    ("true: 1\ntrue:\n  k: 2\n", "repeated YAML mapping key true at line 2, column 1"),
    ("True: 1\nTRUE: 2\n", "repeated YAML mapping key true at line 2, column 1"),
    ("~: 1\nnull: 2\n", "repeated YAML mapping key null at line 2, column 1"),
    ("0x1F: a\n31: b\n", "repeated YAML mapping key 31 at line 2, column 1"),
    ("1.5: a\n1.50: b\n", "repeated YAML mapping key 1.50 at line 2, column 1"),
    ("!!float 3: a\n3.0: b\n", "repeated YAML mapping key 3.0 at line 2, column 1"),
    ("a: '1'\n!!str 1: x\n'1': y\n", "repeated YAML mapping key 1 at line 3, column 1"),
    ("k: {a: 1, b: {a: 1}, a: 2}\n", "repeated YAML mapping key a at line 1, column 22"),
    ("k:\n- a: 1\n  a: 2\n", "repeated YAML mapping key a at line 3, column 3"),
    ("x: &x a\ny: {a: 1, *x : 2}\n", "repeated YAML mapping key a at line 2, column 11"),
    ("b: &b {x: 1}\nc:\n  x: 0\n  <<: *b\n  x: 2\n", "repeated YAML mapping key x at line 5, column 3"),
    ("".join(f"k{i}: {i}\n" for i in range(40)) + "k17: x\n", "repeated YAML mapping key k17 at line 41, column 1"),
    ("".join(f"k{i}: {i}\n" for i in range(1000)) + "k999: x\n", "repeated YAML mapping key k999 at line 1001, column 1"),
    ("".join(f"k{i}: {i}\n" for i in range(50)) + "n:\n" + "".join(f"  k{i}: {i}\n" for i in range(30))
     + "k29: x\n", "repeated YAML mapping key k29 at line 82, column 1"),
    ("a: 1\na: 2\nb: [\n", "invalid YAML: did not find expected node content at line 4, column 1"),
])
def test_import_refuses_a_repeated_key(text, message):
    refused_on_both_paths(text, message)


# Members a merge key brings in give way to the mapping's own; merge keys
# themselves are no repeats; keys of the same text but other kinds stay.
@pytest.mark.parametrize("text, json_text", [
    ("b: &b {x: 1, y: 1}\nc:\n  x: 0\n  <<: *b\n", '{"b": {"x": 1, "y": 1}, "c": {"x": 0, "y": 1}}'),
    ("b: &b {x: 1}\nd: &d {x: 2, y: 2}\nc:\n  <<: *b\n  <<: *d\n", '{"b": {"x": 1}, "d": {"x": 2, "y": 2}, "c": {"x": 1, "y": 2}}'),
    ("a: {k: 1}\nb: {k: 2}\n", '{"a": {"k": 1}, "b": {"k": 2}}'),
    ("".join(f"k{i}: {{k{i}: {i}}}\n" for i in range(40)), json.dumps({f"k{i}": {f"k{i}": i} for i in range(40)})),
])
def test_import_keeps_keys_that_are_no_repeats(text, json_text):
    same_as_json_on_both_paths(text, json_text)


# The integer 1 and the string "1" are two YAML keys with one text: both
# members are imported, and the later one wins as a repeated JSON key does.
def test_keys_of_one_text_and_two_kinds_import_as_a_repeated_json_key():
    same_as_json_on_both_paths("1: a\n'1': b\n", '{"1": "a", "1": "b"}')


# --- export ---------------------------------------------------------------

def test_export_layout():
    text = bezo.export_to("yaml", canonical(
        "!int'a=42", "!int'k/@l/0=1", "!str'@s/0/a=x", "!int'@s/0/b=2", "!null'n=",
        "!std/enc/json'm=" + b64('[[1, 2], [], {}, true]')))
    assert text == ("---\na: 42\nk:\n  l:\n    - 1\ns:\n  - a: x\n    b: 2\n\"n\": null\n"
                    "m:\n  - - 1\n    - 2\n  - []\n  - {}\n  - true\n")


def test_export_of_an_empty_document():
    assert bezo.export_to("yaml", canonical()) == "---\n{}\n"


@pytest.mark.parametrize("text, plain", [
    ("plain words", True), ("a#b", True), ("/path", True), ("_x", True), ("é", True), ("k:v", True),
    ('q"uote\\', True),
    ("", False), ("true", False), ("yes", False), ("Off", False), ("NULL", False), ("42", False),
    ("1:20", False), ("2024-01-02", False), (".inf", False), ("=", False), ("<<", False), ("~", False),
    ("y", False), ("Y", False), ("n", False), ("N", False), ("yes", False), ("yn", True), ("Yes x", True),
    ("a: b", False), ("a #b", False), ("x:", False), ("x ", False), (" x", False), ("x\n", False),
    ("tab\tx", False), ("\x7f", False), ("a\x85b", False), ("a\u2028b", False),
    ("\ufeff", False), ("\x00\x1b", False),
])
def test_export_quotes_strings_only_when_needed(text, plain):
    exported = bezo.export_to("yaml", payload(text))
    assert (exported == f"---\nv: {text}\n") == plain
    assert yaml.safe_load(exported) == {"v": text}
    same_as_json(exported, json.dumps({"v": text}))


@pytest.mark.parametrize("line, loaded", [
    ("!int'v=9223372036854775807", 9223372036854775807),
    ("!int'v=123456789012345678901234567890", 123456789012345678901234567890),
    ("!float'v=1.50", 1.5),
    ("!float'v=1e20", 1e20),
    ("!std/num/inf'v=-inf", -math.inf),
    ("!std/time/date'v=2024-01-02", "2024-01-02"),
    ("!std/enc/bin'v=AAA", "AAA"),
])
def test_export_of_numbers_and_typed_values(line, loaded):
    assert yaml.safe_load(bezo.export_to("yaml", canonical(line))) == {"v": loaded}


# Floats as YAML 1.1 and YAML 1.2 readers both read them: a point in the
# mantissa, a sign in the exponent; integers without leading zeros.
@pytest.mark.parametrize("json_number, written", [
    ("1e300", "1.0e+300"), ("2.5e5", "2.5e+5"), ("2.5e-05", "2.5e-05"), ("0.0E308", "0.0E+308"), ("1E+2", "1.0E+2"),
    ("-1e-0", "-1.0e-0"), ("4.9e-324", "4.9e-324"), ("1.7976931348623157e308", "1.7976931348623157e+308"),
    ("3.0", "3.0"), ("-0.0", "-0.0"), ("0.1", "0.1"), ("1.00000000000000000000001", "1.00000000000000000000001"),
    ("123456789012345678901234567890", "123456789012345678901234567890"), ("-12", "-12"),
])
def test_export_writes_floats_yaml_1_1_reads_as_floats(json_number, written):
    exported = bezo.export_to("yaml", bezo.build(bezo.import_from("json", f'{{"a": {json_number}}}')))
    assert exported == f"---\na: {written}\n"
    for loaded in (yaml.load(exported, Loader=yaml.CSafeLoader)["a"], imported(exported)["a"]):
        assert (type(loaded), loaded) == (type(json.loads(json_number)), json.loads(json_number))


def test_export_of_nan():
    assert bezo.export_to("yaml", canonical("!std/num/nan'v=nan")) == "---\nv: .nan\n"


def test_export_writes_long_keys_as_explicit_keys():
    key = "k" * 2000
    exported = bezo.export_to("yaml", payload({key: {"a": [1]}, "b": 2}))
    assert yaml.safe_load(exported) == {"v": {key: {"a": [1]}, "b": 2}}


def test_export_refuses_repeated_keys():
    document = canonical("!std/enc/json'v=" + b64('{"a": 1, "b": 2, "a": 3}'))
    refused(lambda: bezo.export_to("yaml", document), "YAML cannot represent the repeated key a")


def test_export_reads_back():
    data = {"name": "demo", "list": [1, -2.5, None, True, "x y", [], {}], "nested": {"deep": [{"a": "1:20"}]},
            "empty": "", "odd": "a: b\n#c"}
    document = payload(data)
    exported = bezo.export_to("yaml", document)
    assert yaml.safe_load(exported) == {"v": data}
    same_as_json(exported, bezo.export_to("json", document))
