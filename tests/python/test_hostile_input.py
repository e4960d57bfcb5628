"""Hostile inputs that reach files or the schema header: registry locations
and module paths that would make the resolver open something other than
"{location}/{module}.{kind}", and schema names that would change the header
of an imported schema."""
import json
import os

import pytest

import bezo

MARKER = "marker-5f3c9a"


def denormalize_with(location, module="acme/s"):
    return bezo.denormalize(f".!lezo\n.!registry acme={location}\n.!schema {module}\n!str'::v=1\n")


@pytest.fixture
def files(tmp_path):
    """A marker file, a registry directory with one good schema, and module
    files that are no regular files."""
    marker = tmp_path / "marker.txt"
    marker.write_text(MARKER + "\n")
    registry = tmp_path / "registry"
    (registry / "acme").mkdir(parents=True)
    (registry / "acme" / "s.whezo").write_text(".!whezo acme/s\n!str'::v=\n")
    (registry / "acme" / "dir.whezo").mkdir()
    os.mkfifo(registry / "acme" / "fifo.whezo")
    os.symlink("/dev/zero", registry / "acme" / "zero.whezo")
    os.symlink(marker, registry / "acme" / "link.whezo")
    os.symlink("../../marker.txt", registry / "acme" / "climb.whezo")
    os.symlink("/proc/self/environ", registry / "acme" / "environ.whezo")
    os.symlink("s.whezo", registry / "acme" / "inside.whezo")
    os.symlink(tmp_path, registry / "away")
    (tmp_path / "marker.whezo").write_text(MARKER + "\n")
    return marker, registry


@pytest.mark.parametrize("location, module", [
    # The C form of a path ends at its first NUL: the module's own file name
    # and kind would be dropped.
    ("{marker}\x00", "acme/s"),
    ("{marker}\x00/x", "acme/s"),
    ("{marker}\x00\r", "acme/s"),
    ("\x00{registry}", "acme/s"),
    ("{registry}\x00", "acme/s"),
    ("/etc/passwd\x00", "acme/s"),
    ("/proc/self/environ\x00", "acme/s"),
    # Names that would climb out of the location.
    ("{registry}", "acme/../../marker"),
    ("{registry}", "acme/.."),
    ("{registry}", "/acme/s"),
    ("{registry}/acme", "../marker"),
    # Module files that are no regular files: nothing blocks or reads forever.
    ("{registry}", "acme/dir"),
    ("{registry}", "acme/fifo"),
    ("{registry}", "acme/zero"),
    ("/dev", "acme/stdin"),
    # Links that lead out of the registry, to a file or through a directory.
    ("{registry}", "acme/link"),
    ("{registry}", "acme/climb"),
    ("{registry}", "acme/environ"),
    ("{registry}", "away/marker"),
])
def test_a_location_or_module_that_leaves_its_file_is_refused(files, location, module):
    marker, registry = files
    location = location.format(marker=marker, registry=registry)
    with pytest.raises(bezo.BezoError) as caught:
        denormalize_with(location, module)
    assert str(caught.value) == "SchemaResolutionError"
    assert MARKER not in str(caught.value)


def test_the_module_file_inside_its_location_is_read(files):
    marker, registry = files
    assert denormalize_with(registry) == ".!nezo\n.!registry acme=" + str(registry) + "\n.!schema acme/s\n!str'::v=1\n"
    # A symbolic link to a regular file inside the registry is still a module file.
    assert denormalize_with(registry, "acme/inside") == (
        ".!nezo\n.!registry acme=" + str(registry) + "\n.!schema acme/inside\n!str'::v=1\n")


def test_a_module_file_over_the_size_cap_is_refused_unread(tmp_path):
    registry = tmp_path / "registry"
    (registry / "acme").mkdir(parents=True)
    for size in [64 * 2**20 + 1, 2**40]:
        with open(registry / "acme" / "s.whezo", "wb") as sparse:
            sparse.truncate(size)
        with pytest.raises(bezo.BezoError) as caught:
            denormalize_with(registry)
        assert str(caught.value) == "SchemaResolutionError"


def test_a_module_error_quotes_a_short_escaped_excerpt(tmp_path):
    registry = tmp_path / "registry"
    (registry / "acme").mkdir(parents=True)
    (registry / "acme" / "s.whezo").write_text("SHELL=/bin/bash\x00\x1b[2J" + "x" * 10_000 + "\n")
    with pytest.raises(bezo.BezoError) as caught:
        denormalize_with(registry)
    message = str(caught.value)
    assert message.startswith("unsupported .whezo line (no ' delimiter): SHELL=/bin/bash\\u{0}\\u{1b}[2J")
    assert message.endswith("\u2026") and len(message) < 200


JSON_SCHEMA = json.dumps({"type": "object", "properties": {"a": {"type": "string"}}})
FOREIGN_SCHEMAS = {
    "jsonschema": JSON_SCHEMA,
    "xsd": '<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="r"><xs:complexType>'
           '<xs:sequence><xs:element name="a" type="xs:string"/></xs:sequence></xs:complexType></xs:element>'
           '</xs:schema>',
    "proto": 'syntax = "proto3"; message M { string a = 1; }',
    "avsc": json.dumps({"type": "record", "name": "R", "fields": [{"name": "a", "type": "string"}]}),
    "graphql": "type Query { a: String }",
}


@pytest.mark.parametrize("format", sorted(FOREIGN_SCHEMAS))
@pytest.mark.parametrize("name, message", [
    ("acme\n.!registry acme=/etc", "schema name must not hold a line break"),
    ("s\r.!registry acme=/etc", "schema name must not hold a line break"),
    ("s\n", "schema name must not hold a line break"),
    ("a\x00b", "schema name must not hold a NUL character"),
    ("a b", "schema name must be one word: no blank, tab or form feed"),
    ("s strict", "schema name must be one word: no blank, tab or form feed"),
    ("a\tb", "schema name must be one word: no blank, tab or form feed"),
    ("a\fb", "schema name must be one word: no blank, tab or form feed"),
    (" s", "schema name must be one word: no blank, tab or form feed"),
    ("1s", "schema name must not begin with a digit: it would read as a version"),
    ("1.0", "schema name must not begin with a digit: it would read as a version"),
    ("strict", 'schema name must not be the word "strict": it would read as a flag'),
])
def test_a_name_that_breaks_the_header_line_is_refused(format, name, message):
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_schema(format, FOREIGN_SCHEMAS[format], name=name)
    assert str(caught.value) == message


@pytest.mark.parametrize("format", sorted(FOREIGN_SCHEMAS))
@pytest.mark.parametrize("name", ["", "s", "acme/s", "s1", "_s", "x-1", "a.b", "#x", "caf\u00e9", "a\u00a0b",
                                  "a\u2028b", "a\vb", "=", "'"])
def test_every_accepted_name_gives_a_schema_that_compiles(format, name):
    imported = bezo.import_schema(format, FOREIGN_SCHEMAS[format], name=name)
    assert imported.startswith(f".!hezo {name}\n")
    compiled = bezo.compile_schema(imported)
    assert compiled.split("\n", 1)[0] == (f".!whezo {name}" if name else ".!whezo")


def test_an_unknown_format_is_named_before_the_name_is_checked():
    with pytest.raises(bezo.BezoError) as caught:
        bezo.import_schema("JSONSCHEMA", JSON_SCHEMA, name="1s")
    assert str(caught.value) == "unsupported schema format: JSONSCHEMA"
