"""Checks whose cost once grew with what the schema names: patterns with long
character classes, range and length bounds of a million digits, sets of many
members. The verdicts must be those of the constraints as written; the work
counts themselves are checked by the core's own tests."""
import os

import pytest

import bezo

NINES = "9" * 1_000_000


def validate_rows(field, values, kind="str"):
    schema = ".!hezo s\n[/@r]\n" + field + "\nv=\n[]\n"
    doc = ".!nezo\n" + "".join(f"!{kind}'/@r/{i}::v={value}\n" for i, value in enumerate(values))
    bezo.validate(doc, schema)


def verdict(field, value, kind="str"):
    try:
        validate_rows(field, [value], kind)
        return "ok"
    except bezo.ValidationError:
        return "violation"


@pytest.mark.parametrize("field, value, kind, expected", [
    (f"!int[-{NINES},]", "5", "int", "ok"),
    (f"!int[-{NINES},]", f"-{NINES}", "int", "ok"),
    (f"!int[-{NINES},]", f"-1{'0' * 1_000_000}", "int", "violation"),
    (f"!int[,{'0' * 1000}7]", "007", "int", "ok"),
    (f"!int[,{'0' * 1000}7]", "8", "int", "violation"),
    (f"!float[0,{NINES}.5]", "0.25", "float", "ok"),
    (f"!float[0,{NINES}.5]", "-0.25", "float", "violation"),
    (f"!str#[0,{NINES}]", "b", "str", "ok"),
    (f"!str#[{NINES},]", "b", "str", "violation"),
])
def test_long_bounds_keep_their_verdicts(field, value, kind, expected):
    assert verdict(field, value, kind) == expected


MEMBERS = ",".join(f"m{i}" for i in range(200_000))


@pytest.mark.parametrize("field, value, expected", [
    ("{" + MEMBERS + "}", "m199999", "ok"),
    ("{" + MEMBERS + "}", "m200000", "violation"),
    ("!str(..lex[de]){" + MEMBERS + "}", "m199999", "ok"),
    ("!str(..lex[de]){" + MEMBERS + "}", "M199999", "violation"),
    ("!str(..lex[de-u-ks-level1]){" + MEMBERS + "}", "M199999", "ok"),
    ("!int(..num){" + ",".join(str(i) for i in range(1000)) + "}", "7", "ok"),
    ("!int(..num){" + ",".join(str(i) for i in range(1000)) + "}", "07", "violation"),
])
def test_large_sets_keep_their_verdicts(field, value, expected):
    kind = "int" if field.startswith("!int") else "str"
    assert verdict(field, value, kind) == expected


def test_many_rows_against_a_large_set_and_a_long_bound():
    validate_rows("{" + MEMBERS + "}", ["m199999"] * 20_000)
    validate_rows(f"!int[-{NINES},{NINES}]", [str(i) for i in range(20_000)], "int")


LONG_CLASS = "[" + "b" * 4070 + "a]{1024}x"
# A build that only runs the tests may lower the pattern work floor; the
# longest value shrinks with it, staying longer than the class's repeat.
LONG_VALUE = 20_000 // int(os.environ.get("BEZO_TEST_PATTERN_WORK_DIVISOR") or 1)


@pytest.mark.parametrize("value, expected", [
    ("a" * LONG_VALUE, "violation"),
    ("a" * 1024 + "x", "ok"),
    ("ab" * 600 + "x", "ok"),
    ("a" * 1023 + "x", "violation"),
])
def test_a_long_class_keeps_its_verdicts(value, expected):
    assert verdict("!str(/" + LONG_CLASS + "/)", value) == expected


@pytest.fixture
def big_set_library(tmp_path):
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "t.yezo").write_text(
        ".!yezo acme/t\n{" + MEMBERS + "}\n&big=\n..lex[de-u-ks-level1] {" + MEMBERS + "}\n&folded=\n")
    return tmp_path


@pytest.mark.parametrize("annotation, value, member", [
    ("!acme/t/big|int", "m199999", "acme/t/big"),
    ("!acme/t/big|int", "5", "int"),
    ("!acme/t/folded|int", "M199999", "acme/t/folded"),
    ("!acme/t/folded|int", "M200000", None),
    ("!int|acme/t/big", "m0", "acme/t/big"),
])
def test_union_members_with_large_sets_choose_as_written(big_set_library, annotation, value, member):
    # Every row chooses its member again, against the same lowered member.
    doc = f".!registry acme={big_set_library}\n" + f"{annotation}\nv={value}\n" * 2000
    if member is None:
        with pytest.raises(bezo.BezoError):
            bezo.compile(doc)
        return
    assert bezo.compile(doc).count(f"!{member}'") == 2000
