"""Exact unit conversion under a schema: bezo.build converts a quantity into
the schema's unit, and the canonical text it writes passes bezo.validate.
Expected results are computed here with exact fractions."""
from fractions import Fraction

import pytest

import bezo

# The size of each unit used below, relative to its base units.
SCALES = {
    "b": Fraction(1), "B": Fraction(8),
    "kb": Fraction(10**3), "Mb": Fraction(10**6), "kB": Fraction(8 * 10**3), "MB": Fraction(8 * 10**6),
    "GB": Fraction(8 * 10**9), "Kib": Fraction(2**10), "KiB": Fraction(8 * 2**10), "MiB": Fraction(8 * 2**20),
    "GiB": Fraction(8 * 2**30), "TiB": Fraction(8 * 2**40), "PiB": Fraction(8 * 2**50),
    "b/s": Fraction(1), "kb/s": Fraction(10**3), "Mbps": Fraction(10**6), "kB/s": Fraction(8 * 10**3),
    "MiB/s": Fraction(8 * 2**20), "MiB/h": Fraction(8 * 2**20, 3600),
    "m": Fraction(1), "km": Fraction(1000), "mm": Fraction(1, 1000), "in": Fraction(254, 10**4),
    "ft": Fraction(3048, 10**4), "mi": Fraction(1609344, 1000), "km/h": Fraction(1000, 3600), "m/s": Fraction(1),
    "s": Fraction(1), "min": Fraction(60), "h": Fraction(3600), "d": Fraction(86400), "ms": Fraction(1, 1000),
    "K": Fraction(1), "mK": Fraction(1, 1000), "kg": Fraction(1), "lb": Fraction(45359237, 10**8),
    "oz": Fraction(28349523125, 10**12),
}

MAX_DIGITS = 2**127 - 1


def decimal_text(value):
    """The canonical decimal text of a fraction whose expansion ends, or None
    when it does not end or its digits do not fit 127 bits."""
    if value == 0:
        return "0"
    sign = "-" if value < 0 else ""
    value = abs(value)
    places = 0
    while (value * 10**places).denominator != 1:
        places += 1
        if places > 400:
            return None
    digits = value * 10**places
    digits = digits.numerator
    while places > 0 and digits % 10 == 0:
        digits //= 10
        places -= 1
    stripped = digits
    while stripped % 10 == 0:
        stripped //= 10
    if stripped > MAX_DIGITS:
        return None
    text = str(digits)
    if places == 0:
        return sign + text
    text = text.rjust(places + 1, "0")
    return sign + text[:-places] + "." + text[-places:]


def build(value, from_unit, to_unit):
    schema = f".!hezo demo\n!float:{to_unit}\nd=\n"
    return bezo.build(f".!bezo\n!float:{from_unit}\nd={value}\n", schema), schema


def expected(value, from_unit, to_unit):
    return decimal_text(Fraction(value) * SCALES[from_unit] / SCALES[to_unit])


CONVERSIONS = [
    # Results whose intermediate products outgrow 128 bits.
    ("718.2849", "b", "GiB"),
    ("123456789", "kB", "GiB"),
    ("12000000000000000000000000000000000000", "in", "ft"),
    ("1", "b", "PiB"),
    ("3", "B", "TiB"),
    ("15", "b", "PiB"),
    ("-718.2849", "b", "GiB"),
    ("0.000001", "B", "PiB"),
    # Binary and decimal prefixes, bits and bytes.
    ("1", "KiB", "b"),
    ("1", "MiB", "kB"),
    ("1.5", "GB", "GiB"),
    ("1000", "Kib", "kB"),
    ("4096", "b", "KiB"),
    ("1", "MB", "Mb"),
    # Data rates.
    ("1", "Mbps", "kB/s"),
    ("2.5", "MiB/s", "kb/s"),
    ("1", "kb/s", "MiB/h"),
    # Lengths, times, masses, kelvins.
    ("1", "in", "mm"),
    ("-3", "km", "m"),
    ("1", "mi", "ft"),
    ("90", "km/h", "m/s"),
    ("1", "oz", "lb"),
    ("30", "s", "min"),
    ("1.5", "h", "ms"),
    ("273.15", "K", "mK"),
    ("0", "m", "km"),
    ("-0", "h", "s"),
    ("1e-30", "km", "mm"),
    ("170141183460469231731687303715884105727", "m", "m"),
    # More digits than a decimal holds, the extra ones trailing zeros.
    ("1" + "0" * 40, "km", "m"),
    ("1." + "0" * 40, "km", "m"),
    ("-25" + "0" * 45 + ".000", "b", "GiB"),
    ("0.5" + "0" * 60, "ms", "s"),
]


@pytest.mark.parametrize("value, from_unit, to_unit", CONVERSIONS)
def test_exact_conversions_build_and_validate(value, from_unit, to_unit):
    result = expected(value, from_unit, to_unit)
    assert result is not None
    built, schema = build(value, from_unit, to_unit)
    assert built == f".!nezo\n.!schema:demo\n!float:{to_unit}'::d={result}\n"
    assert bezo.validate(built, schema) is None


def test_the_exact_texts():
    assert build("718.2849", "b", "GiB")[0].endswith("=0.0000000836193677969276905059814453125\n")
    assert build("123456789", "kB", "GiB")[0].endswith("=114.978094585239887237548828125\n")


REFUSED = [
    # No finite decimal expansion.
    ("1", "m", "ft"),
    ("20", "s", "min"),
    ("1", "s", "d"),
    ("1", "ms", "d"),
    ("-1", "m", "in"),
    # Exact, but more digits than a decimal holds.
    ("170141183460469231731687303715884105727", "ft", "in"),
    ("21267647932558653966460912964485513216", "B", "b"),
    ("31", "b", "PiB"),
]


@pytest.mark.parametrize("value, from_unit, to_unit", REFUSED)
def test_results_without_an_exact_decimal_are_refused(value, from_unit, to_unit):
    assert expected(value, from_unit, to_unit) is None
    with pytest.raises(bezo.BezoError) as caught:
        build(value, from_unit, to_unit)
    assert str(caught.value) == "UnitConversionError"


@pytest.mark.parametrize("value", [
    "1" * 40,
    "1." + "0" * 39 + "1",
    "-" + "9" * 45,
    "1e99999999999",
    "1e-2147483649",
])
def test_decimals_too_long_to_read_are_refused(value):
    with pytest.raises(bezo.BezoError) as caught:
        build(value, "km", "m")
    assert str(caught.value) == "UnitConversionError"


@pytest.mark.parametrize("value", ["abc", "+1", "1_000", "0x10", "inf", "1e"])
def test_values_that_are_no_decimal_keep_their_unit(value):
    built, schema = build(value, "km", "m")
    assert built == f".!nezo\n.!schema:demo\n!float:km'::d={value}\n"
    with pytest.raises(bezo.ValidationError):
        bezo.validate(built, schema)
