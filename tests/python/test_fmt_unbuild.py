"""bezo.fmt and bezo.unbuild: the standard spelling of authored text, and
canonical or relational text back to authored text."""
import json
import pathlib

import pytest

import bezo
from interchange_support import canonical, refused

CORPUS = pathlib.Path(__file__).resolve().parent.parent / "data" / "documents"


def doc(*lines):
    """An authored result: ".!bezo", a blank line, then the given lines."""
    return "".join(line + "\n" for line in (".!bezo", "") + lines)


FORMATTED = [
    ("empty text", "", ".!bezo\n"),
    ("shebang only", "#!/usr/bin/env bezo\n", "#!/usr/bin/env bezo\n.!bezo\n"),
    ("declaration kept, version dropped", ".!bezo 1\nx=1\n", ".!bezo\n\nx=1\n"),
    ("directives keep their blanks", ".!bezo   1.0\n.!fk   a    b\n.?a  b \nx=1\n",
     ".!bezo\n.!fk   a    b\n.?a  b \n\nx=1\n"),
    ("blank runs collapse, none lead", "\n\n\nx=1\n\n\n\ny=2\n\n", doc("x=1", "", "y=2")),
    ("comment spelling", "#note\n#   note  \n//\nx=1\n", doc("# note", "#   note", "//", "x=1")),
    ("comment sticks to what follows", "x=1\n# c\n\n/a::y=2\n", doc("x=1", "# c", "/a::y=2")),
    ("header after a comment, field after a header", "# c\n.!fk a\nx=1\n", doc("# c", ".!fk a", "", "x=1")),
    ("comment between metadata and field goes first", "!int\n# c\nx=1\n", doc("# c", "!int", "x=1")),
    ("namespace block to compact line", "(/server)\nhost=a\nport=8\n()\n", doc("/server:=host=a|port=8")),
    ("single field", "(/server)\nhost=a\n()\n", doc("/server::host=a")),
    ("compact blocked by a trailing blank", "(/s)\na=x \nb=2\n()\n", doc("(/s)", "a=x ", "b=2", "()")),
    ("compact line of 72 bytes", "/s:=a=" + "x" * 62 + "|b=1\n", doc("/s:=a=" + "x" * 62 + "|b=1")),
    ("compact line of 73 bytes", "/s:=a=" + "x" * 63 + "|b=1\n", doc("(/s)", "a=" + "x" * 63, "b=1", "()")),
    ("blocks stand between blank lines", "x=1\n(/s)\na=|\nb=2\n()\ny=2\n", doc("x=1", "", "(/s)", "a=|", "b=2", "()", "", "y=2")),
    ("records to compact lines", "[@row]\na=1\n[@row]\na=2\n[]\n", doc("/@row+:=a=1", "/@row+:=a=2")),
    ("section form with a deeper block", "[@row]\na=1\n[@row]\n(/sub)\nk=v\n()\n[]\n",
     doc("[/@row]", "a=1", "[/@row]", "(/sub)", "k=v", "()", "[]")),
    ("verbatim block shifts section indices", "[@item]\nk=$x\n[]\n[@item]\na=1\n[]\n/@item/1::b=2\n",
     doc("[@item]", "k=$x", "[]", "/@item+:=a=1|b=2")),
    ("append form kept in a block", "[@k]\na=1\n@k+=v\n[]\n", doc("[@k]", "a=1", "@k+=v", "[]")),
    ("compact splat with a reference kept", "/cfg:=a=$x\n", doc("/cfg:=a=$x")),
    ("qualified key with a reference kept", "/a::k=$x\n", doc("/a::k=$x")),
    ("map reference keeps its block", "(/a)\n&map\nm=a:1\n()\n", doc("(/a)", "&map", "m=a:1", "()")),
    ("metadata crosses a namespace head", "!int\n(/srv)\na=1\nb=2\n()\n", doc("(/srv)", "!int", "a=1", "b=2", "()")),
    ("metadata crosses a declaration", "!int\n.?note\nn=5\n", doc(".?note", "", "!int", "n=5")),
    ("metadata left in a block goes on", "(/a)\nx=1\n!int\n()\ny=2\n", doc("/a::x=1", "!int", "y=2")),
    ("map field under a path kept as written", "!map\nv::a=\n#\n\nv::b=\n", doc("!map", "v::a=", "#", "/v::b=")),
    ("split record keeps its index", '/@row/0::a=1\n/@row/0/@t;=x;y\n/@row/0::z=2\n/@row/1:=a=3\n',
     doc("/@row+:=a=1", "/@row/0/@t;=x;y", "/@row/0::z=2", "/@row+:=a=3")),
    ("record of a nested array kept as written", "/@a/0/@b+:=x=1\n/@a/0/@b+:=y=$z\n",
     doc("/@a/0/@b+:=x=1", "/@a/0/@b+:=y=$z")),
    ("comment loses a trailing form feed", "#note\x0c\nx=1\n", doc("# note", "x=1")),
    ("comment loses trailing whitespace of every kind", "#note \x0c\t\x0c \r\nx=1\n", doc("# note", "x=1")),
    ("doc comment loses trailing form feeds", "//doc\x0c\x0c\nx=1\n", doc("// doc", "x=1")),
    ("comment of whitespace only", "#\x0c\n# \x0c\t\nx=1\n", doc("#", "#", "x=1")),
    ("leading form feed of a comment kept", "#\x0cnote\x0c\nx=1\n", doc("# \x0cnote", "x=1")),
    ("comment in a block loses a form feed", "(/a)\n#c\x0c\nk=v\nj=w\n()\n", doc("# c", "/a:=k=v|j=w")),
    ("comment in a verbatim block loses a form feed", "(/a)\n#c\x0c\nk=$v\n()\n",
     doc("(/a)", "# c", "k=$v", "()")),
    ("shebang loses a trailing form feed", "#!/usr/bin/env bezo\x0c\n", "#!/usr/bin/env bezo\n.!bezo\n"),
    ("shebang loses trailing whitespace", "#!/usr/bin/env bezo \x0c \r\nx=1\n", "#!/usr/bin/env bezo\n.!bezo\n\nx=1\n"),
]


@pytest.mark.parametrize("name, text, expected", FORMATTED, ids=[case[0] for case in FORMATTED])
def test_fmt(name, text, expected):
    assert bezo.fmt(text) == expected
    assert bezo.fmt(expected) == expected


UNBUILT = [
    ("default type dropped", canonical("!str'::x=1"), doc("x=1")),
    ("signature as annotation", canonical("!int'::n=5", "!str?src'::x=1"), doc("!int", "n=5", "?src", "x=1")),
    ("empty provenance keeps its type", canonical("!str?'::x=1"), doc("!str?", "x=1")),
    ("value keeps trailing blanks", ".!nezo\n!str'::x=a  \n", doc("x=a  ")),
    ("value keeps trailing blanks under CR LF", ".!nezo\r\n!str'::x=a  \r\n", doc("x=a  ")),
    ("dollar doubled", canonical("!str'::x=$5"), doc("x=$$5")),
    ("quoted key holding = and $", canonical("!str'::\"a=$b\"=1"), doc('::"a=$b"=1')),
    ("relational reference kept", ".!lezo\n!int'/a::b=$c::d\n", doc("!int", "/a::b=$c::d")),
    ("one field under a path", canonical("!int'/server::port=8"), doc("!int", "/server::port=8")),
    ("list elements in one line", canonical("!str'/@tags::0=a", "!str'/@tags::1=b"), doc("/@tags;=a;b")),
    ("list element holding ;", canonical("!str'/@tags::0=a", "!str'/@tags::1=x;y"),
     doc("/@tags+=a", "/@tags+=x;y")),
    ("list element out of sequence", canonical("!str'/@tags::0=a", "!str'/@tags::5=b"),
     doc("/@tags+=a", "/@tags::5=b")),
    ("records", canonical("!str'/@row/0::a=1", "!str'/@row/1::a=2"), doc("/@row+:=a=1", "/@row+:=a=2")),
    ("lines kept after trimming", ".!nezo\n  # note  \n# a=$5\nno equals\n!str'::9=x\n",
     doc("# note", "# a=$5", "no equals", "::9=x")),
    ("directive keeps its blanks", ".!nezo 1.0\n.!fk   a  \n!str'::x=1\n", ".!bezo\n.!fk   a  \n\nx=1\n"),
    ("blank runs and a shebang", "#!x\n.!nezo 1.0\n\n\n!str'::x=1\n\n", doc("x=1")),
]


@pytest.mark.parametrize("name, text, expected", UNBUILT, ids=[case[0] for case in UNBUILT])
def test_unbuild(name, text, expected):
    assert bezo.unbuild(text) == expected


@pytest.mark.parametrize("call, text, message", [
    (bezo.fmt, "x=1", "MISSING_FINAL_EOL_ERROR"),
    (bezo.fmt, "a b=1\n", "INVALID_KEY_ERROR (line 1)"),
    # fmt lexes as it builds: a failure inside a block, after one, and after entries are no longer counted
    (bezo.fmt, "(/a)\nx=1\na b=1\n()\n", "INVALID_KEY_ERROR (line 3)"),
    (bezo.fmt, "[@r]\nx=1\n[@r]\ny=2\n[]\nz\n", "MISSING_OPERATOR_ERROR (line 6)"),
    (bezo.fmt, "/.sp:=" + "|".join(f"@a{i}+=1" for i in range(1000)) + "\n(/x)\n" + "$/.sp\n" * 4300 + "()\na b=1\n",
     "INVALID_KEY_ERROR (line 4304)"),
    (bezo.unbuild, "!str'::x=1\n", "unbuild expects a canonical .nezo or .lezo stream (with its format declaration)"),
    (bezo.unbuild, ".!bezo\nx=1\n", "unbuild expects a canonical .nezo or .lezo stream (with its format declaration)"),
])
def test_refusals(call, text, message):
    refused(lambda: call(text), message)


def corpus():
    for path in sorted(CORPUS.iterdir()):
        text = path.read_text()
        yield pytest.param(bezo.import_from("json", text) if path.suffix == ".json" else text, id=path.name)


@pytest.mark.parametrize("text", corpus())
def test_fmt_is_stable_and_compiles_alike(text):
    formatted = bezo.fmt(text)
    assert bezo.fmt(formatted) == formatted
    assert bezo.compile(formatted) == bezo.compile(text)
    assert bezo.compile(formatted) == bezo.compile(text)


@pytest.mark.parametrize("text", corpus())
def test_unbuild_of_relational_compiles_alike(text):
    relational = bezo.compile(text)
    assert bezo.compile(bezo.unbuild(relational)) == relational


@pytest.fixture(scope="module")
def served(tmp_path_factory):
    """A registry line that serves the schema a corpus document names, so
    that the document builds."""
    directory = tmp_path_factory.mktemp("schemas")
    (directory / "sensors.whezo").write_text(".!whezo sensors\n")
    return f".!registry sensors={directory}\n"


@pytest.mark.parametrize("text", corpus())
def test_fmt_builds_alike(text, served):
    text += served
    assert bezo.build(bezo.fmt(text)) == bezo.build(text)


@pytest.mark.parametrize("text", corpus())
def test_unbuild_of_canonical_builds_alike(text, served):
    built = bezo.build(text + served)
    assert bezo.build(bezo.unbuild(built)) == built


def test_unbuild_keeps_a_split_record_in_place():
    relational = bezo.compile("[@row]\na=1\n@t;=x;y\nz=2\n")
    assert bezo.unbuild(relational) == doc("/@row+:=a=1", "/@row/0/@t;=x;y", "/@row/0::z=2")


def test_deep_nesting_formats():
    depth = 10_000
    text = "(/a)\n" * depth + "".join(f"k{i}=v\n" for i in range(depth))
    path = "/a" * depth
    assert bezo.fmt(text) == doc("(" + path + ")", *(f"k{i}=v" for i in range(depth)), "()")


@pytest.mark.parametrize("text", [
    f"(/{'a' * 40})\nk=v\n" * 400,
    "/@r/5/" + "/".join(["a" * 40] * 400) + ":=" + "|".join(f"k{i}=1" for i in range(1000)) + "\n",
], ids=["a field at every depth", "many fields under a long indexed path"])
def test_output_stays_linear(text):
    # Written in the standard spelling, every field would carry its whole
    # path and the text would grow with the square of its source; such
    # lines are kept as written instead.
    formatted = bezo.fmt(text)
    assert len(formatted) < 2 * len(text)
    assert bezo.fmt(formatted) == formatted
    assert bezo.compile(formatted) == bezo.compile(text)


def test_entries_of_splat_variables_are_counted_within_a_budget():
    # Each use of the variable adds a thousand arrays: past a few million
    # entries counting stops, and what follows is kept as written.
    keys = "|".join(f"@a{i}+=1" for i in range(1000))
    text = f"/.sp:={keys}\n(/x)\n" + "$/.sp\n" * 5000 + "()\n[@r]\nk=1\n[]\n"
    assert bezo.fmt(text).endswith("$/.sp\n()\n[@r]\nk=1\n[]\n")
