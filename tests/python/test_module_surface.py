"""The module's public surface: names, documentation, argument rules, errors."""
import inspect

import pytest

import bezo
import bezo_fault_probe

FUNCTIONS = [
    "version", "compile", "denormalize", "build", "compile_schema", "validate",
    "fmt", "unbuild", "infer", "import_from", "export_to", "import_schema",
]

SIGNATURES = {
    "version": "()",
    "compile": "(text)",
    "denormalize": "(lezo)",
    "build": "(text, schema=None)",
    "compile_schema": "(hezo)",
    "validate": "(nezo, schema)",
    "fmt": "(text)",
    "unbuild": "(text)",
    "infer": '(text, name="")',
    "import_from": "(format, text)",
    "export_to": "(format, nezo)",
    "import_schema": '(format, text, name="", message=None)',
}

DOCS = {
    "version": "The bindings (and wrapped core) version.",
    "compile": "Authored `.bezo` -> relational `.lezo`.",
    "denormalize": "Relational `.lezo` -> canonical `.nezo` (reference resolution;\n"
                   "schema-declared documents also materialize absent fields).",
    "build": "Authored `.bezo` -> canonical `.nezo` (compile + denormalize).\n"
             "An authored `.hezo` may ride along: it is preloaded under its\n"
             "declared name, and a document that does not already carry a\n"
             "`.!schema` declaration gets one injected \u2014 the schema-aware\n"
             "build (defaults, head-type lifts, unit conversion) works\n"
             "offline, and the call applies the schema it was handed.",
    "compile_schema": "Authored `.hezo` -> compiled `.whezo` (the validation contract).",
    "validate": "Validate canonical `.nezo` against a schema \u2014 authored `.hezo`\n"
                "or compiled `.whezo`, told apart by the header. Returns None on\n"
                "pass; raises ValidationError on a validation verdict and\n"
                "BezoError when the schema itself won't compile or parse.",
    "fmt": "The standard formatter: canonical spelling, authored intent kept.",
    "unbuild": "Canonical `.nezo`/`.lezo` -> idiomatic authored `.bezo` \u2014 the\n"
               "inverse direction of build, and a view: sugar the compiler\n"
               "resolved away (comments, variables, references) does not come\n"
               "back. `.lezo` preserves more, authored units included.",
    "infer": "Infer an authored `.hezo` schema from a document.",
    "import_from": "Foreign text format -> authored `.bezo`.\nFormats: json | yaml | toml | xml.",
    "export_to": "Canonical `.nezo` -> foreign format. Text formats return str;\n"
                 "the binary formats (cbor, avro, asn1) return bytes.",
    "import_schema": "Foreign schema -> authored `.hezo` (sound weakening).\n"
                     "Formats: jsonschema | xsd | proto | avsc | graphql. `message`\n"
                     "picks the root when the schema declares several.",
}


def test_all_lists_functions_then_exceptions():
    assert bezo.__all__ == FUNCTIONS + ["BezoError", "ValidationError"]
    for name in bezo.__all__:
        assert hasattr(bezo, name)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_text_signature_and_doc(name):
    function = getattr(bezo, name)
    assert function.__text_signature__ == SIGNATURES[name]
    assert function.__doc__ == DOCS[name]
    assert function.__module__ == "bezo"
    inspect.signature(function)  # parses


def test_exception_classes():
    assert issubclass(bezo.ValidationError, bezo.BezoError)
    assert bezo.BezoError.__bases__ == (Exception,)
    assert bezo.BezoError.__module__ == "bezo" and bezo.BezoError.__qualname__ == "BezoError"
    assert bezo.ValidationError.__qualname__ == "ValidationError"
    assert bezo.BezoError.__doc__ == "A bezo pipeline error."
    assert bezo.ValidationError.__doc__ == "Canonical data failed schema validation."
    assert bezo.__doc__ == ""


def test_version():
    assert bezo.version() == "0.13.0"
    with pytest.raises(TypeError):
        bezo.version("x")


@pytest.mark.parametrize("call, message", [
    (lambda: bezo.compile("a", "b"), "compile() takes 1 positional arguments but 2 were given"),
    (lambda: bezo.validate("a", "b", "c"), "validate() takes 2 positional arguments but 3 were given"),
    (lambda: bezo.build("a", None, "c"), "build() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: bezo.import_schema("a", "b", "c", "d", "e"),
     "import_schema() takes from 2 to 4 positional arguments but 5 were given"),
    (lambda: bezo.compile(txt="a"), "compile() got an unexpected keyword argument 'txt'"),
    (lambda: bezo.compile("a", **{"\ud800": "b"}), "compile() got an unexpected keyword argument '\ud800'"),
    (lambda: bezo.fmt("a", text="b"), "fmt() got multiple values for argument 'text'"),
    (lambda: bezo.compile(), "compile() missing 1 required positional argument: 'text'"),
    (lambda: bezo.validate("a"), "validate() missing 1 required positional argument: 'schema'"),
    (lambda: bezo.import_from(), "import_from() missing 2 required positional arguments: 'format' and 'text'"),
    (lambda: bezo.export_to(nezo="x"), "export_to() missing 1 required positional argument: 'format'"),
])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message
    assert not getattr(raised.value, "__notes__", None)


@pytest.mark.parametrize("call, message, parameter", [
    (lambda: bezo.compile(1), "'int' object is not an instance of 'str'", "text"),
    (lambda: bezo.compile(b"x"), "'bytes' object is not an instance of 'str'", "text"),
    (lambda: bezo.compile(None), "'None' is not an instance of 'str'", "text"),
    (lambda: bezo.infer("x", None), "'None' is not an instance of 'str'", "name"),
    (lambda: bezo.import_schema("proto", "x", None), "'None' is not an instance of 'str'", "name"),
    (lambda: bezo.validate(nezo="x", schema=3.5), "'float' object is not an instance of 'str'", "schema"),
    (lambda: bezo.denormalize(lezo=[]), "'list' object is not an instance of 'str'", "lezo"),
])
def test_conversion_errors_carry_the_parameter_note(call, message, parameter):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message
    assert raised.value.__notes__ == [f"while processing '{parameter}'"]


def test_lone_surrogate_fails_with_encoding_error_and_note():
    with pytest.raises(UnicodeEncodeError) as raised:
        bezo.compile_schema("\ud800")
    assert raised.value.__notes__ == ["while processing 'hezo'"]


@pytest.mark.parametrize("call, parameter", [
    (lambda text: bezo.import_from("json", text), "text"),
    (lambda text: bezo.import_from("xml", text), "text"),
    (lambda text: bezo.import_from(text, "{}"), "format"),
    (lambda text: bezo.export_to("json", text), "nezo"),
    (lambda text: bezo.build(".!bezo\n", text), "schema"),
    (lambda text: bezo.compile(text), "text"),
    (lambda text: bezo.denormalize(text), "lezo"),
    (lambda text: bezo.build(text), "text"),
    (lambda text: bezo.build(text, ".!hezo s\n"), "text"),
    (lambda text: bezo.compile_schema(text), "hezo"),
    (lambda text: bezo.validate(text, ".!hezo s\n"), "nezo"),
    (lambda text: bezo.validate(".!nezo\n", text), "schema"),
    (lambda text: bezo.fmt(text), "text"),
    (lambda text: bezo.unbuild(text), "text"),
    (lambda text: bezo.infer(text), "text"),
    (lambda text: bezo.infer("a=1\n", text), "name"),
    (lambda text: bezo.import_schema("jsonschema", text), "text"),
    (lambda text: bezo.import_schema("xsd", text), "text"),
    (lambda text: bezo.import_schema("graphql", text), "text"),
    (lambda text: bezo.import_schema("proto", text), "text"),
    (lambda text: bezo.import_schema("avsc", text), "text"),
    (lambda text: bezo.import_schema("proto", "message R {}\n", "s", text), "message"),
])
@pytest.mark.parametrize("text", ["\ud800", "{\"a\": \"\udfff\"}", "caf\u00e9 \U0001F600 \udc80",
                                  "# caf\u00e9\n\udfff=1\n"])
def test_lone_surrogate_raises_as_str_encode_does(call, parameter, text):
    with pytest.raises(UnicodeEncodeError) as expected:
        text.encode("utf-8")
    with pytest.raises(UnicodeEncodeError) as raised:
        call(text)
    assert str(raised.value) == str(expected.value)
    assert raised.value.__notes__ == [f"while processing '{parameter}'"]


# ASCII, two-byte, three-byte and four-byte characters in names and values:
# the text the module reads is the same whether the str holds them or JSON
# escapes spell them, held by a str or by a str subclass.
@pytest.mark.parametrize("name, value", [
    ("plain", "ascii only"),
    ("caf\u00e9", "na\u00efve \u00e9t\u00e9"),
    ("\u6771\u4eac", "\u0441\u0435\u0432\u0435\u0440 \u6771\u4eac"),
    ("\U0001F680", "smile \U0001F600 clef \U0001D11E"),
    ("mixed", "a\u00e9\u6771\U0001F600\nsecond line"),
])
def test_non_ascii_text_reads_as_its_escaped_spelling(name, value):
    import json

    class Text(str):
        pass

    written = json.dumps({name: value, "list": [value, value]}, ensure_ascii=False)
    escaped = json.dumps({name: value, "list": [value, value]}, ensure_ascii=True)
    expected = bezo.import_from("json", escaped)
    assert bezo.import_from("json", written) == expected
    assert bezo.import_from("json", Text(written)) == expected
    canonical = bezo.build(expected)
    assert json.loads(bezo.export_to("json", canonical)) == {name: value, "list": [value, value]}


def test_str_subclass_is_accepted():
    class Word(str):
        pass

    with pytest.raises(bezo.BezoError, match="unsupported export format: word"):
        bezo.export_to(Word("word"), "")


def test_keywords_use_exact_parameter_names():
    for call in (
        lambda: bezo.denormalize(lezo=""),
        lambda: bezo.compile_schema(hezo=""),
        lambda: bezo.validate(nezo="", schema=""),
        lambda: bezo.export_to(format="nope", nezo=""),
        lambda: bezo.import_schema(format="nope", text="", name="n", message=None),
    ):
        with pytest.raises(bezo.BezoError):
            call()


@pytest.mark.parametrize("function, word, message", [
    (bezo.import_from, "JSON", "unsupported import format: JSON"),
    (bezo.import_from, "csv", "unsupported import format: csv"),
    (bezo.export_to, "JSON", "unsupported export format: JSON"),
    (bezo.export_to, "", "unsupported export format: "),
    (bezo.import_schema, "Proto", "unsupported schema format: Proto"),
])
def test_unknown_format_words(function, word, message):
    with pytest.raises(bezo.BezoError) as raised:
        function(word, "")
    assert type(raised.value) is bezo.BezoError
    assert str(raised.value) == message
    assert raised.value.args == (message,)


def test_none_counts_as_absent_only_where_allowed():
    # build(text) and build(text, None) are the same call; message=None is absent.
    assert bezo.build("a=1\n") == bezo.build("a=1\n", None) == bezo.build("a=1\n", schema=None)
    with pytest.raises(bezo.BezoError, match="unsupported schema format: x"):
        bezo.import_schema("x", "", message=None)


def test_fault_raises_panic_exception_and_module_stays_usable():
    with pytest.raises(BaseException) as raised:
        bezo_fault_probe.fault("embedded std/x.yezo is valid: boom")
    panic = type(raised.value)
    assert panic.__name__ == "PanicException"
    assert not issubclass(panic, Exception)
    assert raised.value.args == ("embedded std/x.yezo is valid: boom",)
    with pytest.raises(panic):
        bezo_fault_probe.fault("again")
    assert bezo.version() == "0.13.0"


def test_out_of_memory_becomes_memory_error():
    with pytest.raises(MemoryError):
        bezo_fault_probe.out_of_memory()


def test_error_message_that_is_not_utf8_is_decoded_leniently():
    with pytest.raises(Exception) as raised:
        bezo_fault_probe.bezo_error_bytes(b"bad \xff byte")
    assert type(raised.value).__name__ == "BezoError"
    assert str(raised.value) == "bad \ufffd byte"


def test_fault_class_is_not_public():
    assert not hasattr(bezo, "PanicException")
