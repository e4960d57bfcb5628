"""XML in and out through the module: import_from("xml") and export_to("xml")."""
import base64
import json
import xml.etree.ElementTree as ET
import xml.parsers.expat

import pytest

import bezo

DECLARATION = '<?xml version="1.0" encoding="UTF-8"?>\n'


def b64(text):
    data = text if isinstance(text, bytes) else text.encode()
    return base64.urlsafe_b64encode(data).decode().rstrip("=")


def export(*lines):
    return bezo.export_to("xml", ".!nezo\n" + "".join(line + "\n" for line in lines))


def refusal(function, *args):
    with pytest.raises(bezo.BezoError) as caught:
        function(*args)
    assert type(caught.value) is bezo.BezoError
    return str(caught.value)


def shape(element):
    """An ElementTree element as (tag, attributes, stripped text, children)."""
    return (element.tag, element.attrib, (element.text or "").strip(), [shape(child) for child in element])


# --- reader ---------------------------------------------------------------

@pytest.mark.parametrize("text, message", [
    ("", "expected `<` at byte 0"),
    ("  x", "expected `<` at byte 2"),
    ("<a", "expected a name at byte 2"),
    ("\ufeff<a", "expected a name at byte 2"),
    ("<a x>", "expected `=` at byte 4"),
    ("<a></a", "expected `>` at byte 6"),
    ("<a></a x>", "expected `>` at byte 7"),
    ("<a x=1/>", "attribute value must be quoted"),
    ("<a x=", "attribute value must be quoted"),
    ('<a x="1/>', "unterminated construct: missing `\"`"),
    ("<a x='1/>", "unterminated construct: missing `'`"),
    ('<a x="<"/>', "`<` in attribute value"),
    ('<a x="1" x="2"/>', "duplicate attribute x on <a>"),
    ("<a></b>", "mismatched tags: <a> \u2026 </b>"),
    ("<a>", "unclosed element <a>"),
    ("<a><b></a>", "mismatched tags: <b> \u2026 </a>"),
    ("<!DOCTYPE a><a/>", "DOCTYPE/DTD is not supported"),
    ("<![CDATA[x]]><a/>", "DOCTYPE/DTD is not supported"),
    ("<a><!X></a>", "DOCTYPE/DTD is not supported"),
    ("<a/><b/>", "trailing content after the root element"),
    ("<a/>x", "trailing content after the root element"),
    ("<!-- x", "unterminated construct: missing `-->`"),
    ("<a><!-- x</a>", "unterminated construct: missing `-->`"),
    ("<?pi x", "unterminated construct: missing `?>`"),
    ('<?xml version="1.0"', "unterminated construct: missing `?>`"),
    ("<a><![CDATA[x</a>", "unterminated construct: missing `]]>`"),
    ('<?xml version="1.0" encoding="ISO-8859-1"?><a/>', "unsupported encoding: ISO-8859-1 (UTF-8 only)"),
    ("<?xml version='1.0' encoding = 'utf8'?><a/>", "unsupported encoding: utf8 (UTF-8 only)"),
    ('<?xml version="1.0" encoding=""?><a/>', "unsupported encoding:  (UTF-8 only)"),
    ("<a>\x0b</a>", "character U+000B is not a legal XML character"),
    ("<a>" * 514 + "</a>" * 514, "XML nesting too deep"),
])
def test_reader_refusals(text, message):
    assert refusal(bezo.import_from, "xml", text) == message


@pytest.mark.parametrize("text", [
    "<a/>",
    '<?xml version="1.0"?><a/>',
    '\ufeff<?xml version="1.0"?><a/>',
    '<?xml version="1.0" encoding="UTF-8"?><a/>',
    "<?xml version='1.0' encoding = 'Utf-8' ?>\n<a/>",
    '<?xml version="1.0" encoding=latin1?><a/>',
    '<?xml-stylesheet href="s"?><!-- c --><a/>\n<!-- after --><?pi after?>\n',
    "<a><?pi x?><!-- c --></a>",
])
def test_reader_accepts_prologs_and_trailing_markup(text):
    assert bezo.import_from("xml", text) == ".!bezo\n.?xml\n\n!null\na=\n"


def test_reader_reads_512_levels_below_the_document_element():
    text = bezo.import_from("xml", "<a>" * 513 + "x" + "</a>" * 513)
    assert text == ".!bezo\n.?xml\n\n/" + "/".join(["a"] * 512) + "::a=x\n"


@pytest.mark.parametrize("xml_text, key, value", [
    ('<a x="a\tb\r\nc\rd\ne"/>', '"@x"', "a b c d e"),
    ('<a x="1"y="2"/>', '"@y"', "2"),
])
def test_reader_decodes_attribute_values(xml_text, key, value):
    assert "/a::" + key + "=" + value + "\n" in bezo.import_from("xml", xml_text)


# --- import ---------------------------------------------------------------

@pytest.mark.parametrize("xml_text, body", [
    ("<a/>", "!null\na=\n"),
    ("<a>  </a>", "!null\na=\n"),
    ("<a>  hi  </a>", "a=hi\n"),
    ("<a>\u00a0hi\u3000</a>", "a=hi\n"),
    ("<a> <![CDATA[ <x> ]]> </a>", "a=<x>\n"),
    ("<a>x<!-- c -->y</a>", "a=xy\n"),
    ("<a><b>a\tb\r\nc\rd</b></a>", "!text\n/a::b=a\tb|:|c|:|d\n"),
    ("<config><host>h</host><port>8080</port></config>", "/config:=host=h|port=8080\n"),
    ('<a x="1"/>', '/a::"@x"=1\n'),
    ('<a x=" 1 ">t</a>', '/a::"@x"= 1 \n/a::"#text"=t\n'),
    ("<list><i>1</i><i>2</i></list>", "/list/@i;=1;2\n"),
    ("<r><x/><y/><x/></r>", "!null\n/r/@x;=;\n!null\n/r::y=\n"),
    ('<r><e k="v">t</e><e>u</e></r>', '/r/@e/0::"@k"=v\n/r/@e/0::"#text"=t\n/r/@e::1=u\n'),
    ("<p> <b/> </p>", "!null\n/p:=b=\n"),
    ('<xs:s xmlns:xs="u"><xs:e/></xs:s>', '/"xs:s"::"@xmlns:xs"=u\n!null\n/"xs:s"::"xs:e"=\n'),
])
def test_import_maps_elements(xml_text, body):
    assert bezo.import_from("xml", xml_text) == ".!bezo\n.?xml\n\n" + body


@pytest.mark.parametrize("xml_text, key, source", [
    ("<p>a<b/></p>", "p", "<p>a<b/></p>"),
    ("<a>x<b/>y</a>", "a", "<a>x<b/>y</a>"),
    ("<d><p>a<!-- c --><b/><![CDATA[<]]>&amp;</p><q/></d>", "/d::p", "<p>a<!-- c --><b/><![CDATA[<]]>&amp;</p>"),
])
def test_import_keeps_mixed_content_as_source(xml_text, key, source):
    text = bezo.import_from("xml", xml_text)
    assert text.startswith(".!bezo\n.?xml\n.!types std/enc\n\n")
    assert "&xml\n" + key + "=" + b64(source) + "\n" in text


def test_import_of_many_distinct_and_repeated_names():
    attributes = " ".join(f"a{i}='{i}'" for i in range(100))
    children = "".join(f"<c{i}/><r>{i}</r>" for i in range(100))
    text = bezo.import_from("xml", f"<w {attributes}>{children}</w>")
    assert text.count("!null\n/w::c") == 100
    assert "".join(f"/w/@r+={i}\n" for i in range(100)) in text
    assert refusal(bezo.import_from, "xml", "<w " + " ".join(f'a{i}="1"' for i in range(40)) + ' a7="2"/>') == \
        "duplicate attribute a7 on <w>"


def grouped_children(names):
    """The data of an element whose children, named `names`, each hold their
    position as text: one member per name in order of first occurrence, an
    array of the texts in document order where a name repeats."""
    groups = {}
    for position, name in enumerate(names):
        groups.setdefault(name, []).append(str(position))
    return {name: texts if len(texts) > 1 else texts[0] for name, texts in groups.items()}


@pytest.mark.parametrize("names", [
    [f"n{i}" for i in range(16)] + ["n3", "n15"],
    [f"n{i}" for i in range(17)] + ["n0", "n16", "n0"],
    ["a", "a", "b", "b"] + [f"n{i}" for i in range(18)] + ["b", "a", "n17"],
    [f"n{i}" for i in range(2000)],
    [f"n{i % 1500}" for i in range(3000)],
    [f"n{i % 3}" if i % 2 else f"m{i}" for i in range(2500)],
    [f"n{i}" for i in range(5000)],
    [f"n{i % 4100}" for i in range(8200)],
    ["a", "b", "a"] + [f"n{i}" for i in range(4100)] + ["b", "a", "n4099", "n0"],
], ids=["16 names", "17 names", "repeated before many", "2000 distinct", "1500 names twice", "3 among 1250",
        "5000 distinct", "4100 names twice", "repeated before very many"])
def test_import_groups_children_of_wide_elements_by_name(names):
    children = "".join(f"<{name}>{position}</{name}>" for position, name in enumerate(names))
    # The wide element stands between siblings, so that the members of its
    # parent wait below its own.
    text = bezo.import_from("xml", f"<r><x>1</x><w>{children}</w><x>2</x></r>")
    data = {"r": {"x": ["1", "2"], "w": grouped_children(names)}}
    assert text == bezo.import_from("json", json.dumps(data)).replace(".!bezo\n", ".!bezo\n.?xml\n", 1)


@pytest.mark.parametrize("count, repeated", [(15, 0), (16, 15), (16, 0), (17, 16), (17, 3), (40, 39)])
def test_import_refuses_a_repeated_attribute_among_many(count, repeated):
    attributes = " ".join(f'a{i}="{i}"' for i in range(count))
    assert refusal(bezo.import_from, "xml", f'<w {attributes} a{repeated}="x"/>') == \
        f"duplicate attribute a{repeated} on <w>"


MANY_ATTRIBUTES = " ".join(f'a{i}="{i}"' for i in range(20))


@pytest.mark.parametrize("rest, message", [
    ('a3="x" b="<"/>', "duplicate attribute a3 on <w>"),
    ('a3="x" b=1/>', "duplicate attribute a3 on <w>"),
    ('a3="x" b="1"', "duplicate attribute a3 on <w>"),
    ('a3="x">', "duplicate attribute a3 on <w>"),
    ('a1="x" a0="x"/>', "duplicate attribute a1 on <w>"),
    ('b="1" b="2" a0="x"/>', "duplicate attribute b on <w>"),
    ('a3="<"/>', "`<` in attribute value"),
    ('b=1 a3="x"/>', "attribute value must be quoted"),
    ('b="1"', "expected a name at byte 168"),
    ('b="1">', "unclosed element <w>"),
], ids=["bad value after", "unquoted after", "end of text after", "unclosed after", "first of two repeats",
        "repeat among new names", "bad value of the repeat", "fault before the repeat", "end of text", "unclosed"])
def test_import_refuses_the_first_fault_of_a_start_tag_with_many_attributes(rest, message):
    assert refusal(bezo.import_from, "xml", f"<w {MANY_ATTRIBUTES} {rest}") == message


# --- export ---------------------------------------------------------------

@pytest.mark.parametrize("lines, expected", [
    (["!str'config/host=h"], "<config>\n  <host>h</host>\n</config>\n"),
    (["!int'@items/0=1", "!int'@items/1=2"], "<root>\n  <items>1</items>\n  <items>2</items>\n</root>\n"),
    ([], "<root/>\n"),
    (["!str'a=x", "!bool'b=true"], "<root>\n  <a>x</a>\n  <b>true</b>\n</root>\n"),
    (['!int\'e/"@id"=7', '!str\'e/"#text"=a<b'], '<e id="7">a&lt;b</e>\n'),
    (['!text\'e/"@q"=a"b\tc|:|d\re&<>\''], '<e q="a&quot;b&#9;c&#10;d&#13;e&amp;&lt;&gt;\'"/>\n'),
    (["!text'e=a\"b\tc|:|d\re&<>'"], "<e>a\"b\tc\nd&#13;e&amp;&lt;&gt;'</e>\n"),
    (['!str\'e/"#text"=t', "!str'e/c=x", '!str\'e/"@a"=1'], '<e a="1">\n  t\n  <c>x</c>\n</e>\n'),
    (['!str\'e/"#text"=old', '!str\'e/"#text"='], "<e></e>\n"),
    (["!str'e/s=", "!null'e/n=", '!null\'e/"@a"='], '<e a="">\n  <s/>\n  <n/>\n</e>\n'),
    (["!str'e/@i/0=a", "!str'e/@i/1=b", "!float'e/z=1.50"], "<e>\n  <i>a</i>\n  <i>b</i>\n  <z>1.50</z>\n</e>\n"),
    (["!std/enc/json'e/k=" + b64('{"i": [], "d": "2024-01-02"}')], "<e>\n  <k>\n    <d>2024-01-02</d>\n  </k>\n</e>\n"),
    (["!std/time/date'e/d=2024-01-02", "!std/num/inf'e/f=-inf"], "<e>\n  <d>2024-01-02</d>\n  <f>-inf</f>\n</e>\n"),
    (["!std/enc/xml'p=" + b64("<p>a<b/></p>")], "<p>a<b/></p>\n"),
    (["!std/enc/xml'e/p=" + b64(" \n<p>a<!--c--><![CDATA[<]]>&amp;\n</p>\t")],
     "<e>\n  <p>a<!--c--><![CDATA[<]]>&amp;\n</p>\n</e>\n"),
    (["!str'caf\u00e9/a\u00b7b=x"], "<caf\u00e9>\n  <a\u00b7b>x</a\u00b7b>\n</caf\u00e9>\n"),
])
def test_export_writes_elements(lines, expected):
    text = export(*lines)
    assert text == DECLARATION + expected
    ET.fromstring(text)


def test_export_parses_back_to_the_same_elements():
    text = export('!str\'doc/"@v"=1 "2"', "!str'doc/item/@x/0=a & b", "!str'doc/item/@x/1=<c>",
                  '!str\'doc/t/"#text"=tab\there', "!null'doc/t/u=")
    assert shape(ET.fromstring(text)) == (
        "doc", {"v": '1 "2"'}, "", [
            ("item", {}, "", [("x", {}, "a & b", []), ("x", {}, "<c>", [])]),
            ("t", {}, "tab\there", [("u", {}, "", [])]),
        ])


def test_export_writes_prefixed_names_that_a_plain_parser_reads():
    text = export('!str\'"x:a"/"@xmlns:x"=u', '!str\'"x:a"/"x:b"=1')
    seen = []
    parser = xml.parsers.expat.ParserCreate()
    parser.StartElementHandler = lambda name, attributes: seen.append((name, attributes))
    parser.Parse(text, True)
    assert seen == [("x:a", {"xmlns:x": "u"}), ("x:b", {})]


def test_import_of_an_export_returns_string_data():
    data = {"config": {"@id": "7", "host": "h", "items": ["a", "b"], "sub": {"@k": "v", "#text": "w x"}}}
    text = export('!str\'config/"@id"=7', "!str'config/host=h", "!str'config/@items/0=a", "!str'config/@items/1=b",
                  '!str\'config/sub/"@k"=v', '!str\'config/sub/"#text"=w x')
    assert bezo.import_from("xml", text) == bezo.import_from("json", json.dumps(data)).replace(
        ".!bezo\n", ".!bezo\n.?xml\n", 1)


@pytest.mark.parametrize("lines, message", [
    (['!str\'"a b"=1'], "not a valid XML element name: a b"),
    (["!str'a\u00d7b=1"], "not a valid XML element name: a\u00d7b"),
    (["!str'a\u00a0b=1"], "not a valid XML element name: a\u00a0b"),
    (['!str\'e/"@1x"=1'], "not a valid XML attribute name: 1x"),
    (['!str\'e/"@a"/b=1'], "attribute @a holds a container"),
    (['!str\'e/"#text"/b=1'], "#text holds a container"),
    (["!std/enc/json'e/k=" + b64("[[1]]")], "array directly inside an array at k has no XML representation"),
    (["!std/enc/json'x=" + b64('{"e":{"@id":1,"@id":2}}')], "duplicate attribute id on <e>"),
    (["!std/enc/json'x=" + b64('{"e":{"@id":1,"@id":{}}}')], "attribute @id holds a container"),
    (["!str'e=a\x01"], "character U+0001 has no XML representation"),
    (['!str\'e/"@a"=\uffff'], "character U+FFFF has no XML representation"),
    (["!std/enc/xml'p=A"], "invalid base64url payload"),
    (["!std/enc/xml'p=" + b64(b"<p>\xff</p>")], "std/enc/xml payload is not UTF-8"),
    (["!std/enc/xml'p=" + b64("<p>")], "unclosed element <p>"),
    (["!std/enc/xml'p=" + b64("<?xml version='1.0'?><p/>")], "expected a name at byte 1"),
    (["!std/enc/xml'p=" + b64("<p/><p/>")], "std/enc/xml payload is not a single element"),
    (["!std/enc/xml'p=" + b64("<q/>")], "std/enc/xml payload root <q> does not match field p"),
    (["!int'a=01"], "!int value is not a JSON number: 01"),
])
def test_export_refusals(lines, message):
    assert refusal(export, *lines) == message
