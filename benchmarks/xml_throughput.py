"""Times XML import and export side by side with ElementTree and lxml, and checks that both scale linearly.

Run after a build:  PYTHONPATH=build/python python3 benchmarks/xml_throughput.py

On a generated document of about 5 MB (records with attributes, nested
elements and repeated names) it times bezo.import_from("xml") against
xml.etree.ElementTree.fromstring and lxml.etree.fromstring (python3-lxml, a
benchmark-only peer: without it the script says so and stops), then import
alone against lxml on records documents of about 10 and 20 MB, and
bezo.export_to("xml") of the same data
as canonical text against ElementTree.tostring of the parsed tree, and prints
each time ratio (bezo over ElementTree; at most 1.0 is the target). Then it
doubles the records document, an element with 100,000 distinct children and
one with 100,000 attributes, and prints how much longer the doubled input
takes (at most 2.2 is the target). Exits with status 1 when a target is missed.
"""
import statistics
import sys
import time
import xml.etree.ElementTree as ET

import bezo
from timing import require_peer

lxml_etree = require_peer("lxml.etree", "python3-lxml")

KINDS = ("book", "article", "thesis")


def records_document(count):
    parts = ["<catalog>\n"]
    for i in range(count):
        parts.append(
            f'  <record id="{i}" kind="{KINDS[i % 3]}">\n'
            f"    <title>Record number {i}</title>\n"
            f"    <author>Author {i % 97}</author>\n"
            f"    <author>Coauthor {i % 89}</author>\n"
            f'    <price currency="EUR">{i % 1000}.50</price>\n'
            f"    <tags><tag>t{i % 7}</tag><tag>t{i % 11}</tag><tag>t{i % 13}</tag></tags>\n"
            f"    <note>Fish &amp; chips, {i}</note>\n"
            f"  </record>\n")
    parts.append("</catalog>\n")
    return "".join(parts)


def wide_document(count):
    return "<wide>" + "".join(f"<c{i}>{i}</c{i}>" for i in range(count)) + "</wide>"


def attributes_document(count):
    return "<e " + " ".join(f'a{i}="{i}"' for i in range(count)) + "/>"


def element_data(element):
    """The data that XML import gives an element (the documents here have no mixed content)."""
    text = (element.text or "").strip()
    if not element.attrib and len(element) == 0:
        return text or None
    data = {"@" + name: value for name, value in element.attrib.items()}
    if text:
        data["#text"] = text
    for child in element:
        value = element_data(child)
        if child.tag not in data:
            data[child.tag] = value
        elif isinstance(data[child.tag], list):
            data[child.tag].append(value)
        else:
            data[child.tag] = [data[child.tag], value]
    return data


def segment(key):
    return key if key.replace("_", "a").isalnum() and not key[0].isdigit() else '"' + key + '"'


def canonical_lines(value, path, out):
    if isinstance(value, dict):
        for key, item in value.items():
            if isinstance(item, list):
                for index, element in enumerate(item):
                    canonical_lines(element, f"{path}/@{key}/{index}", out)
            else:
                canonical_lines(item, f"{path}/{segment(key)}", out)
    elif value is None:
        out.append(f"!null'{path}=")
    else:
        out.append(f"!str'{path}={value}")


def canonical_document(xml_text):
    root = ET.fromstring(xml_text)
    lines = [".!nezo"]
    canonical_lines({root.tag: element_data(root)}, "", lines)
    return "\n".join(lines) + "\n"


def median_time(function, argument, repeats=5):
    """The median of several runs, after one run that settles the allocator."""
    function(argument)
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        function(argument)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def import_xml(text):
    return bezo.import_from("xml", text)


def lxml_fromstring(text):
    # lxml reads bytes faster than a str, encoding included.
    return lxml_etree.fromstring(text.encode())


def export_xml(text):
    return bezo.export_to("xml", text)


def tostring(tree):
    return ET.tostring(tree, encoding="unicode")


def compare(label, ours, peer_name, peer):
    ratio = ours / peer
    print(f"{label:<13} bezo {ours:6.3f} s  {peer_name} {peer:6.3f} s  bezo/peer {ratio:5.2f}")
    return ratio <= 1.0


def scaling(label, make, size, convert):
    small, large = make(size), make(2 * size)
    # The larger input runs first, so that both sizes find the heap grown
    # alike and the ratio measures our work rather than fresh pages.
    convert(large)
    ratio = median_time(convert, large) / median_time(convert, small)
    print(f"{label:<44} twice the input: {ratio:4.2f} times as long")
    return ratio <= 2.2


def main():
    xml_text = records_document(17_500)
    canonical = canonical_document(xml_text)
    tree = ET.fromstring(xml_text)
    print(f"records document: {len(xml_text) / 1e6:.1f} MB of XML, {len(canonical) / 1e6:.1f} MB canonical")
    fine = compare("import", median_time(import_xml, xml_text), "ElementTree.fromstring",
                   median_time(ET.fromstring, xml_text))
    fine &= compare("import", median_time(import_xml, xml_text), "lxml.etree.fromstring",
                    median_time(lxml_fromstring, xml_text))
    for records in (35_000, 70_000):
        large = records_document(records)
        fine &= compare(f"import {len(large) / 1e6:.0f} MB", median_time(import_xml, large), "lxml.etree.fromstring",
                        median_time(lxml_fromstring, large))
    fine &= compare("export", median_time(export_xml, canonical), "ElementTree.tostring", median_time(tostring, tree))

    fine &= scaling("import, records", records_document, 17_500, import_xml)
    fine &= scaling("export, records", lambda n: canonical_document(records_document(n)), 17_500, export_xml)
    fine &= scaling("import, 100,000 distinct children", wide_document, 100_000, import_xml)
    fine &= scaling("export, 100,000 distinct children", lambda n: canonical_document(wide_document(n)), 100_000,
                    export_xml)
    fine &= scaling("import, 100,000 attributes", attributes_document, 100_000, import_xml)
    return 0 if fine else 1


if __name__ == "__main__":
    sys.exit(main())
