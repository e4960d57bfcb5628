"""Resource bounds of the binary exports: integers of any accepted length convert
exactly and fast, longer ones are refused, and Avro data whose datum would
outgrow the output budget is refused before it is written.

The resource checks run the call in a child process under an address-space
limit, or under a deadline that only guards against the hang the call would
be without its bound (deadlines.py).
"""
import base64
import contextlib
import io
import json
import os
import resource
import subprocess
import sys
import textwrap
import warnings

import avro.datafile
import avro.io
import cbor2
import pytest
from pyasn1.codec.der import decoder as der_decoder
from pyasn1.type import univ

import bezo
from deadlines import hang_guard

UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")
LONGEST = 10 ** 100_000 - 1
TOO_LONG = "1" + "0" * 100_000


@contextlib.contextmanager
def long_integer_text():
    """Lets Python spell and read integers beyond its default 4300 digits."""
    previous = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(0)
    try:
        yield
    finally:
        sys.set_int_max_str_digits(previous)


@pytest.fixture(autouse=True)
def long_integers_in_tests():
    with long_integer_text():
        yield


def export_in_child(road, text, tmp_path, address_space=None, deadline=hang_guard(20)):
    """Exports `text` in a fresh interpreter under the limits; returns the
    error message, or the size of what was exported."""
    source = tmp_path / "input.nezo"
    source.write_text(text)

    def limit():
        if address_space:
            resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))
    code = textwrap.dedent(f"""
        import bezo
        try:
            print(len(bezo.export_to({road!r}, open({str(source)!r}).read())))
        except bezo.BezoError as error:
            print(error)
    """)
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, preexec_fn=limit,
                            timeout=deadline, env=dict(os.environ))
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def canonical(*lines):
    return ".!nezo\n" + "".join(line + "\n" for line in lines)


def avro_datum(data):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        (datum,) = list(avro.datafile.DataFileReader(io.BytesIO(data), avro.io.DatumReader()))
    return datum


def der_integer(data):
    value, rest = der_decoder.decode(data, asn1Spec=univ.Integer())
    assert rest == b""
    return int(value)


def shortest_twos_complement(number):
    return number.to_bytes(max(1, (number + (number < 0)).bit_length() // 8 + 1), "big", signed=True)


INTEGERS = [0, 1, -1, 23, 24, -24, -25, 2 ** 63 - 1, -2 ** 63, 2 ** 63, -2 ** 63 - 1, 2 ** 64 - 1, 2 ** 64,
            -2 ** 64, -2 ** 64 - 1, 2 ** 64 + 1, 10 ** 19 - 1, 10 ** 19, -10 ** 19, 10 ** 19 + 1, 10 ** 38,
            -10 ** 38, 10 ** 38 - 1, 2 ** 127, -2 ** 127, -2 ** 127 - 1, 2 ** 128, 2 ** 1024 - 1, -2 ** 1024,
            10 ** 4300, -10 ** 4301 + 7, 2 ** 65536 - 1, -(2 ** 65536), LONGEST, -LONGEST]
with long_integer_text():
    TEXTS = [str(number) for number in INTEGERS] + [
        "-0"]


@pytest.mark.parametrize("text", TEXTS, ids=lambda text: f"{text[0]}{len(text)}chars")
def test_integers_convert_exactly_on_every_binary_road(text):
    value = int(text)
    assert cbor2.loads(bezo.export_to("cbor", canonical("!int'v=" + text))) == {"v": value}
    der = bezo.export_to("asn1", canonical("!int'int=" + text))
    assert der_integer(der) == value
    assert der.endswith(shortest_twos_complement(value))
    assert int(avro_datum(bezo.export_to("avro", canonical("!int'v=" + text)))["v"]) == value


@pytest.mark.parametrize("road, line", [
    ("cbor", "!int'v={}"), ("cbor", "!int'v=-{}"), ("asn1", "!int'int={}"), ("asn1", "!int'enum=-{}"),
    ("avro", "!int'v={}"), ("avro", "!int'v=-{}"), ("avro", "!float'v={}.5"),
])
def test_an_integer_past_the_digit_limit_is_refused(road, line):
    with pytest.raises(bezo.BezoError) as caught:
        bezo.export_to(road, canonical(line.format(TOO_LONG)))
    assert str(caught.value) == "integer too long: more than 100000 digits"


@pytest.mark.parametrize("road, line", [("cbor", "!int'v="), ("asn1", "!int'int="), ("avro", "!int'v=")])
def test_ten_million_digits_are_refused_at_once(road, line, tmp_path):
    # Converting them would take minutes.
    assert export_in_child(road, canonical(line + "7" * 10_000_000), tmp_path) == \
        "integer too long: more than 100000 digits"


def test_objects_of_distinct_members_write_a_null_for_every_other_member():
    text = canonical(*(f"!int'@v/{i}/f{i}=1" for i in range(300)))
    datum = avro_datum(bezo.export_to("avro", text))
    assert len(datum["v"]) == 300
    for i, row in enumerate(datum["v"]):
        assert row == {f"f{j}": (1 if j == i else None) for j in range(300)}


def embedded(data):
    return "!std/enc/json'v=" + base64.urlsafe_b64encode(json.dumps(data).encode()).decode().rstrip("=")


@pytest.mark.skipif(UNDER_ASAN, reason="address-space limit")
@pytest.mark.parametrize("lines", [
    # 50,000 objects of 50,000 fields each would write 2.5 GB of union
    # indexes: flat, each inside an object, each inside an array.
    [f"!int'@v/{i}/f{i}=1" for i in range(50_000)],
    [f"!str'@v/{i}/r/f{i}=x" for i in range(50_000)],
    [embedded([[{f"f{i}": 1}] for i in range(50_000)])],
], ids=["flat", "in-objects", "in-arrays"])
def test_a_datum_past_the_output_budget_is_refused_before_it_is_written(lines, tmp_path):
    assert export_in_child("avro", canonical(*lines), tmp_path, address_space=600 << 20) == \
        "output too large: more than 1073741824 bytes"


def test_members_that_are_all_null_write_nothing_however_many(tmp_path):
    # 50,000 null fields in each of 50,000 objects: every record is empty,
    # and the file holds little more than the schema.
    text = canonical(*(f"!null'@v/{i}/f{i}=" for i in range(50_000)))
    assert int(export_in_child("avro", text, tmp_path)) < 2_000_000
