"""bezo.compile_schema: authored schemas to compiled schemas, end to end."""
import pytest

import bezo

INT = "!int /^-?[0-9]+$/ ..num"


def compiled(*lines, name="d"):
    """The expected compiled text: the header line, then the given lines."""
    return "".join(line + "\n" for line in (".!whezo " + name,) + lines)


COMPILED = [
    # headers
    ("version dropped", ".!hezo 1 demo\n", ".!whezo demo\n"),
    ("unaccepted version kept", ".!hezo 1.1 demo\n", ".!whezo 1.1 demo\n"),
    ("strict kept", ".!hezo 1.0 orders strict\n", ".!whezo orders strict\n"),
    ("provenance without colon copied", ".!hezo d\n.!provenance source\n", compiled(".!provenance source")),
    ("other directives dropped", ".!hezo d\n.!fk x\n.?note\n.!registry a\n", compiled()),
    # fields and defaults
    ("field without annotation", ".!hezo d\nname=\n", compiled("/^/'::name=")),
    ("own constraints after the type's", ".!hezo d\n!int[0,10]\ncount=5\n", compiled(INT + " [0,10]'::count=5")),
    ("bad default of a required field dropped", ".!hezo d\n!int\nx=abc\n", compiled(INT + "'::x=")),
    ("optional union with null", ".!hezo d\n!int|null\nn?=\n", compiled("!int(/^-?[0-9]+$/..num)|null(/^$/)'::n?=")),
    ("unit", ".!hezo d\n!int:km\nx=1\n", compiled("!int:km " + INT[5:] + "'::x=1")),
    ("named type of an import", ".!hezo d\n.!types std/time\n&date [2020-01-01,]\nd=2021-05-01\n",
     compiled("!std/time/date /^\\d{4}-\\d{2}-\\d{2}$/ ..time [2020-01-01,]'::d=2021-05-01")),
    ("bare constraint line", ".!hezo d\n/^a/ #[1,2]\nx=ab\n", compiled("/^a/ #[1,2]'::x=ab")),
    ("annotation left pending at the end", ".!hezo d\nx=\n!int\n", compiled("/^/'::x=")),
    # sections and blocks
    ("section", ".!hezo d\n[/orders/@o]\nid=\n[]\nn=\n",
     compiled("/orders/@o ", "/^/'/orders/@o/::id=", "/^/'::n=")),
    ("section head", ".!hezo d\n[/orders/@o id=! min=1]\n", compiled("/orders/@o [unique::id] [min=1]")),
    ("section path with a quoted blank", '.!hezo d\n[/@"a b" min=1]\n', compiled('/@"a b" [min=1]')),
    ("blocks", ".!hezo d\n(/a)\n(/b)\nx=\n()\n[@s]\ny=\n[]\n()\nz=\n",
     compiled("/^/'/a/b::x=", "/a/@s ", "/^/'/a/@s/::y=", "/^/'::z=")),
    ("map block", ".!hezo demo\n(/scores min=1)\n!int\n/^[a-z]+$/=\n()\n",
     compiled("/scores [key::/^[a-z]+$/] [min=1]", INT + "'/scores::=", name="demo")),
    ("map annotation", ".!hezo d\n(/n)\n!map<int>\nscores?=\n", compiled(INT + "'/n/scores::?=")),
    ("map annotation without entry type", ".!hezo d\n!map\nm=\n", compiled("!str'/m::=")),
    ("list entries", ".!hezo d\n!int\n@scores;=1;2\n", compiled(INT + "'/@scores::=")),
    ("delegation", ".!hezo d\n(/cfg schema:app|other)\n()\n", compiled("/cfg [schema::app|other]")),
]


@pytest.mark.parametrize("source, expected", [case[1:] for case in COMPILED], ids=[case[0] for case in COMPILED])
def test_compile_schema(source, expected):
    assert bezo.compile_schema(source) == expected


ERRORS = [
    ("no declaration", "x=\n", "FORMAT_KIND_ERROR (line 1)"),
    ("lexer refusal", "(cfg x schema:app)\n", "INVALID_KEY_ERROR (line 1)"),
    ("optional without default", ".!hezo d\n!int\nx?=\n", "SchemaOptionalWithoutDefaultError"),
    ("duplicate field", ".!hezo d\nx=\nx=1\n", "SchemaDuplicateKeyError"),
    ("repeated delegation name", ".!hezo d\n(/b schema:x|x)\n", "SchemaDelegationError"),
    ("delegation with a bound", ".!hezo d\n(/cfg min=1 schema:app)\n", "SchemaDelegationError"),
    ("two delegation words", ".!hezo d\n(/cfg schema:a schema:b)\n", "SchemaDelegationError"),
    ("delegation word inside quotes", '.!hezo d\n(/"a schema:y")\n', "SchemaDelegationError"),
    ("empty name between quotes", '.!hezo d\n(/a schema:"a||b")\n', "SchemaDelegationError"),
    ("field in a delegated block", ".!hezo d\n(/cfg schema:a)\nx=\n", "SchemaDelegationError"),
    ("map block closed without key line", ".!hezo d\n(/m min=1)\n()\n", "INVALID_CONSTRAINT_ERROR (line 3)"),
    ("map block left open", ".!hezo d\n(/m min=1)\n", "INVALID_CONSTRAINT_ERROR (line 2)"),
    ("key line after a field", ".!hezo d\n(/m)\nx=\n/^a/=\n", "INVALID_CONSTRAINT_ERROR (line 4)"),
    ("key line outside blocks", ".!hezo d\n/^a/=\n", "INVALID_CONSTRAINT_ERROR (line 2)"),
    ("field after a key line", ".!hezo d\n(/m)\n/^a/=\nx=\n", "INVALID_CONSTRAINT_ERROR (line 4)"),
    ("key pattern that does not compile", ".!hezo d\n(/m)\n/a{2000}/=\n", "INVALID_CONSTRAINT_ERROR (line 3)"),
    ("field pattern that does not compile", ".!hezo d\n/a{2000}/\nx=\n", "INVALID_CONSTRAINT_ERROR"),
    ("map annotation above a key line", ".!hezo d\n(/m)\n!map<int>\n/^a/=\n",
     "the annotation above a map key line types the entry values; !map<…> has no place there"),
    ("map annotation with alternatives", ".!hezo d\n!map<int>|str\nscores=\n",
     "a map annotation admits neither a unit nor inline constraints"),
    ("nested sections", ".!hezo d\n[/a/@b]\n[/c/@d]\n", "nested schema section blocks are not supported"),
    ("map head bound beyond 64 bits", ".!hezo d\n(/m min=99999999999999999999)\n",
     "bad map-block header: /m min=99999999999999999999"),
    ("directive without name", ".!hezo d\n.!schema:/orders\n", "bad .!schema: .!schema:/orders"),
    ("web parent", ".!hezo d\n.!schema https://example.org/base\n", "SchemaResolutionError"),
    ("unknown provenance level", ".!hezo d\n.!provenance:bogus\n", "unknown provenance level: bogus"),
]


@pytest.mark.parametrize("source, message", [case[1:] for case in ERRORS], ids=[case[0] for case in ERRORS])
def test_compile_schema_error(source, message):
    with pytest.raises(bezo.BezoError) as raised:
        bezo.compile_schema(source)
    assert str(raised.value) == message


@pytest.fixture
def acme(tmp_path):
    """Writes strict parent schemas «acme/NAME» into a registry; returns the child's header."""
    (tmp_path / "acme").mkdir()

    def write(**schemas):
        for name, body in schemas.items():
            (tmp_path / "acme" / f"{name}.hezo").write_text(f".!hezo acme/{name} strict\n.!registry acme={tmp_path}\n{body}")
        return f".!hezo child\n.!registry acme={tmp_path}\n"

    return write


PARENTS = dict(base="id=\nname=\n", other="!int\nid=\nextra=\n",
               rows="[/rows/@r min=1]\nid=\n[]\n", loop_a=".!schema acme/loop_b\n", loop_b=".!schema acme/loop_a\n")

INHERITED = [
    ("child replaces in place", ".!schema acme/base\n!int\nid=\n",
     compiled(INT + "'::id=", "/^/'::name=", name="child")),
    ("child field before its parent", "!int\nid=\n.!schema acme/base\n",
     compiled(INT + "'::id=", "/^/'::name=", name="child")),
    ("child between two parents keeps its line", ".!schema acme/base\n!float\nid=\n.!schema acme/other\n",
     compiled("!float /^-?[0-9]*\\.?[0-9]+([eE][+-]?[0-9]+)?$/ ..num'::id=", "/^/'::name=", "/^/'::extra=",
              name="child")),
    ("subtree", ".!schema:/db acme/rows\n.!schema:/o acme/base\n",
     compiled("/db/rows/@r [min=1]", "/^/'/db/rows/@r/::id=", "/^/'/o::id=", "/^/'/o::name=", name="child")),
    ("element scope", ".!schema:/o/@e acme/base\n", compiled("/^/'/o/@e/::id=", "/^/'/o/@e/::name=", name="child")),
]


@pytest.mark.parametrize("body, expected", [case[1:] for case in INHERITED], ids=[case[0] for case in INHERITED])
def test_inherited(acme, body, expected):
    assert bezo.compile_schema(acme(**PARENTS) + body) == expected


INHERITED_ERRORS = [
    ("cycle", ".!schema acme/loop_a\n", "SchemaInheritanceCycleError"),
    ("missing parent", ".!schema acme/none\n", "SchemaResolutionError"),
    ("table line under an element scope", ".!schema:/o/@e acme/rows\n",
     "only root scalar fields extend array elements: /rows/@r [min=1]"),
    ("own field given twice", ".!schema acme/base\nx=\nx=\n", "SchemaDuplicateKeyError"),
]


@pytest.mark.parametrize("body, message", [case[1:] for case in INHERITED_ERRORS],
                         ids=[case[0] for case in INHERITED_ERRORS])
def test_inherited_error(acme, body, message):
    with pytest.raises(bezo.BezoError) as raised:
        bezo.compile_schema(acme(**PARENTS) + body)
    assert str(raised.value) == message


def chain(length, times=1):
    """Schemas s1 .. s{length}, each naming the next one `times` times."""
    return {f"s{k}": f".!schema acme/s{k + 1}\n" * times + f"f{k}=\n" if k < length else f"f{k}=\n"
            for k in range(1, length + 1)}


def test_eight_ancestors_and_no_more(acme):
    header = acme(**chain(8))
    assert bezo.compile_schema(header + ".!schema acme/s1\n").count("'::f") == 8
    header = acme(**chain(9))
    with pytest.raises(bezo.BezoError, match="^schema inheritance too deep$"):
        bezo.compile_schema(header + ".!schema acme/s1\n")
    # s5 is compiled first with four ancestors; named again four levels deeper it is too deep
    with pytest.raises(bezo.BezoError, match="^schema inheritance too deep$"):
        bezo.compile_schema(header + ".!schema acme/s5\n.!schema acme/s1\n")


def test_each_parent_is_compiled_once(acme):
    # Compiled afresh at every mention, this would take 40 ** 7 parent runs.
    header = acme(**chain(8, times=40))
    assert bezo.compile_schema(header + ".!schema acme/s1\n").count("'::f") == 8
