"""bezo.infer: an authored schema derived from a document."""
import json

import pytest

import bezo

INFERRED = [
    ("declaration only", ".!bezo\n", ""),
    ("int and float", "!int\na=1\n!float\na=2.5\n", "!float\na=\n"),
    ("int and null", "!int\na=1\n!null\na=\n", "!null|int\na=\n"),
    ("str has no line", "a=x\n/srv::port=1\n", "a=\n/srv::port=\n"),
    ("library type", ".!bezo\n.!types std/time\n&date\nd=2024-01-31\n", "&date\nd=\n"),
    ("unit shorthand", "!:m\nd=1\n", "!float:m\nd=\n"),
    ("unit kept beside float", "!:m\nd=1\n!float:m\nd=2\n!int\nn=1\n!float\nn=2\n", "!float:m\nd=\n!float\nn=\n"),
    ("re quoted", "re=1\n[/@t]\nre=2\n[]\n", '"re"=\n[/@t]\n"re"=\n[]\n'),
    ("list", "/@tags;=a;b\n!int\n/@n+=1\n", "/@tags;=\n!int\n/@n;=\n"),
    ("field on 1 of 2 elements", "[/@t]\n!int\na=1\nb=x\n[]\n[/@t]\nb=y\n[]\n",
     "[/@t]\n// skipped (present on 1 of 2 elements): a\nb=\n[]\n"),
    ("order merged across elements", "[/@t]\na=1\nc=1\n[]\n[/@t]\nb=1\nc=1\n[]\n[/@t]\na=1\nb=1\nc=1\n[]\n",
     "[/@t]\n// skipped (present on 2 of 3 elements): a\n// skipped (present on 2 of 3 elements): b\nc=\n[]\n"),
    ("inconsistent order", "[/@t]\na=1\nb=1\n[]\n[/@t]\nb=1\na=1\n[]\n",
     "// skipped (inconsistent element field order): /@t\n"),
    # more types than lines are remembered at once, in turn, each field keeping its own
    ("types in turn", "".join(f"!{t}\n{k}={v}\n" for _ in range(3) for t, k, v in
                              [("int", "a", 1), ("float", "b", 1.5), ("bool", "c", "true"), ("null", "d", ""),
                               ("text", "e", "x"), ("int", "f", 2)]),
     "!int\na=\n!float\nb=\n!bool\nc=\n!null|str\nd=\n!text\ne=\n!int\nf=\n"),
    ("nested table", "[/@t]\nx=1\n[/@t/@u]\na=1\n[]\n[]\n",
     "[/@t]\nx=\n[]\n// skipped (shape not expressible yet): /@t/@u/0::a\n"),
]


@pytest.mark.parametrize("text, body", [row[1:] for row in INFERRED], ids=[row[0] for row in INFERRED])
def test_infer(text, body):
    libraries = ".!types std/time\n" if "&date" in body else ""
    assert bezo.infer(text, "s") == f".!hezo s\n{libraries}\n{body}"


def test_name_is_optional():
    assert bezo.infer("a=1\n") == ".!hezo \n\na=\n"
    assert bezo.infer(text="a=1\n", name="acme/s") == ".!hezo acme/s\n\na=\n"


# The name stands as one word on the .!hezo line: what would end that line,
# add words to it or read as a version is refused.
@pytest.mark.parametrize("name, why", [
    ("s\n.!registry acme=lib", "not hold a line break"),
    ("s\r", "not hold a line break"),
    ("a\x00b", "not hold a NUL character"),
    ("s strict", "be one word: no blank, tab or form feed"),
    ("a\tb", "be one word: no blank, tab or form feed"),
    ("1s", "not begin with a digit: it would read as a version"),
    ("strict", 'not be the word "strict": it would read as a flag'),
])
def test_a_name_that_breaks_the_header_line_is_refused(name, why):
    with pytest.raises(bezo.BezoError) as raised:
        bezo.infer("a=1\n", name)
    assert str(raised.value) == "infer name must " + why


@pytest.mark.parametrize("name", ["s", "acme/s", "s1", "x-1", "#x", "caf\u00e9"])
def test_every_accepted_name_gives_a_schema_that_compiles(name):
    compiled = bezo.compile_schema(bezo.infer("a=1\n", name))
    assert compiled.split("\n", 1)[0] == f".!whezo {name}"


def test_document_errors_are_raised_in_their_text_form():
    with pytest.raises(bezo.BezoError) as raised:
        bezo.infer(".!bezo\nb=$a\n")
    assert str(raised.value) == "UndefinedReferenceError"


def test_document_naming_a_schema_is_expanded_first(tmp_path):
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "s.whezo").write_text(bezo.compile_schema(".!hezo acme/s\n\n!int\nn?=5\n"))
    schema = bezo.infer(f".!bezo\n.!registry acme={tmp_path}\n.!schema:acme/s\n", "t")
    assert schema == ".!hezo t\n\n!int\nn=\n"


@pytest.mark.parametrize("text", [
    "!:m\nd=1\n!:km\n/trip::length=2.5\n",
    ".!bezo\n!int\ncount=1\n!null\nnote=\n!float:kg\nmass=1.5\n",
    "[/@items]\n!int\nid=1\n!:g\nweight=10\nname=a\n[]\n[/@items]\n!int\nid=2\n!:g\nweight=5.5\nname=b\n[]\n/@tags;=x;y\n",
    ".!bezo\n.!types std/time\n[/@e]\n&date\nday=2024-01-31\n[]\n[/@e]\n!null\nday=\n[]\n",
])
def test_inferred_schema_accepts_its_document(text):
    schema = bezo.infer(text, "s")
    bezo.compile_schema(schema)
    assert bezo.validate(bezo.build(text, schema), schema) is None


# Every item of a table counts as one of its elements: an item that is no
# record, or a record of nested members only, lacks the table's fields, so a
# field it lacks is reported as present on some elements, not declared.
SOME_OF = "// skipped (present on {} of {} elements): {}\n"
NESTED = "// skipped (shape not expressible yet): {}\n"
IMPORTED = [
    ("null item", {"t": [{"a": 1}, None]}, "[/@t]\n" + SOME_OF.format(1, 2, "a") + "[]\n"),
    ("null item first", {"t": [None, {"a": 1}]}, "[/@t]\n" + SOME_OF.format(1, 2, "a") + "[]\n"),
    ("scalar item", {"t": [{"a": 1}, 5]}, "[/@t]\n" + SOME_OF.format(1, 2, "a") + "[]\n"),
    ("nested array item", {"t": [{"a": 1}, [1, 2]]}, "[/@t]\n" + SOME_OF.format(1, 2, "a") + "[]\n"),
    ("empty record item", {"t": [{"a": 1}, {}]}, "[/@t]\n" + SOME_OF.format(1, 2, "a") + "[]\n"),
    ("record of nested members only", {"t": [{"a": 1}, {"o": {"x": 1}}]},
     "[/@t]\n" + SOME_OF.format(1, 2, "a") + "[]\n" + NESTED.format("/@t/1/o::x")),
    ("nested members beside fields", {"t": [{"a": 1, "o": {"x": 1}, "b": 2}, {"a": 2, "b": 3}]},
     "[/@t]\n!int\na=\n!int\nb=\n[]\n" + NESTED.format("/@t/0/o::x")),
    ("table in a record of the table", {"t": [{"a": 1}, {"u": [{"x": 1}]}]},
     "[/@t]\n" + SOME_OF.format(1, 2, "a") + "[]\n" + NESTED.format("/@t/1/@u/0::x")),
    ("records of nested members only", {"t": [{"o": {"x": 1}}]}, NESTED.format("/@t/0/o::x")),
    ("items that are no record stay a list", {"t": [1, None]}, "!null|int\n/@t;=\n"),
    ("every kind of item", {"t": [{"a": 1, "b": "x"}, None, 3, [1], {}, {"a": 2, "b": "y"}]},
     "[/@t]\n" + SOME_OF.format(2, 6, "a") + SOME_OF.format(2, 6, "b") + "[]\n"),
]


@pytest.mark.parametrize("data, body", [row[1:] for row in IMPORTED], ids=[row[0] for row in IMPORTED])
def test_every_item_of_a_table_counts(data, body):
    text = bezo.import_from("json", json.dumps(data))
    schema = bezo.infer(text, "s")
    assert schema == ".!hezo s\n\n" + body
    built = bezo.build(text, schema)
    assert bezo.validate(built, schema) is None
    assert json.loads(bezo.export_to("json", built)) == data
