"""TOML in and out through the module: import_from("toml") and export_to("toml")."""
import datetime
import json
import math
import random
import tomllib

import pytest

import bezo
from interchange_support import b64, canonical, imports_as_json, payload, refused


def same_as_json(text, json_text):
    imports_as_json("toml", text, json_text)


TOO_DEEP = "invalid TOML: nesting deeper than 512 levels"


# --- import ---------------------------------------------------------------

@pytest.mark.parametrize("text, json_text", [
    ("a = 1\nb = 1.0\nc = 1e20\nd = 0.1\ne = 0xff\nf = 0o17\ng = 0b11\nh = 1_000\ni = -0.0\n",
     '{"a": 1, "b": 1.0, "c": 1e20, "d": 0.1, "e": 255, "f": 15, "g": 3, "h": 1000, "i": -0.0}'),
    ('s = "\\e\\x41"\nl = \'\'\'x\ny\'\'\'\nt = true\n', '{"s": "\\u001bA", "l": "x\\ny", "t": true}'),
    ("x = {\n  a = 1, # note\n  b = [1, {c = 2}],\n}\n", '{"x": {"a": 1, "b": [1, {"c": 2}]}}'),
    ("b = 1\na = 2\n[z]\nk = 1\n[c.d]\nk = 2\n[c]\ne = 3\n",
     '{"b": 1, "a": 2, "z": {"k": 1}, "c": {"d": {"k": 2}, "e": 3}}'),
    ("y.b = 1\nx = 2\ny.a = 3\n", '{"y": {"b": 1, "a": 3}, "x": 2}'),
    ("[[p]]\nn = 1\n[p.q]\nr = 2\n[[p]]\nn = 3\n", '{"p": [{"n": 1, "q": {"r": 2}}, {"n": 3}]}'),
    ('"é" = 1\ns = "[[[[ a.b.c #"\n# [[[[\n', '{"é": 1, "s": "[[[[ a.b.c #"}'),
    ("\ufeffa = 1\n", '{"a": 1}'),
])
def test_import_keeps_values_and_document_order(text, json_text):
    same_as_json(text, json_text)


@pytest.mark.parametrize("written, type_name, literal", [
    ("inf", "inf", "inf"), ("-inf", "inf", "-inf"), ("nan", "nan", "nan"), ("-nan", "nan", "nan"),
    ("1979-05-27T07:32:00Z", "datetime", "1979-05-27T07:32:00Z"),
    ("1979-05-27 07:32:00.5-07:30", "datetime", "1979-05-27T07:32:00.5-07:30"),
    ("1979-05-27t07:32:00.999999+00:00", "datetime", "1979-05-27T07:32:00.999999Z"),
    ("1979-05-27T07:32:00", "localdatetime", "1979-05-27T07:32:00"),
    ("1979-05-27", "date", "1979-05-27"),
    ("07:32", "time", "07:32:00"),
])
def test_import_of_typed_scalars(written, type_name, literal):
    library = "std/num" if type_name in ("inf", "nan") else "std/time"
    assert bezo.import_from("toml", f"v = {written}\n") == f".!bezo\n.!types {library}\n\n&{type_name}\nv={literal}\n"


def test_import_of_an_empty_document():
    assert bezo.import_from("toml", "# nothing\n") == ".!bezo\n\n"


@pytest.mark.parametrize("text, message", [
    ("a = 1\na = 2\n",
     "invalid TOML: Error while parsing key-value pair: cannot redefine existing integer 'a' (line 2, column 5)"),
    ("a = 0x1.8p3\n", "invalid TOML: hexadecimal floats are not supported (line 1, column 5)"),
    ("x = 1\na+b = 1\n", 'invalid TOML: bare keys may only hold ASCII letters, digits, "_" and "-" (line 2, column 2)'),
    ("t = {é = 1}\n", 'invalid TOML: bare keys may only hold ASCII letters, digits, "_" and "-" (line 1, column 6)'),
    pytest.param("a = " + "[" * 513 + "]" * 513 + "\n", TOO_DEEP, id="arrays"),
    pytest.param(".".join(["a"] * 150_000) + " = 1\n", TOO_DEEP, id="dotted-key"),
    pytest.param("[" + ".".join(["a"] * 512) + "]\nb.c = 1\n", TOO_DEEP, id="header-and-key"),
    pytest.param("[[" + ".".join(["a"] * 512) + "]]\n", TOO_DEEP, id="array-of-tables"),
    pytest.param("a = " + "{c = " * 513 + "1" + "}" * 513 + "\n", TOO_DEEP, id="inline-tables"),
])
def test_import_refusals(text, message):
    refused(lambda: bezo.import_from("toml", text), message)


@pytest.mark.parametrize("text", [
    pytest.param("a = " + "[" * 512 + "1" + "]" * 512 + "\n", id="arrays"),
    pytest.param(".".join(["a"] * 513) + " = 1\n", id="dotted-key"),
    pytest.param("[" + ".".join(["a"] * 512) + "]\nb = 1\n", id="header"),
    pytest.param("a = " + "{c = " * 512 + "1" + "}" * 512 + "\n", id="inline-tables"),
])
def test_import_reads_512_levels(text):
    assert bezo.import_from("toml", text).startswith(".!bezo\n")


# --- export ---------------------------------------------------------------

def test_export_writes_plain_values_before_tables():
    text = bezo.export_to("toml", canonical(
        "!int's/a=1", "!int'z=2", "!str'@arr/0/k=v", "!int'@arr/0/sub/x=1", "!str'@arr/1/k=w",
        "!std/enc/json'e=" + b64("[]"), "!std/enc/json'm=" + b64('[1, "a", [true], {"b": {}}]'),
        "!std/enc/json't=" + b64("{}"), "!str'\"odd key\"/\"a.b\"=x"))
    assert text == ('z = 2\ne = []\nm = [1, "a", [true], { b = {} }]\n\n[s]\na = 1\n\n'
                    '[[arr]]\nk = "v"\n\n[arr.sub]\nx = 1\n\n[[arr]]\nk = "w"\n\n[t]\n\n'
                    '["odd key"]\n"a.b" = "x"\n')


@pytest.mark.parametrize("json_text, written", [
    ('[1, {"t": {"x": 1}, "p": 2}]', 'v = [1, { p = 2, t = { x = 1 } }]\n'),
    ('[1, {"t": {"x": 1}}]', 'v = [1, { t = { x = 1 } }]\n'),
    ('[1, {"p": 2, "q": {}}]', 'v = [1, { p = 2, q = {} }]\n'),
    ('[1, {"o": {"t": {"x": 1}, "y": 2}}]', 'v = [1, { o = { y = 2, t = { x = 1 } } }]\n'),
    ('[[{"a": [{"q": 1}], "b": 2}]]', 'v = [[{ b = 2, a = [{ q = 1 }] }]]\n'),
    ('{"k": [1, {"t": {"x": 1}, "p": 2, "arr": [{"z": 1}], "e": [], "f": [1, {}]}]}',
     '[v]\nk = [1, { p = 2, e = [], f = [1, {}], t = { x = 1 }, arr = [{ z = 1 }] }]\n'),
])
def test_export_writes_plain_values_before_tables_in_inline_tables(json_text, written):
    assert bezo.export_to("toml", canonical("!std/enc/json'v=" + b64(json_text))) == written


def plain_first(data):
    """`data` with the members of every object reordered as a TOML table lists them."""
    if isinstance(data, list):
        return [plain_first(item) for item in data]
    if not isinstance(data, dict):
        return data

    def holds_tables(value):
        return isinstance(value, dict) or (
            isinstance(value, list) and value and all(isinstance(item, dict) for item in value))

    members = [(key, plain_first(value)) for key, value in data.items()]
    return dict([m for m in members if not holds_tables(m[1])] + [m for m in members if holds_tables(m[1])])


@pytest.mark.parametrize("data", [
    [1, {"t": {"x": 1}, "p": 2}],
    {"rows": [[{"sub": {"a": [{"b": 1}], "c": 2}, "d": "x"}], 3], "z": 0},
    {"mixed": [{"k": {"deep": {"t": {"u": 1}, "v": [1, {"w": {"x": 2}, "y": 3}]}}, "n": 1}, "s"]},
])
def test_inline_tables_read_back_in_plain_first_order(data):
    loaded = tomllib.loads(bezo.export_to("toml", payload(data)))
    assert json.dumps(loaded) == json.dumps({"v": plain_first(data)})


@pytest.mark.parametrize("json_text, message", [
    ('[1, {"t": {"x": null}, "p": 1e999}]', "TOML cannot represent null"),
    ('[1, {"p": 1e999, "t": {"x": null}}]', "TOML cannot represent the float 1e999 (overflows f64)"),
])
def test_inline_tables_refuse_in_member_order(json_text, message):
    refused(lambda: bezo.export_to("toml", canonical("!std/enc/json'v=" + b64(json_text))), message)


def test_export_of_an_empty_document():
    assert bezo.export_to("toml", canonical()) == ""


@pytest.mark.parametrize("line, written", [
    ("!int'v=9223372036854775807", "9223372036854775807"),
    ("!int'v=-9223372036854775808", "-9223372036854775808"),
    ("!float'v=1.50", "1.5"),
    ("!float'v=1E+2", "100.0"),
    ("!float'v=0e-999", "0.0"),
    ("!float'v=-0.0", "-0.0"),
    ("!std/num/inf'v=-inf", "-inf"),
    ("!std/num/nan'v=nan", "nan"),
    ("!std/time/date'v=2024-02-29", "2024-02-29"),
    ("!std/time/datetime'v=2024-01-02 03:04z", "2024-01-02T03:04:00Z"),
    ("!std/time/date'v=2024-01-02t03:04:05.123456789+05:30", "2024-01-02T03:04:05.123456789+05:30"),
    ("!std/time/time'v=23:59", "23:59:00"),
    ("!std/enc/bin'v=AAA", '"AAA"'),
    ('!str\'v=tab\there "q" \\ \x7f\x1b', '"tab\there \\"q\\" \\\\ \\u007F\\u001B"'),
])
def test_export_of_scalars(line, written):
    assert bezo.export_to("toml", canonical(line)) == f"v = {written}\n"


@pytest.mark.parametrize("line, message", [
    ("!null'v=", "TOML cannot represent null"),
    ("!int'v=9223372036854775808", "TOML cannot represent the integer 9223372036854775808 (exceeds i64)"),
    ("!float'v=1e999", "TOML cannot represent the float 1e999 (overflows f64)"),
    ("!float'v=1e-999", "TOML cannot represent the float 1e-999 (underflows f64)"),
    ("!std/time/date'v=2024-02-30", "invalid datetime: 2024-02-30"),
    ("!std/time/date'v=2024-01-01 # x", "invalid datetime: 2024-01-01 # x"),
    ("!std/time/time'v=24:00:00", "invalid datetime: 24:00:00"),
    ("!std/time/time'v=10:00:00Z", "invalid datetime: 10:00:00Z"),
    ("!std/num/inf'v=huge", "invalid std/num marker: huge"),
    ("!std/enc/json'v=" + b64('{"a": [1, null]}'), "TOML cannot represent null"),
    ("!std/enc/json'v=" + b64('{"a": 1, "a": 2}'), "TOML cannot represent the repeated key a"),
    ("!std/enc/json'v=" + b64('{"a": 1, "a": [{"b": null}]}'), "TOML cannot represent null"),
])
def test_export_refusals(line, message):
    refused(lambda: bezo.export_to("toml", canonical(line)), message)


def test_export_refuses_in_member_order():
    document = canonical("!null's/n=", "!float'z=1e999")
    refused(lambda: bezo.export_to("toml", document), "TOML cannot represent null")


def test_export_reads_back():
    data = {"name": "demo", "n": -7, "x": 2.5, "flags": [True, False], "tags": ["a b", "é\n"],
            "db": {"host": "h", "ports": [1, 2], "deep": {"k": "v"}},
            "rows": [{"id": 1, "meta": {"m": 1}}, {"id": 2, "list": [{"z": 0}]}], "empty": {}}
    document = payload(data)
    exported = bezo.export_to("toml", document)
    assert tomllib.loads(exported) == {"v": data}
    same_as_json(exported, bezo.export_to("json", document))


def test_export_of_date_times_reads_back():
    exported = bezo.export_to("toml", canonical(
        "!std/time/datetime'a=2024-01-02T03:04:05.5-01:00", "!std/time/localdatetime'b=2024-01-02 03:04",
        "!std/time/date'c=2024-01-02", "!std/time/time'd=03:04:05"))
    assert tomllib.loads(exported) == {
        "a": datetime.datetime(2024, 1, 2, 3, 4, 5, 500000, datetime.timezone(datetime.timedelta(hours=-1))),
        "b": datetime.datetime(2024, 1, 2, 3, 4), "c": datetime.date(2024, 1, 2), "d": datetime.time(3, 4, 5)}
    assert bezo.import_from("toml", exported).endswith(
        "&datetime\na=2024-01-02T03:04:05.5-01:00\n&localdatetime\nb=2024-01-02T03:04:00\n"
        "&date\nc=2024-01-02\n&time\nd=03:04:05\n")


def test_export_of_non_finite_floats_reads_back():
    exported = bezo.export_to("toml", canonical("!std/num/inf'a=inf", "!std/num/nan'b=nan"))
    loaded = tomllib.loads(exported)
    assert loaded["a"] == math.inf and math.isnan(loaded["b"])


# --- files of records, read in pieces -------------------------------------

def record_file(count, tail=""):
    """A root entry, then `count` elements of one array of tables, each with
    a subtable and an array of tables of its own: well over one piece."""
    return 'title = "orders"\n' + "".join(
        f'[[orders]]\nid = {i}\nnote = "n{i} [[orders]]"\nprice = {i}.25\n'
        f'[orders.customer]\nname = "c{i}"\n[[orders.lines]]\nqty = {i % 7}\n[[orders.lines]]\nqty = 1\n'
        for i in range(count)) + tail


def test_a_file_of_many_records_imports_as_its_json():
    text = record_file(3000)
    assert len(text) > 4 * 64 * 1024
    same_as_json(text, json.dumps(tomllib.loads(text)))


@pytest.mark.parametrize("tail, message", [
    # A fault in a late piece is reported at its line in the whole text.
    ("[[orders]]\nid = = 1\n",
     "invalid TOML: Error while parsing value: could not determine value type (line {line}, column 6)"),
    ("[[orders]]\nid = 1\nid = 2\n",
     "invalid TOML: Error while parsing key-value pair: cannot redefine existing integer 'id' (line {line}, column 6)"),
])
def test_a_fault_in_a_file_of_records_is_reported_at_its_line(tail, message):
    text = record_file(3000, tail)
    line = text.count("\n") - tail.count("\n") + 2 + message.count("redefine")
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_from("toml", text)
    with pytest.raises(tomllib.TOMLDecodeError):
        tomllib.loads(text)
    assert str(caught.value) == message.format(line=line)


def test_a_root_entry_that_the_records_redefine_is_refused():
    text = "orders = 1\n" + record_file(3000)
    with pytest.raises(bezo.BezoError):
        bezo.import_from("toml", text)
    with pytest.raises(tomllib.TOMLDecodeError):
        tomllib.loads(text)


# A file of records is read in pieces cut at its "[[orders]]" lines; quoting
# the key of the first one ('[["orders"]]') means the same to TOML but makes
# the text be read whole. Generated files that put what might fool the cuts
# around those lines (the header inside strings, arrays and comments,
# subtables and arrays of tables within a record, dotted keys, inline
# tables, CR LF) must import the same both ways, and a fault anywhere must be
# the same error at the same line.

def generated_value(rng, depth=0):
    choices = [
        lambda: str(rng.randint(-5, 10**6)),
        lambda: rng.choice(['"s [[orders]] # x"', "'lit [[orders]]'", "true", "1.5", "1979-05-27", "inf"]),
        lambda: '"""\nline\n[[orders]]\n# [[orders]]\n"""',
        lambda: "'''\n[[orders]]\n[orders]\n'''",
        lambda: "[\n  1, # [[orders]]\n  2,\n]",
        lambda: "[\n[[1]],\n]",
        lambda: "{ a = 1, b.c = %s }" % generated_value(rng, depth + 1),
        lambda: "[ %s, %s ]" % (generated_value(rng, depth + 1), generated_value(rng, depth + 1)),
    ]
    return rng.choice(choices[:5] if depth > 1 else choices)()


RECORD_FAULTS = {
    "repeated key": lambda keys: ["%s = 1" % keys[0]],
    "bad value": lambda keys: ["v = = 1"],
    "repeated subtable": lambda keys: ["[orders.s]", "a = 1", "[orders.s]"],
    "table after the array": lambda keys: ["[orders]"],
    "other table": lambda keys: ["[other]", "b = 1"],  # valid, but no longer a file of records
    "open string": lambda keys: ['s = """', "[[orders]]"],
}


def generated_record(rng, fault):
    lines = [rng.choice(["[[orders]]"] * 8 + ["  [[ orders ]]  # [[other]]", "[[orders]]\t"])]
    keys = rng.sample(["id", "x", "y.z", "y.w", "q"], rng.randint(1, 4))
    lines += ["%s = %s" % (key, generated_value(rng)) for key in keys]
    lines += RECORD_FAULTS[fault](keys) if fault else []
    if rng.random() < 0.3:
        lines.append("# comment [[orders]] [other]")
    if rng.random() < 0.3:
        lines += ["[orders.sub]", "k = %s" % generated_value(rng)]
    if rng.random() < 0.2:
        lines += ["[[orders.lines]]", "n = 1", "[[orders.lines]]"]
    return "\n".join(lines) + "\n"


def generated_record_file(seed, fault):
    rng = random.Random(seed)
    root = 'title = "orders"\nr.s = "x"\n# [[orders]]\n' + ("orders.x = 1\n" if fault == "root key" else "")
    faulty = rng.randrange(2000) if fault in RECORD_FAULTS else -1
    text = root + "".join(generated_record(rng, fault if i == faulty else None) for i in range(2000))
    return text.replace("\n", "\r\n") if seed % 3 == 0 else text


def import_outcome(text):
    try:
        return bezo.import_from("toml", text)
    except bezo.BezoError as error:
        return "error: " + str(error)


@pytest.mark.parametrize("fault", [None, "root key", *RECORD_FAULTS])
@pytest.mark.parametrize("seed", range(3))
def test_a_file_of_records_imports_alike_in_pieces_and_whole(fault, seed):
    text = generated_record_file(seed, fault)
    assert len(text) > 2 * 64 * 1024
    outcome = import_outcome(text)
    assert outcome == import_outcome(text.replace("[[orders]]", '[["orders"]]', 1))
    assert outcome.startswith("error: ") == (fault not in (None, "other table"))


# --- long arrays, root entries and many tables, read in pieces -----------
#
# Besides files of records, a text is cut before root entries, before the
# tables of each new first key, and between the items of a long array of a
# root entry; pieces that do not read alone or name a key twice make the
# text be read whole. Each text here spans many pieces.

def long_array(item, count, key="a", separator=","):
    return f"{key} = [" + separator.join(item(i) for i in range(count)) + "]\n"


PIECED_TEXTS = {
    "one-digit numbers": long_array(lambda i: str(i % 10), 150_000),
    "numbers, comments, line breaks, a trailing comma": 'title = "t"\n' + long_array(
        lambda i: f"# item {i}, ]\n{i * 7919}" if i % 5 == 0 else f"-{i}", 30_000, separator=",\n") + "z = 1\n",
    "a trailing comma": long_array(lambda i: str(i), 40_000)[:-2] + ", ]\n",
    "small inline tables": long_array(lambda i: "{x=%d}" % (i % 3), 40_000),
    "points with strings that hold separators": long_array(
        lambda i: '{ x = %d, y = 1.5, s = "a,]}[b", t = \'c, d\' }' % i, 8_000, key="points"),
    "arrays in arrays": long_array(lambda i: f"[{i}, [true, {{k = [{i}]}}]]", 15_000),
    "two long arrays and root entries around them": "x = 1\n" + long_array(lambda i: str(i), 40_000) + "y.z = 2\n"
    + long_array(lambda i: f'"s{i}"', 30_000, key="b") + "w = 3\n",
    "root entries": "".join(f"k{i} = {i}\n" for i in range(30_000)) + "".join(f"d.k{i} = {i}\n" for i in range(3)),
    "one table per key": "".join(f"[t{i}]\na = {i}\n" for i in range(25_000)),
    "tables with subtables and arrays of tables": "".join(
        f"[t{i}]\na = 1\n[t{i}.s]\nb = [1, 2]\n[[t{i}.r]]\nc = 3\n[[t{i}.r]]\n" for i in range(6_000)),
    "arrays of tables then tables": "".join(f"[[r]]\nn = {i}\n" for i in range(20_000))
    + "".join(f"[s{i}]\nm = {i}\n" for i in range(10_000)),
    # Valid, but the later pieces name a key an earlier one holds.
    "a table taken up again later": "[a]\nx = 1\n" + "".join(f"[t{i}]\na = 1\n" for i in range(20_000))
    + "[a.c]\ny = 2\n",
    "a dotted root key and a header under it": "a.x = 1\n" + "".join(f"k{i} = {i}\n" for i in range(30_000))
    + "[a.c]\ny = 2\n",
    "an array of tables taken up again": "".join(f"[[r]]\nn = {i}\n" for i in range(20_000)) + "[s]\n[[r]]\nn = 0\n",
}


@pytest.mark.parametrize("shape", PIECED_TEXTS)
def test_a_text_read_in_pieces_imports_as_its_json(shape):
    text = PIECED_TEXTS[shape]
    assert len(text) > 8 * 16 * 1024
    same_as_json(text, json.dumps(tomllib.loads(text)))


def quoted_first_key(text):
    """The same text with its first key quoted, which reads it whole."""
    key, rest = text.split(" = ", 1)
    return f'"{key}" = {rest}'


@pytest.mark.parametrize("text", [
    long_array(lambda i: f"1979-05-27T07:{i % 60:02}:00Z", 20_000, separator=",\n"),
    long_array(lambda i: ["inf", "-nan", "1.5", "07:32:00", '"s"'][i % 5], 40_000, separator=",\n"),
    "a = 1\n" + long_array(lambda i: "{ d = 1979-05-27, n = %d }" % i, 20_000, key="b", separator=",\n"),
    # The first typed value comes pieces after the start.
    long_array(lambda i: "12:00:00" if i == 39_000 else f'{{s = "{i}", t = [{i}]}}', 40_000, separator=",\n"),
    long_array(lambda i: "-inf" if i == 39_999 else str(i), 40_000),
    # A typed value in the piece that ends the array, after its last items.
    long_array(lambda i: str(i), 40_000) + "d = 1979-05-27\n",
])
def test_a_long_array_of_dates_and_non_finite_numbers_imports_alike_in_pieces_and_whole(text):
    assert bezo.import_from("toml", text) == bezo.import_from("toml", quoted_first_key(text))


@pytest.mark.parametrize("fault", [
    "1,,2",  # an empty item
    "1 2",  # a missing comma
    "{x = 1, x = 2}",  # a repeated key inside an item
    "[1, 2",  # an array left open
    "z",  # no value
])
def test_a_fault_in_a_long_array_is_reported_as_when_read_whole(fault):
    items = [str(i) for i in range(40_000)]
    items[30_000] = fault
    text = "a = [\n" + ",\n".join(items) + "\n]\n"
    with pytest.raises(bezo.BezoError) as pieced:
        bezo.import_from("toml", text)
    with pytest.raises(bezo.BezoError) as whole:
        bezo.import_from("toml", quoted_first_key(text))
    with pytest.raises(tomllib.TOMLDecodeError):
        tomllib.loads(text)
    assert str(pieced.value) == str(whole.value)


@pytest.mark.parametrize("empty_item", [",,", ", ,", ",\n,", ", # note\n,"])
def test_an_empty_item_where_a_long_array_may_be_cut_is_refused(empty_item):
    # The offsets move the empty item across the first place a cut may fall.
    for offset in range(12):
        text = "a = [" + " " * offset + "0, " * 5455 + "1" + empty_item + "2, " + "3, " * 3000 + "4]\n"
        with pytest.raises(bezo.BezoError, match="expected value or closing"):
            bezo.import_from("toml", text)


@pytest.mark.parametrize("offset", range(0, 40, 3))
def test_a_long_array_that_opens_with_an_empty_item_is_refused(offset):
    text = "a = [ # " + "c" * (16_370 + offset) + "\n, 1, 2]\n"
    with pytest.raises(bezo.BezoError, match="expected value or closing"):
        bezo.import_from("toml", text)


@pytest.mark.parametrize("tail", [
    "[t5]\nb = 1\n",  # a table defined twice
    "[t5.a]\n",  # a table under a value
    "t5 = 1\n",  # a root entry after the tables (it lands in the last table)
    "[[t5]]\n",  # an array of tables over a table
    "k7 = 1\n[x]\n",
])
def test_a_key_two_pieces_define_is_refused_as_when_read_whole(tail):
    text = "k7 = 2\n" + "".join(f"[t{i}]\na = {i}\n" for i in range(25_000)) + tail
    outcome = None
    try:
        tomllib.loads(text)
    except tomllib.TOMLDecodeError:
        outcome = "refused"
    if outcome == "refused":
        with pytest.raises(bezo.BezoError):
            bezo.import_from("toml", text)
    else:
        same_as_json(text, json.dumps(tomllib.loads(text)))
