"""Helpers shared by the interchange tests: canonical documents and refusals."""
import base64
import json

import pytest

import bezo


def b64(text):
    return base64.urlsafe_b64encode(text.encode()).decode().rstrip("=")


def canonical(*lines):
    return ".!nezo\n" + "".join(line + "\n" for line in lines)


def payload(data):
    """A canonical document whose member v holds `data` as an embedded JSON document."""
    return canonical("!std/enc/json'v=" + b64(json.dumps(data)))


def imports_as_json(format_word, text, json_text):
    """Importing `text` gives what importing the JSON text gives."""
    assert bezo.import_from(format_word, text) == bezo.import_from("json", json_text)


def refused(call, message):
    with pytest.raises(bezo.BezoError) as caught:
        call()
    assert str(caught.value) == message


def verdict(document, schema):
    """The message of the ValidationError that validate raises, or None when the document passes."""
    try:
        bezo.validate(document, schema)
    except bezo.ValidationError as error:
        return str(error)
    return None


def json_data_passes(schema_text, data):
    """Whether data, imported from JSON, built against an authored schema and validated, passes."""
    try:
        bezo.validate(bezo.build(bezo.import_from("json", json.dumps(data)), schema_text), schema_text)
    except bezo.BezoError:
        return False
    return True
